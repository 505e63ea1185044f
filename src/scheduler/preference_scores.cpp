// The soft part of method rating: each score turns one kind of interaction of the
// candidate into a number, weights it by its power of ten and moves the rating. The
// weights order the concerns: commitments and deadlines over disabling and placement
// wishes over facilitation, hindering and resources.
#include <iostream>
#include <vector>

#include "model/nle.h"
#include "model/resource.h"
#include "scheduler/method_rating_support.h"
#include "scheduler/scheduler.h"

using method_rating::first_and_subsequent;
using method_rating::has_quality;
using method_rating::is_planned;
using method_rating::planned_count;
using method_rating::source_node;
using method_rating::strikes_at;

namespace {
// Incoming effects of the type whose source has no quality yet or has not yet struck.
long count_pending_effects(Scheduler& s, Schedule& schedule, DecisionPoint* dp, NLETypes type) {
  MyTime next_start = schedule.get_next_expected_start_time();
  long k = 0;
  NLEList& incoming = *dp->affected_by_actually;
  for (long i = 0; i < incoming.length(); i++) {
    NLE* e = incoming.get(i);
    if (e->type != type) continue;
    DecisionPoint* source = source_node(e);
    if (!has_quality(source) || strikes_at(e, source, s.schedule_with.d) > next_start) k++;
  }
  return k;
}

float pending_share(long k, long n, float first, float subsequent) {
  float sum = first_and_subsequent(k, first, subsequent);
  float whole = first + static_cast<float>(n - 1) * subsequent;
  return sum / whole;
}

bool is_facilitation(NLETypes t) { return t == NLE_U_FACILITATES || t == NLE_B_FACILITATES; }
bool is_hindering(NLETypes t) { return t == NLE_U_HINDERS; }

// The method's ancestors (nearest first) and the method itself that have no quality yet
// but would help or hurt an unplaced planned method: how many of them the method's being
// done would give quality.
long count_tasks_that_gain_quality_for_planned_work(Scheduler& s, Schedule& schedule, Method* method,
                                                   DecisionPoint* dp, bool (*wanted)(NLETypes)) {
  auto may_gain = [&schedule, wanted](DecisionPoint* node) {
    if (has_quality(node)) return false;
    NLEList& outgoing = *node->affects_actually;
    for (long i = 0; i < outgoing.length(); i++) {
      NLE* e = outgoing.get(i);
      if (!wanted(e->type) || e->to == nullptr || e->to->task_type != VORNA_METHOD) continue;
      DecisionPoint* target = BasicTask::get_dp_of_task(e->to);
      bool placed = target != nullptr && target->working_values_are_locked;
      if (!placed && is_planned(schedule, e->to)) return true;
    }
    return false;
  };
  const bool ancestors_may_gain = DecisionPoint::some_task_node_has_outgoing_effects();
  std::vector<DecisionPoint*> kept;
  // Most methods: nothing above them has effects, and the method itself none that count.
  if (ancestors_may_gain || may_gain(dp)) {
    std::vector<DecisionPoint*> candidates;
    if (ancestors_may_gain) candidates = method_rating::ancestor_nodes(method);
    candidates.push_back(dp);
    for (DecisionPoint* node : candidates)
      if (may_gain(node)) kept.push_back(node);
  }
  if (kept.empty()) {
    method_rating::lend_unread(s, dp);
    return 0;
  }
  method_rating::AncestorTimes times(s, method);
  MethodNodeValues before = method_rating::lend_done_values(s, schedule, dp, true);
  long gained = 0;
  for (DecisionPoint* node : kept) {
    s.calculate_working_qdc_for_task_or_method_and_all_subs(node, 0);
    if (has_quality(node)) gained++;
  }
  method_rating::take_back_done_values(s, dp, before);
  for (DecisionPoint* node : kept) s.calculate_working_qdc_for_task_or_method_and_all_subs(node, 0);
  times.give_back();
  return gained;
}

// Applies the method's resource effects of the type to the working resources, as if it
// were done, and tells the best and the worst that came of it. The caller restores the
// resources.
void apply_resource_effects(Scheduler& s, Schedule& schedule, Method* method, DecisionPoint* dp, ResourceNLETypes type,
                            bool& some_good, bool& some_newly_bad, bool& some_still_bad) {
  some_good = some_newly_bad = some_still_bad = false;
  ResourceNLEList& effects = *method->affects_resource;
  if (effects.length() == 0) {
    method_rating::lend_unread(s, dp);
    return;
  }
  MethodNodeValues before = method_rating::lend_done_values(s, schedule, dp, false);
  for (long i = 0; i < effects.length(); i++) {
    ResourceNLE* rnle = effects.get(i);
    Resource* r = s.working_resource_or_exit(rnle->resource_id, Scheduler::missing_resource_for_method_q);
    if (rnle->type != type) continue;
    int before = r->resource_is_depleted_or_overproduced();
    rnle->apply_rnle_to(r, dp->working_duration.get_specified_value(s.schedule_with.d), method);
    int after = r->resource_is_depleted_or_overproduced();
    if (before == 0 && after == 1) {
      some_newly_bad = true;
    } else if (before == 1 && after == 1) {
      some_still_bad = true;
    } else if (after == 0) {
      some_good = true;
    }
  }
  method_rating::take_back_done_values(s, dp, before);
}
}  // namespace

