// The parser over whole texts: what each form builds, the grammar's accepted and rejected
// texts, and every check with its message and the way the program ends.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <csignal>
#include <locale>
#include <string>

#include "foundation/fatal_stop.h"
#include "language/parser_actions.h"
#include "language/parser_support.h"
#include "language/unbound_records.h"
#include "model/commitment.h"
#include "model/nle.h"
#include "model/resource.h"
#include "model/schedule_bundles.h"
#include "model/task.h"

using testing::HasSubstr;

namespace {

const char* const kStop = "\n\a**Unrecoverable Error**\n**Scheduling operation terminated**\n";

// One parse of a text and everything it read; frees it all afterwards.
struct Parsed {
  UnboundTaskList tasks;
  UnboundNLEList nles;
  UnboundResourceNLEList rnles;
  ResourceList resources;
  CommitmentList commitments;
  AgentID owner = EMPTY_ID;
  AgentIDList agents;
  ScheduleCriteriaBundle criteria;
  ControlParameterBundle control;

  // Empty lists, for a parse the test runs itself through target().
  Parsed() = default;
  explicit Parsed(const std::string& text) {
    VornaParseTarget into = target("test.vorna");
    parse_vorna_text(text.data(), text.size(), into);
  }
  ~Parsed() {
    for (long i = 0; i < tasks.length(); i++) delete tasks.get(i)->task;
    tasks.delete_list(1);
    for (long i = 0; i < nles.length(); i++) delete nles.get(i)->nle;
    nles.delete_list(1);
    for (long i = 0; i < rnles.length(); i++) delete rnles.get(i)->rnle;
    rnles.delete_list(1);
    resources.delete_list(1);
    commitments.delete_list(1);
    agents.delete_list(1);
  }
  Method* method(long i) { return static_cast<Method*>(tasks.get(i)->task); }
  // A target that reads into these lists, naming file_name in its messages.
  VornaParseTarget target(const char* file_name) {
    return VornaParseTarget{&tasks, &nles, &rnles, &resources, &commitments, &owner, &agents, &criteria, &control,
                            file_name};
  }
};

const std::string kMethod =
    "(spec_method (label m1) (agent A) (supertasks t1)"
    " (outcomes (o1 (density 1) (quality_distribution 10 1.0) (duration_distribution 5 1)"
    " (cost_distribution 0 1.0))))\n";

const std::string kCriteriaFields =
    " (goodness_quality_slider 1) (goodness_cost_slider 2) (goodness_duration_slider 3)"
    " (threshold_quality_slider 4) (threshold_cost_slider 5) (threshold_duration_slider 6)"
    " (quality_threshold 7) (cost_limit 8) (duration_limit 10.00 0.50)"
    " (uncertainty_quality_slider 9) (uncertainty_cost_slider 10) (uncertainty_duration_slider 11)"
    " (threshold_certainty_quality_slider 12) (threshold_certainty_cost_slider 13)"
    " (threshold_certainty_duration_slider 14) (quality_certainty_threshold 15)"
    " (cost_certainty_threshold 16) (duration_certainty_threshold 17) (meta_goodness_slider 18)"
    " (meta_threshold_slider 19) (meta_uncertainty_slider 20) (meta_uncertainty_threshold_slider 21.5))";

std::string criteria_with_duration_limit(const std::string& limit) {
  std::string text = "(spec_evaluation_criteria (label c)" + kCriteriaFields;
  size_t at = text.find("(duration_limit 10.00 0.50)");
  text.replace(at, 27, "(duration_limit " + limit + ")");
  return text;
}

std::string parse_error(int line, const char* lexeme) {
  return std::string("\nVorna error:  parse error at line ") + std::to_string(line) +
         " of file test.vorna.\n\nThe text in question is (this may be garbage): " + lexeme + "\n";
}

std::string semantic_stop(int line) {
  return "Error, textual vorna semantic error occured for def. ending at line " + std::to_string(line) +
         " in file test.vorna.\n\n" + kStop;
}

std::string sum_stop(int line) {
  return "Error, a distribution's densities did not sum to 100 percent.\nIt occured on or near line " +
         std::to_string(line) + " of the input file test.vorna.\n\n" + kStop;
}

// ---------------------------------------------------------------------------------------
// Tasks.

TEST(ParserTasks, BuildsTaskGroupsTasksAndMethodsInFileOrder) {
  Parsed p("(spec_agent (label A))\n(spec_agent (label 7))\n"
           "(spec_task_group (label tg) (agent A) (subtasks t1) (qaf q_max) (arrival_time 1)"
           " (earliest_start_time 2.5) (deadline 100))\n"
           "(spec_task (label t1) (agent A) (supertasks tg) (subtasks m1 m2) (qaf Q-SUM))\n" +
           kMethod +
           "(spec_method (label m2) (agent A) (supertasks t1) (percentage_of_cpu_used 0.5) (start_time 3)"
           " (finish_time 8) (accrued_time 5) (method_is_non_local)"
           " (outcomes (a (density 0.25) (quality_distribution 1 0.5 2 0.5) (duration_distribution 1 1)"
           " (cost_distribution 1 1)) (b (density 0.75) (quality_distribution 3 1) (duration_distribution 2 1)"
           " (cost_distribution 0 1))))");
  EXPECT_EQ(p.owner, "A");
  ASSERT_EQ(p.agents.length(), 2);
  EXPECT_EQ(*p.agents[1L], "7");
  ASSERT_EQ(p.tasks.length(), 4);
  UnboundTask* tg = p.tasks.get(0L);
  EXPECT_EQ(tg->id, "tg");
  EXPECT_EQ(tg->task->task_type, VORNA_TASK_GROUP);
  EXPECT_EQ(tg->task->owner_agent, "A");
  EXPECT_EQ(tg->task->qaf, VORNA_MAX);
  EXPECT_FLOAT_EQ(tg->task->arrival, 1.0f);
  EXPECT_FLOAT_EQ(tg->task->earliest_start_time, 2.5f);
  EXPECT_FLOAT_EQ(tg->task->deadline, 100.0f);
  EXPECT_EQ(*tg->list_of_sub_names[0L], "t1");
  UnboundTask* t1 = p.tasks.get(1L);
  EXPECT_EQ(t1->task->qaf, VORNA_SUM);
  ASSERT_EQ(t1->list_of_sub_names.length(), 2);
  EXPECT_EQ(*t1->list_of_sub_names[1L], "m2");
  EXPECT_EQ(*t1->list_of_super_names[0L], "tg");

  Method* m1 = p.method(2);
  EXPECT_EQ(m1->id, "m1");
  ASSERT_EQ(m1->outcomes.length(), 1);
  EXPECT_EQ(m1->outcomes.get(0L)->outcome_id, "o1");
  EXPECT_FLOAT_EQ(m1->outcomes.get(0L)->quality.get_expected_value(), 10.0f);
  EXPECT_EQ(m1->method_is_local, 1);

  Method* m2 = p.method(3);
  EXPECT_FLOAT_EQ(m2->percentage_of_duration_used_by_cpu, 0.5f);
  EXPECT_FLOAT_EQ(m2->start_time, 3.0f);
  EXPECT_FLOAT_EQ(m2->finish_time, 8.0f);
  EXPECT_FLOAT_EQ(m2->accrued_time, 5.0f);
  EXPECT_EQ(m2->method_is_local, 0);
  ASSERT_EQ(m2->outcomes.length(), 2);
  Outcome* a = m2->outcomes.get(0L);
  EXPECT_FLOAT_EQ(a->probability, 0.25f);
  ASSERT_EQ(a->quality.length(), 2);
  EXPECT_FLOAT_EQ(a->quality.get(1L)->value, 2.0f);
  EXPECT_FLOAT_EQ(a->quality.get(1L)->density, 0.5f);
  EXPECT_EQ(m2->outcomes.get(1L)->outcome_id, "b");
}

TEST(ParserTasks, FirstOccurrenceOfARepeatedFieldWinsAndNamesAccumulate) {
  Parsed p("(spec_task (label first) (agent A) (qaf q_min) (deadline 5) (subtasks a b)"
           " (label second) (qaf q_max) (deadline 9) (subtasks c) (agent B) (supertasks s))\n"
           "(spec_method (label m) (agent A) (supertasks t)"
           " (outcomes (o1 (density 0.5) (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 1 1)))"
           " (outcomes (o2 (density 0.5) (quality_distribution 2 1) (duration_distribution 1 1) (cost_distribution 1 1)))"
           " (finish_time 4) (finish_time 6))");
  UnboundTask* t = p.tasks.get(0L);
  EXPECT_EQ(t->id, "first");
  EXPECT_EQ(t->task->id, "first");
  EXPECT_EQ(t->task->owner_agent, "A");
  EXPECT_EQ(t->task->qaf, VORNA_MIN);
  EXPECT_FLOAT_EQ(t->task->deadline, 5.0f);
  ASSERT_EQ(t->list_of_sub_names.length(), 3);
  EXPECT_EQ(*t->list_of_sub_names[2L], "c");
  Method* m = p.method(1);
  ASSERT_EQ(m->outcomes.length(), 2);
  EXPECT_EQ(m->outcomes.get(0L)->outcome_id, "o1");
  EXPECT_FLOAT_EQ(m->finish_time, 4.0f);
}

TEST(ParserTasks, FirstOccurrenceWinsForEveryRepeatedNumberField) {
  struct Case {
    const char* field;
    float (*read)(Method*);
  } cases[] = {
      {"arrival_time", [](Method* m) { return m->arrival; }},
      {"earliest_start_time", [](Method* m) { return m->earliest_start_time; }},
      {"deadline", [](Method* m) { return m->deadline; }},
      {"percentage_of_cpu_used", [](Method* m) { return m->percentage_of_duration_used_by_cpu; }},
      {"start_time", [](Method* m) { return m->start_time; }},
      {"finish_time", [](Method* m) { return m->finish_time; }},
      {"accrued_time", [](Method* m) { return m->accrued_time; }},
  };
  for (const Case& c : cases) {
    std::string field = c.field;
    Parsed p("(spec_method (" + field + " 0.25) (label m) (agent A) (" + field + " 0.5) (supertasks t) (" + field +
             " 0.75)" + kMethod.substr(kMethod.find(" (outcomes")));
    EXPECT_FLOAT_EQ(c.read(p.method(0)), 0.25f) << field;
  }
  Parsed g("(spec_task_group (label g) (agent A) (qaf q_sigmoid (sigmoid_distribution 1 2))"
           " (qaf q_sigmoid (sigmoid_distribution 3 4 5 6)))");
  Distribution& table = g.tasks.get(0L)->task->sigmoid_function_if_qaf_is_sigmoid;
  ASSERT_EQ(table.length(), 1);
  EXPECT_FLOAT_EQ(table.get(0L)->value, 1.0f);
}

TEST(ParserTasks, LabelsBecomeTextAsTheParserPrintsThem) {
  Parsed p("(spec_task_group (label 007) (agent 1.5) (qaf q_seq))\n"
           "(spec_task_group (Label -2.) (Agent x) (Qaf q_seq_min))");
  EXPECT_EQ(p.tasks.get(0L)->id, "7");
  EXPECT_EQ(p.tasks.get(0L)->task->owner_agent, "1.500000");
  EXPECT_EQ(p.tasks.get(1L)->id, "-2.000000");
}

TEST(ParserTasks, SigmoidTableIsReadInsideTheQafForm) {
  Parsed p("(spec_task_group (label g) (agent A)"
           " (qaf q_sigmoid (sigmoid_distribution 0.5 0.0 1.2 10 0.7 5.0)))");
  BasicTask* g = p.tasks.get(0L)->task;
  EXPECT_EQ(g->qaf, VORNA_SIGMOID);
  Distribution& table = g->sigmoid_function_if_qaf_is_sigmoid;
  ASSERT_EQ(table.length(), 3);
  // Pairs are read value first, so the threshold lands in the density slot.
  EXPECT_FLOAT_EQ(table.get(1L)->density, 10.0f);
  EXPECT_FLOAT_EQ(table.get(1L)->value, 1.2f);
  EXPECT_FLOAT_EQ(table.get(2L)->value, 0.7f);
}

TEST(ParserTasks, AttributesOfATaskFormGoToThatTask) {
  Parsed p("(spec_method (spec_attributes (weighting_factor 2.5) (placement_preference Later_Strong)"
           " (note a b 3 4.5)) (label m) (agent A) (supertasks t)"
           " (outcomes (o (density 1) (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 1 1)))"
           " (spec_attributes (Weighting_Factor 3)))\n"
           "(spec_task_group (label g) (agent A) (qaf q_max))");
  Method* m = p.method(0);
  // The later form replaced the pending entries; keys compare ignoring case.
  EXPECT_FLOAT_EQ(m->weighting_factor, 3.0f);
  EXPECT_EQ(m->imported_attributes.length(), 1);
  EXPECT_STREQ(m->imported_attributes["weighting_factor"], "3");
  EXPECT_EQ(p.tasks.get(1L)->task->imported_attributes.length(), 0);

  Parsed q("(spec_method (spec_attributes (placement_preference earlier strong) (note a  b 3 4.5))"
           " (label m) (agent A) (supertasks t)"
           " (outcomes (o (density 1) (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 1 1))))");
  Method* n = q.method(0);
  EXPECT_EQ(n->perform_earlier_if_possible, 1);
  EXPECT_EQ(n->perform_later_if_possible, 0);
  EXPECT_EQ(n->preference_is_strong, 1);
  EXPECT_STREQ(n->imported_attributes["note"], "a b 3 4.5");
  EXPECT_FLOAT_EQ(n->weighting_factor, 1.0f);
}

TEST(ParserTasks, NegativeOutcomeIsDroppedWithAWarning) {
  testing::internal::CaptureStderr();
  Parsed p("(spec_method (label m) (agent A) (supertasks t) (outcomes"
           " (bad (density -0.5) (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 1 1))"
           " (good (density 1) (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 1 1))))");
  // A once-per-process leak notice may follow, depending on what ran before.
  EXPECT_THAT(testing::internal::GetCapturedStderr(),
              testing::StartsWith(
                  "Parser Warning - ignoring an outcome that has a negative density.\nThe outcome is labeled bad.\n"));
  ASSERT_EQ(p.method(0)->outcomes.length(), 1);
  EXPECT_EQ(p.method(0)->outcomes.get(0L)->outcome_id, "good");
}

TEST(ParserTasksDeathTest, ClosingChecksStopWithTheirMessages) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"(spec_task_group (agent A) (qaf q_max))", "Error, task group def. did not include a task label.\n"},
      {"(spec_task (agent A) (qaf q_max))", "Error, task def. did not include a task label.\n"},
      {"(spec_task_group (label g) (qaf q_max))", "Error, task group def. did not include an agent label.\n"},
      {"(spec_task (label t) (qaf q_max))", "Error, task def. did not include an agent label.\n"},
      {"(spec_method (label m))", "Error, method def. did not include an agent label.\n"},
      {"(spec_task (label t) (agent A))", "Error, task def. did not include a qaf.\n"},
      {"(spec_task_group (label t) (agent A))", "Error, task group def. did not include a qaf.\n"},
      {"(spec_method (agent A))", "Error, method def. did not include a task label.\n"},
      {"(spec_method (label m) (agent A) (supertasks t))", "Error, method def. did not have any outcomes.\n"},
      {"(spec_method (label m) (agent A) (outcomes (o (density 1) (quality_distribution 1 1)"
       " (duration_distribution 1 1) (cost_distribution 1 1))))",
       "Error, method def. did not have any supers.\n"},
      {"(spec_method (label m) (agent A) (supertasks t) (percentage_of_cpu_used 1.5) (outcomes (o (density 1)"
       " (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 1 1))))",
       "Error, percentage of duration used by cpu must be between 0 and 1.0\n"},
      {"(spec_method (label m) (agent A) (supertasks t) (outcomes (o (density 0.5) (quality_distribution 1 1)"
       " (duration_distribution 1 1) (cost_distribution 1 1))))",
       "Error, outcomes do not sum to 100%.\n"},
      {"(spec_task (spec_attributes (weighting_factor 0)) (label t) (agent A) (qaf q_max))",
       "Error, processed a task weighting factor that was <= 0.\n"},
      {"(spec_method (spec_attributes (placement_preference sooner weak)) (label m) (agent A) (supertasks t)"
       " (outcomes (o (density 1) (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 1 1))))",
       ""},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(Parsed p(c.text), testing::KilledBySignal(SIGABRT), HasSubstr(c.message + semantic_stop(1)))
        << c.text;
  }
}

