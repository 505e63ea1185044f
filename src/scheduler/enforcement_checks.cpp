// The hard tests of method rating: whether a candidate may be placed next at all. Each
// returns the rating unchanged or a failure code, and each stands alone (the exhaustive
// builder calls them one by one).
#include "foundation/fatal_stop.h"
#include "model/nle.h"
#include "scheduler/method_rating_codes.h"
#include "scheduler/method_rating_support.h"
#include "scheduler/scheduler.h"

using method_rating::has_quality;
using method_rating::source_node;
using method_rating::strikes_at;

float Scheduler::schedule_only_methods_that_have_some_chance_of_getting_quality(Schedule&, Method*, DecisionPoint* dp,
                                                                                float rating) {
  if (dp->combined_outcomes->quality.some_values_are_gt_zero()) return rating;
  return FAILED_DUE_TO_ZERO_INITIAL_QUALITY;
}

float Scheduler::enforce_enables(Schedule& schedule, Method* method, DecisionPoint* dp, float rating) {
  NLEList& incoming = *dp->affected_by_actually;
  for (long i = 0; i < incoming.length() && rating >= 0.0f; i++) {
    NLE* e = incoming.get(i);
    if (e->type != NLE_ENABLES) continue;
    DecisionPoint* source = source_node(e);
    if (source != nullptr) source->is_enabler_in_current_schedule = 1;
    if (!has_quality(source)) rating = FAILED_ENFORCE_ENABLES_DUE_TO_QUALITY;
  }

  MyTime earliest = UNSET_TIME;
  if (rating >= 0.0f) {
    earliest = 0.0f;
    MyTime next_start = schedule.get_next_expected_start_time();
    for (long i = 0; i < incoming.length(); i++) {
      NLE* e = incoming.get(i);
      if (e->type != NLE_ENABLES || !(e->propagation_delay_value(schedule_with.d) > 0.0f)) continue;
      DecisionPoint* source = source_node(e);
      if (source->time_task_or_method_gets_quality == UNSET_TIME) fatal_stop("%s", "Error, expected finish is empty.\n");
      MyTime t = strikes_at(e, source, schedule_with.d);
      if (t > next_start) {
        rating = FAILED_ENFORCE_ENABLES_DUE_TO_DELAY;
        if (t > earliest) earliest = t;
      }
    }
  }
  if (method->earliest_start_time > earliest && earliest != UNSET_TIME && method->earliest_start_time != UNSET_TIME)
    earliest = method->earliest_start_time;
  dp->earliest_method_may_be_scheduled = earliest;
  return rating;
}

float Scheduler::enforce_disables(Schedule& schedule, Method*, DecisionPoint* dp, float rating) {
  float sum = 0.0f;
  MyTime next_start = schedule.get_next_expected_start_time();
  NLEList& incoming = *dp->affected_by_actually;
  for (long i = 0; i < incoming.length() && rating >= 0.0f; i++) {
    NLE* e = incoming.get(i);
    DecisionPoint* source = source_node(e);
    if (e->type != NLE_DISABLES || !has_quality(source)) continue;
    if (strikes_at(e, source, schedule_with.d) <= next_start)
      sum += 1.0f - source->working_quality.get_probability_value_is_zero();
  }
  if (sum >= 0.75f) {
    // Later tests treat the method as placed: it can no longer achieve anything. A method
    // already locked alone (found so in an earlier round) changes nothing the round's memos
    // read, so they hold.
    bool lock_is_new = dp->working_values_are_locked != 1 || dp->task_has_other_nodes();
    if (dp->working_values_are_locked != 1) dp->note_write();
    dp->working_values_are_locked = 1;
    dp->share_working_values_with_the_other_nodes_of_task();
    if (lock_is_new) renew_waiting_memo();
    return FAILED_ENFORCE_DISABLES;
  }
  return rating;
}

