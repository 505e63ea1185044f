// Small readings shared by the enforcement tests and the preference scores of method
// rating, and the what-if that treats a candidate method as done.
#pragma once

#include <algorithm>
#include <utility>
#include <vector>

#include "model/nle.h"
#include "scheduler/scheduler.h"

namespace method_rating {

inline bool has_quality(DecisionPoint* dp) { return dp != nullptr && dp->working_quality.some_values_are_gt_zero(); }

inline DecisionPoint* source_node(NLE* e) { return BasicTask::get_dp_of_task(e->from); }

// When the effect strikes: its source's quality time plus its delay.
inline MyTime strikes_at(NLE* e, DecisionPoint* source, ValueSpecifier d) {
  return source->time_task_or_method_gets_quality + e->propagation_delay_value(d);
}

// A method of the schedule's alternative.
inline bool is_planned(Schedule& schedule, BasicTask* task) {
  return schedule.alternative_holds(task);
}

inline long planned_count(Schedule& schedule) {
  return schedule.alt_schedule_is_for != nullptr ? schedule.alt_schedule_is_for->method_list.length() : 0;
}

// first + (k - 1) * subsequent, 0 when k is 0.
inline float first_and_subsequent(long k, float first, float subsequent) {
  float sum = 0.0f;
  for (long i = 0; i < k; i++) sum += i == 0 ? first : subsequent;
  return sum;
}

// Appends the nodes above node, each parent then its own ancestors (the order
// list_all_ancestors gives); walked in place, as it runs for every rating.
inline void append_ancestor_nodes(DecisionPoint* node, std::vector<DecisionPoint*>& nodes) {
  for (long i = 0; i < node->supers.length(); i++) {
    DecisionPoint* super = node->supers.get(i);
    nodes.push_back(super);
    append_ancestor_nodes(super, nodes);
  }
}

// The nodes above every node of the method, nearest first: for a method under several
// parents, the ancestors on each path.
inline std::vector<DecisionPoint*> ancestor_nodes(Method* method) {
  std::vector<DecisionPoint*> nodes;
  DecisionPoint* dp = BasicTask::get_dp_of_task(method);
  if (dp != nullptr) dp->for_each_node_of_task([&nodes](DecisionPoint* node) { append_ancestor_nodes(node, nodes); });
  return nodes;
}

// Treats the method as done: its working quality (and, unless quality_only, its duration
// and cost) from its combined outcome, a quality time at the end of its run from the next
// start, and a new generation of the change counter.
inline MethodNodeValues lend_done_values(Scheduler& s, Schedule& schedule, DecisionPoint* dp, bool quality_only) {
  MethodNodeValues before;
  dp->keep_values_in(before);
  Outcome& done = *dp->combined_outcomes;
  dp->working_quality.duplicate(done.quality);
  if (quality_only) {
    dp->take_working_quality_as_base();
  } else {
    dp->working_duration.duplicate(done.duration);
    dp->working_cost.duplicate(done.cost);
    dp->take_working_values_as_base();
  }
  dp->time_task_or_method_gets_quality =
      schedule.get_next_expected_start_time() + done.duration.get_specified_value(s.schedule_with.d);
  dp->share_working_values_with_the_other_nodes_of_task();
  s.global_working_change_counter++;
  return before;
}

// The undo of lend_done_values, before the caller recomputes what the loan recomputed:
// the node gets back exactly what it held (a locked node's promised result included).
inline void take_back_done_values(Scheduler& s, DecisionPoint* dp, const MethodNodeValues& before) {
  dp->give_back_values(before);
  s.global_working_change_counter--;
}

// What a loan and its undo leave when nothing reads the node between them: the node as it
// was, its other nodes given its values, and the resources untouched.
inline void lend_unread(Scheduler& s, DecisionPoint* dp) {
  dp->share_working_values_with_the_other_nodes_of_task();
  s.rating_step_left_resources = true;
}

// The quality times of the method's ancestors, given back after a what-if that lent the
// method a time: a recomputation can set an ancestor's time but never clears one. Within
// the what-if only a task's recomputation sets a task node's time, so the times it logged
// are all that can differ; the ancestors are walked only when there is one.
class AncestorTimes {
 public:
  AncestorTimes(Scheduler& s, Method* method) : s(s), method(method), outer(s.quality_time_log) {
    s.quality_time_log = &log;
  }
  AncestorTimes(const AncestorTimes&) = delete;
  AncestorTimes& operator=(const AncestorTimes&) = delete;
  ~AncestorTimes() { detach(); }

  void give_back() {
    detach();
    if (log.empty()) return;
    std::vector<DecisionPoint*> ancestors = ancestor_nodes(method);
    std::sort(ancestors.begin(), ancestors.end());
    // Latest first, so a node set twice ends with the time it held at the start.
    for (auto entry = log.rbegin(); entry != log.rend(); ++entry)
      if (std::binary_search(ancestors.begin(), ancestors.end(), entry->first)) {
        entry->first->time_task_or_method_gets_quality = entry->second;
        entry->first->note_write();
      }
    if (outer != nullptr) outer->insert(outer->end(), log.begin(), log.end());
    log.clear();
  }

 private:
  void detach() {
    if (s.quality_time_log == &log) s.quality_time_log = outer;
  }

  Scheduler& s;
  Method* method;
  std::vector<std::pair<DecisionPoint*, MyTime>>* outer;
  std::vector<std::pair<DecisionPoint*, MyTime>> log;
};

}  // namespace method_rating