// ---------------------------------------------------------------------------------------
// Non-local effects.

TEST(ParserEffects, EffectsAreHeldLastFormFirstWithTheirPowers) {
  Parsed p("(spec_enables (label e1) (agent A) (from m1) (to m2) (delay 0 1))\n"
           "(spec_facilitates (label f1) (agent A) (from m1) (from_outcome o2) (to t2)"
           " (quality_power 0.5 1) (duration_power 0.2 0.5 0.4 0.5) (cost_power 0 1) (delay 1 1))\n"
           "(spec_hinders (label h1) (agent B) (from m3) (to m4) (quality_power 0.1 1) (duration_power 0 1)"
           " (cost_power 0 1) (delay 2 1))\n"
           "(spec_disables (label d1) (agent A) (from m5) (from_outcome x) (to m6) (delay 3 0.5))");
  ASSERT_EQ(p.nles.length(), 4);
  UnboundNLE* d1 = p.nles.get(0L);
  EXPECT_EQ(d1->nle->type, NLE_DISABLES);
  EXPECT_EQ(d1->outcome_from, "x");
  // An enables or disables naming an outcome has no delay check.
  EXPECT_FLOAT_EQ(d1->nle->propagation_delay.get(0L)->density, 0.5f);
  UnboundNLE* h1 = p.nles.get(1L);
  EXPECT_EQ(h1->nle->type, NLE_U_HINDERS);
  EXPECT_EQ(h1->nle->owner_agent, "B");
  UnboundNLE* f1 = p.nles.get(2L);
  EXPECT_EQ(f1->nle->nle_id, "f1");
  EXPECT_EQ(f1->nle->type, NLE_U_FACILITATES);
  EXPECT_EQ(f1->from, "m1");
  EXPECT_EQ(f1->to, "t2");
  EXPECT_EQ(f1->outcome_from, "o2");
  EXPECT_FLOAT_EQ(f1->nle->quality_power_uncertainty.get_expected_value(), 0.5f);
  EXPECT_EQ(f1->nle->duration_power_uncertainty.length(), 2);
  EXPECT_EQ(f1->nle->quality_power_expected_value.length(), 0);
  UnboundNLE* e1 = p.nles.get(3L);
  EXPECT_EQ(e1->nle->type, NLE_ENABLES);
  EXPECT_EQ(e1->outcome_from, EMPTY_ID);
  // Enables keep the one-pair powers they are made with.
  EXPECT_FLOAT_EQ(e1->nle->quality_power_uncertainty.get(0L)->value, 1.0f);
}

