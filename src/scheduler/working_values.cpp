// Working quality, cost and duration: what each decision point achieves with the methods
// placed in the schedule under construction, recomputed bottom-up and memoised by the
// scheduler's change counter; the what-if pair the method rating asks with; and the
// resource hand-back of a method.
//
// Invariant of the what-if pair: see_what_happens... and its undo, called around a test,
// leave the working values, the quality times and working_resources as they found them.
// Only the visited nodes are marked current.
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "foundation/fatal_stop.h"
#include "model/nle.h"
#include "model/resource.h"
#include "scheduler/method_rating_support.h"
#include "scheduler/scheduler.h"

namespace {
bool same_working_values(const DecisionPoint& a, const DecisionPoint& b) {
  return memcmp(&a.time_task_or_method_gets_quality, &b.time_task_or_method_gets_quality, sizeof(MyTime)) == 0 &&
         same_distribution(a.working_quality, b.working_quality) && same_distribution(a.working_cost, b.working_cost) &&
         same_distribution(a.working_duration, b.working_duration);
}

// A node whose step ended as its record left it, not reading a quality time it set itself.
bool settled_by(const DecisionPoint* dp) { return dp->step_record.left_time_as_found(); }

// Narrows [lo, hi) to the ends of the schedule at which the node's step reads of the end
// what it read at `end`: whether each effect's delay has passed (a method), whether every
// child is in time (a sequence sum), as those steps test them.
void narrow_to_the_ends_read(DecisionPoint* dp, MyTime end, MyTime& lo, MyTime& hi) {
  if (dp->is_method_node()) {
    for (long i = 0; i < dp->affected_by_actually->length(); i++) {
      NLE* e = dp->affected_by_actually->get(i);
      DecisionPoint* source = BasicTask::get_dp_of_task(e->from);
      if (source == nullptr || source->time_task_or_method_gets_quality == UNSET_TIME) continue;
      MyTime passes_at = source->time_task_or_method_gets_quality + e->propagation_delay_value(-2.0f);
      if (passes_at <= end)
        lo = std::max(lo, passes_at);
      else
        hi = std::min(hi, passes_at);
    }
    return;
  }
  if (dp->task_or_method->qaf != VORNA_SEQ_SUM) return;
  MyTime latest = -std::numeric_limits<MyTime>::infinity();
  for (long i = 0; i < dp->subs.length(); i++) {
    MyTime t = dp->subs.get(i)->time_task_or_method_gets_quality;
    if (t == UNSET_TIME) return;
    latest = std::max(latest, t);
  }
  if (latest <= end)
    lo = std::max(lo, latest);
  else
    hi = std::min(hi, latest);
}

// Numbers each node in a walk from the top; the index after a subtree ends it.
void number_shape(DecisionPoint* dp, long stamp, long& next) {
  dp->shape_stamp = stamp;
  dp->shape_index = next++;
  dp->shape_reads_sources = dp->is_method_node() && dp->affected_by_actually->length() > 0;
  for (long i = 0; i < dp->subs.length(); i++) number_shape(dp->subs.get(i), stamp, next);
  dp->shape_end = next;
}

// The nodes a visit of a settled subtree would step, each to give back its record in place,
// and the locked nodes and stale outside sources it comes to; the walk stops where a node
// was written since the subtree's visit, or since its own step, or would not be stepped so.
struct SettledSubtree {
  const DecisionPoint* top;
  long stamp;
  int generation;
  long pass;
  Scheduler::SettledSubtreeScratch& found;

  bool inside(const DecisionPoint* dp) const {
    return dp->shape_stamp == stamp && dp->shape_index >= top->shape_index && dp->shape_index < top->shape_end;
  }

