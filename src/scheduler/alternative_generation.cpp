// Alternative generation: every method gets one alternative, and every task combines the
// alternatives of its subtasks by its quality accumulation function, bottom-up: subsets
// of the children (sum, sigmoid, redundant max), the full cross product (min, sum of all,
// the sequences) or plain copies (max, exactly one). Lists past the node's limit are
// pruned, and a task with a deadline loses quality by the chance of missing it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/combinatorics.h"
#include "foundation/fatal_stop.h"
#include "foundation/system_wrappers.h"
#include "foundation/tagged_new.h"
#include "scheduler/scheduler.h"

namespace {
// The quality a task with a deadline keeps is degraded by this share of the chance of missing it.
constexpr float DEADLINE_DEGRADATION_FACTOR = 0.75f;
// Above this many subtasks the subsets explode.
constexpr long MAX_SUBTASKS_WITHOUT_WARNING = 12;
// More alternatives than this at one node would exhaust the machine before anything is said.
constexpr long MAX_ALTERNATIVES_AT_A_NODE = 1000000;

// The alternatives the node's route would make from its children's alternatives as they
// are now (already pruned), in doubles: the counts may exceed every integer. Subsets give
// (1 + c1) ... (1 + ck) - 1, the cross product c1 ... ck, the copy c1 + ... + ck.
double alternatives_the_node_would_make(DecisionPoint* dp, bool subsets_under_max) {
  double product = 1.0, subsets = 1.0, sum = 0.0;
  bool any = false;
  for (long i = 0; i < dp->subs.length(); i++) {
    double count = static_cast<double>(dp->subs.get(i)->alternatives.length());
    if (count == 0.0) continue;
    any = true;
    product *= count;
    subsets *= 1.0 + count;
    sum += count;
  }
  switch (dp->task_or_method->qaf) {
    case VORNA_SUM:
    case VORNA_SIGMOID:
      return subsets - 1.0;
    case VORNA_MAX:
      return subsets_under_max ? subsets - 1.0 : sum;
    case VORNA_ONLY_ONE:
      return sum;
    default:
      return any ? product : 0.0;
  }
}

std::vector<DecisionPoint*> children_with_alternatives(DecisionPoint* dp) {
  std::vector<DecisionPoint*> members;
  for (long i = 0; i < dp->subs.length(); i++)
    if (dp->subs.get(i)->alternatives.length() > 0) members.push_back(dp->subs.get(i));
  return members;
}

// Hands the candidates to the node's list; both insert at the front, so the node's list
// ends in creation order.
void move_candidates_to_node(AlternativeList& candidates, DecisionPoint* dp) {
  while (candidates.length() > 0) {
    Alternative* alt = candidates.get(0L);
    candidates.remove(0L, 0);
    if (!dp->alternatives.consider_adding_new_alternative(alt, 0, nullptr)) delete alt;
  }
}
}  // namespace

void Scheduler::print_generation_status_if_due() {
  if (num_alternatives_created == 0 || num_alternatives_created % 100 != 0) return;
  fprintf(stderr,
          "Alternative generation status: number of alternatives created = %ld"
          ", # of combine operations %ld.\n",
          static_cast<long>(num_alternatives_created), Distribution::report_total_number_of_combine_operations());
  fflush(stderr);
}

void Scheduler::create_alternatives_for_all_methods(DecisionPoint* dp, int& monitor) {
  for (long i = 0; i < dp->dps_for_methods_for_task.length(); i++)
    create_alternatives_for_method_x(dp->dps_for_methods_for_task.get(i), monitor);
}

void Scheduler::create_alternatives_for_method_x(DecisionPoint* dp, int&) {
  Alternative* alt = new ("Scheduler::create_alternatives_for_method_x") Alternative;
  alt->of_dp = dp;
  alt->of_task = dp->of_task;
  alt->potential_cost.duplicate(dp->potential_cost);
  alt->potential_quality.duplicate(dp->potential_quality);
  alt->potential_duration.duplicate(dp->potential_duration);
  alt->cost.duplicate(dp->combined_outcomes->cost);
  alt->quality.duplicate(dp->combined_outcomes->quality);
  alt->duration.duplicate(dp->combined_outcomes->duration);
  alt->method_list.add(dp->task_or_method);
  dp->alternatives.add(alt);
}

