#include "scheduler/working_step_memo.h"

#include <cstring>

#include "foundation/fatal_stop.h"
#include "model/nle.h"
#include "scheduler/decision_point.h"

namespace {
template <class T>
bool same_bits(const T& a, const T& b) {
  return memcmp(&a, &b, sizeof(T)) == 0;
}

bool in_time(MyTime t, MyTime end_of_schedule) { return t != UNSET_TIME && t <= end_of_schedule; }

bool every_child_in_time(DecisionPoint* dp, MyTime end_of_schedule) {
  for (long i = 0; i < dp->subs.length(); i++)
    if (!in_time(dp->subs.get(i)->time_task_or_method_gets_quality, end_of_schedule)) return false;
  return true;
}

bool reads_the_end(const DecisionPoint* dp) { return dp->task_or_method->qaf == VORNA_SEQ_SUM; }

// A bounded facilitates fixes its bounds at its first application.
bool bounds_known(NLE* e) {
  return e->type != NLE_B_FACILITATES || static_cast<BoundedFacilitates*>(e)->have_received_initial_distributions;
}
// Passes are numbered across every memo, so that a record's pass belongs to one memo.
long passes_begun = 0;
}  // namespace

void WorkingStepMemo::begin_pass() { pass = ++passes_begun; }

long WorkingStepRecord::serial_in(const DecisionPoint* node, long pass) {
  const WorkingStepRecord& r = node->step_record;
  return pass != 0 && r.current_in(pass) ? r.serial : -1;
}

bool input_unchanged(const StepInput& in, const DecisionPoint* node, long pass) {
  return in.serial >= 0 && in.serial == WorkingStepRecord::serial_in(node, pass);
}

bool same_pairs(const Distribution& a, const Distribution& b) {
  return a.next_slot == b.next_slot &&
         (a.next_slot == 0 || memcmp(a.data, b.data, sizeof(DistributionPair) * static_cast<size_t>(a.next_slot)) == 0);
}

namespace {
// Every field but the pairs.
bool same_fields(const Distribution& a, const Distribution& b) {
  return a.next_slot == b.next_slot && a.num_storable_items == b.num_storable_items &&
         a.memory_allocated == b.memory_allocated && a.data_is_sorted == b.data_is_sorted &&
         a.combined_under_sigmoid_and_multiplier_not_applied == b.combined_under_sigmoid_and_multiplier_not_applied &&
         same_bits(a.weighted_value_avg, b.weighted_value_avg) && same_bits(a.value_sum, b.value_sum) &&
         same_bits(a.density_sum, b.density_sum) &&
         a.unsorted_statistics_are_valid == b.unsorted_statistics_are_valid &&
         same_bits(a.value_min, b.value_min) && same_bits(a.value_max, b.value_max) &&
         same_bits(a.value_median, b.value_median) && a.sorted_statistics_are_valid == b.sorted_statistics_are_valid;
}
}  // namespace

bool same_distribution(const Distribution& a, const Distribution& b) { return same_fields(a, b) && same_pairs(a, b); }

bool same_copy(const Distribution& a, const Distribution& b) {
  // The pairs in use are among the stored ones.
  return same_fields(a, b) &&
         memcmp(a.data, b.data, sizeof(DistributionPair) * static_cast<size_t>(a.num_storable_items)) == 0;
}

namespace {
// Whether `now` still holds `kept`, which was copied whole from it or to it while its
// version was `version`: an unchanged version says so at once, else `same` compares.
bool still_as(const Distribution& now, unsigned long long version, const Distribution& kept,
              bool (*same)(const Distribution&, const Distribution&)) {
  if (now.version() == version) {
#ifdef VELA_CHECK_STEP_MEMO
    if (!same_copy(now, kept)) fatal_stop("%s", "A distribution of an unchanged version holds other values.\n");
#endif
    return true;
  }
  return same(now, kept);
}

bool still_as(const Distribution& now, const KeptDistribution& kept,
              bool (*same)(const Distribution&, const Distribution&)) {
  return still_as(now, kept.version, kept.copy, same);
}
}  // namespace

