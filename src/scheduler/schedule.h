// A schedule and its elements: the timeline of elements (methods or inserted slack) with
// their start, finish, quality, cost and duration distributions and reschedule envelopes,
// the schedule's overall quality, cost and finish time, its commitment bookkeeping and its
// rating. Constructors, destructors and fields are inline, so neither the model nor the
// language library links against scheduler code; the operations are defined in the
// scheduler library (schedule.cpp, schedule_timeline.cpp, schedule_rating.cpp).
#pragma once

#include <cstdio>
#include <iosfwd>
#include <string>
#include <unordered_set>

#include "foundation/shared_types.h"
#include "foundation/typed_list.h"
#include "model/commitment.h"
#include "model/distribution.h"
#include "model/schedule_bundles.h"
#include "scheduler/envelope.h"

class Method;
class BasicTask;
class ClientDataPacket;
class DecisionPoint;
class Alternative;
class Scheduler;
class ScheduleElement;
class Schedule;

// Numbers the slack elements of every schedule of the process.
extern long Schedule_Element_Creation_Counter;
void reset_schedule_element_creation_counter();

// The stem of every slack element's id.
inline constexpr const char* SLACK_ID_STEM = "Slack_MyTime";

// The elements of one schedule in execution order; `add` appends.
class ScheduleElementList : public TypedList<ScheduleElementList, ScheduleElement> {
 public:
  static constexpr const char* access_text = "ScheduleElementList access function";
  static constexpr bool adds_at_front = false;
  static void delete_function(void* item);

  // Empties this list (freeing its elements), then appends copies of the other's elements
  // without their method and decision point.
  void duplicate(ScheduleElementList& other);

  // ---- the readable listing: schedule_print.cpp ----
  // Each element's print; s null leaves out the values by the setting.
  void print(FILE* fp, ScheduleSettingBundle* s);
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

  // True when the id holds the slack stem (a method named so counts too).
  bool element_is_for_slack_time() const { return method_id.find(SLACK_ID_STEM) != std::string::npos; }
  // A new element with the ids, required values, flags, distributions and envelopes
  // copied; the method and decision point stay null.
  ScheduleElement* duplicate_element_but_not_supporting_data_structures();
  // Never completed: stops the program.
  [[noreturn]] void duplicate(ScheduleElement& other);
  // The readable listing of the element (schedule_print.cpp); s null leaves out the
  // values by the setting.
  void print(FILE* fp, ScheduleSettingBundle* s);

  // The method's id, or "Slack_MyTime_<n>" for an inserted slack period.
  TaskID method_id;
  Method* method_to_execute = nullptr;
  DecisionPoint* dp_of_method = nullptr;
  Quality required_quality = 0.0f;
  MyTime required_duration = UNSET_TIME;
  Distribution finish_time_distribution;
  Distribution start_time_distribution;
  Distribution total_schedule_cost_to_end_of_this_method;
  int methods_finish_time_changed_due_to_overlap = 0;
  int element_is_slack_element = 0;
  Distribution cost;
  Distribution quality;
  Distribution duration;
  Envelope quality_envelope;
  Envelope aggregate_cost_envelope;
  Envelope finish_time_envelope;
  Distribution q_at_tg_after_this_method_executes;
  // Time at the end of the element during which the processor is free (a method that
  // keeps it busy for only part of its duration).
  float unused_cpu_time = 0.0f;
};

inline void ScheduleElementList::delete_function(void* item) { delete static_cast<ScheduleElement*>(item); }

class Schedule {
 public:
  Schedule() = default;
  // The schedule owns its elements; the commitments are shared and only let go.
  ~Schedule() {
    timeline_schedule.delete_list(1);
    undetermined_local_commitments.empty_list();
    satisfied_local_commitments.empty_list();
    violated_local_commitments.empty_list();
  }
  Schedule(const Schedule&) = delete;
  Schedule& operator=(const Schedule&) = delete;

  ScheduleElementList& get_timeline() { return timeline_schedule; }
  Distribution& get_quality() { return quality; }
  Distribution& get_cost() { return cost; }
  Distribution& get_finish_time() { return finish_time; }
  void set_start_time_to_schedule_for(float t) { start_time_to_schedule_for = t; }
  float return_rating() const { return rating; }

  // ---- bookkeeping, sameness and copies: schedule.cpp ----
  // Fills an empty timeline's distributions, warns about missing ones, and computes the
  // three probabilities of reaching the expected values.
  void schedule_is_complete_do_final_bookkeeping();
  void all_undetermined_are_now_violated();
  // 1 when both timelines hold the same method ids in the same positions.
  int this_is_the_same(Schedule* other);
  Schedule* duplicate_schedule_but_not_supporting_data_structures();
  // Never completed: stops the program.
  [[noreturn]] void duplicate(Schedule& other);

  // ---- the timeline: schedule_timeline.cpp ----
  // Appends e; the schedule's cost and finish time become those at the end of e.
  void add_completed_element_to_schedule(ScheduleElement* e);
  // Appends a slack period from the end of the timeline up to the desired finish.
  void add_slack_time_element(float desired_expected_finish_time);
  void remove_any_trailing_slack_time_elements();
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