// Every list with a sum check, what is written before the stop, and the line it names.
TEST(ParserDeathTest, EverySumCheckStopsNamingTheLine) {
  const std::string outcome = "(spec_method (label m) (agent A) (supertasks t)\n (outcomes (o (density 1)";
  const std::string powers = "(label f) (agent A) (from a) (to b) ";
  struct Case {
    std::string text;
    std::string before;  // what is written just before the stop
    int line;
  } cases[] = {
      {outcome + " (quality_distribution 1 0.5) (duration_distribution 1 1) (cost_distribution 1 1))))",
       "Sum is 0.50000000000000000000.\nError in quality distribution\n", 2},
      {outcome + " (quality_distribution 1 1) (duration_distribution 1 0.5 2 0.4) (cost_distribution 1 1))))",
       "Sum is 0.89999997615814208984.\nError in duration distribution\n", 2},
      {outcome + " (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 1 1 2 1))))",
       "Sum is 2.00000000000000000000.\nError in cost distribution\n", 2},
      // The effect forms write nothing of their own first.
      {"(spec_facilitates " + powers + "(quality_power 0.5 0.5) (duration_power 0 1) (cost_power 0 1) (delay 1 1))",
       "", 1},
      {"(spec_facilitates " + powers + "(quality_power 0.5 1) (duration_power 0 0.5) (cost_power 0 1) (delay 1 1))",
       "", 1},
      {"(spec_hinders " + powers + "(quality_power 0.5 1) (duration_power 0 1) (cost_power 0 2) (delay 1 1))", "", 1},
      {"(spec_hinders " + powers + "(quality_power 0.5 1) (duration_power 0 1) (cost_power 0 1) (delay 1 0.9))", "",
       1},
      {"(spec_enables " + powers + "\n(delay 0 0.9998))", "", 2},
      {"(spec_disables " + powers + "(delay 0 1.0002))", "", 1},
      {"(spec_uses (label u) (agent A) (from m) (to r) (consumes 2 0.5))", "(0.50 2.00)\n", 1},
      {"(spec_produces (label u) (agent A) (from m) (to r)\n(produces 3 0.25 4 0.25))", "(0.25 3.00)(0.25 4.00)\n",
       2},
      {"(spec_limits (label l) (agent A) (from r) (to m) (quality_power 1 1) (duration_power 1 2) (cost_power 0 1))",
       "Limits resource nle:\n\tid l\n", 1},
      {"(spec_nonlocal_commitment (label n) (task m) (from_agent B) (to_agent A) (quality_distribution 10 0.5)"
       " (time_distribution 5 1))",
       "(0.50 10.00)\n", 1},
      {"(spec_nonlocal_commitment (label n) (task m) (from_agent B) (to_agent A) (quality_distribution 10 1)"
       " (time_distribution 5 0.5 6 0.6))",
       "(0.50 5.00)(0.60 6.00)\n", 1},
  };
  for (const Case& c : cases) {
    if (c.before.empty()) {
      EXPECT_EXIT(Parsed p(c.text), testing::KilledBySignal(SIGABRT), testing::Eq(sum_stop(c.line))) << c.text;
    } else {
      EXPECT_EXIT(Parsed p(c.text), testing::KilledBySignal(SIGABRT),
                  testing::AllOf(HasSubstr(c.before), testing::EndsWith(sum_stop(c.line))))
          << c.text;
    }
  }
}

