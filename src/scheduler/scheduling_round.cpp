// One scheduling round: the decision-point trees of the agent's task groups, their
// alternatives, the schedules built from them, the optional conditional-branch analysis,
// the rating and the best schedule.
#include <cstdio>

#include "foundation/combinatorics.h"
#include "foundation/system_wrappers.h"
#include "foundation/tagged_new.h"
#include "scheduler/conditional_branch_analysis.h"
#include "scheduler/scheduler.h"

long Scheduler::build_dp_trees_under_fresh_meta_point(const AgentID* owner, UncertaintyModeSetting mode) {
  // The meta decision point goes first, with every tree under it; schedule elements that
  // still point into those trees never read through them.
  dp_roots.empty_list();
  replace_meta_decision_point();
  good_schedules.delete_list(1);
  // Every tree mirrored before any is completed, so effects across task groups find
  // their nodes.
  for (long i = 0; i < task_roots.length(); i++) {
    BasicTask* tg = task_roots.get(i);
    if (owner != nullptr && tg->owner_agent != *owner) continue;
    DecisionPoint* dp = new ("Scheduler::schedule_new_task") DecisionPoint;
    dp->mirror_task_structure_into_dp_tree(tg, mode, this);
    dp_roots.append(dp);
    dp_to_meta_root->subs.add(dp);
  }
  for (long i = 0; i < dp_roots.length(); i++) dp_roots.get(i)->complete_dp_tree_after_mirroring(mode, this);
  return dp_roots.length();
}

