// Construction, resets and configuration of the scheduler, the task groups and
// commitments it is given, and the small reports and choosers for a client.
#include "scheduler/scheduler.h"

#include <cstdio>
#include <iostream>

#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"
#include "scheduler/client_data_packet.h"

namespace {
// A commitment with this agent counts for whichever agent is scheduled.
constexpr const char* ANY_AGENT = "kov_did_not_emit_an_agent_field_assume_for_this_agent";
}  // namespace

Scheduler::Scheduler() { scheduler_hard_reset(); }

Scheduler::~Scheduler() {
  release_round_lists();
  free_meta_root_and_its_decision_point();
}

// The task groups and commitments belong to the caller and are only let go; the schedules
// and the resource copies are the scheduler's own.
void Scheduler::release_round_lists() {
  task_roots.empty_list();
  dp_roots.empty_list();
  all_local_commitments.empty_list();
  all_non_local_commitments.empty_list();
  all_known_commitments_for_all_agents.empty_list();
  good_schedules.delete_list(1);
  resources.delete_list(1);
  working_resources.delete_list(1);
  rating_saved_resources.delete_list(1);
}

void Scheduler::scheduler_hard_reset() {
  meta_root_qaf_is_min = 0;
  use_trees_to_recompute_schedule_quality = 1;
  num_schedules_to_make = 50;
  highest_possible_quality_in_list_of_candidate_tasks = UNSET_TIME;
  bonus_for_first_method_facilitated = 2.0f;
  bonus_for_each_subsequent_method_facilitated = 1.0f;
  bonus_for_first_hindered = 2.0f;
  bonus_for_each_subsequent_hindered = 1.0f;
  bonus_for_first_disabled = 2.0f;
  bonus_for_each_subsequent_disabled = 1.0f;
  penalty_for_each_newly_violated = 1.0f;
  reward_for_each_newly_satisfied = 1.0f;
  current_mode = SCHEDULE_USING_UNCERTAINTY;
  schedule_with = ScheduleSettingBundle();
  envelope_toggles = EnvelopeToggleBundle();
  set_method_scheduling_mode(ScheduleMethodsHeuristically);
  turn_on_pruning_of_alternatives();
  do_not_generate_redundant_alternatives_under_max_qaf();
  method_scheduling_mode = ScheduleMethodsHeuristically;
  max_number_of_alternatives_at_each_task_group = 20;
  max_number_of_alternatives_at_each_interior_node = 10;
  use_kludge_to_emphasize_schedules_that_satisfy_hard_commitments = 0;
  scheduler_soft_reset();
}

void Scheduler::free_meta_root_and_its_decision_point() {
  // The node first: it clears the meta root's attribute as it goes.
  delete dp_to_meta_root;
  dp_to_meta_root = nullptr;
  if (meta_root != nullptr) {
    // The task groups under it belong to the caller and have no supertasks: a meta root
    // deleted with them still listed would take them along.
    meta_root->subtasks.empty_list();
    delete meta_root;
    meta_root = nullptr;
  }
}

void Scheduler::scheduler_soft_reset() {
  repeat_scheduling_count = 0;
  global_working_change_counter = 1;
  initial_start_time_to_schedule_for = 0.0f;
  start_time_to_schedule_for = 0.0f;

  free_meta_root_and_its_decision_point();
  meta_root = new ("Scheduler::scheduler_soft_reset") TaskGroup;
  meta_root->id = "meta_root";
  meta_root->qaf = meta_root_qaf_is_min ? VORNA_MIN : VORNA_SUM;
  replace_meta_decision_point();

  num_alternatives_created = 0;
  num_schedules_created = 0;
  highest_possible_quality_in_list_of_candidate_tasks = UNSET_TIME;
  end_of_the_current_working_schedule = UNSET_TIME;
  first_estimated_finish_time = UNSET_TIME;
  first_estimated_quality = 0.0f;
  first_estimated_cost = 0.0f;
  // The methods may not outlive the round: their moved starts are forgotten, not restored.
  earliest_starts_moved_by_dont_commitments.clear();
}

