// Placing one method on the schedule being built, the reset of the decision-point tree
// before each build, and the schedule's overall quality read off the tree.
#include <algorithm>
#include <string>
#include <vector>

#include "foundation/tagged_new.h"
#include "model/nle.h"
#include "scheduler/scheduler.h"

void Scheduler::add_method_to_schedule(Schedule& schedule, Method* method) {
  ScheduleElement* e = new ("Scheduler::add_method_to_schedule") ScheduleElement;
  DecisionPoint* dp = BasicTask::get_dp_of_task(method);

  if (dp->earliest_method_may_be_scheduled > schedule.get_next_expected_start_time()) {
    schedule.add_slack_time_element(dp->earliest_method_may_be_scheduled);
    end_of_the_current_working_schedule = schedule.get_next_expected_start_time();
  }

  // Taken before the outcome goes in: computing it consumes, and a refusal gives it back.
  ResourceList before_placing;
  before_placing.duplicate_list_into_this_and_copy_items(working_resources, 1);
  global_working_change_counter++;
  dp->working_quality.duplicate(dp->combined_outcomes->quality);
  dp->working_duration.duplicate(dp->combined_outcomes->duration);
  dp->working_cost.duplicate(dp->combined_outcomes->cost);
  dp->take_working_values_as_base();
  dp->share_working_values_with_the_other_nodes_of_task();
  recalculate_trees_of_task(dp, PlacementPass::first);
  dp->working_values_are_locked = 1;
  dp->note_write();
  dp->share_working_values_with_the_other_nodes_of_task();

  e->method_to_execute = method;
  e->dp_of_method = dp;
  e->method_id = method->id;
  e->q_at_tg_after_this_method_executes.duplicate(dp->dp_of_task_group_root->working_quality);
  e->cost.duplicate(dp->working_cost);
  e->quality.duplicate(dp->working_quality);

  float slack_left = 0.0f;
  schedule.get_distributions_and_slack_left_if_method_added_to_schedule(
      dp->working_duration, method->percentage_of_duration_used_by_cpu, e->start_time_distribution,
      e->finish_time_distribution, e->duration, slack_left, e->methods_finish_time_changed_due_to_overlap);
  e->unused_cpu_time = slack_left;

  // A finish after the deadline is worth nothing, with the probability of that finish.
  if (method->deadline != UNSET_TIME) {
    float p = e->finish_time_distribution.get_probability_value_is_gt_x(method->deadline);
    if (p > 0.0f) {
      dp->working_quality.reduce_total_density_to_x_percent(1.0f - p);
      dp->working_quality.append(p, 0.0f);
      dp->working_quality.sort_and_combine();
      dp->take_working_quality_as_base();
      dp->share_working_values_with_the_other_nodes_of_task();
      e->quality.duplicate(dp->working_quality);
    }
  }

  if (e->quality.get_probability_value_is_zero() == 1.0f) {
    schedule.annotations_from_last_method_rating_run +=
        std::string("\tMethod ") + method->id +
        " was unschedule-able because it hit add_method with zero quality.  **If you are not running the scheduler "
        "in some form of exhaustive mode there is a PROBLEM!\n";
    delete e;
    // The method is not in the schedule: its node counts no quality, cost or time, and
    // what its outcome consumed is given back. It stays locked, so a sequence sees it as
    // done and its later branches can still go. Slack placed for it stays.
    dp->working_quality.set_to_100_percent_zero_value();
    dp->working_cost.set_to_100_percent_zero_value();
    dp->working_duration.set_to_100_percent_zero_value();
    dp->take_working_values_as_base();
    dp->share_working_values_with_the_other_nodes_of_task();
    global_working_change_counter++;
    recalculate_trees_of_task(dp);
    working_resources.duplicate_list_into_this_and_copy_items(before_placing, 1);
    before_placing.delete_list(1);
    return;
  }
  before_placing.delete_list(1);

  float f = e->finish_time_distribution.get_specified_value(schedule_with.d);
  dp->time_task_or_method_gets_quality = f;
  dp->note_write();
  dp->share_working_values_with_the_other_nodes_of_task();
  std::string notes;
  update_expectations_to_reflect_any_non_local_commitments(f, notes);
  schedule.annotations += notes;
  global_working_change_counter++;
  end_of_the_current_working_schedule = f;
  recalculate_trees_of_task(dp, PlacementPass::after_finish);
  dp->for_each_node_of_task([f](DecisionPoint* node) { node->check_supers_for_newly_acquired_quality(f); });
  long newly_satisfied = 0;
  long newly_violated = 0;
  // Once with the method's start as the next start, once with its finish.
  record_newly_satisfied_and_violated_local_commitments(schedule, newly_satisfied, newly_violated, f);
  schedule.add_completed_element_to_schedule(e);
  record_newly_satisfied_and_violated_local_commitments(schedule, newly_satisfied, newly_violated, f);
  end_of_the_current_working_schedule = schedule.get_next_expected_start_time();
}

