// The reader and binder: whole files through vorna-echo (written text, messages, exit
// statuses), round trips of every example file, and in-process reads for what the bound
// model holds.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "language/vorna_io.h"
#include "vorna_io_test_support.h"

using namespace vorna_io_test;

namespace {

const char* const HEADER =
    "(spec_agent (label A))\n"
    "(spec_evaluation_criteria (label k) (goodness_quality_slider 1) (goodness_cost_slider 0)\n"
    " (goodness_duration_slider 0) (threshold_quality_slider 0) (threshold_cost_slider 0)\n"
    " (threshold_duration_slider 0) (quality_threshold 0) (cost_limit 0) (duration_limit 0)\n"
    " (uncertainty_quality_slider 0) (uncertainty_cost_slider 0) (uncertainty_duration_slider 0)\n"
    " (threshold_certainty_quality_slider 0) (threshold_certainty_cost_slider 0)\n"
    " (threshold_certainty_duration_slider 0) (quality_certainty_threshold 0) (cost_certainty_threshold 0)\n"
    " (duration_certainty_threshold 0) (meta_goodness_slider 1) (meta_threshold_slider 0)\n"
    " (meta_uncertainty_slider 0) (meta_uncertainty_threshold_slider 0))\n";

std::string method(const std::string& id, const std::string& super, const std::string& extra = "",
                   const std::string& agent = "A") {
  return "(spec_method (label " + id + ") (agent " + agent + ") (supertasks " + super + ") " + extra +
         " (outcomes (o (density 1) (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 0 1))))\n";
}

// A text with the agent, the criteria and a group G over the given subtasks.
std::string structure(const std::string& subs, const std::string& rest) {
  return std::string(HEADER) + "(spec_task_group (label G) (agent A) (subtasks " + subs + ") (qaf q_sum))\n" + rest;
}

// A chain of nested tasks `levels` deep (at least 3): G over T1 over T2 ... over the method M.
std::string chain(long levels) {
  std::string text = structure("T1", "");
  for (long i = 1; i <= levels - 2; i++) {
    std::string below = i < levels - 2 ? "T" + std::to_string(i + 1) : "M";
    text += "(spec_task (label T" + std::to_string(i) + ") (agent A) (supertasks " + (i == 1 ? "G" : "T" + std::to_string(i - 1)) +
            ") (subtasks " + below + ") (qaf q_max))\n";
  }
  return text + method("M", "T" + std::to_string(levels - 2));
}

// Runs vorna-echo on the text; the fatal stop ends the run with the message, the source
// line and the two closing lines.
struct EchoCase {
  ScratchDir dir;
  std::string input;
  EchoRun run;
  explicit EchoCase(const std::string& text) {
    input = dir.with_file("in.tvorna", text);
    run = run_echo(input, dir.file("out.tvorna"));
  }
  std::string fatal_tail(const std::string& message) const {
    return message + "Source file is " + input + "\n" + FATAL_LINES;
  }
  bool err_ends_with(const std::string& tail) const {
    return run.err.size() >= tail.size() && run.err.compare(run.err.size() - tail.size(), tail.size(), tail) == 0;
  }
};

}  // namespace

// ---------------------------------------------------------------- whole files

TEST(VornaEcho, WritesEachExampleFileAsCheckedIn) {
  for (const std::string& name : example_files) {
    SCOPED_TRACE(name);
    ScratchDir dir;
    EchoRun run = run_echo(files_dir() + "/" + name + ".tvorna", dir.file("out"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir.file("out")), read_file(files_dir() + "/" + name + ".tvorna.echo"));
  }
}

