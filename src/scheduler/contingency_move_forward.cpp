// Moving one method of a finished schedule to an earlier position, and the reduced rating
// that judges whether it fits there. Nothing in the round calls them.
#include <cstdio>
#include <vector>

#include "foundation/fatal_stop.h"
#include "scheduler/conditional_branch_analysis.h"
#include "scheduler/scheduler.h"

namespace {
using Step = float (Scheduler::*)(Schedule&, Method*, DecisionPoint*, float);

constexpr Step CONTINGENCY_TESTS[] = {
    &Scheduler::enforce_enables,
    &Scheduler::enforce_seq_and_seq_sum,
    &Scheduler::enforce_hard_deadlines,
    &Scheduler::enforce_earliest_start_time,
};
constexpr Step CONTINGENCY_DELAYS[] = {
    &Scheduler::delay_facilitatees,
    &Scheduler::delay_hinderers,
};
}  // namespace

float Scheduler::special_rate_method_for_contingency(Schedule& schedule, Method* method, int with_delays) {
  DecisionPoint* dp = BasicTask::get_dp_of_task(method);
  float rating = scale_local_method_rating(1.0f, 5.0f);
  ResourceList saved;
  saved.duplicate_list_into_this_and_copy_items(working_resources, 1);
  auto run = [&](Step step) {
    if (rating < 0.0f) return;
    working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
    rating = (this->*step)(schedule, method, dp, rating);
  };
  for (Step step : CONTINGENCY_TESTS) run(step);
  if (with_delays == 1)
    for (Step step : CONTINGENCY_DELAYS) run(step);
  working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
  saved.delete_list(1);
  return rating;
}

Schedule* Scheduler::copy_schedule_and_move_method_forward(Schedule* schedule, Method* method, int with_delays) {
  reset_all_dp_variables_prior_to_scheduling(dp_to_meta_root, dp_to_meta_root);
  std::vector<Method*> order;
  long at = -1;
  ScheduleElementList& timeline = schedule->timeline_schedule;
  for (long i = 0; i < timeline.length(); i++) {
    ScheduleElement* e = timeline.get(i);
    if (e->element_is_slack_element) {
      fprintf(stderr, "Contingency on slack time methods not yet implemented.\n");
      exit_or_abort();
    }
    if (e->method_to_execute == method) at = i;
    order.push_back(e->method_to_execute);
  }
  if (at == -1) {
    fprintf(stderr, "Error, asked to move method but it is not in the scheudle.");
    fprintf(stderr, "  The particulars are: \n");
    method->print(stderr);
    fprintf(stderr, "Schedule %s:", schedule->id.c_str());
    for (Method* m : order) fprintf(stderr, " %s", m->id.c_str());
    fprintf(stderr, "\n");
    exit_or_abort();
  }

  for (long position = 0; position < at; position++) {
    // Every attempt starts from a reset tree.
    if (position > 0) reset_all_dp_variables_prior_to_scheduling(dp_to_meta_root, dp_to_meta_root);
    Schedule* attempt = begin_schedule_for_alternative(schedule->alt_schedule_is_for);
    attempt->id = "Contingency_schedule_for" + schedule->id;
    for (long i = 0; i < position; i++) add_method_to_schedule(*attempt, order[static_cast<size_t>(i)]);
    bool fits = special_rate_method_for_contingency(*attempt, method, with_delays) >= 0.0f;
    if (fits) add_method_to_schedule(*attempt, method);
    for (size_t i = static_cast<size_t>(position); fits && i < order.size(); i++) {
      if (order[i] == method) continue;
      fits = special_rate_method_for_contingency(*attempt, order[i], with_delays) >= 0.0f;
      if (fits) add_method_to_schedule(*attempt, order[i]);
    }
    if (!fits) {
      delete attempt;
      continue;
    }
    finish_schedule_quality(*attempt);
    if (use_trees_to_recompute_schedule_quality == 1) {
      CBranchAnalyzer analyzer;
      analyzer.compute_schedules_statistics(this, attempt);
    }
    if (attempt->timeline_schedule.length() == 0) {
      fprintf(stderr, "Error, new schedule is empty.");
      fprintf(stderr, "Execution should not get to this point.\n");
      delete attempt;
      exit_or_abort();
    }
    return attempt;
  }
  return nullptr;
}