TEST(ParserEffects, DelaySumCheckIncludesItsBounds) {
  Parsed p("(spec_enables (label e) (agent A) (from a) (to b) (delay 0 0.5 1 0.4999))");
  EXPECT_EQ(p.nles.length(), 1);
}

// ---------------------------------------------------------------------------------------
// Resources and resource effects.

TEST(ParserResources, ResourcesTakeTheirFieldsAndAttributesOnce) {
  testing::internal::CaptureStderr();
  Parsed p("(spec_consumable_resource (spec_attributes (overloaded_at x 50)) (label fuel\t) (agent A) (state 10)"
           " (depleted_at 1) (overloaded_at 40))\n"
           "(spec_non_consumable_resource (label tool) (state 1) (depleted_at 0))\n"
           "(spec_consumable_resource (label r3) (state 2) (depleted_at 0) (overloaded_at -1.0))");
  EXPECT_THAT(testing::internal::GetCapturedStderr(), testing::StartsWith("Got overloaded_at of 50.000000\n"));
  ASSERT_EQ(p.resources.length(), 3);
  Resource* r3 = p.resources.get(0L);
  EXPECT_EQ(r3->id, "r3");
  EXPECT_FLOAT_EQ(r3->overloaded_at, DEFAULT_OVERLOADED_AT);
  Resource* tool = p.resources.get(1L);
  EXPECT_EQ(tool->type, RESOURCE_NON_CONSUMABLE);
  EXPECT_EQ(tool->owner_agent, EMPTY_ID);
  // The first resource's attribute is not applied to the next one.
  EXPECT_FLOAT_EQ(tool->overloaded_at, DEFAULT_OVERLOADED_AT);
  Resource* fuel = p.resources.get(2L);
  EXPECT_EQ(fuel->id, "fuel");
  EXPECT_EQ(fuel->type, RESOURCE_CONSUMABLE);
  EXPECT_EQ(fuel->owner_agent, "A");
  EXPECT_FLOAT_EQ(fuel->state, 10.0f);
  EXPECT_FLOAT_EQ(fuel->depleted_at, 1.0f);
  EXPECT_FLOAT_EQ(fuel->overloaded_at, 50.0f);
}

TEST(ParserResources, EffectsFillEveryNameAndTheirModel) {
  testing::internal::CaptureStderr();
  Parsed p("(spec_uses (label u) (agent A) (from m1) (to fuel) (consumes 2 0.5 4 0.5)"
           " (resource_model per_time_unit))\n"
           "(spec_produces (label pr) (agent A) (from m2) (to fuel) (produces 3 1.0) (spec_attributes (k v)))\n"
           "(spec_limits (label l) (agent A) (from fuel) (to m3) (quality_power 0.5 1) (duration_power 0.1 1)"
           " (cost_power 0 1) (resource_model duration_independent))\n"
           "(spec_task_group (label g) (agent A) (qaf q_max))");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_THAT(err, testing::StartsWith(
            "\n** Warning, resource consumption specified as a distribution.\n"
            "Scheduler will use the expected value of the distribution.\nThe uses rnle is: u\n\n"));
  ASSERT_EQ(p.rnles.length(), 3);
  UnboundResourceNLE* l = p.rnles.get(0L);
  Limits* limits = static_cast<Limits*>(l->rnle);
  EXPECT_EQ(l->from, "fuel");
  EXPECT_EQ(l->to, "m3");
  EXPECT_EQ(limits->from, "fuel");
  EXPECT_EQ(limits->resource_id, "fuel");
  EXPECT_EQ(limits->task_id, "m3");
  EXPECT_EQ(limits->model_is_per_time_unit, 0);
  EXPECT_FLOAT_EQ(limits->duration_power.get_expected_value(), 0.1f);
  UnboundResourceNLE* pr = p.rnles.get(1L);
  Produces* produces = static_cast<Produces*>(pr->rnle);
  EXPECT_EQ(produces->to, "fuel");
  EXPECT_EQ(produces->task_id, "m2");
  EXPECT_FLOAT_EQ(produces->produces, 3.0f);
  // No model field: the effect keeps its default, not the previous form's model.
  EXPECT_EQ(produces->model_is_per_time_unit, 0);
  UnboundResourceNLE* u = p.rnles.get(2L);
  Uses* uses = static_cast<Uses*>(u->rnle);
  EXPECT_EQ(u->from, "m1");
  EXPECT_EQ(u->to, "fuel");
  EXPECT_EQ(uses->id, "u");
  EXPECT_EQ(uses->owner_agent, "A");
  EXPECT_EQ(uses->to, "fuel");
  EXPECT_EQ(uses->resource_id, "fuel");
  EXPECT_EQ(uses->task_id, "m1");
  EXPECT_FLOAT_EQ(uses->consumes, 3.0f);
  EXPECT_EQ(uses->model_is_per_time_unit, 1);
  // Attributes written inside an effect form do not land on the next task.
  EXPECT_EQ(p.tasks.get(0L)->task->imported_attributes.length(), 0);
}

TEST(ParserResourcesDeathTest, NegativeInitialStateExits) {
  EXPECT_EXIT(Parsed p("(spec_consumable_resource (label r) (state -1) (depleted_at 0))"),
              testing::ExitedWithCode(1), HasSubstr("Error, resources cannot be initialized with negative values.\n"));
}

// ---------------------------------------------------------------------------------------
// Commitments.

TEST(ParserCommitments, LocalCommitmentsTakeTheirFieldsAndAttributes) {
  Parsed p("(spec_commitment (label c1) (type deadline) (task m1 M2) (importance 2) (minimum_quality 3.5)"
           " (earliest_start_time -1) (deadline 40) (time_satisfied 12)"
           " (spec_attributes (existing_or_proposed existing) (quality_for_commitment_satisfaction 5 0.5 8 0.5)))\n"
           "(spec_commitment (label c2) (type dont) (agent B) (task m3) (importance 0) (minimum_quality 0)"
           " (earliest_start_time -9) (deadline -9) (dont_interval_start 3) (dont_interval_end 7)"
           " (time_satisfied -9))");
  ASSERT_EQ(p.commitments.length(), 2);
  LocalCommitment* c2 = p.commitments.get(0L)->as_local();
  ASSERT_NE(c2, nullptr);
  EXPECT_EQ(c2->type, DONT_COMMITMENT_TYPE);
  EXPECT_EQ(c2->agent_id, "B");
  EXPECT_FLOAT_EQ(c2->dont_interval_start, 3.0f);
  EXPECT_FLOAT_EQ(c2->dont_interval_end, 7.0f);
  EXPECT_EQ(c2->existing_or_proposed, COMMITMENT_IS_PROPOSED);
  EXPECT_EQ(c2->quality_for_commitment_satisfaction.length(), 1);
  LocalCommitment* c1 = p.commitments.get(1L)->as_local();
  EXPECT_EQ(c1->commitment_id, "c1");
  EXPECT_EQ(c1->type, DEADLINE_COMMITMENT_TYPE);
  EXPECT_EQ(c1->agent_id, "kov_did_not_emit_an_agent_field_assume_for_this_agent");
  ASSERT_EQ(c1->task_ids.length(), 2);
  EXPECT_EQ(*c1->task_ids[1L], "M2");
  EXPECT_EQ(c1->importance, 2);
  EXPECT_FLOAT_EQ(c1->minimum_quality, 3.5f);
  EXPECT_FLOAT_EQ(c1->deadline, 40.0f);
  EXPECT_FLOAT_EQ(c1->satisfaction_time, 12.0f);
  EXPECT_FLOAT_EQ(c1->dont_interval_start, -9.0f);
  EXPECT_EQ(c1->existing_or_proposed, COMMITMENT_IS_EXISTING);
  // The read pairs replace the default certain 0 quality.
  Distribution& q = c1->quality_for_commitment_satisfaction;
  ASSERT_EQ(q.length(), 2);
  EXPECT_FLOAT_EQ(q.get(0L)->value, 5.0f);
  EXPECT_FLOAT_EQ(q.get_density_sum(), 1.0f);
}