namespace {
bool is_sequence(VORNA_QualityAF qaf) {
  return qaf == VORNA_SEQ || qaf == VORNA_SEQ_SUM || qaf == VORNA_SEQ_MIN || qaf == VORNA_SEQ_MAX;
}

// The node of task, holding for the structure stamp whether the task's supertasks make a
// single chain up and whether a sequence is among its ancestors; null without a stamp or
// where a task on the way has no node.
DecisionPoint* task_above_of(BasicTask* task, long stamp) {
  DecisionPoint* node = BasicTask::get_dp_of_task(task);
  if (stamp == 0 || node == nullptr) return nullptr;
  if (node->task_above_stamp == stamp) return node;
  bool single = task->supertasks.length() <= 1;
  bool sequence = false;
  node->task_above = nullptr;
  node->node_above = nullptr;
  for (long i = 0; i < task->supertasks.length(); i++) {
    BasicTask* super = task->supertasks.get(i);
    DecisionPoint* above = task_above_of(super, stamp);
    if (above == nullptr) return nullptr;
    if (i == 0) single = single && above->task_single_path;
    sequence = sequence || is_sequence(super->qaf) || above->sequence_above;
    if (task->supertasks.length() == 1) {
      node->task_above = super;
      node->node_above = above;
      node->task_above_is_sequence = is_sequence(super->qaf);
    }
  }
  node->task_above_stamp = stamp;
  node->task_single_path = single;
  node->sequence_above = sequence;
  return node;
}
}  // namespace

float Scheduler::enforce_seq_and_seq_sum(Schedule& schedule, Method* method, DecisionPoint*, float rating) {
  // Without a sequence above, nothing can be broken.
  DecisionPoint* above = task_above_of(method, waiting_memo_stamp != 0 ? structure_memo_stamp : 0);
  if (above != nullptr && !above->sequence_above) return rating;
  // On a single path of supertasks the branch under each ancestor is the task the walk
  // came up from; shared subtasks may put the method under several of its subtasks.
  bool single_path = true;
  if (above != nullptr) {
    single_path = above->task_single_path;
  } else {
    for (BasicTask* t = method; single_path && t->supertasks.length() > 0; t = t->supertasks.get(0))
      single_path = t->supertasks.length() == 1;
  }
  return sequence_broken_above(method, method, schedule, single_path) ? FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX
                                                                      : rating;
}

namespace {
bool has_quality_or_time(DecisionPoint* node) {
  return node != nullptr && (node->time_task_or_method_gets_quality != UNSET_TIME || has_quality(node));
}
}  // namespace

DecisionPoint::SequenceMemo* Scheduler::sequence_memo_of(BasicTask* sequence, DecisionPoint* holder,
                                                        Schedule& schedule) {
  if (holder == nullptr) holder = BasicTask::get_dp_of_task(sequence);
  if (waiting_memo_stamp == 0 || holder == nullptr) return nullptr;
  DecisionPoint::SequenceMemo& memo = holder->sequence_memo;
  if (memo.stamp == waiting_memo_stamp && memo.schedule == &schedule) return &memo;
  memo.stamp = waiting_memo_stamp;
  memo.schedule = &schedule;
  long n = sequence->subtasks.length();
  if (memo.places_stamp != structure_memo_stamp) {
    memo.places_stamp = structure_memo_stamp;
    for (long i = 0; i < n; i++) {
      DecisionPoint* node = BasicTask::get_dp_of_task(sequence->subtasks.get(i));
      if (node == nullptr) continue;
      DecisionPoint::PlaceInParent& place = node->place_in_parent;
      // A subtask listed twice keeps its first place.
      if (place.stamp != structure_memo_stamp || place.parent != sequence) place = {structure_memo_stamp, sequence, i};
    }
  }
  // Each end read from its own side, as far as its answer.
  memo.first_waiting = n;
  for (long i = 0; i < n && memo.first_waiting == n; i++)
    if (!all_descendent_methods_are_either_scheduled_or_have_quality(
            BasicTask::get_dp_of_task(sequence->subtasks.get(i)), schedule))
      memo.first_waiting = i;
  memo.last_with_quality = -1;
  for (long i = n - 1; i >= 0 && memo.last_with_quality == -1; i--)
    if (has_quality_or_time(BasicTask::get_dp_of_task(sequence->subtasks.get(i)))) memo.last_with_quality = i;
  return &memo;
}