  // 0 when the subtree under dp would be left so; else the version of the write that
  // stopped it, the largest for what no summary lets through. A node under which the walk
  // stopped for its own summary too is marked, so the visit that follows does not walk
  // it again in the pass.
  static constexpr unsigned long long every = std::numeric_limits<unsigned long long>::max();
  unsigned long long gather(DecisionPoint* dp) {
    if (dp->last_write > top->subtree_version) return dp->last_write;
    if (dp->last_write != dp->left_write) return stopped(dp, every);
    // A visit passes a locked node, and a method visited already in this generation.
    if (dp->working_values_are_locked || (dp->working_change_counter == generation && dp->subs.length() == 0)) {
      found.passed.push_back(dp);
      return 0;
    }
    const WorkingStepRecord& record = dp->step_record;
    if (dp->working_change_counter == generation || dp->what_if_chain_pass == pass || !record.valid ||
        !record.left_time_as_found())
      return stopped(dp, every);
    if (dp->shape_reads_sources) {
      // A source outside the subtree is left alone by the visit when it is current or
      // locked, and the step reads it as it was when it was not written since.
      for (long i = 0; i < dp->affected_by_actually->length(); i++) {
        DecisionPoint* source = BasicTask::get_dp_of_task(dp->affected_by_actually->get(i)->from);
        if (source == nullptr || inside(source)) continue;
        if (source->working_change_counter != generation && !source->working_values_are_locked)
          found.sources.emplace_back(source, dp->left_write);
        else if (source->last_write > dp->left_write)
          return stopped(dp, every);
      }
    }
    found.nodes.push_back(dp);
    for (long i = 0; i < dp->subs.length(); i++)
      if (unsigned long long write = gather(dp->subs.get(i))) return stopped(dp, write);
    return 0;
  }

  unsigned long long stopped(DecisionPoint* dp, unsigned long long write) const {
    if (write > dp->subtree_version) dp->subtree_stopped_in_pass = pass;
    return write;
  }
};

// Whether the log counts a visit that finds dp done as one that may not come the same way
// the next time: a node visited before, in this log, is visited before again the next time,
// unless the placed method's node led to it; one of those, or one marked by another
// recomputation, makes what the visit reads not all under it.
bool unsettles_the_log(const Scheduler::PlacementLog& log, const DecisionPoint* dp, int generation) {
  return log.keeping && dp->working_change_counter == generation &&
         (dp->placement_log_pass != log.pass || log.placed_may_lead || dp->task_or_method == log.placed);
}

// The log's marks of dp's visit, which began at `start` with `unsettled_before` unsettled.
void log_the_visit(const Scheduler::PlacementLog& log, DecisionPoint* dp, long start, long unsettled_before) {
  dp->placement_log_pass = log.pass;
  dp->placement_log_start = start;
  dp->placement_log_end = static_cast<long>(log.nodes.size());
  dp->placement_log_settled = log.unsettled == unsettled_before;
  dp->placement_log_ends_from = log.ends_from;
  dp->placement_log_ends_to = log.ends_to;
}

// The visit of a settled subtree under a placement's log, made as the recomputation makes
// it but for the steps, which all give back their records in place: each node is marked
// and logged in the order the recursion comes to it, with where its visit starts and ends,
// whether it came to a node it may not come to the same way the next time, and the ends
// of the schedule at which its steps read what they read now.
void log_settled_visit(Scheduler::PlacementLog& log, DecisionPoint* dp, int generation, MyTime end, long pass) {
  if (dp->working_change_counter == generation || dp->working_values_are_locked) {
    if (unsettles_the_log(log, dp, generation)) log.unsettled++;
    return;
  }
  dp->working_change_counter = generation;
  const long start = static_cast<long>(log.nodes.size());
  const long unsettled_before = log.unsettled;
  const MyTime outer_from = log.ends_from, outer_to = log.ends_to;
  log.ends_from = -std::numeric_limits<MyTime>::infinity();
  log.ends_to = std::numeric_limits<MyTime>::infinity();
  log.nodes.push_back(dp);
  for (long i = 0; i < dp->subs.length(); i++) log_settled_visit(log, dp->subs.get(i), generation, end, pass);
  if (dp->is_method_node())
    for (long i = 0; i < dp->affected_by_actually->length(); i++)
      if (DecisionPoint* source = BasicTask::get_dp_of_task(dp->affected_by_actually->get(i)->from))
        log_settled_visit(log, source, generation, end, pass);
  dp->end_at_last_step = end;
  dp->step_record.give_back_in_place(pass);
  narrow_to_the_ends_read(dp, end, log.ends_from, log.ends_to);
  log_the_visit(log, dp, start, unsettled_before);
  log.ends_from = std::max(outer_from, log.ends_from);
  log.ends_to = std::min(outer_to, log.ends_to);
}

bool holds_a_placed_node(const DecisionPoint* dp, const std::vector<long>& placed_at) {
  for (long at : placed_at)
    if (at >= dp->placement_log_start && at < dp->placement_log_end) return true;
  return false;
}
}  // namespace

