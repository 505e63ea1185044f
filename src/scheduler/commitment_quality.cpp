// The quality satisfied commitments add to a finished schedule, and the highest quality
// any candidate method could reach (what method rating measures a method against).
#include <cstring>
#include <string>
#include <vector>

#include "scheduler/scheduler.h"

namespace {
// The same pairs, bit for bit, in the same order.
bool same_pairs(const Distribution& a, const Distribution& b) {
  return a.next_slot == b.next_slot &&
         (a.next_slot == 0 || memcmp(a.data, b.data, sizeof(DistributionPair) * static_cast<size_t>(a.next_slot)) == 0);
}
}  // namespace

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

namespace {
bool same_bits(const void* a, const void* b, size_t size) { return memcmp(a, b, size) == 0; }

// Every field that a later operation could read, the pairs in use included; the spare
// capacity beyond them is never read.
bool same_distribution(const Distribution& a, const Distribution& b) {
  return same_pairs(a, b) && a.num_storable_items == b.num_storable_items &&
         a.memory_allocated == b.memory_allocated && a.data_is_sorted == b.data_is_sorted &&
         a.combined_under_sigmoid_and_multiplier_not_applied == b.combined_under_sigmoid_and_multiplier_not_applied &&
         same_bits(&a.weighted_value_avg, &b.weighted_value_avg, sizeof(Value)) &&
         same_bits(&a.value_sum, &b.value_sum, sizeof(Value)) &&
         same_bits(&a.density_sum, &b.density_sum, sizeof(Density)) &&
         a.unsorted_statistics_are_valid == b.unsorted_statistics_are_valid &&
         same_bits(&a.value_min, &b.value_min, sizeof(Value)) && same_bits(&a.value_max, &b.value_max, sizeof(Value)) &&
         same_bits(&a.value_median, &b.value_median, sizeof(Value)) &&
         a.sorted_statistics_are_valid == b.sorted_statistics_are_valid;
}

bool pass_left_everything_as_it_was(const WorkingPassLog& log) {
  if (log.touched_resources) return false;
  for (const WorkingPassLog::Entry& e : log.entries) {
    DecisionPoint* dp = e.dp;
    if (e.time != dp->time_task_or_method_gets_quality || !same_distribution(e.quality, dp->working_quality) ||
        !same_distribution(e.cost, dp->working_cost) || !same_distribution(e.duration, dp->working_duration))
      return false;
  }
  return true;
}
}  // namespace

// The walk recomputes the whole tree before each node's addition. A recomputation is a
// function of the nodes' values, the locks and the resources alone, so once one has
// changed nothing, the next ones change nothing either until an addition does: those are
// skipped, leaving the marks and the count of combine operations they would have left.
// This keeps the walk from growing with the square of the tree for every schedule.
struct Scheduler::CommitmentWalk {
  bool settled = false;  // the last recomputation changed nothing, nor did anything since
  std::vector<DecisionPoint*> marked;
  long combines = 0;
};

void Scheduler::special_add_in_commitment_value_for_dp_and_all_subs(DecisionPoint* dp) {
  CommitmentWalk walk;
  add_in_commitment_value_for_dp_and_all_subs(dp, walk);
}

void Scheduler::add_in_commitment_value_for_dp_and_all_subs(DecisionPoint* dp, CommitmentWalk& walk) {
  for (long i = 0; i < dp->subs.length(); i++) add_in_commitment_value_for_dp_and_all_subs(dp->subs.get(i), walk);
  global_working_change_counter++;
  if (walk.settled) {
    for (DecisionPoint* node : walk.marked) node->working_change_counter = global_working_change_counter;
    Distribution::count_combine_operations(walk.combines);
  } else {
    WorkingPassLog log;
    long combines_before = Distribution::report_total_number_of_combine_operations();
    working_pass_log = &log;
    calculate_working_qdc_for_task_or_method_and_all_subs(dp_to_meta_root, 0);
    working_pass_log = nullptr;
    walk.combines = Distribution::report_total_number_of_combine_operations() - combines_before;
    walk.settled = pass_left_everything_as_it_was(log);
    walk.marked.clear();
    for (const WorkingPassLog::Entry& e : log.entries) walk.marked.push_back(e.dp);
  }
  if (special_add_quality_that_may_come_from_commitment_satisfaction(dp)) {
    walk.settled = false;
    if (dp->is_method_node()) dp->share_working_values_with_the_other_nodes_of_task();
  }
}

void Scheduler::determine_highest_quality_in_all_methods_being_considered(DecisionPoint* root) {
  highest_possible_quality_in_list_of_candidate_tasks = 0.0f;
  for (long i = 0; i < root->dps_for_methods_for_task.length(); i++) {
    float q = root->dps_for_methods_for_task.get(i)->potential_quality.get_specified_value(schedule_with.q);
    if (q > highest_possible_quality_in_list_of_candidate_tasks) highest_possible_quality_in_list_of_candidate_tasks = q;
  }
}
