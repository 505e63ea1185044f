// Alternative generation: every method gets one alternative, and every task combines the
// alternatives of its subtasks by its quality accumulation function, bottom-up: subsets
// of the children (sum, sigmoid, redundant max), the full cross product (min, sum of all,
// the sequences) or plain copies (max, exactly one). Lists past the node's limit are
// pruned, and a task with a deadline loses quality by the chance of missing it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
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

// Restores the pool pointer however the generation ends.
class PoolInUse {
 public:
  PoolInUse(AlternativePool*& slot, AlternativePool* pool) : slot(slot) { slot = pool; }
  ~PoolInUse() { slot = nullptr; }
  PoolInUse(const PoolInUse&) = delete;
  PoolInUse& operator=(const PoolInUse&) = delete;

 private:
  AlternativePool*& slot;
};
}  // namespace

// The candidates of a node in the order made, each with the member alternatives it folds.
// Pruning reads neither a candidate's methods nor its name, so the node fills those in
// only for the candidates it keeps: the first member's methods as they stand, then each
// later member's, a method with several nodes (under two members) once only.
class CandidateBatch {
 public:
  // A null label: copies of the members, named as the node (under max and exactly one).
  CandidateBatch(DecisionPoint* dp, const char* label, long first_number)
      : dp(dp), label(label), first_number(first_number) {}
  ~CandidateBatch() {
    if (memo_in_use == nullptr || memo_in_use == own_memo.get()) return;
    memo_in_use->clear();
    memo_in_use->in_use = false;
  }
  CandidateBatch(const CandidateBatch&) = delete;
  CandidateBatch& operator=(const CandidateBatch&) = delete;

  // The node's cross products (one per subset under a sum) share their combinations: in
  // the pool's memo while no other batch holds it, else in one of the batch's own.
  CombineMemo& memo(AlternativePool* pool) {
    if (memo_in_use != nullptr) return *memo_in_use;
    if (pool != nullptr && !pool->combine_memo.in_use) {
      memo_in_use = &pool->combine_memo;
      memo_in_use->in_use = true;
    } else {
      own_memo.reset(new ("CandidateBatch::memo") CombineMemo);
      memo_in_use = own_memo.get();
    }
    return *memo_in_use;
  }

  long length() const { return static_cast<long>(made.size()); }
  Alternative* get(long k) const { return made[static_cast<size_t>(k)]; }

  void add(Alternative* alt, Alternative* const* members, long n) {
    made.push_back(alt);
    folded.insert(folded.end(), members, members + n);
    starts.push_back(folded.size());
  }

  void finish(long k) {
    Alternative* alt = made[static_cast<size_t>(k)];
    size_t from = starts[static_cast<size_t>(k)];
    size_t to = starts[static_cast<size_t>(k) + 1];
    for (size_t m = from; m < to; m++) {
      TaskList& methods = folded[m]->method_list;
      for (long i = 0; i < methods.length(); i++) {
        BasicTask* method = methods.get(i);
        if (m > from && method->dps_of_task.size() > 1 && alt->method_list.item_is_in_list(method)) continue;
        alt->method_list.add(method);
      }
    }
    alt->of_task = label == nullptr ? dp->of_task : dp->of_task + "_" + label + "_" + std::to_string(first_number + k);
  }

  void finish_all() {
    for (long k = 0; k < length(); k++) finish(k);
  }

  // Into the front of the list, as the candidates were always handed over: copies end
  // latest first, the others in the order made.
  void hand_to(AlternativeList& list) {
    if (label == nullptr)
      for (Alternative* alt : made) list.add(alt);
    else
      for (auto alt = made.rbegin(); alt != made.rend(); ++alt) list.add(*alt);
  }

  // After the list (which held the candidates) was pruned without freeing: the kept ones
  // are finished, the others dropped.
  void finish_kept(AlternativeList& list, Scheduler& scheduler) {
    if (list.length() == length()) {
      finish_all();
      return;
    }
    std::vector<Alternative*> kept;
    kept.reserve(static_cast<size_t>(list.length()));
    for (long i = 0; i < list.length(); i++) kept.push_back(list.get(i));
    std::sort(kept.begin(), kept.end());
    for (long k = 0; k < length(); k++) {
      if (std::binary_search(kept.begin(), kept.end(), get(k)))
        finish(k);
      else
        scheduler.drop_alternative(get(k));
    }
  }