// Reading the written file gives the same bound model, field by field and in list order,
// and writing it again gives the same bytes. The dump itself carries the normalisations
// the text makes: numbers to six decimals (the duration limit to two), labels and ids as
// the parser's text; it leaves out the control bundle's label, nodes under no task group
// and the tree's links to them (the file leaves both out), creation-order numbers (dot
// ids) and addresses.
TEST(VornaEcho, WrittenFilesReadBackToTheSameModelAndTheSameText) {
  for (const std::string& name : example_files) {
    SCOPED_TRACE(name);
    expect_written_text_reads_back(files_dir() + "/" + name + ".tvorna");
  }
}

TEST(VornaEcho, MissingCriteriaGiveTheDefaultBundleWithAWarning) {
  ModelRead model(files_dir() + "/minimal.tvorna");
  EXPECT_TRUE(contains(model.err,
                       "\a\nWarning, t-vorna input file did not include evaluation criteria.\n"
                       "Using 100% emphasis on raw-quality.\n\n"));
  EXPECT_EQ(model.criteria.has_values, 1);
  EXPECT_EQ(model.criteria.label_for_tvorna, "default_criteria_bundle");
  EXPECT_FLOAT_EQ(model.criteria.goodness_quality_slider, 1.0f);
  EXPECT_FLOAT_EQ(model.criteria.meta_goodness_slider, 1.0f);
  EXPECT_FLOAT_EQ(model.criteria.total_points_in_goodness_bank, 1.0f);

  ModelRead with_criteria(files_dir() + "/basic.tvorna");
  EXPECT_FALSE(contains(with_criteria.err, "did not include evaluation criteria"));
  // The meta sliders 2, 1, 1, 0 are prepared for use.
  EXPECT_FLOAT_EQ(with_criteria.criteria.meta_goodness_slider, 0.5f);
}

// ---------------------------------------------------------------- what binding builds

TEST(ReaderBinding, LinksChildNumbersGroupsAndFinalOutcomes) {
  ModelRead model(files_dir() + "/attributes_and_times.tvorna");
  ASSERT_EQ(model.task_groups.length(), 1);
  BasicTask* root = model.task_groups.get(0L);
  EXPECT_EQ(root->id, "Root");
  EXPECT_EQ(root->i_am_child_number, 0);
  EXPECT_EQ(model.node("Remote")->i_am_child_number, 2);
  EXPECT_EQ(model.node("Other")->i_am_child_number, 1);

  // A finished method's final outcome is the first one with probability exactly 1.
  Method* done = static_cast<Method*>(model.node("Done"));
  EXPECT_EQ(done->method_is_complete, 1);
  EXPECT_EQ(done->index_of_current_or_final_outcome, 1);
  EXPECT_EQ(done->current_or_final_outcome.outcome_id, "always");
  EXPECT_FLOAT_EQ(done->current_or_final_outcome.quality.get_expected_value(), 7.0f);

  // Another agent's method that has not run is known only as zero.
  Method* remote = static_cast<Method*>(model.node("Remote"));
  EXPECT_EQ(remote->method_is_local, 0);
  EXPECT_FLOAT_EQ(remote->outcomes.get(0L)->quality.get_expected_value(), 0.0f);
  EXPECT_FLOAT_EQ(remote->outcomes.get(0L)->duration.get_expected_value(), 0.0f);
  EXPECT_EQ(remote->outcomes.get(0L)->quality.length(), 1);

  EXPECT_EQ(model.io.owner_agent, "Alpha");
  EXPECT_EQ(model.control.target_max_number_of_schedules, 4);
  EXPECT_EQ(model.control.prune_setting, 'p');
  EXPECT_EQ(model.control.scheduling_mode, ScheduleMethodsHeuristically);
  EXPECT_FLOAT_EQ(model.control.execution_clock_to_schedule_for, 3.5f);
}