bool Scheduler::sequence_broken_at(BasicTask* ancestor, DecisionPoint* holder, BasicTask* task, Method* method,
                                   Schedule& schedule, bool single_path) {
  // Within a round the answers are read from the node's memo: O(1) on a single path.
  DecisionPoint::SequenceMemo* memo = sequence_memo_of(ancestor, holder, schedule);
  long position = -1;
  if (memo != nullptr && single_path) {
    DecisionPoint* node = BasicTask::get_dp_of_task(task);
    if (node != nullptr && structure_memo_stamp != 0 && node->place_in_parent.stamp == structure_memo_stamp &&
        node->place_in_parent.parent == ancestor)
      position = node->place_in_parent.position;
    for (long i = 0; i < ancestor->subtasks.length() && position == -1; i++)
      if (ancestor->subtasks.get(i) == task) position = i;
  } else {
    // Positions in this task's own list: a shared subtask's child number may be the one it
    // has under another parent.
    for (long i = 0; i < ancestor->subtasks.length() && position == -1; i++) {
      BasicTask* sub = ancestor->subtasks.get(i);
      if (sub == method || method->is_ancestor(sub)) position = i;
    }
  }
  if (memo != nullptr) return memo->first_waiting < position || memo->last_with_quality > position;
  for (long i = 0; i < ancestor->subtasks.length(); i++) {
    BasicTask* sub = ancestor->subtasks.get(i);
    DecisionPoint* node = BasicTask::get_dp_of_task(sub);
    if (i < position) {
      if (!all_descendent_methods_are_either_scheduled_or_have_quality(node, schedule)) return true;
    } else if (i > position) {
      if (has_quality_or_time(node)) return true;
    }
  }
  return false;
}

// Visits the ancestors in the order list_all_ancestors lists them (each supertask, then
// its own ancestors), stopping at the first broken sequence; walked in place because it
// runs for every rating.
bool Scheduler::sequence_broken_above(BasicTask* task, Method* method, Schedule& schedule, bool single_path) {
  // On a single path, within a round, the answer is the task's alone: its node keeps it.
  DecisionPoint* node = waiting_memo_stamp != 0 && single_path ? BasicTask::get_dp_of_task(task) : nullptr;
  if (node != nullptr && node->broken_above.stamp == waiting_memo_stamp && node->broken_above.schedule == &schedule)
    return node->broken_above.broken;
  bool broken = false;
  if (node != nullptr && structure_memo_stamp != 0 && node->task_above_stamp == structure_memo_stamp &&
      node->node_above != nullptr) {
    // The supertask, its node and its kind as the build found them: the walk up reads the
    // nodes alone.
    DecisionPoint* above = node->node_above;
    broken = node->task_above_is_sequence &&
             sequence_broken_at(node->task_above, above, task, method, schedule, single_path);
    broken = broken || sequence_broken_above(node->task_above, method, schedule, single_path);
  } else {
    for (long s = 0; s < task->supertasks.length() && !broken; s++) {
      BasicTask* ancestor = task->supertasks.get(s);
      broken =
          (is_sequence(ancestor->qaf) && sequence_broken_at(ancestor, nullptr, task, method, schedule, single_path)) ||
          sequence_broken_above(ancestor, method, schedule, single_path);
    }
  }
  if (node != nullptr) node->broken_above = {waiting_memo_stamp, &schedule, broken};
  return broken;
}

namespace {
// Whether a method of the alternative under task is neither placed nor locked. Walks the
// tree in place rather than listing its methods first: this runs for every rating. With
// a stamp, each node keeps its answer, so the candidates of one round walk each subtree
// once between them.
// Within a greedy build (build, its stamp) a method's wait only ever ends, by its placement
// or a lock, so a node under which none waits keeps that answer for the build's later
// rounds too.
bool some_method_still_waits(BasicTask* task, Schedule& schedule, long stamp, long build) {
  DecisionPoint* node = BasicTask::get_dp_of_task(task);
  bool kept = stamp != 0 && node != nullptr;
  if (kept && node->still_waits_stamp == stamp) return node->still_waits;
  if (kept && build != 0 && node->none_waits_stamp == build && node->none_waits_schedule == &schedule) return false;
  bool waits = false;
  if (task->task_type == VORNA_METHOD) {
    Method* m = static_cast<Method*>(task);
    bool locked = node != nullptr && node->working_values_are_locked == 1;
    waits = !locked && m->finish_time == UNSET_TIME && schedule.alternative_holds(m);
  }
  for (long i = 0; i < task->subtasks.length() && !waits; i++)
    waits = some_method_still_waits(task->subtasks.get(i), schedule, stamp, build);
  if (kept) {
    node->still_waits_stamp = stamp;
    node->still_waits = waits;
    if (!waits && build != 0) {
      node->none_waits_stamp = build;
      node->none_waits_schedule = &schedule;
    }
  }
  return waits;
}
}  // namespace