void Scheduler::create_alternatives_for_task_and_all_subs(DecisionPoint* dp, int& monitor) {
  print_generation_status_if_due();
  for (long i = 0; i < dp->subs.length(); i++) create_alternatives_for_task_and_all_subs(dp->subs.get(i), monitor);
  print_generation_status_if_due();

  BasicTask* task = dp->task_or_method;
  if (task->task_type != VORNA_METHOD) {
    double would_make = alternatives_the_node_would_make(dp, generate_redundant_alternatives_under_max != 0);
    if (would_make > static_cast<double>(MAX_ALTERNATIVES_AT_A_NODE))
      error_exit(formatted_text("Error, task %s would make %.0f alternatives from the alternatives of its "
                                "subtasks.\nAt most %ld alternatives can be made at one task.\nUnable to "
                                "continue.\n",
                                task->id.c_str(), would_make, MAX_ALTERNATIVES_AT_A_NODE)
                     .c_str(),
                 1);
    dp->alternatives.delete_list(1);
    switch (task->qaf) {
      case VORNA_SUM:
        create_alternatives_sum(dp, monitor, "sum");
        break;
      case VORNA_MAX:
        if (generate_redundant_alternatives_under_max)
          create_alternatives_sum(dp, monitor, "max_sum");
        else
          create_alternatives_max(dp, monitor, "max");
        break;
      case VORNA_MIN:
        create_alternatives_min(dp, monitor, "min");
        break;
      case VORNA_ONLY_ONE:
        create_alternatives_max(dp, monitor, "only_one");
        break;
      case VORNA_SIGMOID:
        create_alternatives_sum(dp, monitor, "sigmoid");
        break;
      case VORNA_SUM_ALL:
        create_alternatives_min(dp, monitor, "sum_all");
        break;
      case VORNA_SEQ_SUM:
        create_alternatives_min(dp, monitor, "seq_sum");
        break;
      case VORNA_SEQ:
        create_alternatives_min(dp, monitor, "seq");
        break;
      case VORNA_SEQ_MIN:
        create_alternatives_min(dp, monitor, "seq_min");
        break;
      case VORNA_SEQ_MAX:
        create_alternatives_min(dp, monitor, "seq_max");
        break;
      default:
        fprintf(stderr, "Error, cannot create alternatives");
        fprintf(stderr, " for undefined QAF.\n");
        fatal_stop();
    }
  }
  if (turn_off_alternative_pruning != 1) prune_alternatives_according_to_criteria(dp);
  if (task->deadline != UNSET_TIME)
    dp->alternatives.decrease_qualities_by_degree_alts_miss_hard_deadline_up_to_some_bounds(
        task->deadline, DEADLINE_DEGRADATION_FACTOR);
}

void Scheduler::create_alternatives_sum(DecisionPoint* dp, int&, const char* label) {
  BasicTask* task = dp->task_or_method;
  long subtasks = task->subtasks.length();
  if (subtasks > MAX_SUBTASKS_WITHOUT_WARNING) {
    fprintf(stderr, "\n\n");
    fprintf(stderr, "\aWarning, task %s has %ld subtasks under a %s qaf.\n", task->id.c_str(), subtasks,
            task->qaf_to_string());
    fprintf(stderr, "This means there are 2 to the %ld alternatives for this task.\n", subtasks);
    fprintf(stderr, "%s\n%s\n%s\n%s\n%s\n%s\n%s\n%s\n", "This type of combinatorial explostion is not currently",
            "handled by the scheduler.  (It is a different class than the", "explosions we typically encounter.)",
            "Scheduling will proceed, but if the combinatorics are too great",
            "to schedule in a reasonable amount of time OR are too large",
            "for the available resources, reduce the number of children",
            "under this task or group them hierarchly or send in a bug", "report.");
    fprintf(stderr, "\n\n");
  }
  AlternativeList candidates;
  create_candidate_alternatives_for_dp_under_sum(dp, candidates, label);
  move_candidates_to_node(candidates, dp);
}

void Scheduler::create_candidate_alternatives_for_dp_under_sum(DecisionPoint* dp, AlternativeList& candidates,
                                                               const char* label) {
  std::vector<DecisionPoint*> members = children_with_alternatives(dp);
  int k = static_cast<int>(members.size());
  if (k == 0) return;
  // Each subset is k marks ('1' in) and a '|', in binary counting order with the first
  // member as the most significant mark.
  char* subsets = power_set(k);
  for (const char* subset = subsets; *subset != '\0'; subset += k + 1) {
    std::vector<DecisionPoint*> included;
    for (int i = 0; i < k; i++)
      if (subset[i] == '1') included.push_back(members[i]);
    create_cross_product_alternatives_from_a_set_of_dps(dp, candidates, included.data(),
                                                        static_cast<long>(included.size()), label, 0, 0);
  }
  delete[] subsets;
}