TEST(ParserCommitments, NonLocalCommitmentsAreOfTheNonLocalTypeForTheReceivingAgent) {
  Parsed p("(spec_nonlocal_commitment (label n1) (task m1) (from_agent B) (to_agent A)"
           " (quality_distribution 10 1) (time_distribution 5 0.5 7 0.5))");
  ASSERT_EQ(p.commitments.length(), 1);
  NonLocalCommitment* n = p.commitments.get(0L)->as_non_local();
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->type, NON_LOCAL_COMMITMENT_TYPE);
  EXPECT_EQ(n->commitment_id, "n1");
  EXPECT_EQ(n->from_agent, "B");
  EXPECT_EQ(n->agent_id, "A");
  EXPECT_EQ(*n->task_ids[0L], "m1");
  EXPECT_FLOAT_EQ(n->arrival_time.get_expected_value(), 6.0f);
}

TEST(ParserCommitmentsDeathTest, TypeRulesExitWithStatusOne) {
  struct Case {
    const char* type;
    const char* times;
    const char* message;
  } cases[] = {
      {"earliest_start_time", "(earliest_start_time 5) (deadline 10)",
       "T-vorna error, the following commitment is an earliest_start_time commitment but it also has a deadline "
       "and/or a dont_interval."},
      {"deadline", "(earliest_start_time 5) (deadline 10)",
       "T-vorna error, the following commitment is a deadline commitment but it also has an earliest_start_time "
       "or a dont_interval."},
      {"do", "(earliest_start_time -1) (deadline 10)",
       "T-vorna error, the following commitment is a do commitment but it also has a deadline, an earliest start "
       "time, or a start/end dont_inteval.The deadline"},
      {"est_and_dl_and_do", "(earliest_start_time 1) (deadline 10) (dont_interval_start 1) (dont_interval_end 2)",
       "T-vorna error, the following commitment is an EST_DL_AND_DO commitment but has dont interval values "
       "specified.\n"},
      {"dont", "(earliest_start_time 1) (deadline -9) (dont_interval_start 1) (dont_interval_end 2)",
       "T-vorna error, the following commitment is a dont commitment but it also has a deadline, an earliest "
       "start time, or both Both"},
      {"dont", "(earliest_start_time -9) (deadline -9) (dont_interval_start 5) (dont_interval_end 2)",
       "T-vorna error, the following commitment is a dont commitment but it has an empty dont_interval_start or "
       "dont_interval_end parameter or the start time is after the end time.\n"},
      {"dont", "(earliest_start_time -9) (deadline -9)", "the start time is after the end time.\n"},
  };
  for (const Case& c : cases) {
    std::string text = std::string("(spec_commitment (label c) (type ") + c.type +
                       ") (task m) (importance 1) (minimum_quality 0) " + c.times + " (time_satisfied 0))";
    EXPECT_EXIT(Parsed p(text), testing::ExitedWithCode(1), HasSubstr(c.message)) << text;
  }
}

TEST(ParserCommitmentsDeathTest, AttributeAndTaskErrorsStop) {
  EXPECT_EXIT(Parsed p("(spec_commitment (label c) (type do) (task m) (importance 1) (minimum_quality 0)"
                       " (earliest_start_time -1) (deadline -1) (time_satisfied 0)"
                       " (spec_attributes (existing_or_proposed maybe)))"),
              testing::KilledBySignal(SIGABRT),
              HasSubstr("Error, processed a commitment existing_or_proposed setting that was neither 'existing' or "
                        "'proposed'.\n" + semantic_stop(1)));
  EXPECT_EXIT(Parsed p("(spec_commitment (label c) (type do) (task m) (importance 1) (minimum_quality 0)"
                       " (earliest_start_time -1) (deadline -1) (time_satisfied 0)"
                       " (spec_attributes (quality_for_commitment_satisfaction 5 0.5)))"),
              testing::KilledBySignal(SIGABRT),
              HasSubstr("did not sum to 100\npercent.Error, textual vorna semantic error"));
  EXPECT_EXIT(Parsed p("(spec_nonlocal_commitment (label n1) (task m1 m2) (from_agent B) (to_agent A)"
                       " (quality_distribution 10 1) (time_distribution 5 1))"),
              testing::KilledBySignal(SIGABRT),
              HasSubstr("Error, non-local commitment n1 is linked to more than one task or is not linked to any.\n"
                        "The list of ids that were parsed follows:\nm1 m2 \n" + semantic_stop(1)));
}

// ---------------------------------------------------------------------------------------
// Criteria and control parameters.

TEST(ParserCriteria, FillsTheBundleWithItsBankTotals) {
  Parsed p("(spec_evaluation_criteria (label crit)" + kCriteriaFields);
  ScheduleCriteriaBundle& cb = p.criteria;
  EXPECT_EQ(cb.has_values, 1);
  EXPECT_EQ(cb.label_for_tvorna, "crit");
  EXPECT_FLOAT_EQ(cb.goodness_duration_slider, 3.0f);
  EXPECT_FLOAT_EQ(cb.total_points_in_goodness_bank, 6.0f);
  EXPECT_FLOAT_EQ(cb.total_points_in_threshold_bank, 15.0f);
  EXPECT_FLOAT_EQ(cb.quality_threshold, 7.0f);
  EXPECT_FLOAT_EQ(cb.cost_limit, 8.0f);
  EXPECT_FLOAT_EQ(cb.duration_limit, 10.0f);
  EXPECT_FLOAT_EQ(cb.duration_limit_plus_range, 0.5f);
  EXPECT_FLOAT_EQ(cb.total_points_in_uncertainty_bank, 30.0f);
  EXPECT_FLOAT_EQ(cb.total_points_in_uncertainty_threshold_bank, 39.0f);
  EXPECT_FLOAT_EQ(cb.cost_certainty_threshold, 16.0f);
  EXPECT_FLOAT_EQ(cb.duration_certainty_threshold, 17.0f);
  EXPECT_FLOAT_EQ(cb.meta_uncertainty_threshold_slider, 21.5f);

  Parsed q(criteria_with_duration_limit("10"));
  EXPECT_FLOAT_EQ(q.criteria.duration_limit, 10.0f);
  EXPECT_FLOAT_EQ(q.criteria.duration_limit_plus_range, 0.0f);
  Parsed r(criteria_with_duration_limit("12 1"));
  EXPECT_FLOAT_EQ(r.criteria.duration_limit_plus_range, 1.0f);
}

TEST(ParserCriteriaDeathTest, SoftRangeOutsideZeroToOneExits) {
  for (const char* limit : {"10 1.5", "10 -0.25"}) {
    EXPECT_EXIT(Parsed p(criteria_with_duration_limit(limit)), testing::ExitedWithCode(1),
                testing::EndsWith("\aError, duration limit soft range must be between 0 and 1.0\n"))
        << limit;
  }
}