TEST(ReaderBinding, EffectFromAMethodBecomesOneCopyPerOutcome) {
  ModelRead model(files_dir() + "/attributes_and_times.tvorna");
  Method* pick = static_cast<Method*>(model.node("Pick"));
  BasicTask* other = model.node("Other");
  // Three copies of Fan (one per outcome, last outcome first), then H1 named by outcome.
  ASSERT_EQ(pick->affects_conceptually->length(), 4);
  const char* outcomes[] = {"third", "second", "first"};
  for (long i = 0; i < 3; i++) {
    NLE* copy = pick->affects_conceptually->get(i);
    EXPECT_EQ(copy->nle_id, "Fan_0");
    EXPECT_EQ(copy->type, NLE_ENABLES);
    EXPECT_EQ(copy->outcome_id_from_if_applicable, outcomes[i]);
    ASSERT_NE(copy->outcome_from_if_applicable, nullptr);
    EXPECT_EQ(copy->outcome_from_if_applicable->outcome_id, outcomes[i]);
    EXPECT_EQ(copy->from, pick);
    EXPECT_EQ(copy->to, other);
    EXPECT_TRUE(other->affected_by_conceptually->in_list(copy));
  }
  EXPECT_EQ(pick->affects_conceptually->get(3)->nle_id, "H1");
  // Each copy reaches the one method under its target; the effect as read is gone.
  EXPECT_EQ(other->affected_by_conceptually->length(), 3);
  EXPECT_EQ(other->affected_by_actually->length(), 3);
  EXPECT_EQ(pick->affects_actually->length(), 4);
}

TEST(ReaderBinding, EffectsOnATaskReachEveryMethodUnderIt) {
  ModelRead model(files_dir() + "/effects_order.tvorna");
  BasicTask* target = model.node("Target");
  BasicTask* x = model.node("X");
  BasicTask* y = model.node("Y");
  EXPECT_EQ(target->affected_by_conceptually->length(), 2);
  EXPECT_EQ(target->affected_by_actually->length(), 0);
  // X: the copies of both Early copies and Late, in the order of the forms.
  ASSERT_EQ(x->affected_by_actually->length(), 3);
  EXPECT_EQ(x->affected_by_actually->get(0L)->nle_id, "Late_0");
  EXPECT_EQ(x->affected_by_actually->get(1)->nle_id, "Early_0_0");
  EXPECT_EQ(x->affected_by_actually->get(1)->to, x);
  EXPECT_EQ(y->affected_by_actually->length(), 3);
}

TEST(ReaderBinding, ResourcesAndCommitmentsReachTheCallerLastOfTheFileFirst) {
  ModelRead resources(files_dir() + "/resources.tvorna");
  ASSERT_EQ(resources.resources.length(), 3);
  EXPECT_EQ(resources.resources.get(0L)->id, "tool");
  EXPECT_EQ(resources.resources.get(1)->id, "empty_tank");
  EXPECT_EQ(resources.resources.get(2)->id, "fuel");
  EXPECT_FLOAT_EQ(resources.resources.get(1)->state, DEPLETED_FLAG);
  EXPECT_EQ(resources.resources.get(2)->being_used_per_time_unit, 1);
  // The effect on another agent's resource was dropped, the one after it kept.
  BasicTask* use = resources.node("Use");
  ASSERT_EQ(use->affects_resource->length(), 2);
  EXPECT_EQ(use->affects_resource->get(0L)->id, "U1");
  EXPECT_EQ(use->affects_resource->get(1)->id, "U2");
  EXPECT_EQ(static_cast<Uses*>(use->affects_resource->get(1))->from, use);
  ASSERT_EQ(use->affected_by_resource->length(), 1);
  EXPECT_EQ(static_cast<Limits*>(use->affected_by_resource->get(0L))->to, use);
  EXPECT_TRUE(contains(resources.err,
                       "\nWarning, resource nle U3 has an owner-agent of A, but,\n"
                       "unable to locate a resource (theirs) to go with the nle.\n"
                       "If the resource is not being modeled by the local-agent (A), then\n"
                       "no resource-related nles should be passed to the scheduler.\n"
                       "Please fix your tvorna file.\n"
                       "Deleting resource nle U3 and continuing...\n\n"));

  ModelRead commitments(files_dir() + "/commitments.tvorna");
  ASSERT_EQ(commitments.commitments.length(), 7);
  const char* ids[] = {"C7", "C6", "C5", "C4", "C3", "C2", "C1"};
  for (long i = 0; i < 7; i++) EXPECT_EQ(commitments.commitments.get(i)->commitment_id, ids[i]);
}