void Scheduler::create_alternatives_min(DecisionPoint* dp, int&, const char* label) {
  std::vector<DecisionPoint*> members = children_with_alternatives(dp);
  if (members.empty()) return;
  AlternativeList candidates;
  create_cross_product_alternatives_from_a_set_of_dps(dp, candidates, members.data(),
                                                      static_cast<long>(members.size()), label, 0, 0);
  move_candidates_to_node(candidates, dp);
}

void Scheduler::create_alternatives_max(DecisionPoint* dp, int&, const char*) {
  for (long i = 0; i < dp->subs.length(); i++) {
    AlternativeList& child_alternatives = dp->subs.get(i)->alternatives;
    for (long k = 0; k < child_alternatives.length(); k++) {
      Alternative* alt = new ("Scheduler::create_alternatives_max") Alternative;
      alt->duplicate(*child_alternatives.get(k));
      alt->of_dp = dp;
      alt->of_task = dp->of_task;
      num_alternatives_created++;
      if (!dp->alternatives.consider_adding_new_alternative(alt, 0, nullptr)) delete alt;
    }
  }
}

long Scheduler::create_cross_product_alternatives_from_a_set_of_dps(DecisionPoint* dp, AlternativeList& candidates,
                                                                    DecisionPoint** members, long n,
                                                                    const char* label, int cap_flag, long cap) {
  if (n <= 0) return 0;
  BasicTask* task = dp->task_or_method;
  VORNA_QualityAF qaf = task->qaf;
  long all_subtasks = task->subtasks.length();
  // The last subtask by this task's own list: a subtask under several parents keeps the
  // child number of one parent only.
  BasicTask* last_subtask = all_subtasks > 0 ? task->subtasks.get(all_subtasks - 1) : nullptr;
  if (qaf == VORNA_SEQ) {
    bool last_is_member = false;
    for (long i = 0; i < n; i++) last_is_member = last_is_member || members[i]->task_or_method == last_subtask;
    if (!last_is_member) {
      // Reachable from input: the last subtask may have no method under it.
      fprintf(stderr, "Warning, task %s gets no alternatives: its last subtask %s has none.\n", task->id.c_str(),
              last_subtask != nullptr ? last_subtask->id.c_str() : "(none)");
      return 0;
    }
  }

  std::vector<long> counters(static_cast<size_t>(n), 0);
  long expected = 1;
  for (long i = 0; i < n; i++) expected *= members[i]->alternatives.length();
  // Candidates that differ only in their later members share the combination of the
  // members before: level i holds members 0 to i combined at the current counters, and
  // the combine operations building it on level i - 1 took. A candidate made on a level
  // kept from before adds those to the count, as making it from the first member would.
  // Levels are kept from 1 up to the last one that some later member varies under.
  long depth = 0;
  long later = 1;
  for (long i = n - 2; i >= 1 && depth == 0; i--) {
    later *= members[i + 1]->alternatives.length();
    if (later > 1) depth = i;
  }
  std::vector<Alternative*> levels(static_cast<size_t>(depth + 1), nullptr);
  std::vector<long> level_combines(static_cast<size_t>(depth + 1), 0);
  // Levels 1 to valid match the counters.
  long valid = 0;
  auto member = [&](long i) { return members[i]->alternatives.get(counters[i]); };
  auto start_from = [&](Alternative* alt, Alternative* first) {
    alt->duplicate(*first);
    if (qaf == VORNA_SIGMOID) {
      alt->quality.combined_under_sigmoid_and_multiplier_not_applied = 1;
      alt->potential_quality.combined_under_sigmoid_and_multiplier_not_applied = 1;
    }
  };
  auto add_member = [&](Alternative* alt, Alternative* a) {
    alt->cost.combine_costs(a->cost);
    alt->duration.combine_durations(a->duration);
    alt->potential_cost.combine_costs(a->potential_cost);
    alt->potential_duration.combine_durations(a->potential_duration);
    // A method under two members (a task under two parents) goes in once: its first
    // occurrence. Only a method with several nodes can be reached through two members.
    for (long m = 0; m < a->method_list.length(); m++) {
      BasicTask* method = a->method_list.get(m);
      if (method->dps_of_task.size() > 1 && alt->method_list.item_is_in_list(method)) continue;
      alt->method_list.add(method);
    }
    if (qaf != VORNA_SEQ) {
      alt->quality.combine(a->quality, qaf);
      alt->potential_quality.combine(a->potential_quality, qaf);
    }
  };
  long made = 0;
  bool capped = false;
  for (;;) {
    Alternative* alt = new ("Scheduler::create_cross_product_alternatives_from_a_set_of_dps") Alternative;
    num_alternatives_created++;
    alt->of_dp = dp;
    alt->of_task = dp->of_task;
    if (cap_flag == 1 && made >= cap) {
      delete alt;
      capped = true;
      break;
    }
    print_generation_status_if_due();

    long counted = 0;
    Alternative* last_child = nullptr;
    for (long i = 0; i < n; i++) {
      Alternative* a = member(i);
      if (a->quality.some_values_are_gt_zero()) counted++;
      if (a->of_dp->task_or_method == last_subtask) last_child = a;
    }
    long reused = 0;
    for (long level = 1; level <= valid; level++) reused += level_combines[level];
    for (long level = valid + 1; level <= depth; level++) {
      long before = Distribution::report_total_number_of_combine_operations();
      Alternative* made_level = new ("Scheduler::create_cross_product_alternatives_from_a_set_of_dps") Alternative;
      start_from(made_level, level == 1 ? member(0) : levels[level - 1]);
      add_member(made_level, member(level));
      level_combines[level] = Distribution::report_total_number_of_combine_operations() - before;
      delete levels[level];
      levels[level] = made_level;
    }
    valid = depth;
    start_from(alt, depth > 0 ? levels[depth] : member(0));
    for (long i = depth + 1; i < n; i++) add_member(alt, member(i));
    Distribution::count_combine_operations(reused);
    if (qaf == VORNA_SEQ && last_child != nullptr) {
      alt->quality.duplicate(last_child->quality);
      alt->potential_quality.duplicate(last_child->potential_quality);
    }
    if (qaf == VORNA_SIGMOID) {
      float multiplier =
          task->calc_sigmoid_multiplier(static_cast<float>(counted) / static_cast<float>(all_subtasks));
      alt->quality.apply_sigmoid_multiple(multiplier);
      alt->potential_quality.apply_sigmoid_multiple(multiplier);
    }
    alt->of_dp = dp;
    alt->of_task = dp->of_task + "_" + label + "_" + std::to_string(candidates.length());
    alt->rating = -1.0f;
    special_include_quality_from_commitment_satisfaction_in_alt_potential_if_appropriate(dp, alt);
    candidates.add(alt);
    made++;

    // The odometer: the last member varies fastest. A level whose member moved is stale.
    long i = n - 1;
    while (i >= 0 && counters[i] == members[i]->alternatives.length() - 1) counters[i--] = 0;
    if (i < 0) break;
    counters[i]++;
    valid = std::max(0L, std::min(valid, i - 1));
  }
  for (Alternative* level : levels) delete level;
  if (!capped && made != expected) fatal_stop("Error, expected %ld members, generated %ld!\n", expected, made);
  return made;
}