bool WorkingStepRecord::holds(DecisionPoint* dp, UncertaintyModeSetting now_mode, MyTime end_of_schedule,
                              long pass) {
  if (!valid || !same_bits(time_before, dp->time_task_or_method_gets_quality) ||
      !same_bits(weighting, dp->task_or_method->weighting_factor) ||
      !still_as(dp->communicated_quality, communicated_version, copies->communicated, same_pairs))
    return false;
  if (dp->is_method_node()) {
    if (!still_as(dp->base_quality, base_versions[0], copies->base_quality, same_copy) ||
        !still_as(dp->base_cost, base_versions[1], copies->base_cost, same_copy) ||
        !still_as(dp->base_duration, base_versions[2], copies->base_duration, same_copy))
      return false;
    NLEList* effects = dp->affected_by_actually;
    const long n = effects->length();
    if (n != static_cast<long>(inputs.size()) || (n > 0 && mode != now_mode)) return false;
    for (long i = 0; i < n; i++) {
      NLE* e = effects->get(i);
      const StepInput& in = inputs[i];
      DecisionPoint* source = BasicTask::get_dp_of_task(e->from);
      if (in.effect != e || in.node != source || in.in_time != (e->nle_delay_is_ok(end_of_schedule) != 0) ||
          in.bounds_known != bounds_known(e))
        return false;
      if (source == nullptr || input_unchanged(in, source, pass)) continue;
      const StepInputValues& was = copies->inputs[i];
      if (!same_bits(in.time, source->time_task_or_method_gets_quality) ||
          !still_as(source->working_quality, was.quality, same_distribution))
        return false;
    }
    return true;
  }
  const long n = dp->subs.length();
  if (n != static_cast<long>(inputs.size())) return false;
  for (long i = 0; i < n; i++) {
    DecisionPoint* child = dp->subs.get(i);
    const StepInput& in = inputs[i];
    if (in.node != child) return false;
    if (input_unchanged(in, child, pass)) continue;
    const StepInputValues& was = copies->inputs[i];
    if (!same_bits(in.time, child->time_task_or_method_gets_quality) ||
        !still_as(child->working_quality, was.quality, same_pairs))
      return false;
    // An only child's cost and duration are copied whole.
    auto same = n == 1 ? same_copy : same_pairs;
    if (!still_as(child->working_cost, was.cost, same) || !still_as(child->working_duration, was.duration, same))
      return false;
  }
  return !reads_the_end(dp) || all_in_time == every_child_in_time(dp, end_of_schedule);
}

void WorkingStepRecord::give_back(DecisionPoint* dp, long pass) {
  // Copied only where the node was written since it last held them, and holds other
  // values now: one that holds them again takes back the version they had, so that what
  // was kept of it then holds again without a comparison.
  if (!still_left_on(dp)) {
    give_back_one(dp->working_quality, copies->quality, left_versions[0]);
    give_back_one(dp->working_cost, copies->cost, left_versions[1]);
    give_back_one(dp->working_duration, copies->duration, left_versions[2]);
    note_left_on(dp);
  }
  dp->time_task_or_method_gets_quality = time_after;
  Distribution::count_combine_operations(combines);
  current_in_pass = pass;
}

void WorkingStepRecord::give_back_one(Distribution& now, const Distribution& copy, unsigned long long version) {
  if (now.version() == version) return;
  if (same_copy(now, copy))
    now.take_back_version(version);
  else
    now.duplicate(copy);
}

bool WorkingStepRecord::left_time_as_found() const { return valid && same_bits(time_before, time_after); }

void WorkingStepRecord::give_back_in_place(long pass) {
  Distribution::count_combine_operations(combines);
  current_in_pass = pass;
}

bool WorkingStepRecord::left_on(const DecisionPoint* dp, bool whole) const {
  auto same = whole ? same_copy : same_distribution;
  return valid && same_bits(time_after, dp->time_task_or_method_gets_quality) &&
         still_as(dp->working_quality, left_versions[0], copies->quality, same) &&
         still_as(dp->working_cost, left_versions[1], copies->cost, same) &&
         still_as(dp->working_duration, left_versions[2], copies->duration, same);
}

