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

bool holds_a_placed_node(const DecisionPoint* dp, const std::vector<long>& placed_at) {
  for (long at : placed_at)
    if (at >= dp->placement_log_start && at < dp->placement_log_end) return true;
  return false;
}
}  // namespace

void Scheduler::calculate_working_qdc_for_task_or_method_and_all_subs(DecisionPoint* dp, int include_commitments) {
  PlacementLog& log = placement_log;
  if (dp->working_change_counter == global_working_change_counter || dp->working_values_are_locked) {
    // A node visited before, in this log, is visited before again the next time, unless
    // the placed method's node led to it; one of those, or one marked by another
    // recomputation, makes what the visit reads not all under it.
    if (log.keeping && dp->working_change_counter == global_working_change_counter &&
        (dp->placement_log_pass != log.pass || log.placed_may_lead || dp->task_or_method == log.placed))
      log.unsettled++;
    return;
  }
  // Marked before recursing: that is what ends the recursion on effect cycles.
  dp->working_change_counter = global_working_change_counter;
  const MyTime end = end_of_the_current_working_schedule;
  if (log.leaving && dp->placement_log_settled && dp->placement_log_pass == log.pass &&
      dp->placement_log_ends_from <= end && end < dp->placement_log_ends_to && !holds_a_placed_node(dp, log.placed_at)) {
    leave_subtree_as_it_was(dp);
    return;
  }
  if (!log.keeping) {
    working_values_step(dp, include_commitments);
    return;
  }
  const long start = static_cast<long>(log.nodes.size());
  const long unsettled_before = log.unsettled;
  const MyTime outer_from = log.ends_from, outer_to = log.ends_to;
  log.ends_from = -std::numeric_limits<MyTime>::infinity();
  log.ends_to = std::numeric_limits<MyTime>::infinity();
  log.nodes.push_back(dp);
  const bool settled = working_values_step(dp, include_commitments);
  if (settled)
    narrow_to_the_ends_read(dp, end, log.ends_from, log.ends_to);
  else
    log.unsettled++;
  dp->placement_log_pass = log.pass;
  dp->placement_log_start = start;
  dp->placement_log_end = static_cast<long>(log.nodes.size());
  dp->placement_log_settled = log.unsettled == unsettled_before;
  dp->placement_log_ends_from = log.ends_from;
  dp->placement_log_ends_to = log.ends_to;
  log.ends_from = std::max(outer_from, log.ends_from);
  log.ends_to = std::min(outer_to, log.ends_to);
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
    return settled_by(dp);
  }
#endif
  if (!recorded) {
    if (follows) memo->changed = true;
    return false;
  }
  if (follows && !memo->changed && !(held && record.left_on(dp, false))) memo->changed = true;
  record.take(dp, time_before, current_mode, end_of_the_current_working_schedule, combines, memo->pass);
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
  values_before_what_if.emplace_back();
  dp->keep_values_in(values_before_what_if.back());
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
  dp->give_back_values(values_before_what_if.back());
  values_before_what_if.pop_back();
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