TEST(ParserControl, MiscParametersAndTopLevelAttributesSetTheControlBundle) {
  Parsed p("(spec_misc_scheduler_parameters (label ctl) (time_to_schedule_for 5) (cost_accrued 2.5)"
           " (use_advanced_analysis 1) (pruning_setting prune))");
  EXPECT_EQ(p.control.label, "ctl");
  EXPECT_FLOAT_EQ(p.control.execution_clock_to_schedule_for, 5.0f);
  EXPECT_FLOAT_EQ(p.control.cost_accrued_thus_far, 2.5f);
  EXPECT_EQ(p.control.use_advanced_cbranch_analyzer, 1);
  EXPECT_EQ(p.control.prune_setting, 'p');

  Parsed q("(spec_attributes (time_to_schedule_for 7.5) (cost_accrued at 3) (use_advanced_analysis 1)"
           " (target_max_number_of_schedules 12) (pruning_setting n) (scheduling_mode Heuristic) (other x))\n"
           "(spec_task_group (label g) (agent A) (qaf q_max))");
  EXPECT_FLOAT_EQ(q.control.execution_clock_to_schedule_for, 7.5f);
  EXPECT_FLOAT_EQ(q.control.cost_accrued_thus_far, 3.0f);
  EXPECT_EQ(q.control.use_advanced_cbranch_analyzer, 1);
  EXPECT_EQ(q.control.target_max_number_of_schedules, 12);
  EXPECT_EQ(q.control.prune_setting, 'n');
  EXPECT_EQ(q.control.scheduling_mode, ScheduleMethodsHeuristically);
  // The top-level entries are not handed on to the next form.
  EXPECT_EQ(q.tasks.get(0L)->task->imported_attributes.length(), 0);

  Parsed r("(spec_attributes (scheduling_mode exhaustive_from_pruned_alternatives)"
           " (target_max_number_of_schedules 1e30))");
  EXPECT_EQ(r.control.scheduling_mode, ScheduleMethodsExhaustively_via_Pruned_Alternatives);
  EXPECT_EQ(r.control.target_max_number_of_schedules, 2147483647);
}

TEST(ParserControlDeathTest, InvalidControlValuesExit) {
  EXPECT_EXIT(Parsed p("(spec_attributes (time_to_schedule_for -1))"), testing::ExitedWithCode(1),
              HasSubstr("\aError, tvorna specifies a negative current time to schedule for.\n"));
  EXPECT_EXIT(Parsed p("(spec_attributes (cost_accrued -0.5))"), testing::ExitedWithCode(1),
              HasSubstr("\aError, tvorna specifies a negative accrued cost to date.\n"));
  EXPECT_EXIT(Parsed p("(spec_attributes (pruning_setting x))"), testing::ExitedWithCode(1),
              HasSubstr("\aError, prunning setting specified in tvorna file has invalid value.  Must be 'n' (for "
                        "none) or 'p' for prune.\n"));
  EXPECT_EXIT(Parsed p("(spec_attributes (scheduling_mode fast))"), testing::ExitedWithCode(1),
              HasSubstr("\aError, scheduling_mode setting specified in tvorna file has invalid value.  Must be: "
                        "pure_exhaustive, exhaustive_from_alternatives, exhaustive_from_pruned_alternatives or "
                        "heuristic.\n"));
}

// ---------------------------------------------------------------------------------------
// The grammar.

TEST(ParserGrammar, AcceptsEveryForm) {
  Parsed p("(spec_attributes)\n(task x)\n(spec_agent (spec_attributes (a b)) (label A) (spec_attributes ))\n"
           "(spec_schedule_setting_bundle (label s) (quality_value) (duration_value 0.5) (cost_value expected))\n"
           "(spec_schedule (schedule_elements (m1 (start_time_distribution) (finish_time_distribution 5 1)"
           " (quality_distribution 1 1) (duration_distribution 5 1) (cost_distribution 0 1)"
           " (quality_monitoring_info) (duration_monitoring_info 1 1)))"
           " (task_quality_infos m1 3 t 4.5) (commitment_info) (quality_distribution 1 1)"
           " (duration_distribution 5 1) (cost_distribution 0 1))\n"
           "(spec_evaluation_criteria (label c)" + kCriteriaFields + "\n" +
           "(spec_misc_scheduler_parameters (label m) (time_to_schedule_for 0) (cost_accrued 0)"
           " (use_advanced_analysis 0) (pruning_setting n))\n" +
           kMethod);
  EXPECT_EQ(p.agents.length(), 1);
  EXPECT_EQ(p.tasks.length(), 1);
  EXPECT_EQ(p.criteria.has_values, 1);
}

// The optional pieces of the fixed-order forms, the accepted spellings and the places
// where an attributes form may stand.
TEST(ParserGrammar, AcceptsEveryVariantOfTheForms) {
  const char* cases[] = {
      "(spec_agent (Label 1.5) (spec_attributes (a b)))",
      "(spec_task_group (spec_attributes (k v)) (Label g) (Agent A) (Subtasks a b) (Qaf q_seq_sum) (Arrival_time 0)"
      " (Earliest_start_time 1) (Deadline 2) (spec_attributes))",
      "(spec_method (label m) (agent A) (supertasks t) (Percentage_of_cpu_used 1) (Start_Time 0) (Finish_Time 1)"
      " (Accrued_Time 1) (Method_is_non_local) (Outcomes (o (Density 1) (Quality_Distribution 1 1)"
      " (Duration_Distribution 1 1) (Cost_Distribution 1 1))))",
      "(spec_hinders (label h) (agent A) (from a) (From_Outcome o) (to b) (quality_power 1 1) (duration_power 1 1.0)"
      " (cost_power 1. .5 2 .5) (delay 0 1) (spec_attributes (k v)))",
      "(spec_consumes (label u) (agent A) (from m) (to r) (consumes 1 1))",
      "(spec_produces (label p) (agent A) (from m) (to r) (produces 1 1) (resource_model duration_independent)"
      " (spec_attributes (k v)))",
      "(spec_limits (label l) (agent A) (from r) (to m) (quality_power 1 1) (duration_power 1 1) (cost_power 1 1)"
      " (resource_model per_time_unit))",
      "(spec_non_consumable_resource (spec_attributes (a b)) (label r) (agent 3) (state 1.5) (depleted_at 0)"
      " (overloaded_at 2) (spec_attributes))",
      "(spec_commitment (label c) (type est_and_dl_and_do) (agent A) (task m) (importance 1) (minimum_quality 0)"
      " (earliest_start_time 1) (deadline 5) (time_satisfied 0))",
      "(spec_commitment (label c) (type Dont) (task m n) (Importance -1) (Minimum_quality 0.5)"
      " (earliest_start_time -1) (deadline -1) (Dont_interval_start 1) (Dont_interval_end 2) (Time_satisfied 0))",
      "(spec_nonlocal_commitment (spec_attributes (a b)) (label n) (task m) (from_agent B) (to_agent A)"
      " (quality_distribution 1 1) (time_distribution 2 1) (spec_attributes (c d)))",
  };
  for (const char* text : cases) {
    testing::internal::CaptureStderr();
    Parsed p(text);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(p.agents.length() + p.tasks.length() + p.nles.length() + p.rnles.length() + p.resources.length() +
                  p.commitments.length(),
              1)
        << text;
  }
}

