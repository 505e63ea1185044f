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
#include "model/commitment.h"
#include "model/distribution.h"
#include "model/schedule_bundles.h"

class Method;
class DecisionPoint;
class ScheduleElement;
class Schedule;
class Alternative;

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
  // Time at the end of the element during which the processor is free (a method that
  // keeps it busy for only part of its duration).
  float unused_cpu_time = 0.0f;
};

inline void ScheduleElementList::delete_function(void* item) { delete static_cast<ScheduleElement*>(item); }

class Schedule {
 public:
  Schedule() = default;
  // The schedule owns its elements; the commitments are shared.
  ~Schedule() {
    timeline_schedule.delete_list(1);
    undetermined_local_commitments.delete_list(0);
    satisfied_local_commitments.delete_list(0);
    violated_local_commitments.delete_list(0);
  }
  Schedule(const Schedule&) = delete;
  Schedule& operator=(const Schedule&) = delete;

  ScheduleElementList& get_timeline() { return timeline_schedule; }
  Distribution& get_quality() { return quality; }
  Distribution& get_cost() { return cost; }
  Distribution& get_finish_time() { return finish_time; }

  // ---- the timeline's next start and what a method would make of it: schedule_timeline.cpp ----
  // Read with this schedule's own specifiers.
  MyTime get_next_expected_start_time();
  MyTime get_earlest_possible_next_start_time();
  void get_distributions_and_slack_left_if_method_added_to_schedule(
      Distribution& methods_duration, float& percentage_of_cpu_used_by_method,
      Distribution& methods_would_be_start_time, Distribution& methods_would_be_finish_time,
      Distribution& methods_would_be_duration, float& slack_time_left, int& methods_finish_time_changed_due_to_overlap);
  MyTime get_expected_finish_time_if_method_added_to_schedule(Distribution& methods_duration,
                                                              float& percentage_of_cpu_used_by_method);
  void get_expected_finish_time_distribution_if_method_added_to_schedule(Distribution& methods_duration,
                                                                        float& percentage_of_cpu_used_by_method,
                                                                        Distribution& methods_would_be_finish_time);

  MyTime start_time_to_schedule_for = 0.0f;
  int num_satisfied_local_commitments = 0;
  int num_violated_local_commitments = 0;
  int num_existing_local_commitments_satisfied = 0;
  int num_proposed_local_commitments_satisfied = 0;
  int num_existing_local_commitments_violated = 0;
  int num_proposed_local_commitments_violated = 0;
  ScheduleID id = EMPTY_ID;
  ScheduleElementList timeline_schedule;
  // Not owned.
  Alternative* alt_schedule_is_for = nullptr;
  ScheduleSettingBundle schedule_with;
  Distribution quality;
  Distribution cost;
  Distribution finish_time;
  // Shared with the scheduler's lists: never freed through these.
  CommitmentList undetermined_local_commitments;
  CommitmentList satisfied_local_commitments;
  CommitmentList violated_local_commitments;
  std::string annotations;
  std::string annotations_from_last_method_rating_run;
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
