// What every build of a schedule does first and last, in one place so the heuristic,
// exhaustive and move-forward builders cannot drift apart.
#include <string>

#include "foundation/tagged_new.h"
#include "scheduler/scheduler.h"

Schedule* Scheduler::begin_schedule_for_alternative(Alternative* alt) {
  // Commitments judged by the previous build, and starts the hard-DONT check pushed for
  // it, must not carry over.
  reset_commitment_state_for_a_new_schedule();
  Schedule* schedule = new ("Scheduler::begin_schedule_for_alternative") Schedule;
  num_schedules_created++;
  schedule->scheduler_that_produced_this = this;
  schedule->schedule_with = schedule_with;
  schedule->start_time_to_schedule_for = start_time_to_schedule_for;
  // Money spent in earlier rounds is where this schedule's cost starts.
  schedule->cost.replace_with(1.0f, money_spent_thus_far);
  schedule->alt_schedule_is_for = alt;
  schedule->id = std::string("SCHEDULE_") + (alt != nullptr ? alt->of_task : std::string());
  schedule->undetermined_local_commitments.append_list_not_copy_items(&all_local_commitments);
  working_resources.duplicate_list_into_this_and_copy_items(resources, 1);
  end_of_the_current_working_schedule = start_time_to_schedule_for;
  return schedule;
}

void Scheduler::finish_schedule_quality(Schedule& schedule) {
  schedule.remove_any_trailing_slack_time_elements();
  calc_sched_overall_quality_from_working_qualities_of_dps(schedule, 1);
  schedule.schedule_is_complete_do_final_bookkeeping();
  count_dont_commitments_kept_by_leaving_their_tasks_undone(schedule);
  schedule.all_undetermined_are_now_violated();
  special_add_in_commitment_quality_if_applicapable_and_recompute_schedule_quality(schedule);
}

Schedule* Scheduler::file_finished_schedule(Schedule* schedule, Alternative* alt, DecisionPoint* root,
                                            int suggest_repairs, int note_attempted_methods, int drop_empty) {
  if (suggest_repairs) suggest_improvments_via_new_alternatives(schedule, alt, root);
  if (note_attempted_methods && !schedule->annotations_from_last_method_rating_run.empty()) {
    std::string ids;
    alt->method_list.string_print_task_ids_on_one_line(ids);
    schedule->annotations_from_last_method_rating_run =
        "\tMethods attempted to schedule: \t" + ids + "\n" + schedule->annotations_from_last_method_rating_run;
  }
  if (drop_empty && schedule->timeline_schedule.length() == 0) {
    delete schedule;
    return nullptr;
  }
  calculate_reschedule_envelopes_for_schedule(*schedule);
  good_schedules.append(schedule);
  return schedule;
}
