// Reschedule envelopes: for each method of a finished schedule, how low its quality and
// how high the aggregate cost and its finish time may go before rebuilding pays.
#include <cstdio>

#include "foundation/fatal_stop.h"
#include "foundation/system_wrappers.h"
#include "scheduler/scheduler.h"

namespace {

// One reminder per function the envelopes do not handle, for the whole process.
OnceOnlyFlag sum_all_reminder;
OnceOnlyFlag only_one_reminder;
OnceOnlyFlag sigmoid_reminder;
OnceOnlyFlag seq_reminder;
OnceOnlyFlag seq_sum_reminder;
OnceOnlyFlag seq_min_reminder;
OnceOnlyFlag seq_max_reminder;

constexpr float SOME_QUALITY = 0.00001f;

void remind_once(OnceOnlyFlag& flag, const char* qaf_name) {
  if (Scheduler::silent == 0 && flag.first_time())
    fprintf(stderr, "Reminder: Rescheduling envelopes for %s qaf are disabled.\n", qaf_name);
}

}  // namespace

void Scheduler::calculate_reschedule_envelopes_for_schedule(Schedule& schedule) {
  float cost_so_far = money_spent_thus_far;
  ScheduleElementList& timeline = schedule.timeline_schedule;
  for (long i = 0; i < timeline.length(); i++) {
    ScheduleElement* e = timeline.get(i);
    calculate_reschedule_envelopes_for_element(e, cost_so_far);
    cost_so_far += e->cost.get_specified_value(schedule_with.c);
    if (envelope_toggles.c == 0) e->aggregate_cost_envelope.max = 99999.0f;
    if (envelope_toggles.d == 0) e->finish_time_envelope.max = 99999.0f;
    if (envelope_toggles.q == 0) e->quality_envelope.min = -1.0f;
  }
}

void Scheduler::calculate_reschedule_envelopes_for_element(ScheduleElement* e, float cost_so_far) {
  if (e->element_is_for_slack_time()) return;
  Envelope& envelope = e->quality_envelope;
  Method* method = e->method_to_execute;
  DecisionPoint* method_dp = e->dp_of_method != nullptr ? e->dp_of_method : BasicTask::get_dp_of_task(method);
  if (method_dp != nullptr && method_dp->is_enabler_in_current_schedule == 1) envelope.min = SOME_QUALITY;

  TaskList ancestors;
  if (method != nullptr) method->list_all_ancestors(ancestors);
  for (long i = 0; i < ancestors.length(); i++) {
    BasicTask* ancestor = ancestors.get(i);
    DecisionPoint* adp = BasicTask::get_dp_of_task(ancestor);
    if (adp == nullptr) continue;
    Distribution& w = adp->working_quality;
    float v = w.get_specified_value(schedule_with.q);
    if (v == 0.0f) v = w.get_least_value_gt_zero();
    if (adp->is_enabler_in_current_schedule == 1 && envelope.min == 0.0f) envelope.min = SOME_QUALITY;
    switch (ancestor->qaf) {
      case VORNA_SUM:
      case VORNA_MAX:
        if (e->quality.get_value_min() <= v && v <= e->quality.get_value_max()) {
          float least = w.get_value_min();
          if (least > envelope.min) {
            envelope.min = least;
            if (envelope.min <= 0.0f) envelope.min = SOME_QUALITY;
          } else if (least == 0.0f && envelope.min <= 0.0f) {
            envelope.min = SOME_QUALITY;
          }
        }
        if (ancestor->qaf == VORNA_MAX && v < envelope.max) envelope.max = v;
        break;
      case VORNA_MIN:
        if (v > envelope.min) envelope.min = v;
        break;
      case VORNA_SUM_ALL:
        remind_once(sum_all_reminder, "SUM_ALL");
        break;
      case VORNA_ONLY_ONE:
        remind_once(only_one_reminder, "ONLY_ONE");
        break;
      case VORNA_SIGMOID:
        remind_once(sigmoid_reminder, "SIGMOID");
        break;
      case VORNA_SEQ:
        remind_once(seq_reminder, "SEQ");
        break;
      case VORNA_SEQ_SUM:
        remind_once(seq_sum_reminder, "SEQ_SUM");
        break;
      case VORNA_SEQ_MIN:
        remind_once(seq_min_reminder, "SEQ_MIN");
        break;
      case VORNA_SEQ_MAX:
        remind_once(seq_max_reminder, "SEQ_MAX");
        break;
      default:
        ancestors.delete_list(0);
        fatal_stop("Undefined qaf - internal error.\n");
    }
  }
  ancestors.delete_list(0);
  e->finish_time_envelope.max = e->finish_time_distribution.get_specified_value(schedule_with.d);
  e->aggregate_cost_envelope.max = e->cost.get_specified_value(schedule_with.c) + cost_so_far;
}
