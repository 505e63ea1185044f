// The scanner read through token streams: keywords against names, numbers, modes, lines
// and the characters it copies out.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "language/parser_actions.h"
#include "language/vorna_scanner.h"
#include "vorna_parser.hpp"

namespace {

// Each token as its grammar name, with the value of names and numbers in parentheses.
std::vector<std::string> tokens(const std::string& text, std::string* echoed = nullptr) {
  FILE* echo = tmpfile();
  vorna_scanner_set_echo_stream(echo);
  vorna_scanner_read_text(text.data(), text.size());
  std::vector<std::string> result;
  for (int token = vorna_scanner_next_token(); token != 0; token = vorna_scanner_next_token()) {
    std::string item = vorna_token_name(token);
    if (token == IDENT) {
      item += "(" + std::string(yylval.text) + ")";
      delete[] yylval.text;
    } else if (token == INTEGER) {
      item += "(" + std::to_string(yylval.integer) + ")";
    } else if (token == FLOAT) {
      char buffer[64];
      snprintf(buffer, sizeof buffer, "(%g)", yylval.number);
      item += buffer;
    }
    result.push_back(item);
  }
  vorna_scanner_set_echo_stream(stdout);
  if (echoed != nullptr) {
    echoed->clear();
    rewind(echo);
    for (int c = fgetc(echo); c != EOF; c = fgetc(echo)) echoed->push_back(static_cast<char>(c));
  }
  fclose(echo);
  vorna_scanner_reset();
  return result;
}

using Tokens = std::vector<std::string>;

TEST(Scanner, KeywordsAgainstNames) {
  struct Case {
    const char* text;
    Tokens expected;
  } cases[] = {
      {"label Label LABEL lAbel", {"LABEL", "LABEL", "IDENT(LABEL)", "IDENT(lAbel)"}},
      {"Q-MAX q_max Q_max q-MAX q-min q_maxx", {"QMAX", "QMAX", "QMAX", "QMAX", "IDENT(q-min)", "IDENT(q_maxx)"}},
      {"q_sum Q-Sum q_sum_all q-sum_all q_seq_max", {"QSUM", "QSUM", "QSUM_ALL", "IDENT(q-sum_all)", "QSEQ_MAX"}},
      {"q-sigmoid Q_exactly_one sigmoid_distribution", {"QSIGMOID", "QONE", "SIGMOID_DISTRIBUTION"}},
      {"do Do to To dont est_and_dl_and_do", {"DO", "DO", "TO_METHOD", "TO_METHOD", "DONT", "EST_DL_AND_DO_COMMITMENT"}},
      {"spec_uses spec_consumes spec_produces spec_limits", {"SPECUSES", "SPECUSES", "SPECPRODUCES", "SPECLIMITS"}},
      {"Start_Time start_time_distribution Finish_time", {"STARTTIME", "START_TIME_DISTRIBUTION", "FINISHTIME"}},
      {"outcomes from state consumes quality_distribution Quality_Distribution",
       {"SPECOUTCOME", "FROM_METHOD", "RESOURCE_STATE", "CONSUMES_DISTRIBUTION", "QUALITY", "QUALITY"}},
      {"cost_certainty_threshold duration_certainty_threshold Cost_limit",
       {"COST_CERTAINTY_LIMIT", "DURATION_CERTAINTY_LIMIT", "IDENT(Cost_limit)"}},
      {"task Task TASK type per_time_unit", {"TASK", "TASK", "IDENT(TASK)", "TYPE", "RESOURCE_USE_IS_PER_TIME_UNIT"}},
      {"spec_task spec_task_group spec_taskx", {"SPECTASK", "TASKGROUP", "IDENT(spec_taskx)"}},
  };
  for (const Case& c : cases) EXPECT_EQ(tokens(c.text), c.expected) << c.text;
}

// Every keyword with the spellings it is accepted in: lower case only, an upper-case first
// letter too, or an upper-case initial for every word. Any other spelling is a name.
TEST(Scanner, EveryKeywordAndItsSpellings) {
  enum Case { LOWER, FIRST, INITIALS };
  struct Keyword {
    const char* word;
    const char* token;
    Case case_rule;
  } keywords[] = {
      {"spec_agent", "SPECAGENT", LOWER}, {"spec_task_group", "TASKGROUP", LOWER},
      {"spec_task", "SPECTASK", LOWER}, {"spec_method", "SPECMETHOD", LOWER},
      {"spec_enables", "SPECENABLES", LOWER}, {"spec_disables", "SPECDISABLES", LOWER},
      {"spec_facilitates", "SPECFACILITATE", LOWER}, {"spec_hinders", "SPECHINDER", LOWER},
      {"spec_uses", "SPECUSES", LOWER}, {"spec_consumes", "SPECUSES", LOWER},
      {"spec_produces", "SPECPRODUCES", LOWER}, {"spec_limits", "SPECLIMITS", LOWER},
      {"spec_consumable_resource", "SPEC_CONSUME_RESOURCE", LOWER},
      {"spec_non_consumable_resource", "SPEC_NON_CONSUME_RESOURCE", LOWER},
      {"spec_commitment", "SPECCOMMITMENT", LOWER}, {"spec_nonlocal_commitment", "SPECNLC", LOWER},
      {"spec_schedule", "SPECSCHEDULE", LOWER}, {"spec_schedule_setting_bundle", "SPECSCHEDULE_SETTING_BUNDLE", LOWER},
      {"spec_misc_scheduler_parameters", "SPEC_MISC_PARAMETERS", LOWER},
      {"spec_evaluation_criteria", "SPEC_EVALUATION_CRITERIA", LOWER},
      {"q_min", "QMIN", LOWER}, {"q_sum_all", "QSUM_ALL", LOWER}, {"q_seq", "QSEQ", LOWER},
      {"q_seq_sum", "QSEQ_SUM", LOWER}, {"q_seq_min", "QSEQ_MIN", LOWER}, {"q_seq_max", "QSEQ_MAX", LOWER},
      {"sigmoid_distribution", "SIGMOID_DISTRIBUTION", LOWER}, {"schedule_elements", "SCHEDULE_ELMT", LOWER},
      {"time_to_schedule_for", "TIME_TO_SCHEDULE_FOR", LOWER}, {"cost_accrued", "COST_ACCRUED", LOWER},
      {"use_advanced_analysis", "USE_ADVANCED_ANALYSIS", LOWER}, {"pruning_setting", "PRUNING_SETTING", LOWER},
      {"resource_model", "RESOURCE_USE_MODEL", LOWER},
      {"duration_independent", "RESOURCE_USE_IS_DURATION_INDEPENDENT", LOWER},
      {"per_time_unit", "RESOURCE_USE_IS_PER_TIME_UNIT", LOWER},
      {"goodness_quality_slider", "GOODNESS_QUALITY_SLIDER", LOWER},
      {"goodness_cost_slider", "GOODNESS_COST_SLIDER", LOWER},
      {"goodness_duration_slider", "GOODNESS_DURATION_SLIDER", LOWER},
      {"threshold_quality_slider", "THRESHOLD_QUALITY_SLIDER", LOWER},
      {"threshold_cost_slider", "THRESHOLD_COST_SLIDER", LOWER},
      {"threshold_duration_slider", "THRESHOLD_DURATION_SLIDER", LOWER},
      {"quality_threshold", "QUALITY_THRESHOLD", LOWER}, {"cost_limit", "COST_LIMIT", LOWER},
      {"duration_limit", "DURATION_LIMIT", LOWER},
      {"uncertainty_quality_slider", "UNCERTAINTY_QUALITY_SLIDER", LOWER},
      {"uncertainty_cost_slider", "UNCERTAINTY_COST_SLIDER", LOWER},
      {"uncertainty_duration_slider", "UNCERTAINTY_DURATION_SLIDER", LOWER},
      {"threshold_certainty_quality_slider", "THRESHOLD_CERTAINTY_QUALITY_SLIDER", LOWER},
      {"threshold_certainty_cost_slider", "THRESHOLD_CERTAINTY_COST_SLIDER", LOWER},
      {"threshold_certainty_duration_slider", "THRESHOLD_CERTAINTY_DURATION_SLIDER", LOWER},
      {"quality_certainty_threshold", "QUALITY_CERTAINTY_THRESHOLD", LOWER},
      {"cost_certainty_threshold", "COST_CERTAINTY_LIMIT", LOWER},
      {"duration_certainty_threshold", "DURATION_CERTAINTY_LIMIT", LOWER},
      {"meta_goodness_slider", "META_GOODNESS_SLIDER", LOWER}, {"meta_threshold_slider", "META_THRESHOLD_SLIDER", LOWER},
      {"meta_uncertainty_slider", "META_UNCERTAINTY_SLIDER", LOWER},
      {"meta_uncertainty_threshold_slider", "META_UNCERTAINTY_THRESHOLD_SLIDER", LOWER},
      {"label", "LABEL", FIRST}, {"agent", "AGENT", FIRST}, {"subtasks", "SUBTASKS", FIRST},
      {"supertasks", "SUPERTASKS", FIRST}, {"qaf", "QAF", FIRST}, {"arrival_time", "ARRIVALTIME", FIRST},
      {"deadline", "DEADLINE", FIRST}, {"earliest_start_time", "EARLIEST_START_TIME", FIRST},
      {"percentage_of_cpu_used", "PERCENTAGEOFCPU", FIRST}, {"outcomes", "SPECOUTCOME", FIRST},
      {"density", "DENSITY", FIRST}, {"from", "FROM_METHOD", FIRST}, {"to", "TO_METHOD", FIRST},
      {"delay", "DELAY", FIRST}, {"state", "RESOURCE_STATE", FIRST}, {"depleted_at", "RESOURCE_DEPLETED_AT", FIRST},
      {"overloaded_at", "RESOURCE_OVERLOADED_AT", FIRST}, {"consumes", "CONSUMES_DISTRIBUTION", FIRST},
      {"produces", "PRODUCES_DISTRIBUTION", FIRST}, {"type", "TYPE", FIRST}, {"task", "TASK", FIRST},
      {"negotiability", "NEGOTIABILITY", FIRST}, {"utility", "UTILITY", FIRST}, {"importance", "IMPORTANCE", FIRST},
      {"dont_interval_start", "DONT_INTERVAL_START", FIRST}, {"dont_interval_end", "DONT_INTERVAL_END", FIRST},
      {"minimum_quality", "MINIMUM_QUALITY", FIRST}, {"satisfied", "SATISFIED", FIRST},
      {"time_satisfied", "TIME_SATISFIED", FIRST}, {"method_is_non_local", "METHOD_IS_NON_LOCAL_FLAG", FIRST},
      {"do", "DO", FIRST}, {"dont", "DONT", FIRST}, {"est_and_dl_and_do", "EST_DL_AND_DO_COMMITMENT", FIRST},
      {"start_time", "STARTTIME", INITIALS}, {"finish_time", "FINISHTIME", INITIALS},
      {"accrued_time", "ACCRUEDTIME", INITIALS}, {"quality_distribution", "QUALITY", INITIALS},
      {"duration_distribution", "DURATION", INITIALS}, {"cost_distribution", "COST", INITIALS},
      {"from_outcome", "FROM_OUTCOME", INITIALS}, {"quality_power", "QUALITY_POWER", INITIALS},
      {"duration_power", "DURATION_POWER", INITIALS}, {"cost_power", "COST_POWER", INITIALS},
      {"time_distribution", "TIME_DISTRIBUTION", INITIALS}, {"from_agent", "FROM_AGENT", INITIALS},
      {"to_agent", "TO_AGENT", INITIALS}, {"start_time_distribution", "START_TIME_DISTRIBUTION", INITIALS},
      {"finish_time_distribution", "FINISH_TIME_DISTRIBUTION", INITIALS},
      {"quality_monitoring_info", "QUALITY_MONITORING_INFO", INITIALS},
      {"duration_monitoring_info", "DURATION_MONITORING_INFO", INITIALS},
      {"task_quality_infos", "TASK_QUALITY_INFOS", INITIALS}, {"commitment_info", "COMMITMENT_INFO", INITIALS},
      {"quality_value", "QUALITY_VALUE", INITIALS}, {"duration_value", "DURATION_VALUE", INITIALS},
      {"cost_value", "COST_VALUE", INITIALS},
  };
  auto capitalised = [](std::string word, bool every_word) {
    for (size_t i = 0; i < word.size(); i++) {
      if (i == 0 || (every_word && word[i - 1] == '_')) word[i] = static_cast<char>(toupper(word[i]));
    }
    return word;
  };
  for (const Keyword& k : keywords) {
    std::string first = capitalised(k.word, false);
    std::string initials = capitalised(k.word, true);
    std::string upper = capitalised(k.word, true);
    for (char& c : upper) c = static_cast<char>(toupper(c));
    auto token_or_name = [&](const std::string& spelling, bool accepted) {
      return accepted ? std::string(k.token) : "IDENT(" + spelling + ")";
    };
    Tokens expected{k.token, token_or_name(first, k.case_rule != LOWER)};
    std::string text = std::string(k.word) + " " + first;
    if (initials != first) {
      text += " " + initials;
      expected.push_back(token_or_name(initials, k.case_rule == INITIALS));
    }
    if (upper != initials) {
      text += " " + upper;
      expected.push_back(token_or_name(upper, false));
    }
    // A keyword run on by a name character is a name.
    text += " " + std::string(k.word) + "x";
    expected.push_back("IDENT(" + std::string(k.word) + "x)");
    EXPECT_EQ(tokens(text), expected) << text;
  }
  // The quality accumulation functions with a separator of either kind.
  EXPECT_EQ(tokens("Q-SUM q-Max Q_sigmoid q-exactly_one Q-SIGMOID q_Exactly_one q-min"),
            (Tokens{"QSUM", "QMAX", "QSIGMOID", "QONE", "IDENT(Q-SIGMOID)", "IDENT(q_Exactly_one)", "IDENT(q-min)"}));
}

TEST(Scanner, NumbersAndNames) {
  struct Case {
    const char* text;
    Tokens expected;
  } cases[] = {
      {"007 -0 +12 7", {"INTEGER(7)", "INTEGER(0)", "INTEGER(12)", "INTEGER(7)"}},
      {"1. -1.5 +1. .5 -.5 +.5", {"FLOAT(1)", "FLOAT(-1.5)", "FLOAT(1)", "FLOAT(0.5)", "FLOAT(-0.5)", "FLOAT(0.5)"}},
      {"1e5 1.5e3 1a 1.2.3 -abc - ..",
       {"IDENT(1e5)", "IDENT(1.5e3)", "IDENT(1a)", "IDENT(1.2.3)", "IDENT(-abc)", "IDENT(-)", "IDENT(..)"}},
      {"-1. -.", {"FLOAT(-1)", "IDENT(-.)"}},
      {"a!#$%&*-./?@^_{}z", {"IDENT(a!#$%&*-./?@^_{}z)"}},
      {"(x)", {"'('", "IDENT(x)", "')'"}},
  };
  for (const Case& c : cases) EXPECT_EQ(tokens(c.text), c.expected) << c.text;
}

TEST(Scanner, NumbersAtTheEndsOfTheirRange) {
  // Beyond the range of an int or a float a number is no number at all: the parse fails there.
  EXPECT_EQ(tokens("2147483647 -2147483648"), (Tokens{"INTEGER(2147483647)", "INTEGER(-2147483648)"}));
  EXPECT_EQ(tokens("2147483648"), (Tokens{"BAD_NUMBER"}));
  EXPECT_EQ(tokens("-2147483649 99999999999999999999"), (Tokens{"BAD_NUMBER", "BAD_NUMBER"}));
  EXPECT_EQ(tokens("340282346638528859811704183484516925440.0"), (Tokens{"FLOAT(3.40282e+38)"}));
  EXPECT_EQ(tokens("3402823470000000000000000000000000000000.0 -3402823470000000000000000000000000000000."),
            (Tokens{"BAD_NUMBER", "BAD_NUMBER"}));
  // Too small for a double reads as zero, of either sign.
  std::string zeros(400, '0');
  EXPECT_EQ(tokens("0." + zeros + "1 -." + zeros + "1 +00." + zeros + "1"),
            (Tokens{"FLOAT(0)", "FLOAT(-0)", "FLOAT(0)"}));
}

TEST(Scanner, StrayCharactersAreCopiedOut) {
  std::string echoed;
  EXPECT_EQ(tokens("+. +-1", &echoed), (Tokens{"IDENT(.)", "INTEGER(-1)"}));
  EXPECT_EQ(echoed, "++");
  EXPECT_EQ(tokens("1,5", &echoed), (Tokens{"INTEGER(1)", "INTEGER(5)"}));
  EXPECT_EQ(echoed, ",");
  EXPECT_EQ(tokens("a\"b=c[d]|~:", &echoed), (Tokens{"IDENT(a)", "IDENT(b)", "IDENT(c)", "IDENT(d)"}));
  EXPECT_EQ(echoed, "\"=[]|~:");
  EXPECT_EQ(tokens("(spec_attributes (k +5,x))", &echoed),
            (Tokens{"'('", "SPEC_ATTRIBUTES", "'('", "IDENT(k)", "IDENT(5)", "IDENT(x)", "')'", "')'"}));
  EXPECT_EQ(echoed, "+,");
}

TEST(Scanner, AttributeModeMakesEveryWordANameAndCountsParentheses) {
  EXPECT_EQ(tokens("(spec_attributes (weight 1.5) (x (y) z)) label 12"),
            (Tokens{"'('", "SPEC_ATTRIBUTES", "'('", "IDENT(weight)", "IDENT(1.5)", "')'", "'('", "IDENT(x)",
                    "'('", "IDENT(y)", "')'", "IDENT(z)", "')'", "')'", "LABEL", "INTEGER(12)"}));
  EXPECT_EQ(tokens("(spec_attributes (spec_task label 7 q_max))"),
            (Tokens{"'('", "SPEC_ATTRIBUTES", "'('", "IDENT(spec_task)", "IDENT(label)", "IDENT(7)",
                    "IDENT(q_max)", "')'", "')'"}));
  // A comment inside the form runs to the end of the line and keeps attribute mode.
  EXPECT_EQ(tokens("(spec_attributes ; (label x))\n(label 5)) label"),
            (Tokens{"'('", "SPEC_ATTRIBUTES", "'('", "IDENT(label)", "IDENT(5)", "')'", "')'", "LABEL"}));
}

TEST(Scanner, CommentsAndLinesAreCounted) {
  i_vorna = 1;
  EXPECT_EQ(tokens("; a comment (label x)\nlabel\n\n;c\n(spec_attributes\n;d\n)x"),
            (Tokens{"LABEL", "'('", "SPEC_ATTRIBUTES", "')'", "IDENT(x)"}));
  EXPECT_EQ(i_vorna, 7);
}

TEST(Scanner, EveryTextStartsInNormalMode) {
  // A text that ends inside a comment or an attributes form leaves nothing behind.
  EXPECT_EQ(tokens("(label a) ; no newline at the end"), (Tokens{"'('", "LABEL", "IDENT(a)", "')'"}));
  EXPECT_EQ(tokens("label"), (Tokens{"LABEL"}));
  EXPECT_EQ(tokens("(spec_attributes (a (b"),
            (Tokens{"'('", "SPEC_ATTRIBUTES", "'('", "IDENT(a)", "'('", "IDENT(b)"}));
  EXPECT_EQ(tokens("label )"), (Tokens{"LABEL", "')'"}));
  EXPECT_EQ(p_count, 0);
}

TEST(Scanner, StrsaveCopiesAPrefix) {
  char* copy = flex_strsave("abcdef", 3);
  EXPECT_STREQ(copy, "abc");
  delete[] copy;
  EXPECT_EQ(flex_strsave(nullptr, 3), nullptr);
  EXPECT_EQ(flex_strsave("abc", 0), nullptr);
}

TEST(Scanner, ReadsAStream) {
  FILE* input = tmpfile();
  fputs("(spec_agent (label A))\n", input);
  rewind(input);
  vorna_scanner_read_stream(input);
  Tokens seen;
  for (int token = vorna_scanner_next_token(); token != 0; token = vorna_scanner_next_token()) {
    seen.push_back(vorna_token_name(token));
    if (token == IDENT) delete[] yylval.text;
  }
  EXPECT_EQ(seen, (Tokens{"'('", "SPECAGENT", "'('", "LABEL", "IDENT", "')'", "')'"}));
  vorna_scanner_reset();
  fclose(input);
}

}  // namespace
