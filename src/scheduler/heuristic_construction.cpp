// The greedy builder: rate every waiting method, place the best, repeat. Methods that
// must wait (for an enabler's result or their earliest start) are rated again with idle
// time in front; a waiting method that would miss its deadline behind the best one goes
// first; another agent's method that becomes due earlier goes first too.
#include <cstdio>
#include <string>
#include <unordered_set>

#include "foundation/fatal_stop.h"
#include "scheduler/method_rating_codes.h"
#include "scheduler/scheduler.h"

namespace {
bool waits_for_slack(float rating) {
  return rating == FAILED_ENFORCE_ENABLES_DUE_TO_DELAY || rating == FAILED_ENFORCE_EARLIEST_START_TIME;
}

// The scheduler's memo of waiting methods, on for one round of ratings (and off again
// however the round ends).
class WaitingMemoRound {
 public:
  explicit WaitingMemoRound(Scheduler& s) : s(s) { s.waiting_memo_stamp = ++s.waiting_memo_stamps_used; }
  ~WaitingMemoRound() { end(); }
  WaitingMemoRound(const WaitingMemoRound&) = delete;
  WaitingMemoRound& operator=(const WaitingMemoRound&) = delete;
  void end() { s.waiting_memo_stamp = 0; }

 private:
  Scheduler& s;
};

// The stamp of what ratings read of the task structure, for one greedy build.
class StructureMemoBuild {
 public:
  explicit StructureMemoBuild(Scheduler& s) : s(s) { s.structure_memo_stamp = ++s.waiting_memo_stamps_used; }
  ~StructureMemoBuild() { s.structure_memo_stamp = 0; }
  StructureMemoBuild(const StructureMemoBuild&) = delete;
  StructureMemoBuild& operator=(const StructureMemoBuild&) = delete;

 private:
  Scheduler& s;
};
}  // namespace

Schedule* Scheduler::heuristically_build_schedule_for_given_alternative(DecisionPoint* root, Alternative* alt) {
  StructureMemoBuild structure(*this);
  Schedule* schedule = begin_schedule_for_alternative(alt);
  schedule->index_alternative_methods();
  TaskList waiting;
  // Each method once, in its first place: the timeline holds a method at most once.
  std::unordered_set<BasicTask*> listed;
  for (long i = 0; i < alt->method_list.length(); i++)
    if (listed.insert(alt->method_list.get(i)).second) waiting.append(alt->method_list.get(i));
  check_remaining_methods_for_hard_dont_commitments_who_now_need_earliest_start_time_set(waiting,
                                                                                         start_time_to_schedule_for);
  for (long i = waiting.length() - 1; i >= 0; i--) {
    DecisionPoint* dp = BasicTask::get_dp_of_task(waiting.get(i));
    if (dp != nullptr && dp->working_values_are_always_locked == 1) waiting.remove(i, 0);
  }
  // One buffer for the whole build; all of it is appended after each update.
  std::string notes;
  update_expectations_to_reflect_any_non_local_commitments(start_time_to_schedule_for, notes);
  schedule->annotations += notes;

  while (waiting.length() > 0) {
    schedule->annotations_from_last_method_rating_run.clear();
    Method* method = get_method_with_higest_rating(*schedule, waiting);
    if (method == nullptr) {
      TaskList candidates;
      candidates.append_list_not_copy_items(&waiting);
      while (method == nullptr && candidates.length() > 0) {
        DecisionPoint* delayed = find_earliest_method_that_needs_delay(candidates);
        if (delayed == nullptr) break;
        candidates.remove(delayed->task_or_method, 0);
        schedule->add_slack_time_element(delayed->earliest_method_may_be_scheduled);
        end_of_the_current_working_schedule = schedule->get_next_expected_start_time();
        update_expectations_to_reflect_any_non_local_commitments(end_of_the_current_working_schedule, notes);
        schedule->annotations_from_last_method_rating_run += "\tAdded a delay and re-rated.\n";
        schedule->annotations += notes;
        method = get_method_with_higest_rating(*schedule, waiting);
      }
      candidates.delete_list(0);
      // Nothing can go: what was never placed is left out.
      if (method == nullptr) {
        waiting.delete_list(0);
        break;
      }
    }
    add_method_to_schedule(*schedule, method);
    waiting.remove(method, 0);
    check_remaining_methods_for_hard_dont_commitments_who_now_need_earliest_start_time_set(
        waiting, schedule->get_next_expected_start_time());
  }

  finish_schedule_quality(*schedule);
  // Filing may prune or change alternatives: later tests walk the list again.
  schedule->forget_alternative_index();
  return file_finished_schedule(schedule, alt, root, 1, 1, 0);
}