void Scheduler::replace_meta_decision_point() {
  delete dp_to_meta_root;
  dp_to_meta_root = new ("Scheduler::replace_meta_decision_point") DecisionPoint;
  dp_to_meta_root->set_task_or_method(meta_root);
  dp_to_meta_root->task_group_root = meta_root;
  dp_to_meta_root->of_task = meta_root->id;
  dp_to_meta_root->dp_of_task_group_root = dp_to_meta_root;
  meta_root->set_dp_of_task(dp_to_meta_root);
}

void Scheduler::delete_all() {
  fflush(nullptr);
  std::cerr.flush();
  std::cout.flush();
  release_round_lists();
  scheduler_soft_reset();
}

// ---------------------------------------------------------------- task groups, commitments

void Scheduler::add_new_task_group(TaskGroup* tg, int&) {
  inspect_new_tg_for_misc_possible_error_conditions(tg);
  task_roots.append(tg);
  meta_root->subtasks.append(tg);
}

void Scheduler::inspect_new_tg_for_misc_possible_error_conditions(TaskGroup* tg) {
  TaskList methods;
  tg->list_all_methods_for_task(methods);
  for (long i = 0; i < methods.length(); i++) {
    OutcomeList& outcomes = static_cast<Method*>(methods.get(i))->outcomes;
    for (long k = 0; k < outcomes.length(); k++) {
      Outcome* outcome = outcomes.get(k);
      outcome->quality.make_sure_all_values_over_significance_threshold();
      outcome->cost.make_sure_all_values_over_significance_threshold();
      outcome->duration.make_sure_all_values_over_significance_threshold();
    }
  }
  methods.empty_list();
}

void Scheduler::add_new_commitments(CommitmentList& commitments) {
  all_known_commitments_for_all_agents.append_list_not_copy_items(&commitments);
}

void Scheduler::copy_commitments_for_this_agent_to_proper_lists_for_scheduling() {
  for (long i = 0; i < all_known_commitments_for_all_agents.length(); i++) {
    Commitment* c = all_known_commitments_for_all_agents.get(i);
    if (c->agent_id != agent_to_schedule_for && c->agent_id != ANY_AGENT) continue;
    if (c->commitment_is_local_type()) {
      all_local_commitments.append(c);
    } else if (c->commitment_is_non_local_type()) {
      all_non_local_commitments.append(c);
    } else {
      c->print_by_invoking_appropriate_child_classes_print(stderr);
      error_exit("Undefined commitment encountered by the scheduler", 1);
    }
  }
}

// ---------------------------------------------------------------- settings

void Scheduler::set_method_scheduling_mode(MethodSchedulingModes mode) {
  method_scheduling_mode = mode;
  bool say = silent == 0;
  switch (mode) {
    case ScheduleMethodsExhaustively:
      if (say) {
        std::cerr << "\n\n"
                  << "WARNING - exhaustive method scheduling mode does NOT currently "
                  << "work with \n"
                  << "delays on nles.  This mode is experimental and has not been\n"
                  << "thoroughly tested.\n"
                  << "In true exhaustive mode.\n"
                  << "\n\n";
      }
      turn_off_pruning_of_alternatives();
      if (say) std::cerr << "Scheduling in pure exhaustive mode.\n";
      break;
    case ScheduleMethodsHeuristically:
      if (say) std::cerr << "Scheduling via standard heuristics.\n";
      break;
    case ScheduleMethodsExhaustively_via_Alternatives:
      turn_off_pruning_of_alternatives();
      if (say) std::cerr << "Scheduling via alternatives but doing so exhaustively.\n";
      break;
    case ScheduleMethodsExhaustively_via_Pruned_Alternatives:
      if (say) std::cerr << "Scheduling via alternatives but doing so exhaustively for a pruned set of alternatives.\n";
      break;
    default:
      break;
  }
}

