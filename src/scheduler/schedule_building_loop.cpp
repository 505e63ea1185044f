// The loop that turns the root alternatives into schedules, best first, until enough are
// made; and the dispatch to the builder of the configured mode.
#include <cstdio>

#include "foundation/fatal_stop.h"
#include "scheduler/scheduler.h"

namespace {
// Schedules without quality do not count towards the target, so when most come out
// empty the loop goes on, up to this many times the target in alternatives.
constexpr float MULTIPLE_FOR_ZERO_Q = 4.0f;

void say(const char* text) {
  if (Scheduler::silent == 0) fprintf(stderr, "%s", text);
}
}  // namespace

void Scheduler::create_schedules_for_task_group_using_alternatives(DecisionPoint* root, int&,
                                                                   ScheduleCriteriaBundle& criteria) {
  long built = 0;
  bool warned = false;
  for (;;) {
    reset_all_dp_variables_prior_to_scheduling(root, root);
    Alternative* best = choose_best_alternative(root->alternatives, criteria);
    if (best != nullptr) {
      build_schedule_for_given_alternative(root, best);
      best->already_been_scheduled = 1;
      built++;
    }
    if (num_schedules_to_make != -1 && built > num_schedules_to_make && !warned) {
      warned = true;
      fprintf(stderr, "\nDue to a large percentage of poor schedules,\n");
      fprintf(stderr, "going over the specified target # of schedules.\n\n");
    }
    if (silent == 0) {
      fprintf(stderr, "Building schedule #%ld\n", good_schedules.length());
      fflush(stderr);
    }
    if (best == nullptr) {
      say("Exit cond is best_alt == NULL\n");
      return;
    }
    if (num_schedules_to_make != -1 && good_schedules.number_with_non_zero_q() >= num_schedules_to_make) {
      say("Built num_schedules to make\n");
      return;
    }
    if (num_schedules_to_make != -1 &&
        static_cast<float>(built) >= MULTIPLE_FOR_ZERO_Q * static_cast<float>(num_schedules_to_make)) {
      say("Built num_schedules * multiple_for_zero_q to make\n");
      return;
    }
  }
}

void Scheduler::build_schedule_for_given_alternative(DecisionPoint* root, Alternative* alt) {
  switch (method_scheduling_mode) {
    case ScheduleMethodsExhaustively_via_Alternatives:
    case ScheduleMethodsExhaustively_via_Pruned_Alternatives:
      exhaustively_build_schedules_for_given_alternative(root, alt, 0);
      return;
    case ScheduleMethodsHeuristically:
      heuristically_build_schedule_for_given_alternative(root, alt);
      return;
    default:
      fatal_stop("%s%s", "Error, mode was ScheduleMethodsExhaustively but alternative", " mechanism was used.\n");
  }
}
