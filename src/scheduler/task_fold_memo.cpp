#include "scheduler/task_fold_memo.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "foundation/fatal_stop.h"
#include "scheduler/decision_point.h"
#include "scheduler/working_step_memo.h"

namespace {
// The fold's accumulators, the node's own or another's made beside them.
struct Accumulators {
  Distribution& quality;
  Distribution& cost;
  Distribution& duration;
};

// The three copied whole, as the fold copies a first child and as its states are kept.
void copy_whole(Accumulators to, const Distribution& quality, const Distribution& cost, const Distribution& duration) {
  to.quality.duplicate(quality);
  to.cost.duplicate(cost);
  to.duration.duplicate(duration);
}

// The combines one child after the first adds.
long combines_per_child(VORNA_QualityAF qaf) { return qaf == VORNA_SEQ ? 2 : 3; }

// Child i of the fold, of these values, read into the accumulators as the full fold reads
// it; returns whether it has quality.
bool fold_in(Accumulators a, Distribution& quality, Distribution& cost, Distribution& duration, long i,
             VORNA_QualityAF qaf) {
  if (i == 0) {
    copy_whole(a, quality, cost, duration);
    if (qaf == VORNA_SIGMOID) a.quality.mark_combined_under_sigmoid();
  } else {
    // The quality of a sequence is that of its last subtask, never a combination.
    if (qaf != VORNA_SEQ) a.quality.combine(quality, qaf);
    a.cost.combine_costs(cost);
    a.duration.combine_durations(duration);
  }
  return quality.some_values_are_gt_zero() != 0;
}

bool fold_in(Accumulators a, DecisionPoint* child, long i, VORNA_QualityAF qaf) {
  return fold_in(a, child->working_quality, child->working_cost, child->working_duration, i, qaf);
}

#ifdef VELA_CHECK_STEP_MEMO
// The long way beside a resumed fold: every child from the first, compared whole.
void check_against_the_full_fold(DecisionPoint* dp, long counted) {
  const long combines_before = Distribution::report_total_number_of_combine_operations();
  Distribution quality, cost, duration;
  Accumulators full{quality, cost, duration};
  const VORNA_QualityAF qaf = dp->task_or_method->qaf;
  long full_counted = 0;
  for (long i = 0; i < dp->subs.length(); i++)
    if (fold_in(full, dp->subs.get(i), i, qaf)) full_counted++;
  Distribution::count_combine_operations(combines_before - Distribution::report_total_number_of_combine_operations());
  if (full_counted != counted || !same_copy(quality, dp->working_quality) || !same_copy(cost, dp->working_cost) ||
      !same_copy(duration, dp->working_duration))
    fatal_stop("The resumed fold of %s gives other values than the full one.\n", dp->of_task_chars());
}
#endif
}  // namespace

void TaskFoldMemo::PairsRead::keep(const Distribution& d) {
  version = d.version();
  length = d.next_slot;
  if (length <= DISTRIBUTION_STANDARD_NUMBER_OF_VALUES) {
    if (length > 0) memcpy(static_cast<void*>(pairs), d.data, sizeof(DistributionPair) * static_cast<size_t>(length));
    more.clear();
  } else {
    more.assign(d.data, d.data + length);
  }
}

bool TaskFoldMemo::PairsRead::same_as(const Distribution& d) const {
  const bool unwritten = version != 0 && d.version() == version;
#ifndef VELA_CHECK_STEP_MEMO
  if (unwritten) return true;
#endif
  bool same = d.next_slot == length;
  const DistributionPair* kept = length <= DISTRIBUTION_STANDARD_NUMBER_OF_VALUES ? pairs : more.data();
  // Bit for bit, a pair at a time: a few pairs, compared inline.
  static_assert(sizeof(DistributionPair) == sizeof(uint64_t));
  for (long i = 0; same && i < length; i++) {
    uint64_t a = 0;
    uint64_t b = 0;
    memcpy(&a, &kept[i], sizeof a);
    memcpy(&b, &d.data[i], sizeof b);
    same = a == b;
  }
#ifdef VELA_CHECK_STEP_MEMO
  if (unwritten && !same) fatal_stop("%s", "A distribution of an unchanged version holds other pairs.\n");
#endif
  return same;
}