  // ---- the schedule record: schedule_output.cpp ----
  // Writes one spec_schedule record to the file, appended (append 1) or replacing it,
  // with permission bits 0664. A file that cannot be opened is a fatal stop; a failed
  // write ends the program with status 1.
  // In the library the file holds the host's form of write_to_ostream.
  void write_to_tvorna_file(const char* name, int append);
  // One spec_schedule record in the host's form: every element a full block, slack and
  // non-local methods included, no comment line; the stream is set to the file's number
  // format. The integer is not used.
  void write_to_ostream(std::ostream& out, int);

  // ---- the readable listing and its checks: schedule_print.cpp ----
  // sched_number -1 leaves the number out of the heading.
  void print(FILE* fp, long sched_number);
  void print_method_list(FILE* fp);
  void print_addresses_of_methods_in_schedule(FILE* fp);
  // Aborts unless every method and decision point of the timeline belongs to the given
  // task structure and decision-point tree (their roots not counted).
  void verify_addresses_of_methods_in_schedule(BasicTask* task_root, DecisionPoint* dp_root);

  MyTime start_time_to_schedule_for = 0.0f;
  int num_satisfied_local_commitments = 0;
  int num_violated_local_commitments = 0;
  int num_existing_local_commitments_satisfied = 0;
  int num_proposed_local_commitments_satisfied = 0;
  int num_existing_local_commitments_violated = 0;
  int num_proposed_local_commitments_violated = 0;
  MyTime overall_deadline = 500.0f;
  MyTime overall_max_cost = 10.0f;
  Scheduler* scheduler_that_produced_this = nullptr;
  float rating = 1.0f;
  ScheduleID id = EMPTY_ID;
  // Owned elements.
  ScheduleElementList timeline_schedule;
  Alternative* alt_schedule_is_for = nullptr;
  // Whether the task is one of the alternative's methods. Every rating asks this many
  // times, so while a greedy build places the methods (and the alternative's list stays
  // as it is) the answer comes from a set taken once, not from a walk of the list.
  bool alternative_holds(const BasicTask* task);
  void index_alternative_methods();
  void forget_alternative_index();
  std::unordered_set<const BasicTask*> alternative_methods;
  bool alternative_is_indexed = false;
  ScheduleSettingBundle schedule_with;
  Distribution quality;
  Distribution cost;
  Distribution finish_time;
  float prob_expected_q_or_better = -1.0f;
  float prob_expected_c_or_better = -1.0f;
  float prob_expected_d_or_better = -1.0f;
  // Shared with the scheduler's lists; not owned.
  CommitmentList undetermined_local_commitments;
  CommitmentList satisfied_local_commitments;
  CommitmentList violated_local_commitments;
  // Free notes of the builders, never parsed.
  std::string annotations;
  std::string annotations_from_last_method_rating_run;
  int created_through_simple_copy_has_no_supporting_structures = 0;
  // The value of kept commitments changed the quality when the schedule was finished.
  // The branch analysis recomputes without that value, so it leaves such a schedule alone.
  bool quality_includes_commitment_value = false;
};

// The schedules of a round, in the order they were made; `add` appends, names are
// compared exactly, and the list's owner frees the schedules through it.
class ScheduleList : public TypedList<ScheduleList, Schedule> {
 public:
  static constexpr const char* access_text = "ScheduleList access function";
  static constexpr bool adds_at_front = false;
  static void delete_function(void* item) { delete static_cast<Schedule*>(item); }
  static bool has_key(Schedule* item, const char* key) { return item != nullptr && item->id == key; }

  // ---- schedule.cpp ----
  long number_with_non_zero_q();
  // Appends s unless a schedule with the same method sequence is already here; returns
  // s's position, or -1 when it was not appended (the caller keeps s).
  long append_if_not_already_in_list(Schedule* s);
  // Empties this list, freeing its schedules; copying a non-empty list is not supported
  // and stops the program.
  void duplicate(ScheduleList& other);

  // ---- rating and ordering: schedule_rating.cpp ----
  void rate_schedules_and_sort(ScheduleCriteriaBundle& criteria, ScheduleSettingBundle& setting);
  // With extremes given by a client instead of observed ones.
  void rate_schedules_and_sort(ScheduleCriteriaBundle& criteria, ScheduleSettingBundle& setting,
                               MinMaxBundle& bounds);
  // 1 when a rates above b, -1 below, 0 otherwise (equal or unordered).
  static int schedule_func_to_sort_by_rating(const void* a, const void* b);

  // ---- output: schedule_output.cpp ----
  // One row per schedule into each file that is not null; a file still empty first gets
  // its header.
  void print_to_data_files(FILE* stats, FILE* rows);
  // A new packet of the schedules, the first marked as selected; the caller owns it.
  ClientDataPacket* store_schedule_data_for_outside_client();

  // ---- the readable listing: schedule_print.cpp ----
  void print(FILE* fp);

  // The extremes of the last rating.
  MinMaxBundle observed_min_max;
};