 private:
  DecisionPoint* dp;
  const char* label;
  long first_number;
  std::vector<Alternative*> made;
  std::vector<Alternative*> folded;
  std::vector<size_t> starts{0};
  CombineMemo* memo_in_use = nullptr;
  std::unique_ptr<CombineMemo> own_memo;
};

Alternative* Scheduler::new_alternative(const char* tag) {
  return alternative_pool != nullptr ? alternative_pool->take(tag) : new (tag) Alternative;
}

void Scheduler::drop_alternative(Alternative* alt) {
  if (alternative_pool != nullptr)
    alternative_pool->give_back(alt);
  else
    delete alt;
}

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
  if (alternative_pool != nullptr) {
    make_alternatives_for_node_and_all_subs(dp, monitor);
    return;
  }
  AlternativePool pool;
  PoolInUse in_use(alternative_pool, &pool);
  make_alternatives_for_node_and_all_subs(dp, monitor);
}

void Scheduler::make_alternatives_for_node_and_all_subs(DecisionPoint* dp, int& monitor) {
  print_generation_status_if_due();
  for (long i = 0; i < dp->subs.length(); i++) make_alternatives_for_node_and_all_subs(dp->subs.get(i), monitor);
  print_generation_status_if_due();

  BasicTask* task = dp->task_or_method;
  const char* label = nullptr;
  bool subsets = false;
  switch (task->qaf) {
    case VORNA_SUM:
      label = "sum";
      subsets = true;
      break;
    case VORNA_MAX:
      if (generate_redundant_alternatives_under_max) {
        label = "max_sum";
        subsets = true;
      }
      break;
    case VORNA_SIGMOID:
      label = "sigmoid";
      subsets = true;
      break;
    case VORNA_MIN:
      label = "min";
      break;
    case VORNA_SUM_ALL:
      label = "sum_all";
      break;
    case VORNA_SEQ_SUM:
      label = "seq_sum";
      break;
    case VORNA_SEQ:
      label = "seq";
      break;
    case VORNA_SEQ_MIN:
      label = "seq_min";
      break;
    case VORNA_SEQ_MAX:
      label = "seq_max";
      break;
    default:
      break;
  }
  CandidateBatch batch(dp, label, 0);
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
    if (subsets) {
      warn_if_subsets_explode(task);
      make_candidates_under_sum(dp, batch, label);
    } else if (label != nullptr) {
      make_candidates_under_min(dp, batch, label);
    } else if (task->qaf == VORNA_MAX || task->qaf == VORNA_ONLY_ONE) {
      make_candidates_under_max(dp, batch);
    } else {
      fprintf(stderr, "Error, cannot create alternatives");
      fprintf(stderr, " for undefined QAF.\n");
      fatal_stop();
    }
    batch.hand_to(dp->alternatives);
  }
  // The node's list holds only the batch's candidates when there are any.
  bool deferred = batch.length() > 0;
  if (turn_off_alternative_pruning != 1) prune_alternatives_according_to_criteria(dp, deferred ? 0 : 1);
  if (deferred) batch.finish_kept(dp->alternatives, *this);
  if (task->deadline != UNSET_TIME)
    dp->alternatives.decrease_qualities_by_degree_alts_miss_hard_deadline_up_to_some_bounds(
        task->deadline, DEADLINE_DEGRADATION_FACTOR);
}