TEST(ParserGrammarDeathTest, RejectsTextOutsideTheGrammar) {
  struct Case {
    const char* text;
    std::string report;
  } cases[] = {
      {"", "\nVorna error:  parse error at line 1 of file test.vorna\n"},
      {"(spec_enables (label e) (agent A) (from a) (to b) (delay 0 1 2))", parse_error(1, ")")},
      {"(spec_commitment (label c) (type do) (task m) (importance 2.5)", parse_error(1, "2.5")},
      {"(spec_misc_scheduler_parameters (label m) (time_to_schedule_for 0) (cost_accrued 0)\n"
       " (use_advanced_analysis 0) (pruning_setting n) (spec_attributes (a b)))",
       parse_error(2, "(")},
      {"(spec_task_group (label g) (agent A)\n\n (qaf q_max) (spec_attributes (a b)) (deadline 3))",
       parse_error(3, "deadline")},
      {"(spec_task_group (label g) (agent A) (qaf q_sigmoid) (sigmoid_distribution 1 1))", parse_error(1, ")")},
      {"(spec_limits (label l) (agent A) (from r) (from_outcome o) (to m))", parse_error(1, "from_outcome")},
      {"(spec_task_group (label 2147483648))", parse_error(1, "2147483648")},
      {"(spec_agent (label A))\n(spec_task (label t) (deadline 1e39))", parse_error(2, "1e39")},
      {"(spec_agent (label A))\n(spec_task (label t) (deadline 999999999999999999999999999999999999999999.0))",
       parse_error(2, "999999999999999999999999999999999999999999.0")},
      {"(spec_attributes (x (y) z))", parse_error(1, "(")},
      {"(spec_agent (label A)\n; the form is never closed", "\nVorna error:  parse error at line 2 of file test.vorna\n"},
      // Fields out of their fixed order, missing, of the wrong kind or in the wrong form.
      {"(spec_enables (label e) (agent A) (to b) (from a) (delay 0 1))", parse_error(1, "to")},
      {"(spec_enables (label e) (from a) (to b) (delay 0 1))", parse_error(1, "from")},
      {"(spec_enables (label e) (agent A) (from 12) (to b) (delay 0 1))", parse_error(1, "12")},
      {"(spec_agent (label A) (agent B))", parse_error(1, "agent")},
      {"(spec_task_group (label g) (agent A) (qaf q_max) (supertasks x))", parse_error(1, "supertasks")},
      {"(spec_task (label t) (agent A) (qaf q_max) (outcomes (o (density 1) (quality_distribution 1 1)))",
       parse_error(1, "outcomes")},
      {"(spec_method (label m) (agent A) (qaf q_max))", parse_error(1, "qaf")},
      {"(spec_task_group (label g) (agent A) (qaf q_sum_all q_max))", parse_error(1, "q_max")},
      {"(spec_task (label t) (agent A) (qaf q_max) (subtasks))", parse_error(1, ")")},
      {"(spec_method (label m) (outcomes))", parse_error(1, ")")},
      {"(spec_consumable_resource (label r) (state 1) (overloaded_at 2) (depleted_at 0))",
       parse_error(1, "overloaded_at")},
      {"(spec_uses (label u) (agent A) (from m) (to r) (consumes 1 1) (resource_model per_time_unit)"
       " (resource_model per_time_unit))",
       parse_error(1, "resource_model")},
      {"(spec_commitment (label c) (type do) (task m) (importance 1) (minimum_quality 0) (earliest_start_time -1)"
       " (deadline -1) (dont_interval_start 1) (time_satisfied 0))",
       parse_error(1, "time_satisfied")},
      {"(spec_commitment (label c) (type do) (task m) (importance 1) (minimum_quality 0) (earliest_start_time -1)"
       " (deadline -1) (dont_interval_start 1.5) (dont_interval_end 2) (time_satisfied 0))",
       parse_error(1, "1.5")},
      {"(spec_misc_scheduler_parameters (label m) (time_to_schedule_for 0) (cost_accrued 0)"
       " (use_advanced_analysis 1.0) (pruning_setting n))",
       parse_error(1, "1.0")},
      {"(spec_schedule_setting_bundle (label s) (quality_value 1) (duration_value) (cost_value))", parse_error(1, "1")},
      {"(spec_evaluation_criteria (label c) (goodness_cost_slider 1))", parse_error(1, "goodness_cost_slider")},
      {"(spec_attributes (key))", parse_error(1, ")")},
      {"(task 5)", parse_error(1, "5")},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(Parsed p(c.text), testing::KilledBySignal(SIGABRT), HasSubstr(c.report)) << c.text;
  }
}

// ---------------------------------------------------------------------------------------
// State between parses.

struct Interrupted {};
void throw_on_stop(StopKind, int) { throw Interrupted{}; }

TEST(ParserState, EveryParseStartsCleanEvenAfterAnInterruptedOne) {
  StopHook previous = set_stop_hook(throw_on_stop);
  testing::internal::CaptureStderr();
  const char* interrupted[] = {
      // Ends inside a comment without a final newline.
      "(spec_agent (label A)) ; the end",
      // Stops in the middle of a method, with outcomes, names and attributes pending.
      "(spec_method (spec_attributes (weighting_factor 2)) (label m) (agent A) (supertasks t)"
      " (outcomes (o (density 0.5) (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 1 1))))",
      // Stops in an effect, a commitment, a resource and inside an attributes form.
      "(spec_facilitates (label f) (agent A) (from a) (to b) (quality_power 1 0.5) (duration_power 0 1)"
      " (cost_power 0 1) (delay 0 1))",
      "(spec_commitment (label c) (type do) (task m) (importance 1) (minimum_quality 0)"
      " (earliest_start_time 3) (deadline -1) (time_satisfied 0))",
      "(spec_consumable_resource (label r) (state 1) (depleted_at -1))",
      "(spec_uses (label u) (agent A) (from m) (to r) (consumes 1 0.5) (resource_model per_time_unit))",
      "(spec_task (spec_attributes (k v) )",
  };
  for (const char* text : interrupted) {
    try {
      Parsed p(text);
    } catch (const Interrupted&) {
    }
  }
  testing::internal::GetCapturedStderr();
  set_stop_hook(previous);

  Parsed p("(spec_agent (label B))\n(spec_task (label t) (agent B) (qaf q_max))\n"
           "(spec_uses (label u) (agent B) (from m) (to r) (consumes 1 1))");
  EXPECT_EQ(p.owner, "B");
  ASSERT_EQ(p.tasks.length(), 1);
  EXPECT_EQ(p.tasks.get(0L)->task->imported_attributes.length(), 0);
  EXPECT_FLOAT_EQ(p.tasks.get(0L)->task->weighting_factor, 1.0f);
  EXPECT_EQ(static_cast<Uses*>(p.rnles.get(0L)->rnle)->model_is_per_time_unit, 0);
  EXPECT_EQ(i_vorna, 3);
  EXPECT_EQ(p_count, 0);
  reset_vorna_parser_state();
}

TEST(ParserState, AttributeTextsOutliveTheParseUntilReleased) {
  {
    Parsed first("(spec_task (spec_attributes (note kept text)) (label t) (agent A) (qaf q_max))");
    Parsed second("(spec_task (spec_attributes (note other)) (label u) (agent A) (qaf q_max))");
    EXPECT_STREQ(first.tasks.get(0L)->task->imported_attributes["note"], "kept text");
  }
  release_attribute_texts();
  Parsed third("(spec_task (spec_attributes (note kept text)) (label t) (agent A) (qaf q_max))");
  EXPECT_STREQ(third.tasks.get(0L)->task->imported_attributes["note"], "kept text");
}

TEST(ParserState, ParsesAStream) {
  FILE* input = tmpfile();
  fputs("(spec_agent (label A))\n(spec_task_group (label g) (agent A) (qaf q_max)) ; last line", input);
  rewind(input);
  Parsed read;
  VornaParseTarget target = read.target("stream.vorna");
  int calls = parser_call_counter;
  EXPECT_EQ(parse_vorna_stream(input, target), 0);
  EXPECT_EQ(parser_call_counter, calls + 1);
  fclose(input);
  ASSERT_EQ(read.tasks.length(), 1);
  EXPECT_EQ(read.tasks.get(0L)->id, "g");
}

