// Whether each local commitment is satisfied, violated or still undetermined at the
// current end of the schedule being built; how a candidate method would change that; and
// the bookkeeping once a method is placed.
#include <cstdio>

#include "foundation/fatal_stop.h"
#include "scheduler/scheduler.h"

namespace {
constexpr MyTime NO_DEADLINE = 2147483648.0f;

bool deadline_missed(LocalCommitment* c, MyTime finish) {
  return c->deadline != NO_DEADLINE && c->deadline != UNSET_TIME && finish > c->deadline;
}

bool earliest_start_set(LocalCommitment* c) { return c->earliest_start_time != -1.0f && c->earliest_start_time != UNSET_TIME; }

bool started_too_early(LocalCommitment* c, MyTime next_start, DecisionPoint* dp) {
  return earliest_start_set(c) && next_start < c->earliest_start_time && dp->working_duration.get_value_max() > 0.0f;
}

// When the task is done. A task that holds quality is done when the last of its methods
// that hold quality is: its working duration also counts work already in the timeline,
// and its own quality time stays where it first got quality. A method holding quality
// without a time (the one a what-if tries) is done after its own duration from next start.
MyTime finish_of_task(DecisionPoint* dp, MyTime next_start, ValueSpecifier d) {
  if (dp->working_quality.some_values_are_gt_zero()) {
    bool found = false;
    MyTime latest = 0.0f;
    DecisionPointList& methods = dp->dps_for_methods_for_task;
    for (long i = 0; i < methods.length(); i++) {
      DecisionPoint* m = methods.get(i);
      if (!m->working_quality.some_values_are_gt_zero()) continue;
      MyTime t = m->time_task_or_method_gets_quality;
      if (t == UNSET_TIME) t = next_start + m->working_duration.get_specified_value(d);
      if (!found || t > latest) latest = t;
      found = true;
    }
    if (found) return latest;
  }
  return next_start + dp->working_duration.get_specified_value(d);
}

// Every entry of the undetermined list must be local.
LocalCommitment* local_or_exit(Commitment* c) {
  LocalCommitment* local = c->as_local();
  if (local == nullptr) {
    fprintf(stderr, "Error, a non-local commitment was found in the local commitment list.\n");
    exit_or_abort();
  }
  return local;
}

// c, already out of the undetermined list, joins the satisfied ones.
void count_as_satisfied(Schedule& schedule, LocalCommitment* c, float when) {
  c->satisfaction_time = when;
  schedule.satisfied_local_commitments.append(c);
  schedule.num_satisfied_local_commitments++;
  (c->existing_or_proposed == COMMITMENT_IS_PROPOSED ? schedule.num_proposed_local_commitments_satisfied
                                                      : schedule.num_existing_local_commitments_satisfied)++;
  c->status = COMMITMENT_SATISFIED;
}

// The schedule never did any of the task's work.
bool task_left_undone(Schedule& schedule, DecisionPoint* dp) {
  if (dp->working_quality.some_values_are_gt_zero()) return false;
  ScheduleElementList& timeline = schedule.timeline_schedule;
  for (long i = 0; i < timeline.length(); i++) {
    Method* placed = timeline.get(i)->method_to_execute;
    if (placed != nullptr && dp->methods_for_task.in_list(placed)) return false;
  }
  return true;
}
}  // namespace

CommitmentStatus Scheduler::check_commitment_status_for_dp(Schedule& schedule, LocalCommitment* c,
                                                           DecisionPoint* dp) {
  MyTime next_start = schedule.get_next_expected_start_time();
  MyTime finish = finish_of_task(dp, next_start, schedule_with.d);
  float q = dp->working_quality.get_specified_value(schedule_with.q);
  // A task that has done nothing has met no minimum, not even 0.
  bool quality_met = q > 0.0f && q >= c->minimum_quality;
  switch (c->type) {
    case DEADLINE_COMMITMENT_TYPE:
      if (deadline_missed(c, finish)) return COMMITMENT_VIOLATED;
      return quality_met ? COMMITMENT_SATISFIED : COMMITMENT_UNDETERMINED;
    case EARLIEST_START_TIME_COMMITMENT_TYPE:
      if (started_too_early(c, next_start, dp)) return COMMITMENT_VIOLATED;
      if (quality_met && !(earliest_start_set(c) && next_start < c->earliest_start_time)) return COMMITMENT_SATISFIED;
      return COMMITMENT_UNDETERMINED;
    case DO_COMMITMENT_TYPE:
      return quality_met ? COMMITMENT_SATISFIED : COMMITMENT_UNDETERMINED;
    case EST_DL_AND_DO_COMMITMENT_TYPE:
      if (deadline_missed(c, finish) || started_too_early(c, next_start, dp)) return COMMITMENT_VIOLATED;
      return quality_met ? COMMITMENT_SATISFIED : COMMITMENT_UNDETERMINED;
    case DONT_COMMITMENT_TYPE: {
      if (!dp->working_quality.some_values_are_gt_zero()) return COMMITMENT_UNDETERMINED;
      MyTime s = c->dont_interval_start;
      MyTime e = c->dont_interval_end;
      if ((s <= next_start && next_start < e) || (s < finish && finish < e)) return COMMITMENT_VIOLATED;
      if ((next_start < s && finish <= s) || next_start >= e) return COMMITMENT_SATISFIED;
      // The work spans the whole interval.
      return COMMITMENT_VIOLATED;
    }
    default:
      return COMMITMENT_UNDETERMINED;
  }
}