void Scheduler::calculate_working_qdc_for_task_or_method_and_all_subs(DecisionPoint* dp, int include_commitments) {
  PlacementLog& log = placement_log;
  // The what-ifs' and the placements' visits keep what they found of each subtree.
  const bool summing = include_commitments == 0 && !log.leaving &&
                       (working_step_memo == &what_if_step_memo || working_step_memo == &placement_step_memo);
  if (dp->working_change_counter == global_working_change_counter || dp->working_values_are_locked) {
    // What the visit's parent reads of a locked node, as it found it.
    if (summing && dp->working_values_are_locked) dp->left_write = dp->last_write;
    if (unsettles_the_log(log, dp, global_working_change_counter)) log.unsettled++;
    return;
  }
  // A method alone is never left whole: its visit costs no more than the walk.
  const bool may_leave = summing && dp->subs.length() > 0 && dp->subtree_settled &&
                         dp->subtree_stopped_in_pass != working_step_memo->pass;
#ifdef VELA_CHECK_STEP_MEMO
  // The long way, then what leaving the subtree would have done, compared.
  const bool predicts = may_leave && leave_settled_subtree(dp);
  std::vector<DecisionPoint*> predicted;
  long predicted_combines = 0;
  const long combines_at_start = Distribution::report_total_number_of_combine_operations();
  if (predicts) {
    predicted = settled_subtree_scratch[settled_subtree_depth].nodes;
    for (DecisionPoint* node : predicted) predicted_combines += node->step_record.combines_made();
  }
#else
  if (may_leave && leave_settled_subtree(dp)) return;
#endif
  // Marked before recursing: that is what ends the recursion on effect cycles.
  dp->working_change_counter = global_working_change_counter;
  const MyTime end = end_of_the_current_working_schedule;
  if (log.leaving && dp->placement_log_settled && dp->placement_log_pass == log.pass &&
      dp->placement_log_ends_from <= end && end < dp->placement_log_ends_to && !holds_a_placed_node(dp, log.placed_at)) {
    leave_subtree_as_it_was(dp);
    return;
  }
  if (!log.keeping && !summing) {
    working_values_step(dp, include_commitments);
    return;
  }
  if (!log.keeping && dp->subs.length() == 0) {
    // Its visit counts toward the subtrees above it only.
    if (working_values_step(dp, include_commitments))
      narrow_to_the_ends_read(dp, end, log.ends_from, log.ends_to);
    else
      steps_left_unsettled++;
    return;
  }
  const long start = static_cast<long>(log.nodes.size());
  const long unsettled_before = log.unsettled;
  const long steps_unsettled_before = steps_left_unsettled;
  const MyTime outer_from = log.ends_from, outer_to = log.ends_to;
  log.ends_from = -std::numeric_limits<MyTime>::infinity();
  log.ends_to = std::numeric_limits<MyTime>::infinity();
  if (log.keeping) log.nodes.push_back(dp);
  const bool settled = working_values_step(dp, include_commitments);
  if (settled) {
    narrow_to_the_ends_read(dp, end, log.ends_from, log.ends_to);
  } else {
    log.unsettled++;
    steps_left_unsettled++;
  }
  if (log.keeping) log_the_visit(log, dp, start, unsettled_before);
  if (summing) {
    dp->subtree_settled = steps_left_unsettled == steps_unsettled_before;
    dp->subtree_version = Distribution::latest_version();
    dp->subtree_mode = current_mode;
    dp->subtree_ends_from = log.ends_from;
    dp->subtree_ends_to = log.ends_to;
  }
  log.ends_from = std::max(outer_from, log.ends_from);
  log.ends_to = std::min(outer_to, log.ends_to);
#ifdef VELA_CHECK_STEP_MEMO
  if (predicts) {
    if (Distribution::report_total_number_of_combine_operations() - combines_at_start != predicted_combines)
      fatal_stop("The settled subtree of %s counts other combines the long way.\n", dp->of_task_chars());
    for (DecisionPoint* node : predicted)
      if (node->working_change_counter != global_working_change_counter || !node->step_record.left_on(node, true) ||
          !node->step_record.current_in(working_step_memo->pass) ||
          memcmp(&node->end_at_last_step, &end, sizeof(MyTime)) != 0)
        fatal_stop("The settled subtree of %s is left otherwise the long way.\n", dp->of_task_chars());
  }
#endif
}