Method* Scheduler::get_method_with_higest_rating(Schedule& schedule, TaskList& waiting) {
  float best_rating = 0.0f;
  Method* best = nullptr;
  DecisionPointList needs_slack;
  DecisionPointList non_local;
  long rated = 0;
  bool sequence_out_of_order = false;
  // Nothing a rating reads of the waiting methods changes between ratings but a lock,
  // which renews the stamp. The round ends with the loop: the slack test after it rates
  // on other schedules.
  WaitingMemoRound memo(*this);
  for (;;) {
    if (rated != 0) schedule.annotations_from_last_method_rating_run += "\tIterated for seq-sum checking.\n";
    needs_slack.delete_list(0);
    non_local.delete_list(0);
    for (long i = 0; i < waiting.length(); i++) {
      rated++;
      Method* method = static_cast<Method*>(waiting.get(i));
      if (method->method_is_complete) continue;
      DecisionPoint* dp = BasicTask::get_dp_of_task(method);
      if (method->method_is_local == 0) {
        non_local.append(dp);
        continue;
      }
      dp->method_rating = rate_method(schedule, method);
      // Equal ratings: the later method wins.
      if (dp->method_rating >= best_rating) {
        best_rating = dp->method_rating;
        best = method;
      }
      if (waits_for_slack(dp->method_rating)) {
        needs_slack.append(dp);
        MyTime earliest = dp->earliest_method_may_be_scheduled;
        schedule.add_slack_time_element(earliest);
        end_of_the_current_working_schedule = schedule.get_next_expected_start_time();
        dp->method_rating = rate_method(schedule, method);
        schedule.remove_any_trailing_slack_time_elements();
        end_of_the_current_working_schedule = schedule.get_next_expected_start_time();
        dp->earliest_method_may_be_scheduled = earliest;
      }
      if (dp->method_rating == FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX) sequence_out_of_order = true;
    }
    if (!(rated == waiting.length() && sequence_out_of_order)) break;
  }
  memo.end();

  Method* choice = best != nullptr
                       ? evaluate_methods_that_need_slack_in_front_and_move_forward_if_appropriate(best, needs_slack,
                                                                                                    schedule)
                       : select_highest_rated_method_from_this_list(needs_slack);
  DecisionPoint* earliest_non_local = find_earliest_method_in_list(non_local);
  if (earliest_non_local != nullptr &&
      (choice == nullptr || BasicTask::get_dp_of_task(choice)->earliest_method_may_be_scheduled >
                                earliest_non_local->earliest_method_may_be_scheduled))
    choice = static_cast<Method*>(earliest_non_local->task_or_method);
  needs_slack.delete_list(0);
  non_local.delete_list(0);
  return choice;
}

Method* Scheduler::evaluate_methods_that_need_slack_in_front_and_move_forward_if_appropriate(
    Method* best, DecisionPointList& needs_slack, Schedule& schedule) {
  if (best == nullptr || needs_slack.length() == 0) return best;
  DecisionPoint* best_dp = BasicTask::get_dp_of_task(best);
  Distribution finish;
  schedule.get_expected_finish_time_distribution_if_method_added_to_schedule(
      best_dp->combined_outcomes->duration, best->percentage_of_duration_used_by_cpu, finish);
  float after_best = finish.get_specified_value(schedule_with.d);
  DecisionPointList urgent;
  for (long i = 0; i < needs_slack.length(); i++) {
    DecisionPoint* dp = needs_slack.get(i);
    float t = after_best + dp->combined_outcomes->duration.get_specified_value(schedule_with.d);
    MyTime deadline = dp->task_or_method->deadline;
    if (deadline != UNSET_TIME && t > deadline) urgent.append(dp);
  }
  Method* choice = urgent.length() > 0 ? select_highest_rated_method_from_this_list(urgent) : best;
  urgent.delete_list(0);
  return choice;
}

