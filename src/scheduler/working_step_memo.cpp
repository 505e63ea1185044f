#include "scheduler/working_step_memo.h"

#include <cstring>

namespace {
bool same_bits(const void* a, const void* b, size_t size) { return memcmp(a, b, size) == 0; }
}  // namespace

bool same_pairs(const Distribution& a, const Distribution& b) {
  return a.next_slot == b.next_slot &&
         (a.next_slot == 0 || memcmp(a.data, b.data, sizeof(DistributionPair) * static_cast<size_t>(a.next_slot)) == 0);
}

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

long WorkingStepMemo::observe(DecisionPoint* dp) {
  Record& r = records[dp];
  if (!r.seen || !same_bits(&r.time, &dp->time_task_or_method_gets_quality, sizeof(MyTime)) ||
      !same_distribution(r.quality, dp->working_quality) || !same_distribution(r.cost, dp->working_cost) ||
      !same_distribution(r.duration, dp->working_duration)) {
    r.quality.duplicate(dp->working_quality);
    r.cost.duplicate(dp->working_cost);
    r.duration.duplicate(dp->working_duration);
    r.time = dp->time_task_or_method_gets_quality;
    r.seen = true;
    r.stamp = ++clock;
  }
  return r.stamp;
}

bool WorkingStepMemo::skip_step(DecisionPoint* dp, const std::vector<DecisionPoint*>& inputs,
                                MyTime end_of_schedule) {
  // Every input is seen, whatever the outcome: a step made now must find them all
  // stamped up to date, or a value changed and changed back would pass for unchanged.
  long own = observe(dp);
  long newest = 0;
  for (DecisionPoint* input : inputs) {
    long stamp = observe(input);
    if (stamp > newest) newest = stamp;
  }
  const Record& r = records[dp];
  if (!r.stepped || own != r.left || newest > r.stepped_at ||
      !same_bits(&r.end_of_schedule, &end_of_schedule, sizeof(MyTime)))
    return false;
  if (dp->is_method_node() &&
      (!same_distribution(r.base_quality, dp->base_quality) || !same_distribution(r.base_cost, dp->base_cost) ||
       !same_distribution(r.base_duration, dp->base_duration)))
    return false;
  Distribution::count_combine_operations(r.combines);
  return true;
}

void WorkingStepMemo::stepped(DecisionPoint* dp, long combines, MyTime end_of_schedule) {
  // skip_step saw every input just before the step, which changed none of them.
  long read_at = clock;
  long left = observe(dp);
  Record& r = records[dp];
  r.stepped = true;
  r.stepped_at = read_at;
  r.left = left;
  r.end_of_schedule = end_of_schedule;
  r.combines = combines;
  if (dp->is_method_node()) {
    r.base_quality.duplicate(dp->base_quality);
    r.base_cost.duplicate(dp->base_cost);
    r.base_duration.duplicate(dp->base_duration);
  }
}
