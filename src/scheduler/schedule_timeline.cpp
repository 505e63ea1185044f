// The timeline of a schedule: placing a finished element, inserting slack and taking
// trailing slack off again, where the next method would start and what a method would
// make of the timeline if it were appended now.
#include <cmath>
#include <cstdio>

#include "foundation/tagged_new.h"
#include "scheduler/schedule.h"

void Schedule::add_completed_element_to_schedule(ScheduleElement* e) {
  timeline_schedule.add(e);
  cost.combine_costs(e->cost);
  e->total_schedule_cost_to_end_of_this_method.duplicate(cost);
  finish_time.duplicate(e->finish_time_distribution);
}

void Schedule::add_slack_time_element(float desired_expected_finish_time) {
  ScheduleElement* e = new ("Schedule::add_slack_time_element") ScheduleElement;
  char id[64];
  snprintf(id, sizeof id, "%s_%ld", SLACK_ID_STEM, Schedule_Element_Creation_Counter);
  Schedule_Element_Creation_Counter++;
  e->method_id = id;
  e->element_is_slack_element = 1;
  e->cost.replace_with(1.0f, 0.0f);
  e->quality.replace_with(1.0f, 0.0f);
  if (timeline_schedule.length() == 0)
    e->start_time_distribution.replace_with(1.0f, start_time_to_schedule_for);
  else
    e->start_time_distribution.duplicate(timeline_schedule.get(timeline_schedule.length() - 1)->finish_time_distribution);

  // The ceiling is taken in float: an int one goes negative for gaps beyond its range.
  // An empty start has no value to measure the gap from, and gets no slack.
  Distribution& start = e->start_time_distribution;
  float gap = desired_expected_finish_time - start.get_specified_value(schedule_with.d);
  MyTime s = (start.length() > 0 && gap > 0.0f) ? std::ceil(gap) : 0.0f;
  e->finish_time_distribution.duplicate(start);
  e->finish_time_distribution.add_constant_to_all_values(s);
  // Densities summing below 1 need more than the gap; each half unit must still raise
  // the finish value (it cannot once the values are too large for the step, or when the
  // statistic is never reached), else the search stops.
  float reached = e->finish_time_distribution.get_specified_value(schedule_with.d);
  while (reached < desired_expected_finish_time && start.length() > 0) {
    Distribution next(start);
    next.add_constant_to_all_values(s + 0.5f);
    float value = next.get_specified_value(schedule_with.d);
    if (!(value > reached)) break;
    s += 0.5f;
    e->finish_time_distribution.duplicate(next);
    reached = value;
  }
  e->duration.replace_with(1.0f, s);
  timeline_schedule.add(e);
}

void Schedule::remove_any_trailing_slack_time_elements() {
  while (timeline_schedule.length() > 0 &&
         timeline_schedule.get(timeline_schedule.length() - 1)->element_is_slack_element)
    timeline_schedule.remove(timeline_schedule.length() - 1, 1);
}

// Where the next method would start and what a method would
// make of the timeline if it were appended now. A method that keeps the processor busy
// for only part of its duration leaves `unused_cpu_time` at its end, and the next method
// may run in it: then it starts with the last element and finishes later only by what
// does not fit into the free time.

MyTime Schedule::get_next_expected_start_time() {
  if (timeline_schedule.length() == 0) return start_time_to_schedule_for;
  ScheduleElement* last = timeline_schedule.get(timeline_schedule.length() - 1);
  if (last->unused_cpu_time != 0.0f) return last->start_time_distribution.get_specified_value(schedule_with.d);
  return last->finish_time_distribution.get_specified_value(schedule_with.d);
}

MyTime Schedule::get_earlest_possible_next_start_time() { return get_next_expected_start_time(); }

void Schedule::get_distributions_and_slack_left_if_method_added_to_schedule(
    Distribution& methods_duration, float& percentage_of_cpu_used_by_method, Distribution& methods_would_be_start_time,
    Distribution& methods_would_be_finish_time, Distribution& methods_would_be_duration, float& slack_time_left,
    int& methods_finish_time_changed_due_to_overlap) {
  float v = methods_duration.get_specified_value(schedule_with.d);
  float busy = v * percentage_of_cpu_used_by_method;
  if (timeline_schedule.length() == 0) {
    methods_would_be_start_time.delete_all();
    methods_would_be_start_time.append(1.0f, start_time_to_schedule_for);
    methods_would_be_finish_time.duplicate(methods_duration);
    methods_would_be_finish_time.add_constant_to_all_values(start_time_to_schedule_for);
    slack_time_left = v * (1.0f - percentage_of_cpu_used_by_method);
  } else {
    ScheduleElement* last = timeline_schedule.get(timeline_schedule.length() - 1);
    float u = last->unused_cpu_time;
    if (u == 0.0f) {
      methods_would_be_start_time.duplicate(last->finish_time_distribution);
      methods_would_be_finish_time.combine_durations(methods_duration, last->finish_time_distribution);
      slack_time_left = v * (1.0f - percentage_of_cpu_used_by_method);
    } else {
      methods_finish_time_changed_due_to_overlap = 1;
      methods_would_be_start_time.duplicate(last->start_time_distribution);
      float last_finish = last->finish_time_distribution.get_specified_value(schedule_with.d);
      // Kept as one float expression, not simplified to v > u: the rounding decides ties.
      float would_finish = v + last_finish - u;
      if (would_finish > last_finish) {
        methods_would_be_finish_time.combine_durations(last->finish_time_distribution, methods_duration);
        methods_would_be_finish_time.add_constant_to_all_values(-u);
        float finish_value = methods_would_be_finish_time.get_specified_value(schedule_with.d);
        slack_time_left = u + (finish_value - last_finish) - busy;
      } else {
        methods_would_be_finish_time.duplicate(last->finish_time_distribution);
        slack_time_left = u - busy;
      }
    }
  }
  methods_would_be_duration.duplicate(methods_duration);
}

namespace {
struct FinishIfAdded {
  Distribution start, finish, duration;
  float slack = 0.0f;
  int overlaps = 0;
};
}  // namespace

MyTime Schedule::get_expected_finish_time_if_method_added_to_schedule(Distribution& methods_duration,
                                                                      float& percentage_of_cpu_used_by_method) {
  FinishIfAdded f;
  get_distributions_and_slack_left_if_method_added_to_schedule(methods_duration, percentage_of_cpu_used_by_method,
                                                               f.start, f.finish, f.duration, f.slack, f.overlaps);
  return f.finish.get_expected_value();
}

void Schedule::get_expected_finish_time_distribution_if_method_added_to_schedule(
    Distribution& methods_duration, float& percentage_of_cpu_used_by_method,
    Distribution& methods_would_be_finish_time) {
  FinishIfAdded f;
  get_distributions_and_slack_left_if_method_added_to_schedule(methods_duration, percentage_of_cpu_used_by_method,
                                                               f.start, f.finish, f.duration, f.slack, f.overlaps);
  methods_would_be_finish_time.duplicate(f.finish);
}
