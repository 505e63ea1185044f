// The timeline of a schedule: placing a finished element, inserting slack and taking
// trailing slack off again.
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
