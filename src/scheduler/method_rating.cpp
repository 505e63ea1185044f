// Rating one candidate method against the schedule being built: the hard tests may turn
// the rating into a failure code, the preference scores then move it up or down, and the
// method's potential quality relative to the best candidate's breaks near-ties.
#include <string>

#include "foundation/combinatorics.h"
#include "scheduler/method_rating_codes.h"
#include "scheduler/scheduler.h"

float Scheduler::scale_local_method_rating(float x, float p) {
  int n = static_cast<int>(p);
  float f = p - static_cast<float>(n);
  double power = n >= 0 ? ib_power(10, static_cast<unsigned long>(n)) : 1.0 / ib_power(10, static_cast<unsigned long>(-n));
  float a = static_cast<float>(power * x);
  // One rounding of a * f + a: the weights the scores are tuned to (190.00002 for p 2.9).
  return static_cast<float>(static_cast<double>(a) * f + a);
}

namespace {
using Step = float (Scheduler::*)(Schedule&, Method*, DecisionPoint*, float);

// In the order they run, after the zero-quality test.
constexpr Step RATING_STEPS[] = {
    &Scheduler::enforce_enables,
    &Scheduler::enforce_disables,
    &Scheduler::enforce_seq_and_seq_sum,
    &Scheduler::enforce_hard_deadlines,
    &Scheduler::check_for_hard_resource_disablement,
    &Scheduler::enforce_earliest_start_time,
    &Scheduler::prefer_disablees,
    &Scheduler::prefer_hinderees,
    &Scheduler::prefer_facilitators,
    &Scheduler::delay_facilitatees,
    &Scheduler::delay_hinderers,
    &Scheduler::prefer_producers,
    &Scheduler::delay_consumers,
    &Scheduler::prefer_satisfying_and_avoid_violating_commitments,
    &Scheduler::prefer_earlier_deadlines,
    &Scheduler::prefer_earlier_if_desired,
    &Scheduler::prefer_later_if_desired,
};
}  // namespace

float Scheduler::rate_method(Schedule& schedule, Method* method) {
  DecisionPoint* dp = BasicTask::get_dp_of_task(method);
  float rating = scale_local_method_rating(1.0f, 5.0f);
  ResourceList saved;
  saved.duplicate_list_into_this_and_copy_items(working_resources, 1);
  rating = schedule_only_methods_that_have_some_chance_of_getting_quality(schedule, method, dp, rating);
  for (Step step : RATING_STEPS) {
    if (rating < 0.0f) break;
    // Every step sees the resources as the method found them.
    working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
    rating = (this->*step)(schedule, method, dp, rating);
  }
  if (rating >= 0.0f && highest_possible_quality_in_list_of_candidate_tasks != 0.0f) {
    float q = dp->potential_quality.get_specified_value(schedule_with.q);
    rating += q / highest_possible_quality_in_list_of_candidate_tasks;
  }
  working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
  saved.delete_list(1);
  annotate_working_schedule_if_method_failed(schedule, method, rating);
  return rating;
}

void Scheduler::annotate_working_schedule_if_method_failed(Schedule& schedule, Method* method, float& rating) {
  if (!(rating < 0.0f)) return;
  schedule.annotations_from_last_method_rating_run += std::string("\tMethod ") + method->id +
                                                      " was unschedule-able because " + method_rating_label(rating) +
                                                      ".\n";
}