void Scheduler::number_the_shape_of_the_tree() {
  if (dp_to_meta_root == nullptr) return;
  shape_stamp++;
  long next = 0;
  number_shape(dp_to_meta_root, shape_stamp, next);
}

bool Scheduler::leave_settled_subtree(DecisionPoint* dp) {
  PlacementLog& log = placement_log;
  const MyTime end = end_of_the_current_working_schedule;
  if (dp->shape_stamp != shape_stamp || dp->subtree_mode != current_mode ||
      !(dp->subtree_ends_from <= end && end < dp->subtree_ends_to))
    return false;
  const long pass = working_step_memo->pass;
  // Visiting a source may leave another subtree: each open one has scratch of its own,
  // which stays in place as more are added.
  if (settled_subtree_scratch.size() <= settled_subtree_depth) settled_subtree_scratch.emplace_back();
  SettledSubtreeScratch& scratch = settled_subtree_scratch[settled_subtree_depth];
  scratch.nodes.clear();
  scratch.passed.clear();
  scratch.sources.clear();
  SettledSubtree subtree{dp, shape_stamp, global_working_change_counter, pass, scratch};
  if (subtree.gather(dp) != 0) return false;
  if (!scratch.sources.empty()) {
    // A placement's log keeps each node's visit where it comes.
    if (log.keeping) return false;
    // Their visits come first, not at their readers' turns: nothing in the subtree would
    // change on the way, and a visit that stepped a node of it tells so.
    settled_subtree_depth++;
    for (size_t i = 0; i < scratch.sources.size(); i++)
      calculate_working_qdc_for_task_or_method_and_all_subs(scratch.sources[i].first, 0);
    settled_subtree_depth--;
    for (const auto& [source, read_at] : scratch.sources)
      if (source->last_write > read_at) return false;
    for (DecisionPoint* node : scratch.nodes)
      if (node->working_change_counter == global_working_change_counter) return false;
  }
#ifndef VELA_CHECK_STEP_MEMO
  for (DecisionPoint* node : scratch.passed)
    if (node->working_values_are_locked) node->left_write = node->last_write;
  if (log.keeping) {
    log_settled_visit(log, dp, global_working_change_counter, end, pass);
    return true;
  }
  log.ends_from = std::max(log.ends_from, dp->subtree_ends_from);
  log.ends_to = std::min(log.ends_to, dp->subtree_ends_to);
  for (DecisionPoint* node : scratch.nodes) {
    node->working_change_counter = global_working_change_counter;
    node->end_at_last_step = end;
    node->step_record.give_back_in_place(pass);
  }
#endif
  return true;
}

