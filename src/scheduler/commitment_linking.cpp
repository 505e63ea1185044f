// Commitments tied to the decision-point tree: each commitment is linked to the nodes of
// the tasks it names; a promise of another agent turns its method into a stand-in for
// the promised result, and a hard local commitment tightens its task's bounds. Also the
// hard-DONT push of earliest starts, and the reset every schedule build starts from.
#include <cstdio>

#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"
#include "model/nle.h"
#include "scheduler/scheduler.h"

namespace {
// A commitment that reshapes the task structure or pushes earliest starts.
bool is_hard(LocalCommitment* c) { return c != nullptr && c->importance == 1; }

// Effects that named one of the method's old outcomes name the new one.
void repoint_effects(NLEList& effects, Outcome* outcome) {
  for (long i = 0; i < effects.length(); i++) {
    NLE* e = effects.get(i);
    if (e->outcome_from_if_applicable == nullptr) continue;
    e->outcome_from_if_applicable = outcome;
    e->outcome_id_from_if_applicable = outcome->outcome_id;
  }
}
}  // namespace

void Scheduler::link_commitments_to_decision_points() {
  CommitmentList gathered;
  gathered.append_list_not_copy_items(&all_local_commitments);
  gathered.append_list_not_copy_items(&all_non_local_commitments);
  // Each round links afresh: nodes of an earlier round are gone.
  for (long i = 0; i < gathered.length(); i++) gathered.get(i)->dps_for_tasks->delete_list(0);

  TaskList tasks;
  meta_root->list_all_descendants(tasks);
  for (long t = 0; t < tasks.length(); t++) {
    BasicTask* task = tasks.get(t);
    // Task groups not mirrored this round have no node and nothing to link to.
    DecisionPoint* dp = BasicTask::get_dp_of_task(task);
    if (dp == nullptr) continue;
    for (long i = 0; i < gathered.length(); i++) {
      Commitment* c = gathered.get(i);
      // A task reached by several paths is listed once per path but linked once.
      if (!c->task_ids.in_list(task->id) || c->dps_for_tasks->in_list(dp)) continue;
      c->dps_for_tasks->add(dp);
      dp->commitments.add(c);
      if (c->commitment_is_non_local_type()) {
        modify_vorna_method_to_reflect_non_local_commitment(dp, c->as_non_local());
      } else {
        modify_vorna_methods_and_tasks_to_reflect_local_commitment(dp, c->as_local());
      }
    }
  }
  tasks.delete_list(0);

  for (long i = 0; i < gathered.length(); i++) {
    Commitment* c = gathered.get(i);
    if (c->dps_for_tasks->length() > 0) continue;
    fprintf(stderr, "Error, a commitment for this agent is associated with an unknown task.\n");
    c->print_by_invoking_appropriate_child_classes_print(stderr);
    gathered.delete_list(0);
    exit_or_abort();
  }
  gathered.delete_list(0);
}

