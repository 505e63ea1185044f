// Tasks under several parents: the tree holds a node per path, yet the task is one task.
// Its methods are listed and placed once, every parent sees what they achieve, and a
// sequence finds its last subtask by its own subtask list.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "foundation/foundation_test_support.h"
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
  EXPECT_EQ(best(), "Shared Own: 7");

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
  EXPECT_EQ(built(), (std::vector<std::string>{"Own: 2", "Shared: 5", "Shared Own: 7", "Own Shared: 7"}));
}

}  // namespace