void Scheduler::leave_subtree_as_it_was(DecisionPoint* dp) {
  const long end = dp->placement_log_end;
#ifdef VELA_CHECK_STEP_MEMO
  // The long way, then what leaving it would have done, compared.
  long touched = 0;
  long combines = 0;
  for (long i = dp->placement_log_start; i < end; i++) {
    DecisionPoint* node = placement_log.nodes[static_cast<size_t>(i)];
    if (node != dp && (node->working_change_counter == global_working_change_counter || node->working_values_are_locked))
      continue;
    if (!node->step_record.left_on(node, true))
      fatal_stop("The settled subtree of %s holds other values than its records.\n", dp->of_task_chars());
    touched++;
    combines += node->step_record.combines_made();
  }
  const long visits_before = placement_log.visits;
  const long combines_before = Distribution::report_total_number_of_combine_operations();
  placement_log.leaving = false;
  working_values_step(dp, 0);
  placement_log.leaving = true;
  if (placement_log.visits - visits_before != touched ||
      Distribution::report_total_number_of_combine_operations() - combines_before != combines)
    fatal_stop("The settled subtree of %s is visited otherwise the long way.\n", dp->of_task_chars());
  for (long i = dp->placement_log_start; i < end; i++) {
    DecisionPoint* node = placement_log.nodes[static_cast<size_t>(i)];
    if (node->working_values_are_locked) continue;
    if (node->working_change_counter != global_working_change_counter || !node->step_record.left_on(node, true) ||
        memcmp(&node->end_at_last_step, &end_of_the_current_working_schedule, sizeof(MyTime)) != 0)
      fatal_stop("The settled subtree of %s is left otherwise the long way.\n", dp->of_task_chars());
  }
#else
  const long pass = placement_step_memo.pass;
  dp->end_at_last_step = end_of_the_current_working_schedule;
  dp->step_record.give_back_in_place(pass);
  for (long i = dp->placement_log_start + 1; i < end; i++) {
    DecisionPoint* node = placement_log.nodes[static_cast<size_t>(i)];
    if (node->working_change_counter == global_working_change_counter || node->working_values_are_locked) continue;
    node->working_change_counter = global_working_change_counter;
    node->end_at_last_step = end_of_the_current_working_schedule;
    node->step_record.give_back_in_place(pass);
  }
#endif
}

bool Scheduler::working_values_step(DecisionPoint* dp, int include_commitments) {
#ifdef VELA_CHECK_STEP_MEMO
  placement_log.visits++;
#endif
  WorkingStepMemo* memo = working_step_memo;
  const bool follows = memo != nullptr && memo->follows_passes;
  if (follows) memo->visited.push_back(dp);
  if (dp->is_method_node() && dp->task_has_other_nodes()) {
    // A method under several parents is worked out once, at the node that holds its
    // effects and commitments; its other nodes take the outcome.
    DecisionPoint* named = BasicTask::get_dp_of_task(dp->task_or_method);
    if (named != nullptr && named != dp) {
      calculate_working_qdc_for_task_or_method_and_all_subs(named, include_commitments);
      if (follows && !memo->changed && !same_working_values(*dp, *named)) memo->changed = true;
      dp->take_working_values_of(*named);
      return false;
    }
  }
  for (long i = 0; i < dp->subs.length(); i++)
    calculate_working_qdc_for_task_or_method_and_all_subs(dp->subs.get(i), include_commitments);
  // A step that reads its own values (an effect of the method on itself) or that
  // consumes or produces is always made.
  bool recorded = memo != nullptr && !include_commitments &&
                  !(memo == &what_if_step_memo && dp->what_if_chain_pass == memo->pass);
  if (dp->is_method_node()) {
    for (long i = 0; i < dp->affected_by_actually->length(); i++) {
      DecisionPoint* source = BasicTask::get_dp_of_task(dp->affected_by_actually->get(i)->from);
      if (source == nullptr) continue;
      calculate_working_qdc_for_task_or_method_and_all_subs(source, include_commitments);
      if (source == dp) recorded = false;
    }
    if (consumes_or_produces(dp)) {
      recorded = false;
      if (memo != nullptr) memo->touched_resources = true;
    }
  }
  // What the commitment what-if reads of a sequence sum's last step, skipped or made.
  dp->end_at_last_step = end_of_the_current_working_schedule;
  WorkingStepRecord& record = dp->step_record;
  // A step that sets its own time would log it for the rating that watches the times.
  const bool holds = recorded && (quality_time_log == nullptr || record.left_time_as_found()) &&
                     record.holds(dp, current_mode, end_of_the_current_working_schedule, memo->pass);
  // Whether the node held what its last recorded step left: then a step leaving that again
  // changed nothing.
  const bool held = follows && !memo->changed && record.left_on(dp, false);
  if (holds) {
    record.give_back(dp, memo->pass);
    dp->left_write = dp->last_write;
    if (follows && !held) memo->changed = true;
#ifndef VELA_CHECK_STEP_MEMO
    return settled_by(dp);
#endif
  }
  if (recorded && dp->is_method_node()) record.keep_base(dp);
  const MyTime time_before = dp->time_task_or_method_gets_quality;
  const long combines_before = Distribution::report_total_number_of_combine_operations();
  if (dp->is_method_node())
    calculate_working_qdc_for_method(dp);
  else
    calculate_working_qdc_for_task(dp);
  dp->working_quality.combine(dp->communicated_quality, VORNA_MAX);
  if (include_commitments) special_add_quality_that_may_come_from_commitment_satisfaction(dp);
  dp->working_quality.multiply_all_values_by(dp->task_or_method->weighting_factor);
  const long combines = Distribution::report_total_number_of_combine_operations() - combines_before;
#ifdef VELA_CHECK_STEP_MEMO
  if (holds) {
    // The skip counted them already.
    Distribution::count_combine_operations(-combines);
    if (!record.left_on(dp, true) || combines != record.combines_made())
      fatal_stop("The step of %s skipped by the memo gives other values when made.\n", dp->of_task_chars());
    dp->left_write = dp->last_write;
    return settled_by(dp);
  }
#endif
  if (!recorded) {
    if (follows) memo->changed = true;
    return false;
  }
  if (follows && !memo->changed && !(held && record.left_on(dp, false))) memo->changed = true;
  record.take(dp, time_before, current_mode, end_of_the_current_working_schedule, combines, memo->pass);
  dp->left_write = dp->last_write;
  return settled_by(dp);
}