int Scheduler::all_descendent_methods_are_either_scheduled_or_have_quality(DecisionPoint* dp, Schedule& schedule) {
  if (dp == nullptr || schedule.alt_schedule_is_for == nullptr) return 1;
  long build = waiting_memo_stamp != 0 ? structure_memo_stamp : 0;
  return some_method_still_waits(dp->task_or_method, schedule, waiting_memo_stamp, build) ? 0 : 1;
}

float Scheduler::enforce_hard_deadlines(Schedule& schedule, Method* method, DecisionPoint* dp, float rating) {
  if (method->deadline == UNSET_TIME) return rating;
  Distribution finish;
  schedule.get_expected_finish_time_distribution_if_method_added_to_schedule(
      dp->combined_outcomes->duration, method->percentage_of_duration_used_by_cpu, finish);
  if (finish.get_probability_value_is_gt_x(method->deadline) > 0.75f) return FAILED_ENFORCE_HARD_DEADLINES;
  return rating;
}

namespace {
// Whether a recomputation of the method's node reads the node alone: no effect reaches it,
// it neither consumes nor produces, it stands under one parent, and no step memo records.
bool recomputes_alone(Scheduler& s, Method* method, DecisionPoint* dp) {
  return s.working_step_memo == nullptr && dp->affected_by_actually->length() == 0 && !dp->task_has_other_nodes() &&
         method->affects_resource->length() == 0 && method->affected_by_resource->length() == 0;
}
}  // namespace

float Scheduler::check_for_hard_resource_disablement(Schedule& schedule, Method* method, DecisionPoint* dp,
                                                     float rating) {
  if (recomputes_alone(*this, method, dp)) {
    // The method step on the done values, worked out aside: the loan and its undo would
    // leave the node as the second recomputation alone leaves it. A node already current
    // at the loan's generation, or locked, keeps the lent values unrecomputed.
    const int lent_generation = global_working_change_counter + 1;
    bool gains;
    if (dp->working_values_are_locked || dp->working_change_counter == lent_generation) {
      gains = dp->combined_outcomes->quality.some_values_are_gt_zero();
    } else {
      ScratchDistribution quality;
      quality.duplicate(dp->combined_outcomes->quality);
      quality.combine(dp->communicated_quality, VORNA_MAX);
      quality.multiply_all_values_by(method->weighting_factor);
      gains = quality.some_values_are_gt_zero();
    }
    if (!dp->working_values_are_locked) {
      dp->working_change_counter = lent_generation;
      calculate_working_qdc_for_task_or_method_and_all_subs(dp, 0);
    }
    rating_step_left_resources = true;
    return gains ? rating : FAILED_DUE_TO_LACK_OF_RESOURCES;
  }
  method_rating::AncestorTimes times(*this, method);
  MethodNodeValues before = method_rating::lend_done_values(*this, schedule, dp, false);
  calculate_working_qdc_for_task_or_method_and_all_subs(dp, 0);
  float result = has_quality(dp) ? rating : FAILED_DUE_TO_LACK_OF_RESOURCES;
  method_rating::take_back_done_values(*this, dp, before);
  calculate_working_qdc_for_task_or_method_and_all_subs(dp, 0);
  times.give_back();
  return result;
}

float Scheduler::enforce_earliest_start_time(Schedule& schedule, Method* method, DecisionPoint* dp, float rating) {
  MyTime est = method->earliest_start_time;
  if (est != UNSET_TIME && est > schedule.get_next_expected_start_time()) {
    dp->earliest_method_may_be_scheduled = est;
    return FAILED_ENFORCE_EARLIEST_START_TIME;
  }
  return rating;
}
