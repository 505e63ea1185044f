// Building the decision-point tree that mirrors a task tree, the percolation of the times
// at which quality is gained, the walks, and the commitment potentials.
//
// A round builds every tree in two halves: it mirrors all its task groups first, then
// completes each. An effect can only be copied to its target's node once that node
// exists, and effects run between task groups both ways.
#include <cstdio>

#include "foundation/tagged_new.h"
#include "model/nle.h"
#include "scheduler/decision_point.h"
#include "scheduler/scheduler.h"

void DecisionPoint::create_parallel_dp_tree_for_task_structure(BasicTask* root, UncertaintyModeSetting mode,
                                                              Scheduler* s) {
  mirror_task_structure_into_dp_tree(root, mode, s);
  complete_dp_tree_after_mirroring(mode, s);
}

void DecisionPoint::mirror_task_structure_into_dp_tree(BasicTask* root, UncertaintyModeSetting mode, Scheduler*) {
  mirror_subtree(root, root, this, mode);
}

void DecisionPoint::mirror_subtree(BasicTask* task, BasicTask* root, DecisionPoint* root_node,
                                   UncertaintyModeSetting mode) {
  set_task_or_method(task);
  task_group_root = root;
  dp_of_task_group_root = root_node;
  of_task = task->id;
  // A task under several parents gets a node per path; its attribute names the last one.
  task->set_dp_of_task(this);
  task->dps_of_task.push_back(this);
  combined_outcomes =
      mode == SCHEDULE_USING_UNCERTAINTY ? &combined_outcomes_uncertainty : &combined_outcomes_expected_value;
  for (long i = 0; i < task->subtasks.length(); i++) {
    DecisionPoint* child = new ("DecisionPoint::mirror_subtree") DecisionPoint;
    child->supers.add(this);
    subs.add(child);
    child->mirror_subtree(task->subtasks.get(i), root, root_node, mode);
  }
}

void DecisionPoint::complete_dp_tree_after_mirroring(UncertaintyModeSetting mode, Scheduler* s) {
  gather_methods_for_task_record_at_all_dp_subs_too();
  copy_nles_into_subtree(mode);
  combine_outcomes_in_subtree();
  compute_potentials_of_methods(mode);
  if (s != nullptr) {
    s->calculate_working_qdc_for_task_or_method_and_all_subs(this, 0);
    complete_initialization_by_perculating_all_method_qualities_up_tree();
  }
}

void DecisionPoint::gather_methods_for_task_record_at_all_dp_subs_too() {
  if (have_gathered_methods_for_task) return;
  have_gathered_methods_for_task = 1;
  methods_for_task.empty_list();
  dps_for_methods_for_task.empty_list();
  if (is_method_node()) {
    methods_for_task.append(task_or_method);
    dps_for_methods_for_task.append(this);
  }
  for (long i = 0; i < subs.length(); i++) {
    DecisionPoint* child = subs.get(i);
    child->gather_methods_for_task_record_at_all_dp_subs_too();
    methods_for_task.append_list_not_copy_items(&child->methods_for_task);
    dps_for_methods_for_task.append_list_not_copy_items(&child->dps_for_methods_for_task);
  }
}

void DecisionPoint::copy_nles_into_subtree(UncertaintyModeSetting mode) {
  // A task with a node per path copies its effects once, at the node its attribute names;
  // otherwise every target would receive each effect once per path.
  if (BasicTask::get_dp_of_task(task_or_method) == this) {
    NLEList* effects = task_or_method->affects_actually;
    for (long i = 0; i < effects->length(); i++) {
      NLE* e = effects->get(i);
      DecisionPoint* target = BasicTask::get_dp_of_task(e->to);
      if (target == nullptr) {
        // Another agent's task group, a later round's, or a tree under no task group.
        const char* to_id = e->to != nullptr ? e->to->id.c_str() : "(none)";
        fprintf(stderr, "Warning, effect %s from %s to %s is left out: %s has no decision point in this round.\n",
                e->nle_id.c_str(), task_or_method->id.c_str(), to_id, to_id);
        continue;
      }
      e->enforce_proper_usage_of_outcomes();
      NLE* copy = e->duplicate();
      if (copy->from != nullptr && copy->from->task_type == VORNA_METHOD && copy->outcome_from_if_applicable != nullptr)
        copy->weight_effect_according_to_outcome_liklihood(copy->outcome_from_if_applicable->probability);
      affects_actually->add(copy);
      if (!is_method_node()) count_task_effect_copy();
      target->affected_by_actually->add(copy);
      // A tree completed earlier in the round already has its potentials: bring the
      // target's up to date, as if the trees had been built as one.
      DecisionPoint* target_root = target->dp_of_task_group_root;
      if (target_root != dp_of_task_group_root && target_root != nullptr &&
          target_root->have_gathered_methods_for_task)
        target->compute_potentials(mode);
    }
  }
  for (long i = 0; i < subs.length(); i++) subs.get(i)->copy_nles_into_subtree(mode);
}