CommitmentStatus Scheduler::check_commitment_status(Schedule& schedule, LocalCommitment* c) {
  bool satisfied = false;
  bool violated = false;
  for (long i = 0; i < c->dps_for_tasks->length(); i++) {
    CommitmentStatus s = check_commitment_status_for_dp(schedule, c, c->dps_for_tasks->get(i));
    if (s == COMMITMENT_SATISFIED) satisfied = true;
    if (s == COMMITMENT_VIOLATED) violated = true;
  }
  if (satisfied && violated) {
    fprintf(stderr,
            "Warning, a commitment that is linked to multiple tasks is "
            "both satisfied and violated at this point in the schedule."
            " The semantics for mutiple links in this context are unclear. "
            " Considering it violated.  The details follow:\n");
    c->print_by_invoking_appropriate_child_classes_print(stderr);
    schedule.print(stderr, -1);
    return COMMITMENT_VIOLATED;
  }
  if (violated) return COMMITMENT_VIOLATED;
  return satisfied ? COMMITMENT_SATISFIED : COMMITMENT_UNDETERMINED;
}

void Scheduler::tabulate_newly_violated_and_satisfied_local_commitments(Schedule& schedule, long& num_whatif_satisfied,
                                                                        long& num_whatif_violated,
                                                                        long& num_existing_satisfied,
                                                                        long& num_existing_violated) {
  num_whatif_satisfied = num_whatif_violated = num_existing_satisfied = num_existing_violated = 0;
  CommitmentList& undetermined = schedule.undetermined_local_commitments;
  for (long i = 0; i < undetermined.length(); i++) {
    LocalCommitment* c = local_or_exit(undetermined.get(i));
    bool whatif = c->importance < 0;
    switch (check_commitment_status(schedule, c)) {
      case COMMITMENT_VIOLATED:
        (whatif ? num_whatif_violated : num_existing_violated)++;
        break;
      case COMMITMENT_SATISFIED:
        (whatif ? num_whatif_satisfied : num_existing_satisfied)++;
        break;
      default:
        break;
    }
  }
}

void Scheduler::record_newly_satisfied_and_violated_local_commitments(Schedule& schedule, long& num_newly_satisfied,
                                                                      long& num_newly_violated,
                                                                      float when_satisfied_or_violated) {
  num_newly_satisfied = 0;
  num_newly_violated = 0;
  CommitmentList& undetermined = schedule.undetermined_local_commitments;
  long i = 0;
  while (i < undetermined.length()) {
    LocalCommitment* c = local_or_exit(undetermined.get(i));
    bool proposed = c->existing_or_proposed == COMMITMENT_IS_PROPOSED;
    CommitmentStatus status = check_commitment_status(schedule, c);
    if (status == COMMITMENT_VIOLATED) {
      undetermined.remove(i, 0);
      schedule.violated_local_commitments.append(c);
      schedule.num_violated_local_commitments++;
      (proposed ? schedule.num_proposed_local_commitments_violated : schedule.num_existing_local_commitments_violated)++;
      c->status = COMMITMENT_VIOLATED;
    } else if (status == COMMITMENT_SATISFIED) {
      undetermined.remove(i, 0);
      count_as_satisfied(schedule, c, when_satisfied_or_violated);
    } else {
      i++;
    }
  }
}

void Scheduler::count_dont_commitments_kept_by_leaving_their_tasks_undone(Schedule& schedule) {
  ScheduleElementList& timeline = schedule.timeline_schedule;
  float end = timeline.length() == 0
                  ? schedule.start_time_to_schedule_for
                  : timeline.get(timeline.length() - 1)->finish_time_distribution.get_specified_value(schedule_with.d);
  CommitmentList& undetermined = schedule.undetermined_local_commitments;
  long i = 0;
  while (i < undetermined.length()) {
    LocalCommitment* c = undetermined.get(i)->as_local();
    bool kept = c != nullptr && c->type == DONT_COMMITMENT_TYPE;
    for (long k = 0; kept && k < c->dps_for_tasks->length(); k++) kept = task_left_undone(schedule, c->dps_for_tasks->get(k));
    if (!kept) {
      i++;
      continue;
    }
    undetermined.remove(i, 0);
    count_as_satisfied(schedule, c, end);
  }
}
