// The scanner read through token streams: keywords against names, numbers, modes, lines
// and the characters it copies out.
#include <gtest/gtest.h>

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

TEST(Scanner, NumbersOutsideTheirTypeAreNoNumbers) {
  EXPECT_EQ(tokens("2147483647 -2147483648"), (Tokens{"INTEGER(2147483647)", "INTEGER(-2147483648)"}));
  EXPECT_EQ(tokens("2147483648"), (Tokens{"BAD_NUMBER"}));
  EXPECT_EQ(tokens("-2147483649 99999999999999999999"), (Tokens{"BAD_NUMBER", "BAD_NUMBER"}));
  EXPECT_EQ(tokens("340282346638528859811704183484516925440.0"), (Tokens{"FLOAT(3.40282e+38)"}));
  EXPECT_EQ(tokens("3402823470000000000000000000000000000000.0 -3402823470000000000000000000000000000000."),
            (Tokens{"BAD_NUMBER", "BAD_NUMBER"}));
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