long TaskFoldMemo::Fold::children_as_then(DecisionPoint* dp, VORNA_QualityAF now_qaf, int first_as_then) const {
  const long n = std::min(dp->subs.length(), folded);
  if (now_qaf != qaf || n == 0 || first_as_then == 0) return 0;
  const DecisionPoint* child = dp->subs.get(0);
  if (first_as_then < 0 &&
      (!same_copy(first->quality, child->working_quality) || !same_copy(first->cost, child->working_cost) ||
       !same_copy(first->duration, child->working_duration)))
    return 0;
  long k = 1;
  for (; k < n; k++) {
    const DecisionPoint* child = dp->subs.get(k);
    const Step& s = steps[static_cast<size_t>(k - 1)];
    if (!s.child_quality.same_as(child->working_quality) || !s.child_cost.same_as(child->working_cost) ||
        !s.child_duration.same_as(child->working_duration))
      break;
  }
  return k;
}

void TaskFoldMemo::Fold::take_child_from(const Fold& from, long i) {
  if (i > 0) {
    steps[static_cast<size_t>(i - 1)] = from.steps[static_cast<size_t>(i - 1)];
    return;
  }
  keep_first(from.first->quality, from.first->cost, from.first->duration);
}

void TaskFoldMemo::Fold::keep_first(const Distribution& quality, const Distribution& cost,
                                    const Distribution& duration) {
  if (first == nullptr) first = std::make_unique<FirstChild>();
  copy_whole({first->quality, first->cost, first->duration}, quality, cost, duration);
}

long TaskFoldMemo::fold(DecisionPoint* dp) {
  const VORNA_QualityAF qaf = dp->task_or_method->qaf;
  const long n = dp->subs.length();
  Accumulators own{dp->working_quality, dp->working_cost, dp->working_duration};
  // A single child is copied, never combined: nothing to resume.
  if (n == 1) return fold_in(own, dp->subs.get(0), 0, qaf) ? 1 : 0;
  long as_then[2] = {0, 0};
  as_then[latest] = folds[latest].children_as_then(dp, qaf, -1);
  // The other fold matters only where the latest one does not hold for every child.
  if (as_then[latest] < n) {
    const int first_as_then = !firsts_alike ? -1 : (as_then[latest] > 0 ? 1 : 0);
    as_then[1 - latest] = folds[1 - latest].children_as_then(dp, qaf, first_as_then);
  }
  // The longest run of unchanged children, the latest fold's on a tie.
  const int best = as_then[1 - latest] > as_then[latest] ? 1 - latest : latest;
  const long from = as_then[best];
  const Fold& kept = folds[best];
  long counted = 0;
  if (from == 1) {
    counted = fold_in(own, kept.first->quality, kept.first->cost, kept.first->duration, 0, qaf) ? 1 : 0;
  } else if (from > 1) {
    const Step& last_as_then = kept.steps[static_cast<size_t>(from - 2)];
    copy_whole(own, last_as_then.quality, last_as_then.cost, last_as_then.duration);
    counted = last_as_then.counted;
    Distribution::count_combine_operations((from - 1) * combines_per_child(qaf));
  }
  latest = best;
  if (from < n) {
    // The other fold takes this one, keeping the best as it was: it starts from the
    // children that also hold what it read, and takes the rest of the unchanged ones.
    latest = 1 - best;
    Fold& made = folds[latest];
    const long own_as_then = made.qaf == qaf ? as_then[latest] : 0;
    made.qaf = qaf;
    made.steps.resize(static_cast<size_t>(n - 1));
    made.folded = n;
    for (long i = own_as_then; i < from; i++) made.take_child_from(kept, i);
    // Both read the first child now, unless this fold read it anew.
    firsts_alike = from > 0;
    for (long i = from; i < n; i++) {
      DecisionPoint* child = dp->subs.get(i);
      // Before the fold reads them: a reader may sort the pairs or cache statistics.
      if (i == 0) {
        made.keep_first(child->working_quality, child->working_cost, child->working_duration);
        if (fold_in(own, child, i, qaf)) counted++;
        continue;
      }
      Step& s = made.steps[static_cast<size_t>(i - 1)];
      s.child_quality.keep(child->working_quality);
      s.child_cost.keep(child->working_cost);
      s.child_duration.keep(child->working_duration);
      if (fold_in(own, child, i, qaf)) counted++;
      copy_whole({s.quality, s.cost, s.duration}, own.quality, own.cost, own.duration);
      s.counted = counted;
    }
  }
#ifdef VELA_CHECK_STEP_MEMO
  check_against_the_full_fold(dp, counted);
#endif
  return counted;
}