TEST(ReaderBinding, WarnsAboutFilledListsAndKeepsTheFirstOwnerAgent) {
  ScratchDir dir;
  std::string second = dir.with_file("b.tvorna", "(spec_agent (label B))\n(spec_agent (label A))\n" +
                                                      std::string("(spec_task_group (label H) (agent A) (subtasks N) (qaf q_max))\n") +
                                                      method("N", "H"));
  ModelRead model(files_dir() + "/minimal.tvorna");
  testing::internal::CaptureStderr();
  model.io.read_vorna_task_structures_and_commitments(second.c_str(), model.agents, model.task_groups,
                                                      model.commitments, model.criteria, model.resources,
                                                      model.control);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(contains(err,
                       "\aWarning, VornaIO::read_xx was given a non-empty list_of_agents list to read into.\n"
                       "This is most likely an error.  Processing continues.\n\n"));
  EXPECT_TRUE(contains(err, "non-empty list_of_task_groups list"));
  EXPECT_FALSE(contains(err, "non-empty list_of_commitments list"));
  EXPECT_EQ(model.io.owner_agent, "A");
  EXPECT_EQ(model.task_groups.length(), 2);
  EXPECT_EQ(model.agents.length(), 3);
}

// The tree's links to such nodes (a supertask, effects) are not written either: the file
// would name a task it lacks, and would not read back.
TEST(ReaderBinding, NodesUnderNoTaskGroupAreNeitherHandedOverNorWritten) {
  ScratchDir dir;
  std::string path = dir.with_file(
      "in.tvorna", structure("M", method("M", "G Loose") +
                                      "(spec_task (label Loose) (agent A) (subtasks L M) (qaf q_sum))\n" +
                                      method("L", "Loose") +
                                      "(spec_enables (label Out) (agent A) (from M) (from_outcome o) (to L) (delay 0 1))\n"
                                      "(spec_enables (label In) (agent A) (from L) (from_outcome o) (to M) (delay 0 1))\n"));
  ModelRead model(path);
  EXPECT_EQ(model.task_groups.length(), 1);
  EXPECT_EQ(model.node("Loose"), nullptr);
  EXPECT_EQ(model.node("M")->affects_conceptually->length(), 1);
  model.write(dir.file("out"));
  std::string text = read_file(dir.file("out"));
  EXPECT_FALSE(contains(text, "Loose"));
  EXPECT_TRUE(contains(text, "\t(label M)\n\t(agent A)\n\t(supertasks G)\n"));
  EXPECT_FALSE(contains(text, "(label Out)"));
  EXPECT_FALSE(contains(text, "(label In)"));
  EXPECT_FALSE(contains(text, "FYI"));
  EXPECT_EQ(run_echo(dir.file("out"), dir.file("again")).status, 0);
  EXPECT_EQ(read_file(dir.file("again")), text);
}

