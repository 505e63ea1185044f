// The decision-point tree: its shape and method order, effect copies and their weights,
// pinned methods, potentials, and effects between trees built as a round builds them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "language/vorna_io_test_support.h"
#include "model/nle.h"
#include "scheduler_test_support.h"

using scheduler_test::AGENT_A;
using scheduler_test::group;
using scheduler_test::method;
using scheduler_test::task;
using testing::HasSubstr;

namespace {

std::vector<std::string> ids(DecisionPointList& list) {
  std::vector<std::string> out;
  for (long i = 0; i < list.length(); i++) out.push_back(list.get(i)->of_task);
  return out;
}

std::string pairs(Distribution& d) { return vorna_io_test::pairs(d); }

class Tree : public scheduler_test::PreparedRound {};

TEST_F(Tree, MirrorsInReverseGathersWeightsPinsAndKeepsPotentialsBestCase) {
  prepare(std::string(AGENT_A) + group("G", "A B", "q_sum") + task("A", "G", "a1 a2", "q_max") +
          task("B", "G", "b1 b2 b3", "q_max") + group("G2", "F", "q_sum") + task("F", "G2", "done src", "q_max") + method("a1", "A", 10, 2, 1) +
          method("a2", "A", 10, 2, 1) + method("b1", "B", 10, 2, 1) + method("b2", "B", 8, 4, 2) +
          method("b3", "B", 6, 3, 1) + method("done", "F", 5, 4, 0, "(start_time 0) (finish_time 4)") +
          "(spec_method (label src) (agent A) (supertasks F) (outcomes " +
          scheduler_test::outcome("2 1", "1 1", "0 1", "o1", "0.3") +
          scheduler_test::outcome("0 1", "1 1", "0 1", "o2", "0.7") + "))\n" +
          "(spec_enables (label E) (agent A) (from src) (from_outcome o1) (to b1) (delay 0 1))\n"
          "(spec_hinders (label H) (agent A) (from a1) (from_outcome o) (to b2) (quality_power 0.5 1) "
          "(duration_power 0.5 1) (cost_power 0.5 1) (delay 0 1))\n"
          "(spec_disables (label D) (agent A) (from a2) (from_outcome o) (to b3) (delay 0 1))\n"
          "(spec_facilitates (label U) (agent A) (from a1) (from_outcome o) (to a2) (quality_power 0.5 1) "
          "(duration_power 0 1) (cost_power 0 1) (delay 0 1))\n");
  DecisionPoint* g = node("G");
  EXPECT_EQ(ids(g->subs), (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(ids(node("B")->dps_for_methods_for_task), (std::vector<std::string>{"b3", "b2", "b1"}));
  EXPECT_EQ(ids(g->dps_for_methods_for_task), (std::vector<std::string>{"b3", "b2", "b1", "a2", "a1"}));

  // The enables comes from an outcome of probability 0.3.
  DecisionPoint* b1 = node("b1");
  ASSERT_EQ(b1->affected_by_actually->length(), 1);
  EXPECT_EQ(pairs(*b1->affected_by_actually->get(0L)->quality_power), "{ (0.300000 1.000000) (0.700000 0.000000) }");
  EXPECT_EQ(pairs(b1->potential_quality), "{ (0.700000 0.000000) (0.300000 10.000000) }");

  // Hinders and disables leave the potentials at the combined outcome; facilitates raise them.
  struct Case {
    const char* method;
    const char* quality;
    const char* duration;
  };
  for (const Case& c : {Case{"b2", "{ (1.000000 8.000000) }", "{ (1.000000 4.000000) }"},
                        Case{"b3", "{ (1.000000 6.000000) }", "{ (1.000000 3.000000) }"},
                        Case{"a2", "{ (1.000000 15.000000) }", "{ (1.000000 2.000000) }"}}) {
    SCOPED_TRACE(c.method);
    EXPECT_EQ(pairs(node(c.method)->potential_quality), c.quality);
    EXPECT_EQ(pairs(node(c.method)->potential_duration), c.duration);
  }

  // A finished method is pinned to its outcome and gives its parent its finish time.
  DecisionPoint* done = node("done");
  EXPECT_EQ(done->working_values_are_always_locked, 1);
  EXPECT_EQ(pairs(done->working_quality), "{ (1.000000 5.000000) }");
  EXPECT_EQ(pairs(done->potential_quality), "{ (1.000000 5.000000) }");
  EXPECT_EQ(done->time_task_or_method_gets_quality, 4.0f);
  EXPECT_EQ(node("F")->time_task_or_method_gets_quality, 4.0f);
  scheduler->global_working_change_counter++;
  scheduler->calculate_working_qdc_for_task_or_method_and_all_subs(scheduler->dp_to_meta_root, 0);
  EXPECT_EQ(pairs(done->working_quality), "{ (1.000000 5.000000) }");
  EXPECT_EQ(pairs(node("F")->working_quality), "{ (1.000000 5.000000) }");
}

// Effects both ways between two task groups and into a tree under no task group, built as a
// round builds them, twice over; the sanitizer builds see every node freed once.
TEST_F(Tree, EffectsAcrossTreesReachEveryMirroredTargetOnceAndSkipTheRest) {
  std::string facilitates = " (quality_power 0.5 1) (duration_power 0 1) (cost_power 0 1) (delay 0 1))\n";
  read(std::string(AGENT_A) + group("G1", "x", "q_sum") + group("G2", "y", "q_sum") +
       "(spec_task (label Loose) (agent A) (subtasks z) (qaf q_sum))\n" + method("x", "G1", 10, 2, 0) +
       method("y", "G2", 10, 2, 0) + method("z", "Loose", 10, 2, 0) +
       "(spec_facilitates (label XY) (agent A) (from x) (from_outcome o) (to y)" + facilitates +
       "(spec_facilitates (label YX) (agent A) (from y) (from_outcome o) (to x)" + facilitates +
       "(spec_facilitates (label XZ) (agent A) (from x) (from_outcome o) (to z)" + facilitates);
  for (int round = 0; round < 2; round++) {
    SCOPED_TRACE(round);
    testing::internal::CaptureStderr();
    build_trees();
    std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_THAT(warnings, HasSubstr(" from x to z is left out: z has no decision point in this round.\n"));
    EXPECT_THAT(warnings, testing::StartsWith("Warning, effect XZ"));
    ASSERT_NE(node("x"), nullptr);
    EXPECT_EQ(node("x")->affected_by_actually->length(), 1);
    EXPECT_EQ(node("y")->affected_by_actually->length(), 1);
    EXPECT_EQ(node("z"), nullptr);
    EXPECT_EQ(node("x")->affects_actually->length(), 1);
    // Both ways, whichever tree was completed first.
    EXPECT_EQ(pairs(node("y")->potential_quality), "{ (1.000000 15.000000) }");
    EXPECT_EQ(pairs(node("x")->potential_quality), "{ (1.000000 15.000000) }");
  }
  scheduler->delete_all();
  EXPECT_EQ(node("x"), nullptr);
  EXPECT_EQ(node("y"), nullptr);
}

TEST_F(Tree, AMethodUnderTwoParentsPassesItsEffectOnce) {
  prepare(vorna_io_test::read_file(vorna_io_test::files_dir() + "/shared_node.tvorna"));
  DecisionPoint* own = node("Own");
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->affected_by_actually->length(), 1);
  EXPECT_EQ(pairs(own->potential_quality), "{ (1.000000 4.000000) }");
}

}  // namespace
