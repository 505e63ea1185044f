// The quality satisfied commitments add to a finished schedule, and the highest quality
// any candidate method could reach (what method rating measures a method against).
#include <cstring>
#include <string>
#include <vector>

#include "scheduler/scheduler.h"

void Scheduler::special_add_in_commitment_quality_if_applicapable_and_recompute_schedule_quality(Schedule& schedule) {
  // Two levels on purpose: the walk leaves the additions only on locked nodes, the
  // recompute with commitments then adds them at every unlocked one, each weighted in
  // its own order.
  special_add_in_commitment_value_for_dp_and_all_subs(dp_to_meta_root);
  Distribution without_commitments(schedule.quality);
  std::string before;
  schedule.quality.print_to_string(before);
  schedule.annotations += "\tBefore adding in commitment value schedule's quality was " + before + "\n";
  global_working_change_counter++;
  calculate_working_qdc_for_task_or_method_and_all_subs(dp_to_meta_root, 1);
  ScheduleElementList& timeline = schedule.timeline_schedule;
  for (long i = 0; i < timeline.length(); i++) {
    ScheduleElement* e = timeline.get(i);
    DecisionPoint* dp = e->dp_of_method;
    if (dp == nullptr || e->quality.get_expected_value() == dp->working_quality.get_expected_value()) continue;
    std::string old;
    e->quality.print_to_string(old);
    schedule.annotations_from_last_method_rating_run +=
        "\tMethod " + e->method_id + " had quality increased due to commitment satisfaction.\n";
    schedule.annotations_from_last_method_rating_run += "\t the element's q before was " + old + "\n";
    e->quality.duplicate(dp->working_quality);
  }
  calc_sched_overall_quality_from_working_qualities_of_dps(schedule, 1);
  schedule.quality_includes_commitment_value = !same_pairs(without_commitments, schedule.quality);
  schedule.schedule_is_complete_do_final_bookkeeping();
}


// The walk recomputes the whole tree before each node's addition. A recomputation is a
// function of the nodes' values, the locks and the resources alone, so once one has
// changed nothing, the next ones change nothing either until an addition does: those are
// skipped, leaving the marks and the count of combine operations they would have left.
// Within a recomputation, the memo skips each node step whose inputs are as at its last
// step. This keeps the walk from growing with the square of the tree for every schedule.
// A skipped recomputation's marks are left undone until something can tell: the next
// recomputation, a node handing its mark to the other nodes of its task, the walk's end.
struct Scheduler::CommitmentWalk {
  bool settled = false;  // the last recomputation changed nothing, nor did anything since
  WorkingStepMemo memo;  // its visited nodes are those the last recomputation marked
  long combines = 0;
  bool marks_owed = false;
  int owed_counter = 0;  // the counter of the last skipped recomputation

  void pay_marks() {
    if (!marks_owed) return;
    for (DecisionPoint* node : memo.visited) node->working_change_counter = owed_counter;
    marks_owed = false;
  }
};

void Scheduler::special_add_in_commitment_value_for_dp_and_all_subs(DecisionPoint* dp) {
  CommitmentWalk walk;
  add_in_commitment_value_for_dp_and_all_subs(dp, walk);
  walk.pay_marks();
}

void Scheduler::add_in_commitment_value_for_dp_and_all_subs(DecisionPoint* dp, CommitmentWalk& walk) {
  for (long i = 0; i < dp->subs.length(); i++) add_in_commitment_value_for_dp_and_all_subs(dp->subs.get(i), walk);
  global_working_change_counter++;
  WorkingStepMemo& memo = walk.memo;
  if (walk.settled) {
    walk.marks_owed = true;
    walk.owed_counter = global_working_change_counter;
    Distribution::count_combine_operations(walk.combines);
  } else {
    walk.pay_marks();
    memo.visited.clear();
    memo.changed = false;
    memo.touched_resources = false;
    long combines_before = Distribution::report_total_number_of_combine_operations();
    working_step_memo = &memo;
    memo.begin_pass();
    calculate_working_qdc_for_task_or_method_and_all_subs(dp_to_meta_root, 0);
    working_step_memo = nullptr;
    walk.combines = Distribution::report_total_number_of_combine_operations() - combines_before;
    walk.settled = !memo.changed && !memo.touched_resources;
  }
  if (special_add_quality_that_may_come_from_commitment_satisfaction(dp)) {
    walk.settled = false;
    if (dp->is_method_node()) {
      walk.pay_marks();
      dp->share_working_values_with_the_other_nodes_of_task();
    }
  }
}

void Scheduler::determine_highest_quality_in_all_methods_being_considered(DecisionPoint* root) {
  highest_possible_quality_in_list_of_candidate_tasks = 0.0f;
  for (long i = 0; i < root->dps_for_methods_for_task.length(); i++) {
    float q = root->dps_for_methods_for_task.get(i)->potential_quality.get_specified_value(schedule_with.q);
    if (q > highest_possible_quality_in_list_of_candidate_tasks) highest_possible_quality_in_list_of_candidate_tasks = q;
  }
}