bool WorkingStepRecord::still_left_on(const DecisionPoint* dp) const {
  const bool unwritten = dp->working_quality.version() == left_versions[0] &&
                         dp->working_cost.version() == left_versions[1] &&
                         dp->working_duration.version() == left_versions[2];
#ifdef VELA_CHECK_STEP_MEMO
  if (unwritten && (!same_copy(dp->working_quality, copies->quality) || !same_copy(dp->working_cost, copies->cost) ||
                    !same_copy(dp->working_duration, copies->duration)))
    fatal_stop("%s", "A distribution of an unchanged version holds other values.\n");
#endif
  return unwritten;
}

void WorkingStepRecord::note_left_on(const DecisionPoint* dp) {
  left_versions[0] = dp->working_quality.version();
  left_versions[1] = dp->working_cost.version();
  left_versions[2] = dp->working_duration.version();
}

WorkingStepRecord::Copies& WorkingStepRecord::copies_made() {
  if (!copies) copies = std::make_unique<Copies>();
  return *copies;
}

void WorkingStepRecord::keep_base(const DecisionPoint* dp) {
  Copies& kept = copies_made();
  kept.base_quality.duplicate(dp->base_quality);
  kept.base_cost.duplicate(dp->base_cost);
  kept.base_duration.duplicate(dp->base_duration);
  base_versions[0] = dp->base_quality.version();
  base_versions[1] = dp->base_cost.version();
  base_versions[2] = dp->base_duration.version();
}

void WorkingStepRecord::take(DecisionPoint* dp, MyTime started_at, UncertaintyModeSetting now_mode,
                             MyTime end_of_schedule, long made, long pass) {
  Copies& kept = copies_made();
  time_before = started_at;
  weighting = dp->task_or_method->weighting_factor;
  kept.communicated.duplicate(dp->communicated_quality);
  communicated_version = dp->communicated_quality.version();
  mode = now_mode;
  if (dp->is_method_node()) {
    NLEList* effects = dp->affected_by_actually;
    inputs.resize(static_cast<size_t>(effects->length()));
    kept.inputs.resize(inputs.size());
    for (long i = 0; i < effects->length(); i++) {
      NLE* e = effects->get(i);
      StepInput& in = inputs[i];
      in.effect = e;
      in.node = BasicTask::get_dp_of_task(e->from);
      in.in_time = e->nle_delay_is_ok(end_of_schedule) != 0;
      in.bounds_known = bounds_known(e);
      if (in.node == nullptr) continue;
      in.serial = serial_in(in.node, pass);
      in.time = in.node->time_task_or_method_gets_quality;
      kept.inputs[i].quality.keep(in.node->working_quality);
    }
  } else {
    inputs.resize(static_cast<size_t>(dp->subs.length()));
    kept.inputs.resize(inputs.size());
    for (long i = 0; i < dp->subs.length(); i++) {
      DecisionPoint* child = dp->subs.get(i);
      StepInput& in = inputs[i];
      in.node = child;
      in.serial = serial_in(child, pass);
      in.time = child->time_task_or_method_gets_quality;
      StepInputValues& was = kept.inputs[i];
      was.quality.keep(child->working_quality);
      was.cost.keep(child->working_cost);
      was.duration.keep(child->working_duration);
    }
    all_in_time = reads_the_end(dp) && every_child_in_time(dp, end_of_schedule);
  }
  if (!left_on(dp, true)) {
    kept.quality.duplicate(dp->working_quality);
    kept.cost.duplicate(dp->working_cost);
    kept.duration.duplicate(dp->working_duration);
    time_after = dp->time_task_or_method_gets_quality;
    serial++;
  } else {
    // The step left what the last one did: the node takes back the versions it had then.
    dp->working_quality.take_back_version(left_versions[0]);
    dp->working_cost.take_back_version(left_versions[1]);
    dp->working_duration.take_back_version(left_versions[2]);
  }
  note_left_on(dp);
  combines = made;
  valid = true;
  current_in_pass = pass;
}