void Scheduler::recalculate_trees_of_task(DecisionPoint* dp, PlacementPass which) {
  // A task under several task groups stands in each of their trees.
  std::vector<DecisionPoint*> roots;
  dp->for_each_node_of_task([&roots](DecisionPoint* node) {
    if (std::find(roots.begin(), roots.end(), node->dp_of_task_group_root) == roots.end())
      roots.push_back(node->dp_of_task_group_root);
  });
  WorkingStepMemo* outer = working_step_memo;
  PlacementLog& log = placement_log;
  if (outer == nullptr) {
    working_step_memo = &placement_step_memo;
    // Nothing but the placement itself between the two: no recomputation, no other change.
    log.leaving = which == PlacementPass::after_finish && placement_step_memo.pass == log.pass &&
                  global_working_change_counter == log.counter + 1;
    placement_step_memo.begin_pass();
    if (which == PlacementPass::first) {
      log.keeping = true;
      log.placed = dp->task_or_method;
      log.placed_may_lead = false;
      dp->for_each_node_of_task([&log](DecisionPoint* node) {
        if (node->affected_by_actually->length() > 0 || node->subs.length() > 0 || node->task_has_other_nodes())
          log.placed_may_lead = true;
      });
      log.pass = placement_step_memo.pass;
      log.counter = global_working_change_counter;
      log.nodes.clear();
    }
  }
  for (DecisionPoint* root : roots) calculate_working_qdc_for_task_or_method_and_all_subs(root, 0);
  working_step_memo = outer;
  if (log.keeping) {
    log.keeping = false;
    log.placed_at.clear();
    // A node of the method that was not visited changes unseen: then nothing is left.
    bool all_visited = true;
    dp->for_each_node_of_task([&log, &all_visited](DecisionPoint* node) {
      if (node->placement_log_pass == log.pass)
        log.placed_at.push_back(node->placement_log_start);
      else
        all_visited = false;
    });
    if (!all_visited) log.pass = 0;
  }
  log.leaving = false;
}

void Scheduler::reset_all_dp_variables_prior_to_scheduling(DecisionPoint* dp, DecisionPoint* root) {
  working_resources.duplicate_list_into_this_and_copy_items(resources, 1);
  end_of_the_current_working_schedule = start_time_to_schedule_for;
  dp->is_enabler_in_current_schedule = 0;
  if (!dp->working_values_are_always_locked) {
    dp->working_cost.set_to_100_percent_zero_value();
    dp->working_quality.set_to_100_percent_zero_value();
    dp->working_duration.set_to_100_percent_zero_value();
    dp->take_working_values_as_base();
    dp->working_change_counter = 0;
    dp->working_values_are_locked = 0;
    dp->time_task_or_method_gets_quality = UNSET_TIME;
    dp->note_write();
  } else if (dp->is_method_node()) {
    // An executed method gets back the values it was pinned to: a build may have added
    // commitment quality to its locked node.
    dp->working_quality.duplicate(dp->combined_outcomes->quality);
    dp->working_cost.duplicate(dp->combined_outcomes->cost);
    dp->working_duration.duplicate(dp->combined_outcomes->duration);
    dp->take_working_values_as_base();
    dp->time_task_or_method_gets_quality = static_cast<Method*>(dp->task_or_method)->finish_time;
    dp->working_values_are_locked = 1;
    dp->note_write();
  }
  for (long i = 0; i < dp->subs.length(); i++) reset_all_dp_variables_prior_to_scheduling(dp->subs.get(i), root);
  if (dp == root) {
    number_the_shape_of_the_tree();
    working_resources.duplicate_list_into_this_and_copy_items(resources, 1);
    calculate_working_qdc_for_task_or_method_and_all_subs(root, 0);
    // The computation may have consumed or produced.
    working_resources.duplicate_list_into_this_and_copy_items(resources, 1);
  }
  // Every call ends with the percolation, but within the tree one below the root leaves no
  // mark: a task not yet reset will be, and one already reset has no quality to take a
  // time for. Above the root a node may keep the time it gives, so the calls below the
  // root percolate only while some node there still waits for one.
  if (dp == root || an_ancestor_waits_for_a_time(root))
    root->complete_initialization_by_perculating_all_method_qualities_up_tree();
}

bool Scheduler::an_ancestor_waits_for_a_time(DecisionPoint* dp) {
  for (long i = 0; i < dp->supers.length(); i++) {
    DecisionPoint* super = dp->supers.get(i);
    if (super->time_task_or_method_gets_quality == UNSET_TIME && super->working_quality.some_values_are_gt_zero())
      return true;
    if (an_ancestor_waits_for_a_time(super)) return true;
  }
  return false;
}

void Scheduler::calc_sched_overall_quality_from_working_qualities_of_dps(Schedule& schedule, int full) {
  schedule.quality.delete_all();
  if (full == 1)
    calculate_working_qdc_for_task_or_method_and_all_subs(dp_to_meta_root, 0);
  else
    calculate_working_qdc_for_task(dp_to_meta_root);
  schedule.quality.duplicate(dp_to_meta_root->working_quality);
}
