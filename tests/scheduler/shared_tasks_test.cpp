// Tasks under several parents: the tree holds a node per path, yet the task is one task.
// Its methods are listed and placed once, every parent sees what they achieve, and a
// sequence finds its last subtask by its own subtask list.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "foundation/foundation_test_support.h"
#include "language/vorna_io_test_support.h"
#include "scheduler/method_rating_codes.h"
#include "scheduler_test_support.h"

using foundation_test::stderr_of;
using scheduler_test::AGENT_A;
using scheduler_test::group;
using scheduler_test::method;
using scheduler_test::task;

namespace {

// G = sum(T1 = max{Shared}, T2 = sum{Shared, Own}).
std::string shared_under_two_tasks(const std::string& mode = "") {
  return std::string(AGENT_A) + mode + group("G", "T1 T2", "q_sum") + task("T1", "G", "Shared", "q_max") +
         task("T2", "G", "Shared Own", "q_sum") + method("Shared", "T1 T2", 5, 5, 0) + method("Own", "T2", 2, 1, 0);
}

std::string ids_of(Schedule& s) {
  std::string out;
  for (long i = 0; i < s.timeline_schedule.length(); i++)
    out += (out.empty() ? "" : " ") + s.timeline_schedule.get(i)->method_id;
  return out;
}

class SharedTasks : public scheduler_test::PreparedRound {
 protected:
  // Every schedule built, as "ids: expected quality".
  static std::string described(Schedule& s) {
    char q[32];
    snprintf(q, sizeof q, ": %g", s.quality.get_expected_value());
    return ids_of(s) + q;
  }
  std::vector<std::string> built() {
    std::vector<std::string> out;
    for (long i = 0; i < scheduler->good_schedules.length(); i++) out.push_back(described(*scheduler->good_schedules.get(i)));
    return out;
  }
  // No method twice in one timeline.
  void expect_each_method_placed_once() {
    for (long i = 0; i < scheduler->good_schedules.length(); i++) {
      Schedule* s = scheduler->good_schedules.get(i);
      std::set<std::string> seen;
      for (long k = 0; k < s->timeline_schedule.length(); k++)
        EXPECT_TRUE(seen.insert(s->timeline_schedule.get(k)->method_id).second) << ids_of(*s);
    }
  }
  // The greedy build of these methods, after the loop's reset.
  Schedule* build(const std::vector<const char*>& ids) {
    plan.method_list.delete_list(0);
    for (const char* id : ids) plan.method_list.append(task_named(id));
    plan.of_task = "plan";
    DecisionPoint* meta = scheduler->dp_to_meta_root;
    scheduler->reset_all_dp_variables_prior_to_scheduling(meta, meta);
    Schedule* s = nullptr;
    err = stderr_of([&] { s = scheduler->heuristically_build_schedule_for_given_alternative(meta, &plan); });
    return s;
  }
  void TearDown() override {
    plan.method_list.delete_list(0);
    PreparedRound::TearDown();
  }
  // Each node of the task as "quality/lock/time", one per path.
  std::vector<std::string> nodes_of(const std::string& id) {
    std::vector<std::string> out;
    for (DecisionPoint* dp : task_named(id)->dps_of_task) {
      char text[64];
      snprintf(text, sizeof text, "%g/%d/%g", dp->working_quality.get_expected_value(), dp->working_values_are_locked,
               dp->time_task_or_method_gets_quality);
      out.push_back(text);
    }
    return out;
  }
  float quality_of(const std::string& id) { return node(id)->working_quality.get_expected_value(); }
  Alternative plan;
  std::string best() {
    Schedule* top = nullptr;
    for (long i = 0; i < scheduler->good_schedules.length(); i++) {
      Schedule* s = scheduler->good_schedules.get(i);
      if (top == nullptr || s->quality.get_expected_value() > top->quality.get_expected_value()) top = s;
    }
    return top == nullptr ? "" : described(*top);
  }
};

TEST_F(SharedTasks, AMethodUnderTwoParentsIsListedAndPlacedOnce) {
  // The heuristic: every alternative lists Shared once, and no schedule places it twice.
  prepare(shared_under_two_tasks());
  for (long i = 0; i < root_alternatives().length(); i++) {
    TaskList& methods = root_alternatives().get(i)->method_list;
    std::set<BasicTask*> distinct;
    for (long k = 0; k < methods.length(); k++) distinct.insert(methods.get(k));
    EXPECT_EQ(distinct.size(), static_cast<size_t>(methods.length())) << root_alternatives().get(i)->of_task;
  }
  int monitor = 0;
  scheduler->set_max_num_schedules(15);
  err = stderr_of([&] {
    scheduler->create_schedules_for_task_group_using_alternatives(scheduler->dp_to_meta_root, monitor,
                                                                  scheduler->criteria_bundle);
  });
  expect_each_method_placed_once();
  EXPECT_EQ(best(), "Shared Own: 12");

  // The pure mode: every ordering of every subset of the two methods, four schedules.
  TearDown();
  SetUp();
  read(shared_under_two_tasks("(spec_attributes (scheduling_mode pure_exhaustive))\n"));
  scheduler->set_method_scheduling_mode(ScheduleMethodsExhaustively);
  build_trees();
  generate();
  err = stderr_of([&] {
    scheduler->create_schedules_for_task_group_exhaustively(scheduler->dp_to_meta_root, monitor,
                                                            scheduler->criteria_bundle);
  });
  EXPECT_EQ(scheduler->num_schedules_created, 4);
  expect_each_method_placed_once();
  EXPECT_EQ(built(), (std::vector<std::string>{"Own: 2", "Shared: 10", "Shared Own: 12", "Own Shared: 12"}));
}

TEST_F(SharedTasks, EveryParentSeesTheQualityOfAMethodUnderSeveralParents) {
  // Placed once, the method's quality counts under T1 = 5 and under T2 = 5 + 2.
  prepare(shared_under_two_tasks());
  Schedule* s = build({"Shared", "Own"});
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(ids_of(*s), "Shared Own");
  EXPECT_EQ(s->quality.get_expected_value(), 12.0f);
  EXPECT_EQ(nodes_of("Shared"), (std::vector<std::string>{"5/1/5", "5/1/5"}));
  EXPECT_EQ(quality_of("T1"), 5.0f);
  EXPECT_EQ(quality_of("T2"), 7.0f);
  EXPECT_EQ(node("T1")->time_task_or_method_gets_quality, 5.0f);

  // The what-if lends the method to every parent, and its undo takes it back from each.
  DecisionPoint* meta = scheduler->dp_to_meta_root;
  scheduler->reset_all_dp_variables_prior_to_scheduling(meta, meta);
  ResourceList saved;
  scheduler->see_what_happens_if_we_add_method_x_to_schedule(node("Shared"), saved);
  EXPECT_EQ(quality_of("T1"), 5.0f);
  EXPECT_EQ(quality_of("T2"), 5.0f);
  EXPECT_EQ(quality_of("G"), 10.0f);
  scheduler->undo_see_what_happens_if_we_add_method_x_to_schedule(node("Shared"), saved);
  saved.delete_list(1);
  EXPECT_EQ(nodes_of("Shared"), (std::vector<std::string>{"0/0/-9", "0/0/-9"}));
  EXPECT_EQ(quality_of("G"), 0.0f);

  // Under an exactly-one task beside Own, Shared still gives T1 its 5.
  TearDown();
  SetUp();
  prepare(vorna_io_test::read_file(vorna_io_test::files_dir() + "/shared_node.tvorna"));
  s = build({"Shared", "Own"});
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(ids_of(*s), "Shared Own");
  EXPECT_EQ(s->quality.get_expected_value(), 5.0f);
}

class SharedSubtaskOfASequence : public scheduler_test::ScheduleUnderConstruction {};

TEST_F(SharedSubtaskOfASequence, TheSequenceFindsItsLastSubtaskInItsOwnList) {
  // m is S's last subtask and X's first; whichever parent's form is read last, S is the same.
  const std::string methods = method("a", "S", 3, 1, 0) + method("m", "S X", 5, 1, 0) + method("b", "X", 1, 1, 0) +
                              method("c", "X", 2, 1, 0);
  const std::string s_form = task("S", "G", "a m", "q_seq");
  const std::string x_form = task("X", "G", "m b c", "q_max");
  for (bool x_last : {true, false}) {
    SCOPED_TRACE(x_last ? "X read last" : "S read last");
    prepare(std::string(AGENT_A) + group("G", "S X", "q_sum") + (x_last ? s_form + x_form : x_form + s_form) + methods);
    EXPECT_EQ(err.find("gets no alternatives"), std::string::npos) << err;
    EXPECT_EQ(root_alternatives().length(), 7);
    TearDown();
    SetUp();
  }

  // The sequence check: m waits for a, then may go.
  prepare_schedule(std::string(AGENT_A) + group("G", "S X", "q_sum") + s_form + x_form + methods, {"a", "m"});
  EXPECT_EQ(rate("m"), FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX);
  place("a", 1);
  EXPECT_GE(rate("m"), 0.0f);
  TearDown();
  SetUp();

  // The quality of a sequence is its last subtask's: with only m (its first) done, none.
  prepare_schedule(std::string(AGENT_A) + group("G", "S X", "q_sum") + task("S", "G", "m a", "q_seq") +
                       task("X", "G", "b m", "q_max") + method("m", "S X", 5, 1, 0) + method("a", "S", 3, 1, 0) +
                       method("b", "X", 1, 1, 0),
                   {"m", "a"});
  place("m", 1);
  EXPECT_EQ(node("S")->working_quality.get_expected_value(), 0.0f);
  EXPECT_EQ(node("X")->working_quality.get_expected_value(), 5.0f);
}

}  // namespace