// ---------------------------------------------------------------------------------------
// Support functions.

TEST(ParserSupport, TextHelpers) {
  char text[] = "ab\t\n\t";
  remove_trailing_whitespace2(text);
  EXPECT_STREQ(text, "ab");
  char only[] = "\n\n";
  remove_trailing_whitespace2(only);
  EXPECT_STREQ(only, "\n");
  char* copy = strsave("xyz");
  EXPECT_STREQ(copy, "xyz");
  delete[] copy;
  EXPECT_EQ(strsave(nullptr), nullptr);
  std::istringstream in("  1 ");
  EXPECT_FALSE(at_eof(in));
  double v = 0;
  in >> v;
  EXPECT_TRUE(at_eof(in));
  EXPECT_FLOAT_EQ(to_float(1e300), 3.40282347e38f);
  EXPECT_EQ(to_int(-1e20), -2147483647 - 1);
  double n = 0;
  EXPECT_TRUE(read_attribute_number("word 2.5", n));
  EXPECT_DOUBLE_EQ(n, 2.5);
  EXPECT_FALSE(read_attribute_number("abc", n));
}

// ---------------------------------------------------------------------------------------
// Unbound records.

TEST(UnboundRecords, MakeTheObjectOfTheirKind) {
  UnboundTask group(VORNA_TASK_GROUP);
  UnboundTask task(VORNA_TASK);
  UnboundTask method(VORNA_METHOD);
  EXPECT_EQ(group.task->task_type, VORNA_TASK_GROUP);
  EXPECT_EQ(task.task->task_type, VORNA_TASK);
  EXPECT_EQ(method.task->task_type, VORNA_METHOD);
  EXPECT_EQ(method.id, EMPTY_ID);
  UnboundNLE bounded(NLE_B_FACILITATES);
  EXPECT_EQ(bounded.nle->type, NLE_B_FACILITATES);
  EXPECT_EQ(bounded.outcome_from, EMPTY_ID);
  UnboundResourceNLE limits(RNLE_LIMITS);
  EXPECT_EQ(limits.rnle->type, RNLE_LIMITS);
  delete group.task;
  delete task.task;
  delete method.task;
  delete bounded.nle;
  testing::internal::CaptureStderr();
  delete limits.rnle;
  testing::internal::GetCapturedStderr();
}

TEST(UnboundRecordsDeathTest, UntypedRecordsStop) {
  EXPECT_EXIT(UnboundTask t(VORNA_TASK_UNDEFINED), testing::KilledBySignal(SIGABRT),
              HasSubstr(std::string("Error, UnboundTask asked to create a task of an undefined type.\n") + kStop));
  EXPECT_EXIT(UnboundNLE n(NLE_USES), testing::KilledBySignal(SIGABRT),
              HasSubstr(std::string("Error, asked to create an untyped nle.\n") + kStop));
  EXPECT_EXIT(UnboundResourceNLE r(RNLE_UNDEFINED), testing::KilledBySignal(SIGABRT),
              HasSubstr(std::string("Error, asked to create an untyped resource nle.\n") + kStop));
}

TEST(UnboundRecords, ListsKeepTheirOrderAndFindTasksIgnoringCase) {
  UnboundTaskList tasks;
  for (const char* id : {"Alpha", "beta", "ALPHA"}) {
    UnboundTask* record = new UnboundTask(VORNA_TASK);
    record->id = id;
    record->list_of_sub_names.append(std::string("s1"));
    tasks.add(record);
  }
  EXPECT_EQ(tasks.get(0L)->id, "Alpha");
  EXPECT_EQ(tasks["alpha"], tasks.get(0L));
  EXPECT_EQ(tasks.in_list(tasks.get(2L)), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(tasks["gamma"], nullptr);
  tasks.print_task_ids_on_one_line(stderr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Warning - unable to locate task list member gamma.\nAlpha beta ALPHA \n");
  for (long i = 0; i < tasks.length(); i++) delete tasks.get(i)->task;
  tasks.delete_list(1);

  UnboundNLEList nles;
  UnboundNLE* a = new UnboundNLE(NLE_ENABLES);
  UnboundNLE* b = new UnboundNLE(NLE_DISABLES);
  nles.add(a);
  nles.add(b);
  EXPECT_EQ(nles.get(0L), b);
  EXPECT_EQ(nles[1L], a);
  NLE* kept = a->nle;
  nles.remove(a, 1);
  // The record went, the effect it pointed to stays.
  EXPECT_EQ(kept->type, NLE_ENABLES);
  delete kept;
  delete b->nle;
  nles.delete_list(1);

  UnboundResourceNLEList rnles;
  UnboundResourceNLE* u = new UnboundResourceNLE(RNLE_USES);
  UnboundResourceNLE* p = new UnboundResourceNLE(RNLE_PRODUCES);
  rnles.add(u);
  rnles.add(p);
  EXPECT_EQ(rnles.get(0L), p);
  testing::internal::CaptureStderr();
  delete u->rnle;
  delete p->rnle;
  testing::internal::GetCapturedStderr();
  rnles.delete_list(1);
}

TEST(UnboundRecords, PrintTheirNamesAndObject) {
  UnboundNLE record(NLE_ENABLES);
  record.nle->nle_id = "e1";
  record.from = "m1";
  record.to = "m2";
  testing::internal::CaptureStdout();
  record.print(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(out, testing::StartsWith("UnboundNLE e1, from m1 (outcome qwerty__empty_no_id) to m2.\nNLE follows:\n"));
  delete record.nle;

  UnboundResourceNLE rrecord(RNLE_LIMITS);
  rrecord.rnle->id = "l1";
  rrecord.from = "r";
  rrecord.to = "m";
  testing::internal::CaptureStdout();
  rrecord.print(stdout);
  EXPECT_THAT(testing::internal::GetCapturedStdout(),
              testing::StartsWith("UnboundResourceNLE l1, from r to m.\nResourceNLE follows:\nLimits resource nle:\n"));
  testing::internal::CaptureStderr();
  delete rrecord.rnle;
  testing::internal::GetCapturedStderr();

  UnboundTask trecord(VORNA_TASK);
  trecord.id = "t";
  trecord.list_of_super_names.append(std::string("a"));
  trecord.list_of_sub_names.append(std::string("b"));
  trecord.list_of_sub_names.append(std::string("c"));
  testing::internal::CaptureStdout();
  trecord.print(stdout);
  EXPECT_THAT(testing::internal::GetCapturedStdout(),
              testing::StartsWith("Unbound task: t\nSupers names: a \nSubs names: b c \nThe task follows: \n"));
  delete trecord.task;
}

}  // namespace

namespace {

// A locale that writes and reads numbers with a decimal comma.
struct CommaPoint : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(ParserState, NumbersAreReadInTheCLocaleWhateverTheGlobalLocale) {
  std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
  Parsed p("(spec_attributes (time_to_schedule_for 2.5))\n"
           "(spec_method (spec_attributes (weighting_factor 0.75)) (label m) (agent A) (supertasks t)"
           " (outcomes (o (density 1) (quality_distribution 1.5 0.25 2.5 0.75) (duration_distribution 1 1)"
           " (cost_distribution 1 1))))");
  std::locale::global(previous);
  EXPECT_FLOAT_EQ(p.control.execution_clock_to_schedule_for, 2.5f);
  EXPECT_FLOAT_EQ(p.method(0)->weighting_factor, 0.75f);
  EXPECT_FLOAT_EQ(p.method(0)->outcomes.get(0L)->quality.get_expected_value(), 2.25f);
}

}  // namespace