void Scheduler::achieve_quality_for_all_task_groups() {
  meta_root_qaf_is_min = 1;
  meta_root->qaf = VORNA_MIN;
}

void Scheduler::do_not_necessarily_achieve_quality_for_all_task_groups() {
  meta_root_qaf_is_min = 0;
  meta_root->qaf = VORNA_SUM;
}

// ---------------------------------------------------------------- reports and choosers

void Scheduler::return_build_stats_to_client(long& num_alts, long& num_alts_at_tg, long& num_good_scheds_created,
                                             long& num_all_scheds_created, double& time_spent_on_alts,
                                             double& time_spent_on_scheds) {
  num_alts = num_alternatives_created;
  num_alts_at_tg = num_of_alternatives_created_at_root;
  num_good_scheds_created = num_good_schedules_created;
  num_all_scheds_created = num_schedules_created;
  time_spent_on_alts = time_spent_making_alts;
  time_spent_on_scheds = time_spent_scheduling_alts;
}

ClientDataPacket* Scheduler::return_top_level_alternative_data() {
  if (dp_to_meta_root == nullptr) {
    fprintf(stderr, "\aError - request for data packet but meta is null.\n");
    return nullptr;
  }
  return dp_to_meta_root->alternatives.store_alt_data_for_outside_client();
}

Alternative* Scheduler::choose_best_alternative(AlternativeList& list, ScheduleCriteriaBundle& criteria) {
  return list.rate_alternatives_and_sort(criteria, schedule_with, 0);
}

namespace {
// The first alternative whose key is strictly better than every earlier one's; with a
// quality specifier, only among those not yet scheduled whose quality value is above 0.
template <class Key, class Better>
Alternative* first_best(AlternativeList& list, const ValueSpecifier* quality_filter, Key key, Better better) {
  Alternative* best = nullptr;
  float best_key = 0.0f;
  for (long i = 0; i < list.length(); i++) {
    Alternative* alt = list.get(i);
    if (quality_filter != nullptr &&
        (alt->already_been_scheduled != 0 || !(alt->quality.get_specified_value(*quality_filter) > 0.0f)))
      continue;
    float k = key(alt);
    if (best == nullptr || better(k, best_key)) {
      best = alt;
      best_key = k;
    }
  }
  return best;
}
bool lower(float a, float b) { return a < b; }
bool higher(float a, float b) { return a > b; }
}  // namespace

Alternative* Scheduler::least_cost_alternative_with_non_zero_quality(AlternativeList& list) {
  return first_best(list, &schedule_with.q, [this](Alternative* a) { return a->cost.get_specified_value(schedule_with.c); },
                    lower);
}

Alternative* Scheduler::least_duration_alternative_with_non_zero_quality(AlternativeList& list) {
  return first_best(list, &schedule_with.q, [this](Alternative* a) { return a->duration.get_specified_value(schedule_with.d); },
                    lower);
}

Alternative* Scheduler::highest_quality_alternative(AlternativeList& list) {
  return first_best(list, nullptr, [this](Alternative* a) { return a->quality.get_specified_value(schedule_with.q); },
                    higher);
}

Alternative* Scheduler::maximum_possible_quality_alt(AlternativeList& list) {
  return first_best(
      list, nullptr, [this](Alternative* a) { return a->potential_quality.get_specified_value(schedule_with.q); },
      higher);
}

Alternative* Scheduler::most_conservative_alternative(AlternativeList& list) {
  Alternative* best = nullptr;
  for (long i = 0; i < list.length(); i++) {
    Alternative* alt = list.get(i);
    if (alt->already_been_scheduled != 0) continue;
    if (best == nullptr ||
        alt->quality.get_probability_value_is_zero() < best->quality.get_probability_value_is_zero())
      best = alt;
  }
  return best;
}