void DecisionPoint::combine_outcomes_in_subtree() {
  if (is_method_node()) {
    Method* method = static_cast<Method*>(task_or_method);
    bool finished = method->index_of_current_or_final_outcome != -1;
    if (finished) {
      combined_outcomes_uncertainty.duplicate(method->current_or_final_outcome);
    } else {
      combined_outcomes_uncertainty.weight_and_merge_multiple_outcomes(method->outcomes);
    }
    combined_outcomes_expected_value.duplicate(combined_outcomes_uncertainty);
    combined_outcomes_expected_value.set_qdc_distributions_to_their_expected_values();
    if (finished) {
      // Pinned to the outcome it had, for the life of the tree.
      working_quality.duplicate(combined_outcomes->quality);
      working_cost.duplicate(combined_outcomes->cost);
      working_duration.duplicate(combined_outcomes->duration);
      take_working_values_as_base();
      time_task_or_method_gets_quality = method->finish_time;
      working_values_are_locked = 1;
      working_values_are_always_locked = 1;
      note_write();
    }
  }
  for (long i = 0; i < subs.length(); i++) subs.get(i)->combine_outcomes_in_subtree();
}

void DecisionPoint::compute_potentials_of_methods(UncertaintyModeSetting mode) {
  for (long i = 0; i < dps_for_methods_for_task.length(); i++) dps_for_methods_for_task.get(i)->compute_potentials(mode);
}

void DecisionPoint::compute_potentials(UncertaintyModeSetting mode) {
  if (working_values_are_always_locked) {
    potential_cost.duplicate(working_cost);
    potential_quality.duplicate(working_quality);
    potential_duration.duplicate(working_duration);
    return;
  }
  DistributionBundle bundle;
  bundle.cost.duplicate(combined_outcomes->cost);
  bundle.quality.duplicate(combined_outcomes->quality);
  bundle.duration.duplicate(combined_outcomes->duration);
  for (long k = 0; k < affected_by_actually->length(); k++) {
    NLE* e = affected_by_actually->get(k);
    // Potentials are the best case: only the effects that can help.
    if (e->type == NLE_U_HINDERS || e->type == NLE_DISABLES || e->type == NLE_LIMITS) continue;
    e->apply_nle_to(bundle, 1, mode, UNSET_TIME);
  }
  potential_cost.duplicate(bundle.cost);
  potential_quality.duplicate(bundle.quality);
  potential_duration.duplicate(bundle.duration);
}

// ---------------------------------------------------------------- percolation

void DecisionPoint::complete_initialization_by_perculating_all_method_qualities_up_tree() {
  gather_methods_for_task_record_at_all_dp_subs_too();
  for (long i = 0; i < dps_for_methods_for_task.length(); i++) {
    DecisionPoint* m = dps_for_methods_for_task.get(i);
    if (m->time_task_or_method_gets_quality != UNSET_TIME)
      m->check_supers_for_newly_acquired_quality(m->time_task_or_method_gets_quality);
  }
}

void DecisionPoint::check_supers_for_newly_acquired_quality(MyTime t) {
  for (long i = 0; i < supers.length(); i++) {
    DecisionPoint* super = supers.get(i);
    if (super->time_task_or_method_gets_quality == UNSET_TIME && super->working_quality.some_values_are_gt_zero()) {
      super->time_task_or_method_gets_quality = t;
      super->note_write();
    }
    super->check_supers_for_newly_acquired_quality(t);
  }
}

// ---------------------------------------------------------------- walks

void DecisionPoint::list_all_descendants(DecisionPointList& out) {
  for (long i = 0; i < subs.length(); i++) {
    DecisionPoint* child = subs.get(i);
    out.add(child);
    child->list_all_descendants(out);
  }
}

void DecisionPoint::list_all_ancestors(DecisionPointList& out) {
  for (long i = 0; i < supers.length(); i++) {
    DecisionPoint* super = supers.get(i);
    out.add(super);
    super->list_all_ancestors(out);
  }
}

// ---------------------------------------------------------------- commitment potentials

void DecisionPoint::revise_potentials_of_subs_to_reflect_quality_from_commitment_satisfaction_if_appropriate() {
  gather_methods_for_task_record_at_all_dp_subs_too();
  for (long i = 0; i < dps_for_methods_for_task.length(); i++) {
    DecisionPoint* m = dps_for_methods_for_task.get(i);
    if (m->working_values_are_always_locked) continue;
    for (long k = 0; k < m->commitments.length(); k++) {
      LocalCommitment* local = m->commitments.get(k)->as_local();
      if (local == nullptr) continue;
      m->potential_quality
          .special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
              local->quality_for_commitment_satisfaction, local->minimum_quality);
    }
  }
}