// Binding finds every name through an index: eight times the tasks take about eight times
// as long to read, where a search of the list for each name made it grow with their square.
TEST(ReaderBinding, ReadingTimeGrowsInProportionToTheTasks) {
  auto wide = [](long methods) {
    std::string subs;
    std::string rest;
    for (long i = 0; i < methods; i++) {
      subs += " M" + std::to_string(i);
      rest += method("M" + std::to_string(i), "G");
      if (i % 10 == 1)
        rest += "(spec_enables (label E" + std::to_string(i) + ") (agent A) (from M" + std::to_string(i - 1) +
                ") (to M" + std::to_string(i) + ") (delay 0 1))\n";
    }
    return structure(subs, rest);
  };
  // The better of two reads, so that a busy machine does not decide.
  auto seconds_to_read = [](const std::string& path) {
    double best = 1e9;
    for (int run = 0; run < 2; run++) {
      auto start = std::chrono::steady_clock::now();
      auto model = std::make_unique<ModelRead>(path);
      best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
  };
  ScratchDir dir;
  double small = seconds_to_read(dir.with_file("small.tvorna", wide(1500)));
  double large = seconds_to_read(dir.with_file("large.tvorna", wide(12000)));
  EXPECT_LT(large, 20 * small) << small << " s for 1,500 tasks, " << large << " s for 12,000";
}

// Such an effect is not written, and its target would wait for a source no schedule runs.
TEST(ReaderBinding, EffectFromANodeUnderNoTaskGroupIsWarnedAboutOnce) {
  ScratchDir dir;
  std::string path = dir.with_file(
      "in.tvorna",
      structure("M", method("M", "G") + "(spec_task (label Loose) (agent A) (subtasks L) (qaf q_sum))\n"
                                        "(spec_method (label L) (agent A) (supertasks Loose) (outcomes"
                                        " (a (density 0.5) (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 0 1))"
                                        " (b (density 0.5) (quality_distribution 2 1) (duration_distribution 1 1) (cost_distribution 0 1))))\n"
                                        "(spec_enables (label FromMethod) (agent A) (from L) (to M) (delay 0 1))\n"
                                        "(spec_enables (label FromTask) (agent A) (from Loose) (to M) (delay 0 1))\n"
                                        "(spec_enables (label Grouped) (agent A) (from M) (from_outcome o) (to L) (delay 0 1))\n"));
  ModelRead model(path);
  EXPECT_TRUE(contains(model.err,
                       "Warning, task L is not under any task group; its effect on M can never act.\n"
                       "Warning, task Loose is not under any task group; its effect on M can never act.\n"));
  // Once per effect form, though the effect from the method became one copy per outcome.
  EXPECT_EQ(model.err.find("task L is not"), model.err.rfind("task L is not"));
  EXPECT_FALSE(contains(model.err, "task M is not"));
  EXPECT_EQ(model.node("M")->affected_by_conceptually->length(), 3);
}

// ---------------------------------------------------------------- warnings and stops

TEST(ReaderStops, MultipleSupersAreOnlyAWarning) {
  ModelRead model(files_dir() + "/shared_node.tvorna");
  EXPECT_TRUE(contains(model.err,
                       "Task Shared seems to have multiple super tasks.\n"
                       "This is not currently supported. The task in question follows.\n"
                       "Unbound task: Shared\n"));
  EXPECT_EQ(model.node("Shared")->supertasks.length(), 2);
}

TEST(ReaderStops, SuperOrSubOwnedByAnotherAgentIsNotFound) {
  EchoCase super("(spec_agent (label B))\n" +
                 structure("M", method("M", "G")) +
                 "(spec_task (label T) (agent B) (supertasks G) (qaf q_max))\n");
  EXPECT_EQ(super.run.status, 134);
  EXPECT_TRUE(contains(super.run.err, "Unable to locate super G for task T.\nThe task follows:\nUnbound task: T\n"));
  EXPECT_TRUE(super.err_ends_with("Source file is " + super.input + "\n" + FATAL_LINES));

  EchoCase sub(structure("M Nowhere", method("M", "G")));
  EXPECT_EQ(sub.run.status, 134);
  EXPECT_TRUE(contains(sub.run.err, "Unable to locate sub Nowhere for task G.\nThe task follows:\nUnbound task: G\n"));
}

TEST(ReaderStops, FinishedMethodNeedsAnOutcomeOfProbabilityOne) {
  EchoCase run(structure("M", "(spec_method (label M) (agent A) (supertasks G) (finish_time 3) (outcomes"
                              " (a (density 0.5) (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 0 1))"
                              " (b (density 0.5) (quality_distribution 1 1) (duration_distribution 1 1) (cost_distribution 0 1))))\n"));
  EXPECT_EQ(run.run.status, 1);
  EXPECT_TRUE(run.err_ends_with("Warning, unable to determine final outcome.\n"));
}

TEST(ReaderStops, EffectEndpointsMustExistDifferAndNameRealOutcomes) {
  const std::string two = method("M", "G") + method("N", "G");
  EchoCase missing(structure("M N", two + "(spec_enables (label E) (agent A) (from M) (to Q) (delay 0 1))\n"));
  EXPECT_EQ(missing.run.status, 134);
  EXPECT_TRUE(missing.err_ends_with(missing.fatal_tail("Error, unable to locate an nle endpoint M and/or Q\n")));

  EchoCase same(structure("M N", two + "(spec_enables (label E) (agent A) (from M) (to M) (delay 0 1))\n"));
  EXPECT_EQ(same.run.status, 134);
  EXPECT_TRUE(same.err_ends_with(same.fatal_tail("Error, nle to/from (M,M) point to the same task!\n")));

  EchoCase from_task(structure("M N", two + "(spec_enables (label E) (agent A) (from G) (from_outcome o) (to M) (delay 0 1))\n"));
  EXPECT_EQ(from_task.run.status, 134);
  EXPECT_TRUE(contains(from_task.run.err,
                       "Error, nle specified out of an outcome but source is not a vorna method.\nThe nle is:\n"
                       "UnboundNLE E, from G (outcome o) to M.\n"));
  EXPECT_TRUE(from_task.err_ends_with("Source file is " + from_task.input + "\n" + FATAL_LINES));

  EchoCase no_outcome(structure("M N", two + "(spec_enables (label E) (agent A) (from M) (from_outcome zz) (to N) (delay 0 1))\n"));
  EXPECT_EQ(no_outcome.run.status, 134);
  EXPECT_TRUE(no_outcome.err_ends_with(
      no_outcome.fatal_tail("Error, nle to/from (M,N) is out of outcome zz but unable to locate outcome!\n")));
}

TEST(ReaderStops, AssemblyErrors) {
  EchoCase undeclared(structure("M", method("M", "G")) + "(spec_task_group (label H) (agent Z) (subtasks K) (qaf q_sum))\n" +
                      method("K", "H", "", "Z"));
  EXPECT_EQ(undeclared.run.status, 134);
  EXPECT_TRUE(undeclared.err_ends_with(undeclared.fatal_tail(
      "T-vorna assembly error.  Task H belongs to \nagent Z but that agent was not declared.\n")));

  EchoCase one_sided_super(structure("M", method("M", "G") + method("K", "G")));
  EXPECT_EQ(one_sided_super.run.status, 134);
  EXPECT_TRUE(one_sided_super.err_ends_with(one_sided_super.fatal_tail(
      "T-vorna assembly error.Task K has a super of G but G does not have a sub of K.\n")));

  EchoCase one_sided_sub(structure("M T", method("M", "G") + "(spec_task (label T) (agent A) (qaf q_max))\n"));
  EXPECT_EQ(one_sided_sub.run.status, 134);
  EXPECT_TRUE(contains(one_sided_sub.run.err,
                       "T-vorna assembly error.Task G has a sub of T but T does not have a super of G.\n"
                       "Source file is " + one_sided_sub.input + "\nThe subtask is:\n Task ID T of agent A\n"));
  EXPECT_TRUE(one_sided_sub.err_ends_with(FATAL_LINES));

  // A node's printout walks everything under it; one that is its own subtask is named only.
  EchoCase own_sub(structure("G M", method("M", "G")));
  EXPECT_EQ(own_sub.run.status, 134);
  EXPECT_TRUE(contains(own_sub.run.err,
                       "T-vorna assembly error.Task G has a sub of G but G does not have a super of G.\n"
                       "Source file is " + own_sub.input + "\nThe subtask is:\n Task ID G of agent A\n"
                       "(not printed: its subtasks lead back round to it)\n"));
  EXPECT_TRUE(own_sub.err_ends_with(FATAL_LINES));
}

// A task that is its own ancestor would send every later walk of the tree round for ever.
TEST(ReaderStops, CyclicStructureIsRefused) {
  EchoCase cycle(structure("T1", "(spec_task (label T1) (agent A) (supertasks G T2) (subtasks T2) (qaf q_max))\n"
                                 "(spec_task (label T2) (agent A) (supertasks T1) (subtasks T1) (qaf q_max))\n"));
  EXPECT_EQ(cycle.run.status, 134);
  EXPECT_TRUE(cycle.err_ends_with(cycle.fatal_tail(
      "T-vorna assembly error.  Task T1 is its own ancestor: the sub/super links of\ntask T2 lead back to it.\n")));
}

// Every walk of the tree recurses once per level: a deeper file is refused before any of
// them runs, and the deepest one accepted is read, written and freed on a 1 MB stack.
TEST(ReaderStops, StructuresDeeperThanAThousandLevelsAreRefused) {
  for (long levels : {1001L, 60000L}) {
    EchoCase deep(chain(levels));
    EXPECT_EQ(deep.run.status, 1) << levels;
    EXPECT_TRUE(deep.err_ends_with("Error, the task structure is " + std::to_string(levels) +
                                   " levels deep, from task G down to task M.\nAt most 1000 levels can be read.\n"
                                   "Unable to continue.\n"))
        << deep.run.err.substr(0, 500);
  }
  ScratchDir dir;
  std::string input = dir.with_file("in.tvorna", chain(1000));
  EchoRun run = run_program({"/bin/sh", "-c", "ulimit -s 1024 && exec \"$0\" \"$1\" \"$2\"", echo_program(), input,
                             dir.file("out.tvorna")});
  EXPECT_EQ(run.status, 0) << run.err.substr(0, 500);
  EXPECT_TRUE(contains(read_file(dir.file("out.tvorna")), "(label T998)\n"));
}

TEST(ReaderStops, ResourceChecks) {
  const std::string two = method("M", "G") + method("N", "G");
  EchoCase mixed(structure("M N", two + "(spec_consumable_resource (label r) (agent A) (state 5) (depleted_at 0))\n"
                                        "(spec_uses (label U) (agent A) (from M) (to r) (consumes 1 1) (resource_model per_time_unit))\n"
                                        "(spec_produces (label P) (agent A) (from N) (to r) (produces 1 1))\n"));
  EXPECT_EQ(mixed.run.status, 1);
  EXPECT_TRUE(mixed.err_ends_with(
      "\nError, resource r is being used by produces and consumes using different\n"
      "models (per_time_unit and duration_independnet).  This calls the\n"
      "semantics of depleted_at and overproduced_at into question.\nPlease revise your model.\nUnable to continue.\n"));

  EchoCase on_task(structure("T", "(spec_task (label T) (agent A) (supertasks G) (subtasks M) (qaf q_max))\n" +
                                      method("M", "T") +
                                      "(spec_consumable_resource (label r) (state 5) (depleted_at 0))\n"
                                      "(spec_uses (label U) (agent A) (from T) (to r) (consumes 1 1))\n"));
  EXPECT_EQ(on_task.run.status, 1);
  EXPECT_TRUE(on_task.err_ends_with("Error, a resource nle is tied to a non-method task.\n"
                                    "Semtantics for some of these operations have not been defined.\n"));

  EchoCase no_task(structure("M", method("M", "G") + "(spec_consumable_resource (label r) (state 5) (depleted_at 0))\n"
                                                     "(spec_uses (label U) (agent A) (from Q) (to r) (consumes 1 1))\n"));
  EXPECT_EQ(no_task.run.status, 1);
  EXPECT_TRUE(no_task.err_ends_with("T-vorna assembly error.  Cannot locate task Q to go with another item (most "
                                    "likely a resource).\nUnsafe to continue.\n"));
}

TEST(ReaderStops, NonConsumablePerTimeUnitIsRemappedWithANote) {
  ScratchDir dir;
  std::string path = dir.with_file(
      "in.tvorna", structure("M", method("M", "G") + "(spec_non_consumable_resource (label tool) (state 1) (depleted_at 0))\n"
                                                    "(spec_uses (label U) (agent A) (from M) (to tool) (consumes 1 1) "
                                                    "(resource_model per_time_unit))\n"));
  ModelRead model(path);
  EXPECT_TRUE(contains(model.err,
                       "\nNote, resource nle U operates on non-consumable resource tool"
                       "\non a per-time-unit-basis.  Remapping to simplify scheduler computation.\n"
                       "Limits relating to this resource will be incorrect.\nWhen we agree on consistent models, I'll "
                       "fix it.\n\n"));
  EXPECT_EQ(model.node("M")->affects_resource->get(0L)->model_is_per_time_unit, 0);
  // The resource counts as used per time unit: the remap comes after that check.
  EXPECT_EQ(model.resources.get(0L)->being_used_per_time_unit, 1);
}

// ---------------------------------------------------------------- abandoned reads

// A read that a stop cut short leaves nothing behind once discarded (the sanitizer build
// checks that every object it built is freed).
TEST(ReaderStops, AbandonedReadIsFreedCompletely) {
  const std::string two = method("M", "G") + method("N", "G");
  const std::vector<std::string> texts = {
      structure("M N", two + "(spec_facilitates (label F) (agent A) (from M) (to N) (quality_power 1 1) "
                             "(duration_power 0 1) (cost_power 0 1) (delay 0 1))\n"
                             "(spec_enables (label E) (agent A) (from G) (from_outcome o) (to M) (delay 0 1))\n"),
      structure("M N", two + "(spec_consumable_resource (label r) (state 5) (depleted_at 0))\n"
                             "(spec_uses (label U) (agent A) (from M) (to r) (consumes 1 1))\n"
                             "(spec_uses (label V) (agent A) (from G) (to r) (consumes 1 1))\n"
                             "(spec_commitment (label C) (type do) (task M) (importance 0) (minimum_quality 0)"
                             " (earliest_start_time -9) (deadline -9) (time_satisfied -9))\n"),
      structure("T1", "(spec_task (label T1) (agent A) (supertasks G T2) (subtasks T2) (qaf q_max))\n"
                      "(spec_task (label T2) (agent A) (supertasks T1) (subtasks T1 M) (qaf q_max))\n" +
                      method("M", "T2")),
  };
  StopHook previous = set_stop_hook(throw_on_stop);
  for (const std::string& text : texts) {
    AgentIDList agents;
    TaskList groups;
    CommitmentList commitments;
    ResourceList resources;
    ScheduleCriteriaBundle criteria;
    ControlParameterBundle control;
    VornaIO io;
    bool stopped = false;
    testing::internal::CaptureStderr();
    try {
      io.read_vorna_task_structures_and_commitments_from_text(text.data(), text.size(), "text", agents, groups,
                                                              commitments, criteria, resources, control);
    } catch (const Stopped&) {
      stopped = true;
    }
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(stopped);
    groups.delete_list(0);
    io.discard_abandoned_read();
    agents.delete_list(1);
  }
  set_stop_hook(previous);
  reset_vorna_parser_state();
}

TEST(VornaEcho, NeedsAnInputAndAnOutput) {
  EchoRun run = run_program({echo_program(), "only_one"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "usage: vorna-echo INPUT OUTPUT\n");
  EchoRun missing = run_echo("/nonexistent/in.tvorna", "/nonexistent/out");
  EXPECT_EQ(missing.status, 1);
}