Method* Scheduler::select_highest_rated_method_from_this_list(DecisionPointList& list) {
  DecisionPoint* best = nullptr;
  for (long i = 0; i < list.length(); i++) {
    DecisionPoint* dp = list.get(i);
    if (best == nullptr || dp->method_rating > best->method_rating) best = dp;
  }
  return best != nullptr ? static_cast<Method*>(best->task_or_method) : nullptr;
}

DecisionPoint* Scheduler::find_earliest_method_in_list(DecisionPointList& list) {
  DecisionPoint* earliest = nullptr;
  for (long i = 0; i < list.length(); i++) {
    DecisionPoint* dp = list.get(i);
    if (earliest == nullptr || dp->earliest_method_may_be_scheduled < earliest->earliest_method_may_be_scheduled)
      earliest = dp;
  }
  return earliest;
}

DecisionPoint* Scheduler::find_earliest_method_that_needs_delay(TaskList& methods) {
  float best_time = 2147483648.0f;
  DecisionPoint* found = nullptr;
  for (long i = 0; i < methods.length(); i++) {
    DecisionPoint* dp = BasicTask::get_dp_of_task(methods.get(i));
    if (dp == nullptr) continue;
    MyTime t = dp->earliest_method_may_be_scheduled;
    if (t < best_time && t != UNSET_TIME && waits_for_slack(dp->method_rating)) {
      best_time = t;
      found = dp;
    }
  }
  return found;
}

void Scheduler::update_expectations_to_reflect_any_non_local_commitments(float time, std::string& notes) {
  for (long i = 0; i < all_non_local_commitments.length(); i++) {
    Commitment* c = all_non_local_commitments.get(i);
    if (c->dps_for_tasks->length() > 1) {
      fprintf(stderr, "Error with commitment and non-local method.\n");
      c->print_by_invoking_appropriate_child_classes_print(stderr);
      c->dps_for_tasks->print(stderr);
      fatal_stop("%s", "Non local task detected with multiple task connections.\n");
    }
    DecisionPoint* dp = c->dps_for_tasks->length() == 1 ? c->dps_for_tasks->get(0L) : nullptr;
    if (dp == nullptr) fatal_stop("%s", "Error, nonlocal commitment not attached to dp.\n");
    NonLocalCommitment* promise = c->as_non_local();
    if (promise == nullptr) continue;
    if (!(promise->expected_arrival_time <= time) || dp->working_values_are_locked) continue;
    dp->working_quality.duplicate(promise->quality);
    dp->take_working_quality_as_base();
    dp->time_task_or_method_gets_quality = promise->expected_arrival_time;
    dp->note_write();
    dp->share_working_values_with_the_other_nodes_of_task();
    global_working_change_counter++;
    recalculate_trees_of_task(dp);
    dp->working_values_are_locked = 1;
    dp->note_write();
    MyTime arrives = dp->time_task_or_method_gets_quality;
    dp->for_each_node_of_task([arrives](DecisionPoint* node) { node->check_supers_for_newly_acquired_quality(arrives); });
    dp->working_values_are_locked = 1;
    // The other agent's method costs this agent no time and no money.
    dp->working_duration.set_to_100_percent_zero_value();
    dp->working_cost.set_to_100_percent_zero_value();
    dp->take_working_values_as_base();
    dp->share_working_values_with_the_other_nodes_of_task();
    char line[64];
    snprintf(line, sizeof line, "%f", promise->expected_arrival_time);
    notes += std::string("\t Per non-local commitment, quality arrives at ") + dp->of_task + " at time " + line + "\n";
  }
}