bool Scheduler::consumes_or_produces(DecisionPoint* dp) {
  Method* method = static_cast<Method*>(dp->task_or_method);
  return dp->base_quality.some_values_are_gt_zero() &&
         (method->affects_resource->length() > 0 || method->affected_by_resource->length() > 0);
}

Resource* Scheduler::working_resource_or_exit(const ID& name, const char* message) {
  Resource* r = working_resources.get(name);
  if (r == nullptr) error_exit(message, 1);
  return r;
}

void Scheduler::calculate_working_qdc_for_method(DecisionPoint* dp) {
  // Starts from the base the builders gave the node, never from the last result: the
  // effects are applied once however often the tree is recomputed.
  Method* method = static_cast<Method*>(dp->task_or_method);
  // The gate reads the quality before the effects: a disabled method still consumes.
  const bool gated = dp->base_quality.some_values_are_gt_zero();
  if (dp->affected_by_actually->length() == 0 && !(gated && method->affected_by_resource->length() > 0)) {
    // Nothing changes the base on its way: it is copied before the resources are read, as
    // the steps below copy it.
    dp->working_quality.duplicate(dp->base_quality);
    dp->working_cost.duplicate(dp->base_cost);
    dp->working_duration.duplicate(dp->base_duration);
    if (gated) apply_resources_of_method(method, dp, nullptr);
    return;
  }
  DistributionBundle bundle;
  bundle.cost.duplicate(dp->base_cost);
  bundle.quality.duplicate(dp->base_quality);
  bundle.duration.duplicate(dp->base_duration);
  for (long i = 0; i < dp->affected_by_actually->length(); i++)
    dp->affected_by_actually->get(i)->apply_nle_to(bundle, 0, current_mode, end_of_the_current_working_schedule);
  if (gated) apply_resources_of_method(method, dp, &bundle);
  dp->working_quality.duplicate(bundle.quality);
  dp->working_cost.duplicate(bundle.cost);
  dp->working_duration.duplicate(bundle.duration);
}

