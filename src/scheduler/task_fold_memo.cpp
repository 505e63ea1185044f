#include "scheduler/task_fold_memo.h"

#include <algorithm>

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

// The combines one child after the first adds.
long combines_per_child(VORNA_QualityAF qaf) { return qaf == VORNA_SEQ ? 2 : 3; }

// Child i of the fold read into the accumulators, as the full fold reads it; returns
// whether it has quality.
bool fold_in(Accumulators a, DecisionPoint* child, long i, VORNA_QualityAF qaf) {
  if (i == 0) {
    a.quality.duplicate(child->working_quality);
    a.cost.duplicate(child->working_cost);
    a.duration.duplicate(child->working_duration);
    if (qaf == VORNA_SIGMOID) a.quality.combined_under_sigmoid_and_multiplier_not_applied = 1;
  } else {
    // The quality of a sequence is that of its last subtask, never a combination.
    if (qaf != VORNA_SEQ) a.quality.combine(child->working_quality, qaf);
    a.cost.combine_costs(child->working_cost);
    a.duration.combine_durations(child->working_duration);
  }
  return child->working_quality.some_values_are_gt_zero() != 0;
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

long TaskFoldMemo::children_as_then(DecisionPoint* dp, VORNA_QualityAF now_qaf) const {
  if (now_qaf != qaf) return 0;
  const long n = std::min(dp->subs.length(), static_cast<long>(steps.size()));
  long k = 0;
  for (; k < n; k++) {
    const DecisionPoint* child = dp->subs.get(k);
    const Step& s = steps[static_cast<size_t>(k)];
    auto same = k == 0 ? same_copy : same_pairs;
    if (!same(s.child_quality, child->working_quality) || !same(s.child_cost, child->working_cost) ||
        !same(s.child_duration, child->working_duration))
      break;
  }
  return k;
}

long TaskFoldMemo::fold(DecisionPoint* dp) {
  const VORNA_QualityAF now_qaf = dp->task_or_method->qaf;
  const long n = dp->subs.length();
  const long from = children_as_then(dp, now_qaf);
  qaf = now_qaf;
  Accumulators own{dp->working_quality, dp->working_cost, dp->working_duration};
  long counted = 0;
  if (from > 0) {
    const Step& last_as_then = steps[static_cast<size_t>(from - 1)];
    own.quality.duplicate(last_as_then.quality);
    own.cost.duplicate(last_as_then.cost);
    own.duration.duplicate(last_as_then.duration);
    counted = last_as_then.counted;
    Distribution::count_combine_operations((from - 1) * combines_per_child(qaf));
  }
  steps.resize(static_cast<size_t>(n));
  for (long i = from; i < n; i++) {
    DecisionPoint* child = dp->subs.get(i);
    Step& s = steps[static_cast<size_t>(i)];
    // Before the fold reads it: a reader may sort the pairs or cache statistics.
    s.child_quality.duplicate(child->working_quality);
    s.child_cost.duplicate(child->working_cost);
    s.child_duration.duplicate(child->working_duration);
    if (fold_in(own, child, i, qaf)) counted++;
    s.quality.duplicate(own.quality);
    s.cost.duplicate(own.cost);
    s.duration.duplicate(own.duration);
    s.counted = counted;
  }
#ifdef VELA_CHECK_STEP_MEMO
  check_against_the_full_fold(dp, counted);
#endif
  return counted;
}