float Scheduler::prefer_disablees(Schedule& schedule, Method*, DecisionPoint* dp, float rating) {
  long k = count_pending_effects(*this, schedule, dp, NLE_DISABLES);
  float x = pending_share(k, planned_count(schedule), bonus_for_first_disabled, bonus_for_each_subsequent_disabled);
  return rating + scale_local_method_rating(x, 3.0f);
}

float Scheduler::prefer_hinderees(Schedule& schedule, Method*, DecisionPoint* dp, float rating) {
  long k = count_pending_effects(*this, schedule, dp, NLE_U_HINDERS);
  float x = pending_share(k, planned_count(schedule), bonus_for_first_hindered, bonus_for_each_subsequent_hindered);
  return rating + scale_local_method_rating(x, 2.0f);
}

float Scheduler::prefer_facilitators(Schedule& schedule, Method* method, DecisionPoint* dp, float rating) {
  long k = count_tasks_that_gain_quality_for_planned_work(*this, schedule, method, dp, is_facilitation);
  float x = pending_share(k, planned_count(schedule), bonus_for_first_method_facilitated,
                          bonus_for_each_subsequent_method_facilitated);
  return rating + scale_local_method_rating(x, 2.0f);
}

float Scheduler::delay_facilitatees(Schedule& schedule, Method*, DecisionPoint* dp, float rating) {
  MyTime next_start = schedule.get_next_expected_start_time();
  long k = 0;
  NLEList& incoming = *dp->affected_by_actually;
  for (long i = 0; i < incoming.length(); i++) {
    NLE* e = incoming.get(i);
    if (!is_facilitation(e->type)) continue;
    DecisionPoint* source = source_node(e);
    if (has_quality(source) ? strikes_at(e, source, schedule_with.d) > next_start
                            : e->from != nullptr && e->from->task_type == VORNA_METHOD && is_planned(schedule, e->from))
      k++;
  }
  float sum = first_and_subsequent(k, 2.0f, 1.0f);
  float whole = static_cast<float>(k - 1) * 1.0f + 2.0f;
  if (whole < sum) whole = sum;
  float r = rating - scale_local_method_rating(sum / whole, 2.0f);
  return r < 0.0f ? 0.0f : r;
}

float Scheduler::delay_hinderers(Schedule& schedule, Method* method, DecisionPoint* dp, float rating) {
  long k = count_tasks_that_gain_quality_for_planned_work(*this, schedule, method, dp, is_hindering);
  float r = rating - scale_local_method_rating(pending_share(k, planned_count(schedule), 2.0f, 1.0f), 2.0f);
  return r < 0.0f ? 0.0f : r;
}

float Scheduler::prefer_producers(Schedule& schedule, Method* method, DecisionPoint* dp, float rating) {
  bool good, newly_bad, still_bad;
  apply_resource_effects(*this, schedule, method, dp, RNLE_PRODUCES, good, newly_bad, still_bad);
  if (good && !newly_bad) return rating + scale_local_method_rating(1.0f, 2.0f);
  return rating;
}

float Scheduler::delay_consumers(Schedule& schedule, Method* method, DecisionPoint* dp, float rating) {
  bool good, newly_bad, still_bad;
  apply_resource_effects(*this, schedule, method, dp, RNLE_USES, good, newly_bad, still_bad);
  if (newly_bad || still_bad) return rating - scale_local_method_rating(1.0f, 2.0f);
  return rating;
}

