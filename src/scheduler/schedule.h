// A schedule and its elements, as far as the language's transfer-format writer reads
// them: the timeline of elements (methods or inserted slack) with their start, finish,
// quality, cost and duration distributions, and the schedule's overall quality, cost and
// finish time. Only public fields and inline code live here, so neither the model nor the
// language library links against scheduler code; the scheduler adds the rest.
#pragma once

#include <cstdio>
#include <string>

#include "foundation/shared_types.h"
#include "foundation/typed_list.h"
#include "model/distribution.h"

class Method;
class DecisionPoint;
class ScheduleElement;
class Schedule;

// The elements of one schedule in execution order; `add` appends.
class ScheduleElementList : public TypedList<ScheduleElementList, ScheduleElement> {
 public:
  static constexpr const char* access_text = "ScheduleElementList access function";
  static constexpr bool adds_at_front = false;
  static void delete_function(void* item);
};

class ScheduleElement {
 public:
  ScheduleElement() = default;
  ScheduleElement(const ScheduleElement&) = delete;
  ScheduleElement& operator=(const ScheduleElement&) = delete;

  const TaskID& get_method_id() const { return method_id; }
  Distribution& get_start_time_distribution() { return start_time_distribution; }
  Distribution& get_finish_time_distribution() { return finish_time_distribution; }
  Distribution& get_quality() { return quality; }
  Distribution& get_cost() { return cost; }
  Distribution& get_duration() { return duration; }

  // The method's id, or the "Slack_MyTime" stem of an inserted slack period.
  TaskID method_id;
  Method* method_to_execute = nullptr;
  DecisionPoint* dp_of_method = nullptr;
  Distribution finish_time_distribution;
  Distribution start_time_distribution;
  int element_is_slack_element = 0;
  Distribution cost;
  Distribution quality;
  Distribution duration;
};

inline void ScheduleElementList::delete_function(void* item) { delete static_cast<ScheduleElement*>(item); }

class Schedule {
 public:
  Schedule() = default;
  // The schedule owns its elements.
  ~Schedule() { timeline_schedule.delete_list(1); }
  Schedule(const Schedule&) = delete;
  Schedule& operator=(const Schedule&) = delete;

  ScheduleElementList& get_timeline() { return timeline_schedule; }
  Distribution& get_quality() { return quality; }
  Distribution& get_cost() { return cost; }
  Distribution& get_finish_time() { return finish_time; }

  ScheduleID id = EMPTY_ID;
  ScheduleElementList timeline_schedule;
  Distribution quality;
  Distribution cost;
  Distribution finish_time;
};

// The schedules of a round, in the order they were made; `add` appends, names are
// compared exactly, and the list's owner frees the schedules through it.
class ScheduleList : public TypedList<ScheduleList, Schedule> {
 public:
  static constexpr const char* access_text = "ScheduleList access function";
  static constexpr bool adds_at_front = false;
  static void delete_function(void* item) { delete static_cast<Schedule*>(item); }
  static bool has_key(Schedule* item, const char* key) { return item != nullptr && item->id == key; }
};