void Scheduler::special_include_quality_from_commitment_satisfaction_in_alt_potential_if_appropriate(
    DecisionPoint* dp, Alternative* alt) {
  if (dp == nullptr || alt == nullptr) error_exit("Scheduler::special_include... got a null pointer.\n", 1);
  for (long i = 0; i < dp->commitments.length(); i++) {
    Commitment* c = dp->commitments.get(i);
    if (c == nullptr) error_exit("Scheduler::special_include... got a null commitment pointer.\n", 1);
    LocalCommitment* local = c->type != NON_LOCAL_COMMITMENT_TYPE ? c->as_local() : nullptr;
    if (local == nullptr) continue;
    alt->potential_quality
        .special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
            local->quality_for_commitment_satisfaction, local->minimum_quality);
  }
}

void Scheduler::prune_alternatives_according_to_criteria(DecisionPoint* dp) {
  BasicTask* task = dp->task_or_method;
  long limit = task->task_type == VORNA_TASK_GROUP ? max_number_of_alternatives_at_each_task_group
                                                   : max_number_of_alternatives_at_each_interior_node;
  if (dp->alternatives.length() <= limit) return;
  ScheduleCriteriaBundle& cb = criteria_bundle;
  int has_deadline = task->deadline != UNSET_TIME ? 1 : 0;
  bool thresholds = cb.meta_threshold_slider > 0.0f &&
                    (cb.quality_threshold * cb.threshold_quality_slider > 0.0f ||
                     cb.duration_limit * cb.threshold_duration_slider > 0.0f ||
                     cb.cost_limit * cb.threshold_cost_slider > 0.0f);
  if (thresholds || has_deadline)
    dp->alternatives.rate_alternatives_and_prune_to_n_best_using_heuristic_approach(cb, schedule_with, limit,
                                                                                    has_deadline, 1);
  else
    dp->alternatives.rate_alternatives_and_prune_to_n_best(cb, schedule_with, limit, 1);
}

int Scheduler::method_is_in_non_local_commitment_list(Method* method) {
  for (long i = 0; i < all_non_local_commitments.length(); i++)
    if (all_non_local_commitments.get(i)->task_ids.in_list(method->id)) return 1;
  return 0;
}