void Scheduler::warn_if_subsets_explode(BasicTask* task) {
  long subtasks = task->subtasks.length();
  if (subtasks <= MAX_SUBTASKS_WITHOUT_WARNING) return;
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

void Scheduler::create_alternatives_sum(DecisionPoint* dp, int&, const char* label) {
  warn_if_subsets_explode(dp->task_or_method);
  CandidateBatch batch(dp, label, 0);
  make_candidates_under_sum(dp, batch, label);
  batch.finish_all();
  batch.hand_to(dp->alternatives);
}

void Scheduler::create_candidate_alternatives_for_dp_under_sum(DecisionPoint* dp, AlternativeList& candidates,
                                                               const char* label) {
  CandidateBatch batch(dp, label, candidates.length());
  make_candidates_under_sum(dp, batch, label);
  batch.finish_all();
  for (long k = 0; k < batch.length(); k++) candidates.add(batch.get(k));
}

void Scheduler::make_candidates_under_sum(DecisionPoint* dp, CandidateBatch& batch, const char*) {
  std::vector<DecisionPoint*> members = children_with_alternatives(dp);
  int k = static_cast<int>(members.size());
  if (k == 0) return;
  // Each subset is k marks ('1' in) and a '|', in binary counting order with the first
  // member as the most significant mark.
  char* subsets = power_set(k);
  std::vector<DecisionPoint*> included;
  for (const char* subset = subsets; *subset != '\0'; subset += k + 1) {
    included.clear();
    for (int i = 0; i < k; i++)
      if (subset[i] == '1') included.push_back(members[i]);
    make_cross_product(dp, batch, included.data(), static_cast<long>(included.size()), 0, 0);
  }
  delete[] subsets;
}

void Scheduler::create_alternatives_min(DecisionPoint* dp, int&, const char* label) {
  CandidateBatch batch(dp, label, 0);
  make_candidates_under_min(dp, batch, label);
  batch.finish_all();
  batch.hand_to(dp->alternatives);
}

void Scheduler::make_candidates_under_min(DecisionPoint* dp, CandidateBatch& batch, const char*) {
  std::vector<DecisionPoint*> members = children_with_alternatives(dp);
  if (members.empty()) return;
  make_cross_product(dp, batch, members.data(), static_cast<long>(members.size()), 0, 0);
}

void Scheduler::create_alternatives_max(DecisionPoint* dp, int&, const char*) {
  CandidateBatch batch(dp, nullptr, 0);
  make_candidates_under_max(dp, batch);
  batch.finish_all();
  batch.hand_to(dp->alternatives);
}

void Scheduler::make_candidates_under_max(DecisionPoint* dp, CandidateBatch& batch) {
  for (long i = 0; i < dp->subs.length(); i++) {
    AlternativeList& child_alternatives = dp->subs.get(i)->alternatives;
    for (long k = 0; k < child_alternatives.length(); k++) {
      Alternative* child = child_alternatives.get(k);
      Alternative* alt = new_alternative("Scheduler::create_alternatives_max");
      alt->duplicate_all_but_methods(*child);
      alt->of_dp = dp;
      num_alternatives_created++;
      batch.add(alt, &child, 1);
    }
  }
}

long Scheduler::create_cross_product_alternatives_from_a_set_of_dps(DecisionPoint* dp, AlternativeList& candidates,
                                                                    DecisionPoint** members, long n,
                                                                    const char* label, int cap_flag, long cap) {
  CandidateBatch batch(dp, label, candidates.length());
  long made = make_cross_product(dp, batch, members, n, cap_flag, cap);
  batch.finish_all();
  for (long k = 0; k < batch.length(); k++) candidates.add(batch.get(k));
  return made;
}

long Scheduler::make_cross_product(DecisionPoint* dp, CandidateBatch& batch, DecisionPoint** members, long n,
                                   int cap_flag, long cap) {
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
  std::vector<Alternative*> picks(static_cast<size_t>(n), nullptr);
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
  // Methods are left to the batch.
  auto start_from = [&](Alternative* alt, Alternative* first) {
    alt->duplicate_all_but_methods(*first);
    if (qaf == VORNA_SIGMOID) {
      alt->quality.mark_combined_under_sigmoid();
      alt->potential_quality.mark_combined_under_sigmoid();
    }
  };
  // A copy of `from` with member a added, made by combining the two into alt, which is as
  // new: the result is the copy's, without the copy. Only the marks that a kept candidate
  // shows are taken over; the rest is set when the candidate is finished.
  CombineMemo& memo = batch.memo(alternative_pool);
  auto sum = [&](Distribution& target, Distribution& d1, Distribution& d2) {
    memo.apply(target, d1, d2, CombineMemo::SUM_OF_COSTS_OR_DURATIONS, [&] { target.combine_costs(d1, d2); });
  };
  auto accumulate = [&](Distribution& target, Distribution& d1, Distribution& d2) {
    memo.apply(target, d1, d2, static_cast<int>(qaf), [&] { target.combine(d1, d2, qaf); });
  };
  // from + a into alt, or a into alt when from is alt.
  auto fold = [&](Alternative* alt, Alternative* from, Alternative* a) {
    sum(alt->cost, from->cost, a->cost);
    sum(alt->duration, from->duration, a->duration);
    sum(alt->potential_cost, from->potential_cost, a->potential_cost);
    sum(alt->potential_duration, from->potential_duration, a->potential_duration);
    if (qaf != VORNA_SEQ) {
      accumulate(alt->quality, from->quality, a->quality);
      accumulate(alt->potential_quality, from->potential_quality, a->potential_quality);
    }
  };
  auto start_from_adding = [&](Alternative* alt, Alternative* from, Alternative* a) {
    alt->reason_alt_was_selected = from->reason_alt_was_selected;
    alt->already_been_scheduled = from->already_been_scheduled;
    fold(alt, from, a);
    if (qaf == VORNA_SEQ) {
      alt->quality.duplicate(from->quality);
      alt->potential_quality.duplicate(from->potential_quality);
    }
  };
  auto add_member = [&](Alternative* alt, Alternative* a) { fold(alt, alt, a); };
  long made = 0;
  bool capped = false;
  for (;;) {
    Alternative* alt = new_alternative("Scheduler::create_cross_product_alternatives_from_a_set_of_dps");
    num_alternatives_created++;
    if (cap_flag == 1 && made >= cap) {
      drop_alternative(alt);
      capped = true;
      break;
    }
    print_generation_status_if_due();

    long counted = 0;
    Alternative* last_child = nullptr;
    for (long i = 0; i < n; i++) {
      Alternative* a = member(i);
      picks[static_cast<size_t>(i)] = a;
      // Only a sigmoid counts the members with quality, only a sequence reads its last one.
      if (qaf == VORNA_SIGMOID && a->quality.some_values_are_gt_zero()) counted++;
      if (qaf == VORNA_SEQ && a->of_dp->task_or_method == last_subtask) last_child = a;
    }
    long reused = 0;
    for (long level = 1; level <= valid; level++) reused += level_combines[level];
    for (long level = valid + 1; level <= depth; level++) {
      long before = Distribution::report_total_number_of_combine_operations();
      // Only a level's values are read.
      Alternative*& made_level = levels[level];
      if (made_level == nullptr)
        made_level = new_alternative("Scheduler::create_cross_product_alternatives_from_a_set_of_dps");
      else
        made_level->reset_as_new();
      start_from_adding(made_level, level == 1 ? member(0) : levels[level - 1], member(level));
      level_combines[level] = Distribution::report_total_number_of_combine_operations() - before;
    }
    valid = depth;
    Alternative* from = depth > 0 ? levels[depth] : member(0);
    if (depth + 1 < n) {
      start_from_adding(alt, from, member(depth + 1));
      for (long i = depth + 2; i < n; i++) add_member(alt, member(i));
    } else {
      start_from(alt, from);
    }
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
    alt->rating = -1.0f;
    special_include_quality_from_commitment_satisfaction_in_alt_potential_if_appropriate(dp, alt);
    batch.add(alt, picks.data(), n);
    made++;

    // The odometer: the last member varies fastest. A level whose member moved is stale.
    long i = n - 1;
    while (i >= 0 && counters[i] == members[i]->alternatives.length() - 1) counters[i--] = 0;
    if (i < 0) break;
    counters[i]++;
    valid = std::max(0L, std::min(valid, i - 1));
  }
  for (Alternative* level : levels)
    if (level != nullptr) drop_alternative(level);
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

void Scheduler::prune_alternatives_according_to_criteria(DecisionPoint* dp, int delete_dropped) {
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
                                                                                    has_deadline, delete_dropped);
  else
    dp->alternatives.rate_alternatives_and_prune_to_n_best(cb, schedule_with, limit, delete_dropped);
}

int Scheduler::method_is_in_non_local_commitment_list(Method* method) {
  for (long i = 0; i < all_non_local_commitments.length(); i++)
    if (all_non_local_commitments.get(i)->task_ids.in_list(method->id)) return 1;
  return 0;
}