void Scheduler::modify_vorna_method_to_reflect_non_local_commitment(DecisionPoint* dp, NonLocalCommitment* c) {
  // The reader fills only the distribution: without a time the promised quality would
  // arrive at once and untimed.
  if (c->expected_arrival_time == UNSET_TIME && c->arrival_time.length() > 0)
    c->expected_arrival_time = c->arrival_time.get_expected_value();
  // A method that already ran keeps its result.
  if (dp->working_values_are_always_locked) return;

  BasicTask* task = dp->task_or_method;
  dp->earliest_method_may_be_scheduled = c->expected_arrival_time;
  task->earliest_start_time = c->expected_arrival_time;
  if (task->task_type != VORNA_METHOD) error_exit("Error, nlc tied to a non-method!\n", 1);
  Method* method = static_cast<Method*>(task);

  Outcome* promised = new ("Scheduler::modify_vorna_method_to_reflect_non_local_commitment") Outcome;
  promised->probability = 1.0f;
  promised->quality.duplicate(c->quality);
  promised->duration.set_to_100_percent_zero_value();
  promised->cost.set_to_100_percent_zero_value();
  method->outcomes.delete_list(1);
  method->outcomes.append(promised);

  dp->working_quality.set_to_100_percent_zero_value();
  dp->working_duration.set_to_100_percent_zero_value();
  dp->working_cost.set_to_100_percent_zero_value();
  dp->take_working_values_as_base();
  for (Outcome* combined : {&dp->combined_outcomes_uncertainty, &dp->combined_outcomes_expected_value}) {
    combined->quality.duplicate(c->quality);
    combined->duration.set_to_100_percent_zero_value();
    combined->cost.set_to_100_percent_zero_value();
  }
  dp->combined_outcomes_expected_value.set_qdc_distributions_to_their_expected_values();
  dp->potential_quality.duplicate(c->quality);
  dp->potential_duration.set_to_100_percent_zero_value();
  dp->potential_cost.set_to_100_percent_zero_value();

  // The node's copies as well as the method's own effects pointed at the freed outcomes.
  repoint_effects(*method->affects_conceptually, promised);
  repoint_effects(*method->affects_actually, promised);
  repoint_effects(*dp->affects_actually, promised);

  // The method's other nodes (one per parent) stand in for the same promise.
  dp->share_working_values_with_the_other_nodes_of_task();
  dp->for_each_node_of_task([dp](DecisionPoint* node) {
    if (node == dp) return;
    node->earliest_method_may_be_scheduled = dp->earliest_method_may_be_scheduled;
    node->combined_outcomes_uncertainty.duplicate(dp->combined_outcomes_uncertainty);
    node->combined_outcomes_expected_value.duplicate(dp->combined_outcomes_expected_value);
    node->potential_quality.duplicate(dp->potential_quality);
    node->potential_duration.duplicate(dp->potential_duration);
    node->potential_cost.duplicate(dp->potential_cost);
  });
}

void Scheduler::modify_vorna_methods_and_tasks_to_reflect_local_commitment(DecisionPoint* dp, LocalCommitment* c) {
  if (!is_hard(c)) return;
  BasicTask* task = dp->task_or_method;
  if (c->deadline != UNSET_TIME && (task->deadline == UNSET_TIME || c->deadline < task->deadline))
    task->deadline = c->deadline;
  if (c->earliest_start_time != UNSET_TIME && c->earliest_start_time > task->earliest_start_time)
    task->earliest_start_time = c->earliest_start_time;
  task->propagate_deadlines_and_earliest_from_task_to_children();
}

void Scheduler::check_remaining_methods_for_hard_dont_commitments_who_now_need_earliest_start_time_set(
    TaskList& methods, float time) {
  for (long i = 0; i < methods.length(); i++) {
    Method* method = static_cast<Method*>(methods.get(i));
    DecisionPoint* dp = BasicTask::get_dp_of_task(method);
    if (dp == nullptr) continue;
    for (long k = 0; k < dp->commitments.length(); k++) {
      LocalCommitment* c = dp->commitments.get(k)->as_local();
      if (!is_hard(c) || c->type != DONT_COMMITMENT_TYPE) continue;
      MyTime s = c->dont_interval_start;
      MyTime e = c->dont_interval_end;
      // It applies once the interval has begun, or when the method could not finish before it.
      bool applies = time >= s || dp->potential_duration.get_expected_value() > s - time;
      if (applies && method->earliest_start_time < e) {
        earliest_starts_moved_by_dont_commitments.emplace_back(method, method->earliest_start_time);
        method->earliest_start_time = e;
      }
    }
  }
}

void Scheduler::reset_commitment_state_for_a_new_schedule() {
  for (long i = 0; i < all_local_commitments.length(); i++) {
    LocalCommitment* c = all_local_commitments.get(i)->as_local();
    if (c == nullptr) continue;
    c->status = COMMITMENT_UNDETERMINED;
    c->satisfaction_time = UNSET_TIME;
  }
  // Latest first, so a start moved twice gets its first value back.
  for (auto it = earliest_starts_moved_by_dont_commitments.rbegin(); it != earliest_starts_moved_by_dont_commitments.rend();
       ++it)
    it->first->earliest_start_time = it->second;
  earliest_starts_moved_by_dont_commitments.clear();
}

void Scheduler::running_new_exp_reset_tg() { meta_root->running_new_exp_reset_tg(); }