void Scheduler::apply_resources_of_method(Method* method, DecisionPoint* dp, DistributionBundle* bundle) {
  float v = dp->base_duration.get_specified_value(schedule_with.d);
  const char* missing = missing_resource_for_method_q;
  for (long i = 0; i < method->affects_resource->length(); i++) {
    ResourceNLE* rnle = method->affects_resource->get(i);
    if (rnle->type == RNLE_PRODUCES) continue;
    rnle->apply_rnle_to(working_resource_or_exit(rnle->resource_id, missing), v, method);
  }
  for (long i = 0; bundle != nullptr && i < method->affected_by_resource->length(); i++) {
    ResourceNLE* rnle = method->affected_by_resource->get(i);
    rnle->apply_rnle_to(*bundle, working_resource_or_exit(rnle->resource_id, missing), v, method);
  }
  check_resources_for_restoration_and_production(method, dp);
}

void Scheduler::calculate_working_qdc_for_task(DecisionPoint* dp) {
  BasicTask* task = dp->task_or_method;
  VORNA_QualityAF qaf = task->qaf;
  long n = dp->subs.length();
  dp->working_quality.delete_all();
  dp->working_cost.delete_all();
  dp->working_duration.delete_all();
  if (n == 0) {
    dp->working_quality.set_to_100_percent_zero_value();
    dp->working_cost.set_to_100_percent_zero_value();
    dp->working_duration.set_to_100_percent_zero_value();
    return;
  }

  const long counted = dp->fold_memo.fold(dp);

  if (qaf == VORNA_SEQ) {
    // The last subtask by this task's own list: a shared subtask's child number may be
    // the one it has under another parent.
    long all_subtasks = task->subtasks.length();
    BasicTask* last_subtask = all_subtasks > 0 ? task->subtasks.get(all_subtasks - 1) : nullptr;
    for (long i = 0; i < n; i++) {
      DecisionPoint* child = dp->subs.get(i);
      if (child->task_or_method == last_subtask) dp->working_quality.duplicate(child->working_quality);
    }
  } else if (qaf == VORNA_SEQ_SUM) {
    long in_time = 0;
    for (long i = 0; i < n; i++) {
      MyTime t = dp->subs.get(i)->time_task_or_method_gets_quality;
      if (t != UNSET_TIME && t <= end_of_the_current_working_schedule) in_time++;
    }
    if (in_time != n) dp->working_quality.set_to_100_percent_zero_value();
  } else if (qaf == VORNA_SIGMOID) {
    float x = static_cast<float>(counted) / static_cast<float>(n);
    dp->working_quality.apply_sigmoid_multiple(task->calc_sigmoid_multiplier(x));
  }

  // A child that has quality but no time yet is being placed: the percolation after it
  // is placed gives the parent its time, which is then the method's finish.
  if (dp->working_quality.some_values_are_gt_zero() && dp->time_task_or_method_gets_quality == UNSET_TIME) {
    MyTime latest = UNSET_TIME;
    bool all_timed = true;
    for (long i = 0; i < n; i++) {
      DecisionPoint* child = dp->subs.get(i);
      if (!child->working_quality.some_values_are_gt_zero()) continue;
      MyTime t = child->time_task_or_method_gets_quality;
      if (t == UNSET_TIME) all_timed = false;
      if (t > latest) latest = t;
    }
    if (all_timed) {
      if (quality_time_log != nullptr) quality_time_log->emplace_back(dp, dp->time_task_or_method_gets_quality);
      dp->time_task_or_method_gets_quality = latest;
    }
  }
}

int Scheduler::special_add_quality_that_may_come_from_commitment_satisfaction(DecisionPoint* dp) {
  if (dp == nullptr) error_exit("Scheduler::special_include... got a null pointer.\n", 1);
  int added = 0;
  for (long i = 0; i < dp->commitments.length(); i++) {
    Commitment* c = dp->commitments.get(i);
    if (c == nullptr) error_exit("Scheduler::special_add... got a null commitment pointer.\n", 1);
    if (c->type == NON_LOCAL_COMMITMENT_TYPE || c->status != COMMITMENT_SATISFIED) continue;
    LocalCommitment* local = c->as_local();
    if (local == nullptr) continue;
    dp->working_quality
        .special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
            local->quality_for_commitment_satisfaction, local->minimum_quality);
    added = 1;
  }
  return added;
}

