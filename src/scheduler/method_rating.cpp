// Rating one candidate method against the schedule being built: the hard tests may turn
// the rating into a failure code, the preference scores then move it up or down, and the
// method's potential quality relative to the best candidate's breaks near-ties.
#include <string>

#include "foundation/combinatorics.h"
#include "scheduler/method_rating_codes.h"
#include "scheduler/scheduler.h"

namespace {
// The powers of ten a rating scales by, as the repeated product makes them (each exact):
// every rating reads several.
constexpr int TABLED_POWERS = 23;
struct PowersOfTen {
  double of[TABLED_POWERS] = {};
  constexpr PowersOfTen() {
    double power = 1.0;
    for (int n = 0; n < TABLED_POWERS; n++, power *= 10.0) of[n] = power;
  }
};
constexpr PowersOfTen POWERS_OF_TEN;

double power_of_ten(int n) {
  if (n >= 0 && n < TABLED_POWERS) return POWERS_OF_TEN.of[n];
  return n >= 0 ? ib_power(10, static_cast<unsigned long>(n)) : 1.0 / ib_power(10, static_cast<unsigned long>(-n));
}
}  // namespace

float Scheduler::scale_local_method_rating(float x, float p) {
  int n = static_cast<int>(p);
  float f = p - static_cast<float>(n);
  double power = power_of_ten(n);
  float a = static_cast<float>(power * x);
  // One rounding of a * f + a: the weights the scores are tuned to (190.00002 for p 2.9).
  return static_cast<float>(static_cast<double>(a) * f + a);
}

namespace {
// Where every rating starts, worked out once.
const float FIRST_RATING = Scheduler::scale_local_method_rating(1.0f, 5.0f);

using Step = float (Scheduler::*)(Schedule&, Method*, DecisionPoint*, float);

struct RatingStep {
  Step step;
  // Whether the step may leave the working resources other than it found them (by a
  // recomputation of working values or by applying the method's resource effects).
  bool may_change_resources;
};

// In the order they run, after the zero-quality test.
constexpr RatingStep RATING_STEPS[] = {
    {&Scheduler::enforce_enables, false},
    {&Scheduler::enforce_disables, false},
    {&Scheduler::enforce_seq_and_seq_sum, false},
    {&Scheduler::enforce_hard_deadlines, false},
    {&Scheduler::check_for_hard_resource_disablement, true},
    {&Scheduler::enforce_earliest_start_time, false},
    {&Scheduler::prefer_disablees, false},
    {&Scheduler::prefer_hinderees, false},
    {&Scheduler::prefer_facilitators, true},
    {&Scheduler::delay_facilitatees, false},
    {&Scheduler::delay_hinderers, true},
    {&Scheduler::prefer_producers, true},
    {&Scheduler::delay_consumers, true},
    {&Scheduler::prefer_satisfying_and_avoid_violating_commitments, true},
    {&Scheduler::prefer_earlier_deadlines, false},
    {&Scheduler::prefer_earlier_if_desired, false},
    {&Scheduler::prefer_later_if_desired, false},
};
}  // namespace

float Scheduler::rate_method(Schedule& schedule, Method* method) {
  DecisionPoint* dp = BasicTask::get_dp_of_task(method);
  float rating = FIRST_RATING;
  ResourceList& saved = rating_saved_resources;
  saved.duplicate_list_into_this_and_copy_items(working_resources, 1);
  rating = schedule_only_methods_that_have_some_chance_of_getting_quality(schedule, method, dp, rating);
  // Every step sees the resources as the method found them: they are copied back only
  // after a step that may have changed them (a copy is exact, so one after a step that
  // did not would change nothing).
  bool resources_may_differ = false;
  for (const RatingStep& step : RATING_STEPS) {
    if (rating < 0.0f) break;
    if (resources_may_differ) working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
    rating_step_left_resources = false;
    rating = (this->*step.step)(schedule, method, dp, rating);
    resources_may_differ = step.may_change_resources && !rating_step_left_resources;
  }
  if (rating >= 0.0f && highest_possible_quality_in_list_of_candidate_tasks != 0.0f) {
    float q = dp->potential_quality.get_specified_value(schedule_with.q);
    rating += q / highest_possible_quality_in_list_of_candidate_tasks;
  }
  if (resources_may_differ) working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
  annotate_working_schedule_if_method_failed(schedule, method, rating);
  return rating;
}

void Scheduler::annotate_working_schedule_if_method_failed(Schedule& schedule, Method* method, float& rating) {
  if (!(rating < 0.0f)) return;
  // Appended piece by piece: the line is made for every failed rating.
  std::string& notes = schedule.annotations_from_last_method_rating_run;
  notes += "\tMethod ";
  notes += method->id;
  notes += " was unschedule-able because ";
  notes += method_rating_label(rating);
  notes += ".\n";
}