float Scheduler::prefer_satisfying_and_avoid_violating_commitments(Schedule& schedule, Method* method,
                                                                   DecisionPoint*, float rating) {
  long whatif_satisfied, whatif_violated, existing_satisfied, existing_violated;
  determine_effect_on_commitments_of_adding_method_to_schedule(schedule, method, whatif_satisfied, whatif_violated,
                                                               existing_satisfied, existing_violated);
  float ws = static_cast<float>(whatif_satisfied);
  float wv = static_cast<float>(whatif_violated);
  float es = static_cast<float>(existing_satisfied);
  float ev = static_cast<float>(existing_violated);
  long n = schedule.undetermined_local_commitments.length() + schedule.satisfied_local_commitments.length() +
           schedule.violated_local_commitments.length();
  if (n != 0) {
    float whole = static_cast<float>(n);
    ws /= whole;
    wv /= whole;
    es /= whole;
    ev /= whole;
  }
  // Left to right, each partial result a float.
  float r = rating - scale_local_method_rating(wv, 2.9f);
  r = r + scale_local_method_rating(ws, 2.0f);
  r = r - scale_local_method_rating(ev, 4.0f);
  r = r + scale_local_method_rating(es, 3.0f);
  return r < 0.0f ? 0.0f : r;
}

float Scheduler::prefer_earlier_deadlines(Schedule& schedule, Method* method, DecisionPoint* dp, float rating) {
  MyTime own = method->deadline;
  MyTime group = dp->task_group_root != nullptr ? dp->task_group_root->deadline : UNSET_TIME;
  float x = 0.0f;
  if (own != UNSET_TIME) {
    if (group == UNSET_TIME) group = 2147483648.0f;
    x = (group - own) / 2.0f;
    Distribution finish;
    schedule.get_expected_finish_time_distribution_if_method_added_to_schedule(
        dp->combined_outcomes->duration, method->percentage_of_duration_used_by_cpu, finish);
    if (finish.get_specified_value(schedule_with.d) > 0.75f * own) x = group;
  }
  if (group != 0.0f) x = x / group;
  return rating + scale_local_method_rating(x, 4.0f);
}

float Scheduler::prefer_earlier_if_desired(Schedule&, Method* method, DecisionPoint*, float rating) {
  if (method->perform_earlier_if_possible != 1) return rating;
  return rating + scale_local_method_rating(1.0f, method->preference_is_strong ? 3.0f : 2.0f);
}

float Scheduler::prefer_later_if_desired(Schedule&, Method* method, DecisionPoint*, float rating) {
  if (method->perform_later_if_possible != 1) return rating;
  return rating - scale_local_method_rating(1.0f, method->preference_is_strong ? 3.0f : 2.0f);
}

float Scheduler::move_uncertainty_early(Schedule&, Method*, DecisionPoint* dp, float rating) {
  Distribution& q = dp->combined_outcomes->quality;
  float v = q.get_specified_value(schedule_with.q);
  return rating + scale_local_method_rating(0.75f - q.get_probability_value_is_gt_or_equal_to_x(v), 1.0f);
}

float Scheduler::prefer_increased_quality(Schedule&, Method* method, DecisionPoint* dp, float rating) {
  std::cout << "Inside prefer-increased-quality, orig rating is " << rating << "\n";
  std::cout << "Method is " << method->id << "\n";
  // The overall quality is the meta node's working quality. The what-if stops at the task
  // group, so the meta node is combined from its task groups for each reading, and once
  // more after the undo to leave it as it was.
  DecisionPoint* meta = dp_to_meta_root;
  calculate_working_qdc_for_task(meta);
  float before = meta->working_quality.get_specified_value(schedule_with.q);
  ResourceList saved;
  see_what_happens_if_we_add_method_x_to_schedule(dp, saved);
  calculate_working_qdc_for_task(meta);
  float after = meta->working_quality.get_specified_value(schedule_with.q);
  undo_see_what_happens_if_we_add_method_x_to_schedule(dp, saved);
  calculate_working_qdc_for_task(meta);
  saved.delete_list(1);
  float gain = 0.0f;
  if (before > 0.0f) {
    gain = (after - before) / before;
  } else if (after > 0.0f) {
    gain = 1.0f;
  }
  if (gain > 0.0f) {
    if (rating == 0.0f) rating = 1.0f;
    rating += gain;
  }
  std::cout << "Inside prefer-increased-quality, final rating is " << rating << "\n";
  return rating;
}

void Scheduler::fix_up_kludge_to_get_methods_with_est_and_dl_performed_earlier_if_appropriate(Schedule&, TaskList&,
                                                                                             Method*) {}