// ---------------------------------------------------------------- what-if

namespace {
// The method's node (and its other nodes, for a method under several parents), then the
// nodes of its ancestors, nearest first.
std::vector<DecisionPoint*> what_if_chain(DecisionPoint* dp) {
  std::vector<DecisionPoint*> chain{dp};
  dp->for_each_node_of_task([&chain, dp](DecisionPoint* node) {
    if (node != dp) chain.push_back(node);
  });
  dp->for_each_node_of_task([&chain](DecisionPoint* node) { method_rating::append_ancestor_nodes(node, chain); });
  return chain;
}

// 0, never the counter plus one: a node one generation behind would then look current.
// For a method under several parents every node of the chain is out of date before any is
// recomputed, so an ancestor on one path never reads a node of another that is still to come.
void recompute_chain(Scheduler& s, DecisionPoint* dp, const std::vector<DecisionPoint*>& chain) {
  if (dp->task_has_other_nodes())
    for (DecisionPoint* node : chain) node->working_change_counter = 0;
  for (DecisionPoint* node : chain) {
    node->working_change_counter = 0;
    s.calculate_working_qdc_for_task_or_method_and_all_subs(node, 0);
  }
}
}  // namespace

void Scheduler::see_what_happens_if_we_add_method_x_to_schedule(DecisionPoint* dp, ResourceList& saved) {
  children_summaries_version++;
  dp->keep_values_in(values_before_what_if.push());
  dp->working_quality.duplicate(dp->combined_outcomes->quality);
  dp->working_duration.duplicate(dp->combined_outcomes->duration);
  dp->working_cost.duplicate(dp->combined_outcomes->cost);
  dp->take_working_values_as_base();
  dp->share_working_values_with_the_other_nodes_of_task();
  saved.duplicate_list_into_this_and_copy_items(working_resources, 1);
  const std::vector<DecisionPoint*> chain = what_if_chain(dp);
  WorkingStepMemo* outer = working_step_memo;
  if (outer == nullptr) {
    working_step_memo = &what_if_step_memo;
    what_if_step_memo.begin_pass();
    for (DecisionPoint* node : chain) node->what_if_chain_pass = what_if_step_memo.pass;
  }
  recompute_chain(*this, dp, chain);
  working_step_memo = outer;
}

void Scheduler::undo_see_what_happens_if_we_add_method_x_to_schedule(DecisionPoint* dp, ResourceList& saved) {
  working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
  // Exactly what the node held before: for an unplaced method 100% zero and no time, for
  // one locked with a promised result that result.
  if (values_before_what_if.empty()) fatal_stop("%s", "Error, a what-if undone that was never begun.\n");
  dp->give_back_values(values_before_what_if.latest());
  values_before_what_if.pop();
  std::vector<DecisionPoint*> chain = what_if_chain(dp);
  recompute_chain(*this, dp, chain);
  for (DecisionPoint* node : chain) node->working_change_counter = global_working_change_counter;
  // The recomputation may have consumed or produced again.
  working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
}

// ---------------------------------------------------------------- resources

void Scheduler::check_resources_for_restoration_and_production(Method* method, DecisionPoint* dp) {
  // The base, as the method step that calls this reads it: before the effects.
  float d = dp->base_duration.get_specified_value(schedule_with.d);
  for (long i = 0; i < method->affects_resource->length(); i++) {
    ResourceNLE* rnle = method->affects_resource->get(i);
    Resource* r = working_resource_or_exit(rnle->resource_id,
                                           "Unable to locate a resource in check_resoruces in sched.cc");
    if (rnle->type == RNLE_USES && r->type == RESOURCE_NON_CONSUMABLE) {
      static_cast<Uses*>(rnle)->restore_resource(r, d, method);
    } else if (rnle->type == RNLE_PRODUCES && dp->base_quality.some_values_are_gt_zero()) {
      rnle->apply_rnle_to(r, d, method);
    }
  }
}