Schedule* Scheduler::schedule_task_groups(std::string agent_to_schedule, int& monitor,
                                          float schedule_for_what_start_time, float money_spent_so_far,
                                          UncertaintyModeSetting mode_setting, ResourceList& resources_in) {
  bool say = silent == 0;
  // With no task group at all the round still runs up to its own "nothing for this
  // agent" answer, so the caller writes the outputs of an empty round.
  meta_root->propagate_deadlines_and_earliest_from_task_to_subs_only_then_recurse();
  agent_to_schedule_for = agent_to_schedule;
  resources.duplicate_list_into_this_and_copy_items(resources_in, 1);
  working_resources.duplicate_list_into_this_and_copy_items(resources, 1);

  current_mode = mode_setting;
  start_time_to_schedule_for = schedule_for_what_start_time;
  money_spent_thus_far = money_spent_so_far;
  end_of_the_current_working_schedule = start_time_to_schedule_for;
  if (repeat_scheduling_count == 0) initial_start_time_to_schedule_for = start_time_to_schedule_for;
  if (say)
    fprintf(stderr, "\n\nScheduling round #%d for time %.2f with accumulated cost %.2f\n\n", repeat_scheduling_count,
            start_time_to_schedule_for, money_spent_thus_far);
  if (method_scheduling_mode == ScheduleMethodsExhaustively ||
      method_scheduling_mode == ScheduleMethodsExhaustively_via_Alternatives) {
    turn_off_pruning_of_alternatives();
    set_max_num_schedules(999999999);
  }

  if (build_dp_trees_under_fresh_meta_point(&agent_to_schedule_for, current_mode) == 0) {
    fprintf(stderr, "\a\a**Error, asked to build schedules for agent %s but there aren't any tasks for this agent.\n",
            agent_to_schedule_for.c_str());
    return nullptr;
  }

  DecisionPoint* meta = dp_to_meta_root;
  copy_commitments_for_this_agent_to_proper_lists_for_scheduling();
  meta->gather_methods_for_task_record_at_all_dp_subs_too();
  long n = meta->methods_for_task.length();
  if (say) {
    fprintf(stderr, "The number of methods at the meta root is: %ld.\n", n);
    fprintf(stderr, "The upper bounds are:\n");
    fprintf(stderr, "\tNumber of possible alternatives: %lf.\n", ib_power(2, static_cast<unsigned long>(n)) - 1.0);
    fprintf(stderr, "\tNumber of possible schedules   : %lf.\n\n",
            calc_num_possible_schedules(static_cast<unsigned long>(n)));
  }
  link_commitments_to_decision_points();
  meta->revise_potentials_of_subs_to_reflect_quality_from_commitment_satisfaction_if_appropriate();
  global_working_change_counter++;
  calculate_working_qdc_for_task_or_method_and_all_subs(meta, 0);

  double t0 = wall_clock_seconds();
  create_alternatives_for_all_methods(meta, monitor);
  if (method_scheduling_mode != ScheduleMethodsExhaustively) create_alternatives_for_task_and_all_subs(meta, monitor);
  time_spent_making_alts = wall_clock_seconds() - t0;

  // Only the root alternatives carry the money already spent and the start time.
  for (long i = 0; i < meta->alternatives.length(); i++) {
    Alternative* alt = meta->alternatives.get(i);
    alt->cost.add_constant_to_all_values(money_spent_thus_far);
    alt->duration.add_constant_to_all_values(start_time_to_schedule_for);
  }
  num_of_alternatives_created_at_root = static_cast<int>(meta->alternatives.length());
  if (say) {
    fprintf(stderr, "Number of alternatives created: %ld\n", static_cast<long>(num_alternatives_created));
    fprintf(stderr, "Number of alternatives at root: %ld\n", static_cast<long>(num_of_alternatives_created_at_root));
  }

  t0 = wall_clock_seconds();
  determine_highest_quality_in_all_methods_being_considered(meta);
  if (method_scheduling_mode == ScheduleMethodsExhaustively)
    create_schedules_for_task_group_exhaustively(meta, monitor, criteria_bundle);
  else
    create_schedules_for_task_group_using_alternatives(meta, monitor, criteria_bundle);
  time_spent_scheduling_alts = wall_clock_seconds() - t0;

  // Counted on the builders' estimates, before any analysis.
  num_good_schedules_created = static_cast<int>(good_schedules.number_with_non_zero_q());
  num_of_alternatives_created_at_root = static_cast<int>(meta->alternatives.length());

  if (use_trees_to_recompute_schedule_quality == 1) {
    // The analysis times every path from 0.0.
    if (start_time_to_schedule_for == 0.0f) {
      CBranchAnalyzer analyzer;
      for (long i = 0; i < good_schedules.length(); i++)
        analyzer.compute_schedules_statistics(this, good_schedules.get(i));
    } else {
      fprintf(stderr,
              "Warning, advanced analysis requested but not supported for this task structure (start-time "
              "related).\n");
    }
  }

  good_schedules.rate_schedules_and_sort(criteria_bundle, schedule_with);
  Schedule* best = good_schedules.length() > 0 ? good_schedules.get(0L) : nullptr;
  if (use_kludge_to_emphasize_schedules_that_satisfy_hard_commitments == 1)
    best = kludge_reweight_schedules_and_sort_based_on_hard_commitments();

  if (say) {
    fprintf(stderr, "Time spent creating alternatives: %lf\n", time_spent_making_alts);
    fprintf(stderr, "Time spent scheduling alternatives: %lf\n", time_spent_scheduling_alts);
    if (best != nullptr) fprintf(stderr, "Best schedule rated %.1f\n", best->rating);
  }
  if (repeat_scheduling_count == 0 && best != nullptr) {
    first_estimated_finish_time = best->finish_time.get_specified_value(schedule_with.d);
    first_estimated_quality = best->quality.get_specified_value(schedule_with.q);
    first_estimated_cost = best->cost.get_specified_value(schedule_with.c);
  }
  repeat_scheduling_count++;
  return best;
}

Schedule* Scheduler::schedule_task_groups(std::string agent, int& monitor, float start, float money,
                                          ResourceList& resources_in) {
  return schedule_task_groups(agent, monitor, start, money, SCHEDULE_USING_UNCERTAINTY, resources_in);
}

Schedule* Scheduler::schedule_task_groups(std::string agent, int& monitor, TaskList& task_groups,
                                          CommitmentList& commitments, ScheduleCriteriaBundle& criteria, float start,
                                          float money, ResourceList& resources_in) {
  delete_all();
  for (long i = 0; i < task_groups.length(); i++)
    add_new_task_group(static_cast<TaskGroup*>(task_groups.get(i)), monitor);
  add_new_commitments(commitments);
  set_scheduler_criteria(criteria);
  return schedule_task_groups(agent, monitor, start, money, SCHEDULE_USING_UNCERTAINTY, resources_in);
}
