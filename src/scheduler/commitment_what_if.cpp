// The what-if the commitment score asks for each rating, made only as far up the
// method's ancestors as anything can tell.
//
// The score reads the task nodes of the schedule's undetermined local commitments (and
// the method nodes under them). The full what-if recomputes the method's node and every
// ancestor, reads, gives the node back and recomputes them all again. An ancestor step
// nothing reads, that recurses into nothing out of date and sets no quality time, leaves
// only its combine operations: the undo's step of the same node then gives the values it
// held, once the node below it is back as it was, provided the node holds what its step
// gives from its children. A node current in the generation holds that when every method
// step reads its base alone: a rating then steps methods again only to the same values.
// (With effects, resources or promises, a rating may step a method again to other values
// and leave its parent as it was: the full what-if is made.) Such steps are not made;
// their combines are counted. The method's own node is always stepped.
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>
#ifdef VELA_CHECK_WHAT_IF
#include <cstdlib>
#include <unordered_set>
#endif

#include "foundation/fatal_stop.h"
#include "model/nle.h"
#include "scheduler/scheduler.h"
#include "scheduler/working_step_memo.h"

namespace {
// Whether a quality may have a value above zero.
enum class Sign { NONE, SOME, UNKNOWN };

Sign sign_of(Distribution& d) { return d.some_values_are_gt_zero() ? Sign::SOME : Sign::NONE; }

bool has_values(const Distribution& d) { return d.length() > 0; }

// The combines of one task step (calculate_working_qdc_for_task and the combine with the
// communicated quality after it): fixed by the number of children and the function.
long combines_of_task_step(DecisionPoint* node) {
  long n = node->subs.length();
  long per_child = node->task_or_method->qaf == VORNA_SEQ ? 2 : 3;
  return (n > 0 ? (n - 1) * per_child : 0) + 1;
}

// The values of a node that its parent's step reads.
struct NodeValues {
  Distribution quality, cost, duration;
  MyTime time = UNSET_TIME;
  void keep(DecisionPoint* node) {
    quality.duplicate(node->working_quality);
    cost.duplicate(node->working_cost);
    duration.duplicate(node->working_duration);
    time = node->time_task_or_method_gets_quality;
  }
};

// The same for every later reader: the pairs and the flags, whatever the spare capacity.
bool same_for_readers(const Distribution& a, const Distribution& b) {
  return same_pairs(a, b) && a.data_is_sorted == b.data_is_sorted &&
         a.combined_under_sigmoid_and_multiplier_not_applied == b.combined_under_sigmoid_and_multiplier_not_applied;
}

bool same_as_kept(DecisionPoint* node, const Distribution& quality, const Distribution& cost,
                  const Distribution& duration, MyTime time) {
  return same_for_readers(node->working_quality, quality) && same_for_readers(node->working_cost, cost) &&
         same_for_readers(node->working_duration, duration) &&
         memcmp(&node->time_task_or_method_gets_quality, &time, sizeof(MyTime)) == 0;
}

// What a child adds to its parent's summary.
struct Contribution {
  bool unsettled = false;
  bool without_quality = false;
  bool with_negative_quality = false;
  bool untimed_with_quality = false;
  bool not_in_time = false;
};

Contribution contribution_of(const Distribution& quality, const Distribution& cost, const Distribution& duration,
                             MyTime time, bool current_or_locked, MyTime end) {
  Contribution c;
  c.unsettled = !current_or_locked || !has_values(quality) || !has_values(cost) || !has_values(duration);
  c.without_quality = !const_cast<Distribution&>(quality).some_values_are_gt_zero();
  for (long i = 0; i < quality.length(); i++)
    if (quality.data[i].value < 0.0f) c.with_negative_quality = true;
  c.untimed_with_quality = !c.without_quality && time == UNSET_TIME;
  c.not_in_time = time == UNSET_TIME || time > end;
  return c;
}

Contribution contribution_of(DecisionPoint* node, bool current_or_locked, MyTime end) {
  return contribution_of(node->working_quality, node->working_cost, node->working_duration,
                         node->time_task_or_method_gets_quality, current_or_locked, end);
}

// The method's node and the ancestors stepped for real (the nearest `real` of its
// `height` ancestors), the rest left alone.
class CommitmentWhatIf {
 public:
  CommitmentWhatIf(Scheduler& s, Schedule& schedule, DecisionPoint* dp) : s(s), schedule(schedule), dp(dp) {}

  // Whether the node and its ancestors make a single path (no node of it under two
  // parents) in a round whose method steps read their base alone.
  bool take_path() {
    if (!steps_read_base_alone()) return false;
    if (dp->task_has_other_nodes() || dp->working_values_are_locked || dp->supers.length() > 1) return false;
    if (dp->supers.length() == 1) {
      const DecisionPoint::PathUp& path = path_up_of(dp->supers.get(0L));
      if (!path.single) return false;
      height = static_cast<size_t>(path.depth) + 1;
    }
    // The undo's step of the method reads its effects' sources: one among the ancestors
    // would then hold its what-if values.
    for (long i = 0; i < dp->affected_by_actually->length(); i++) {
      DecisionPoint* source = BasicTask::get_dp_of_task(dp->affected_by_actually->get(i)->from);
      for (size_t k = 0; k < height; k++)
        if (at(k) == source) return false;
    }
    CommitmentList& undetermined = schedule.undetermined_local_commitments;
    for (long i = 0; i < undetermined.length(); i++) {
      DecisionPointList* nodes = undetermined.get(i)->dps_for_tasks;
      for (long k = 0; nodes != nullptr && k < nodes->length(); k++) read_by_commitments.push_back(nodes->get(k));
    }
    return true;
  }

  bool steps_read_base_alone() {
    if (s.waiting_memo_stamp == 0) return false;
    if (s.steps_read_base_alone_stamp == s.waiting_memo_stamp) return s.steps_read_base_alone;
    bool alone = s.all_non_local_commitments.length() == 0 && s.dp_to_meta_root != nullptr;
    for (long r = 0; alone && r < s.dp_to_meta_root->subs.length(); r++) {
      DecisionPointList& methods = s.dp_to_meta_root->subs.get(r)->dps_for_methods_for_task;
      for (long i = 0; alone && i < methods.length(); i++) {
        DecisionPoint* m = methods.get(i);
        Method* method = static_cast<Method*>(m->task_or_method);
        alone = m->affected_by_actually->length() == 0 && method->affects_resource->length() == 0 &&
                method->affected_by_resource->length() == 0;
      }
    }
    s.steps_read_base_alone_stamp = s.waiting_memo_stamp;
    s.steps_read_base_alone = alone;
    return alone;
  }

  void begin(ResourceList& saved) {
    counter_at_begin = s.global_working_change_counter;
    MethodNodeValues& before = s.values_before_what_if.push();
    dp->keep_values_in(before);
    MyTime end = s.end_of_the_current_working_schedule;
    bool dp_current = dp->working_change_counter == s.global_working_change_counter;
    below_before = contribution_of(before.working_quality, before.working_cost, before.working_duration,
                                   before.time_task_or_method_gets_quality, dp_current, end);
    // A node brought up to date changes what its parent's summary counts.
    if (!dp_current) s.children_summaries_version++;
    dp->working_quality.duplicate(dp->combined_outcomes->quality);
    dp->working_duration.duplicate(dp->combined_outcomes->duration);
    dp->working_cost.duplicate(dp->combined_outcomes->cost);
    dp->take_working_values_as_base();
    saved.duplicate_list_into_this_and_copy_items(s.working_resources, 1);
    step(dp);
    // Up to the first ancestor whose step cannot be left out, for real; then on from the
    // node above it, which reads what the real steps gave.
    for (;;) {
      size_t stop = first_step_that_tells(real);
      if (stop == height) break;
      s.children_summaries_version++;
      for (; real <= stop; real++) {
        DecisionPoint* node = at(real);
        if (real == stop) {
          // Made only here: most what-ifs step the method alone.
          if (!kept_top) kept_top.emplace();
          kept_top->keep(node);
          below_before = contribution_of(node, current_or_locked(node), end);
        }
        step(node);
      }
    }
    count_left_out_steps();
  }

  void end(ResourceList& saved) {
    s.working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
    if (s.values_before_what_if.empty()) fatal_stop("%s", "Error, a what-if undone that was never begun.\n");
    const MethodNodeValues& before = s.values_before_what_if.latest();
    dp->give_back_values(before);
    step(dp);
    for (size_t i = 0; i < real; i++) step(at(i));
    bool top_as_before = real == 0 ? same_as_kept(dp, before.working_quality, before.working_cost,
                                                  before.working_duration, before.time_task_or_method_gets_quality)
                                   : same_as_kept(at(real - 1), kept_top->quality, kept_top->cost,
                                                  kept_top->duration, kept_top->time);
    s.values_before_what_if.pop();
    if (top_as_before) {
      count_left_out_steps();
    } else {
      s.children_summaries_version++;
      for (size_t i = real; i < height; i++) step(at(i));
    }
    // The ancestors left alone were current when the what-if began; they still are while
    // the generation stays.
    size_t marked = top_as_before && s.global_working_change_counter == counter_at_begin ? real : height;
    dp->working_change_counter = s.global_working_change_counter;
    for (size_t i = 0; i < marked; i++) at(i)->working_change_counter = s.global_working_change_counter;
    s.working_resources.duplicate_list_into_this_and_copy_items(saved, 1);
  }

 private:
  void step(DecisionPoint* node) {
    node->working_change_counter = 0;
    s.calculate_working_qdc_for_task_or_method_and_all_subs(node, 0);
  }

  bool current_or_locked(DecisionPoint* node) const {
    return node->working_change_counter == s.global_working_change_counter || node->working_values_are_locked;
  }

  // The i-th ancestor (0: the parent), walked up to as far as asked.
  DecisionPoint* at(size_t i) {
    while (up.size() <= i) up.push_back((up.empty() ? dp : up.back())->supers.get(0L));
    return up[i];
  }

  // The path up from node, kept for the round: the tree does not change within it.
  const DecisionPoint::PathUp& path_up_of(DecisionPoint* node) {
    long stamp = s.waiting_memo_stamp;
    std::vector<DecisionPoint*> pending;
    for (DecisionPoint* n = node; n->path_up.stamp != stamp;) {
      pending.push_back(n);
      if (n->task_or_method == nullptr || n->supers.length() != 1) break;
      n = n->supers.get(0L);
    }
    // From the top down: each node reads its parent's.
    for (size_t i = pending.size(); i-- > 0;) {
      DecisionPoint* n = pending[i];
      DecisionPoint::PathUp path;
      path.stamp = stamp;
      path.single = n->task_or_method != nullptr && n->supers.length() <= 1;
      if (path.single) {
        path.combines = combines_of_task_step(n);
        if (n->supers.length() == 1) {
          const DecisionPoint::PathUp& above = n->supers.get(0L)->path_up;
          path.single = above.single;
          path.depth = above.depth + 1;
          path.combines += above.combines;
        }
      }
      n->path_up = path;
    }
    return node->path_up;
  }

  void count_left_out_steps() {
    Distribution::count_combine_operations(real < height ? at(real)->path_up.combines : 0);
  }

  bool read_by_a_commitment(DecisionPoint* node) const {
    for (DecisionPoint* read : read_by_commitments)
      if (read == node) return true;
    return false;
  }

  // The summary of every child of node, `below` counted as it was before the what-if.
  // Within a round of ratings it is kept: the ratings leave the children as they found
  // them, but for the changes that renew the version.
  const DecisionPoint::ChildrenSummary& summary_of(DecisionPoint* node, DecisionPoint* below,
                                                    const Contribution& below_was) {
    DecisionPoint::ChildrenSummary& summary = node->children_summary;
    MyTime end = s.end_of_the_current_working_schedule;
    if (s.waiting_memo_stamp != 0 && summary.stamp == s.waiting_memo_stamp &&
        summary.counter == s.global_working_change_counter && summary.end == end &&
        summary.version == s.children_summaries_version)
      return summary;
    summary = DecisionPoint::ChildrenSummary();
    for (long k = 0; k < node->subs.length(); k++) {
      DecisionPoint* child = node->subs.get(k);
      Contribution c = child == below ? below_was : contribution_of(child, current_or_locked(child), end);
      summary.unsettled += c.unsettled;
      summary.without_quality += c.without_quality;
      summary.with_negative_quality += c.with_negative_quality;
      summary.untimed_with_quality += c.untimed_with_quality;
      summary.not_in_time += c.not_in_time;
    }
    summary.stamp = s.waiting_memo_stamp;
    summary.counter = s.global_working_change_counter;
    summary.end = end;
    summary.version = s.children_summaries_version;
    return summary;
  }

  // The index of the first ancestor from `from` on whose what-if step something could
  // tell, the node below it holding its what-if values; `height` when none.
  size_t first_step_that_tells(size_t from) {
    DecisionPoint* below = from == 0 ? dp : at(from - 1);
    if (!has_values(below->working_quality) || !has_values(below->working_cost) ||
        !has_values(below->working_duration))
      return from;
    if (from == height) return height;
    Sign after = Sign::UNKNOWN;
    if (tells_at(at(from), below, sign_of(below->working_quality), below->time_task_or_method_gets_quality,
                 below_before, after))
      return from;
    // Above it every node below holds its own values: only the sign read from the what-if
    // differs from one rating to the next.
    if (!read_by_commitments.empty()) return walk_above(from, after);
    DecisionPoint* stop = stop_above(at(from), after);
    size_t found = stop == nullptr ? height : height - 1 - static_cast<size_t>(stop->path_up.depth);
#ifdef VELA_CHECK_WHAT_IF
    if (walk_above(from, after) != found) {
      fprintf(stderr, "what-if check: the kept stop above %s differs\n", at(from)->of_task_chars());
      abort();
    }
#endif
    return found;
  }

  size_t walk_above(size_t from, Sign sign) {
    MyTime end = s.end_of_the_current_working_schedule;
    for (size_t i = from + 1; i < height; i++) {
      DecisionPoint* below = at(i - 1);
      if (tells_at(at(i), below, sign, below->time_task_or_method_gets_quality, contribution_of(below, true, end),
                   sign))
        return i;
    }
    return height;
  }

  // What walk_above finds from the parent of `below`, kept per sign while nothing the
  // walk reads may have changed: the round, the generation, the end of the schedule and
  // the version of the children's summaries.
  DecisionPoint* stop_above(DecisionPoint* below, Sign sign) {
    MyTime end = s.end_of_the_current_working_schedule;
    std::vector<std::pair<DecisionPoint*, Sign>> pending;
    DecisionPoint* stop = nullptr;
    while (below->supers.length() == 1) {
      const DecisionPoint::StopAbove& kept = below->stop_above[static_cast<int>(sign)];
      if (kept.stamp == s.waiting_memo_stamp && kept.counter == s.global_working_change_counter &&
          memcmp(&kept.end, &end, sizeof(MyTime)) == 0 && kept.version == s.children_summaries_version) {
        stop = kept.stop;
        break;
      }
      pending.emplace_back(below, sign);
      DecisionPoint* node = below->supers.get(0L);
      if (tells_at(node, below, sign, below->time_task_or_method_gets_quality, contribution_of(below, true, end),
                   sign)) {
        stop = node;
        break;
      }
      below = node;
    }
    for (const auto& [node, node_sign] : pending) {
      DecisionPoint::StopAbove& kept = node->stop_above[static_cast<int>(node_sign)];
      kept.stamp = s.waiting_memo_stamp;
      kept.counter = s.global_working_change_counter;
      kept.end = end;
      kept.version = s.children_summaries_version;
      kept.stop = stop;
    }
    return stop;
  }

  // Whether something could tell on node's what-if step, `below` being the child the
  // what-if came up through; if not, `after` is the sign of quality the node above reads.
  bool tells_at(DecisionPoint* node, DecisionPoint* below, Sign below_sign, MyTime below_time,
                const Contribution& below_was, Sign& after) {
    MyTime end = s.end_of_the_current_working_schedule;
    VORNA_QualityAF qaf = node->task_or_method->qaf;
    bool known = qaf == VORNA_MIN || qaf == VORNA_SEQ_MIN || qaf == VORNA_MAX || qaf == VORNA_SEQ_MAX ||
                 qaf == VORNA_SUM || qaf == VORNA_SUM_ALL || qaf == VORNA_SEQ_SUM || qaf == VORNA_SEQ ||
                 qaf == VORNA_ONLY_ONE || qaf == VORNA_SIGMOID;
    if (!known || node->working_values_are_locked || node->working_change_counter != s.global_working_change_counter ||
        !has_values(node->communicated_quality) || read_by_a_commitment(node))
      return true;
    // The other children: current (or locked, which the step never enters), and what
    // they say about the step's quality and time.
    const DecisionPoint::ChildrenSummary& all = summary_of(node, below, below_was);
    long others = node->subs.length() - 1;
    if (all.unsettled - below_was.unsettled > 0) return true;
    long others_without_quality = all.without_quality - below_was.without_quality;
    bool below_untimed = below_time == UNSET_TIME;
    bool untimed_child_with_quality = (below_sign == Sign::SOME && below_untimed) ||
                                      all.untimed_with_quality - below_was.untimed_with_quality > 0;
    bool all_in_time = !below_untimed && below_time <= end && all.not_in_time - below_was.not_in_time == 0;
    // The step's own quality, before the communicated quality and the weight: a
    // compaction keeps the largest value, and no combination makes a value above zero
    // of values that have none.
    bool none_has_quality = below_sign == Sign::NONE && others_without_quality == others;
    bool others_not_negative = all.with_negative_quality - below_was.with_negative_quality == 0;
    Sign own = Sign::UNKNOWN;
    switch (qaf) {
      case VORNA_MAX:
      case VORNA_SEQ_MAX:
        if (below_sign == Sign::SOME || others_without_quality < others) own = Sign::SOME;
        if (none_has_quality) own = Sign::NONE;
        break;
      case VORNA_MIN:
      case VORNA_SEQ_MIN:
        if (below_sign == Sign::SOME && others_without_quality == 0) own = Sign::SOME;
        if (below_sign == Sign::NONE || others_without_quality > 0) own = Sign::NONE;
        break;
      case VORNA_SUM:
      case VORNA_SUM_ALL:
        if (below_sign == Sign::SOME && others_not_negative) own = Sign::SOME;
        if (none_has_quality) own = Sign::NONE;
        break;
      case VORNA_SEQ_SUM:
        // Its step reads the end of the schedule too.
        if (memcmp(&node->end_at_last_step, &end, sizeof(MyTime)) != 0) return true;
        if (below_sign == Sign::SOME && others_not_negative) own = Sign::SOME;
        if (none_has_quality || !all_in_time) own = Sign::NONE;
        break;
      case VORNA_SIGMOID:
        // The sum times the multiplier for the share of children with quality.
        if (below_sign != Sign::UNKNOWN) {
          long counted = (below_sign == Sign::SOME ? 1 : 0) + others - others_without_quality;
          float x = static_cast<float>(counted) / static_cast<float>(others + 1);
          float m = node->task_or_method->calc_sigmoid_multiplier(x);
          if (below_sign == Sign::SOME && others_not_negative && m > 0.0f) own = Sign::SOME;
          if (none_has_quality && m >= 0.0f) own = Sign::NONE;
        }
        break;
      default:
        if (none_has_quality) own = Sign::NONE;
        break;
    }
    bool untimed = node->time_task_or_method_gets_quality == UNSET_TIME;
    // The step sets the node's time only when it has quality, has no time yet and every
    // child with quality has one.
    if (untimed && own != Sign::NONE && !untimed_child_with_quality) return true;
    // What the node above reads; the node itself holds the values from before.
    after = own;
    if (node->communicated_quality.some_values_are_gt_zero()) after = Sign::SOME;
    float weight = node->task_or_method->weighting_factor;
    if (weight == 0.0f) after = Sign::NONE;
    if (!(weight >= 0.0f)) after = Sign::UNKNOWN;
    return false;
  }

  Scheduler& s;
  Schedule& schedule;
  DecisionPoint* dp;
  // The ancestors walked up to so far, of `height` in all.
  std::vector<DecisionPoint*> up;
  size_t height = 0;
  std::vector<DecisionPoint*> read_by_commitments;
  size_t real = 0;
  int counter_at_begin = 0;
  std::optional<NodeValues> kept_top;
  // The node below the first ancestor left out, as it was before the what-if.
  Contribution below_before;
};

#ifdef VELA_CHECK_WHAT_IF
// The checking build makes every shortened what-if also in full, from the same state, and
// stops at the first difference in what either leaves.
struct State {
  Distribution quality, cost, duration, base_quality, base_cost, base_duration;
  MyTime time = UNSET_TIME;
  int counter = 0;
  int locked = 0;
};

State state_of(DecisionPoint* node) {
  State x;
  x.quality = node->working_quality;
  x.cost = node->working_cost;
  x.duration = node->working_duration;
  x.base_quality = node->base_quality;
  x.base_cost = node->base_cost;
  x.base_duration = node->base_duration;
  x.time = node->time_task_or_method_gets_quality;
  x.counter = node->working_change_counter;
  x.locked = node->working_values_are_locked;
  return x;
}

void give(DecisionPoint* node, const State& x) {
  node->working_quality = x.quality;
  node->working_cost = x.cost;
  node->working_duration = x.duration;
  node->base_quality = x.base_quality;
  node->base_cost = x.base_cost;
  node->base_duration = x.base_duration;
  node->time_task_or_method_gets_quality = x.time;
  node->working_change_counter = x.counter;
  node->working_values_are_locked = x.locked;
  node->note_write();
}

class WhatIfCheck {
 public:
  explicit WhatIfCheck(Scheduler& s) : s(s) {
    collect(s.dp_to_meta_root);
    for (DecisionPoint* node : nodes) states.push_back(state_of(node));
    resources.duplicate_list_into_this_and_copy_items(s.working_resources, 1);
    combines = Distribution::report_total_number_of_combine_operations();
    counter = s.global_working_change_counter;
  }
  ~WhatIfCheck() { resources.delete_list(1); }

  struct After {
    std::vector<State> states;
    ResourceList resources;
    long combines = 0;
    long counts[4] = {0, 0, 0, 0};
    ~After() { resources.delete_list(1); }
  };

  void take(After& after, const long counts[4]) {
    for (DecisionPoint* node : nodes) after.states.push_back(state_of(node));
    after.resources.duplicate_list_into_this_and_copy_items(s.working_resources, 1);
    after.combines = Distribution::report_total_number_of_combine_operations() - combines;
    for (int k = 0; k < 4; k++) after.counts[k] = counts[k];
  }

  void restore() {
    for (size_t i = 0; i < nodes.size(); i++) give(nodes[i], states[i]);
    s.working_resources.duplicate_list_into_this_and_copy_items(resources, 1);
    Distribution::count_combine_operations(combines - Distribution::report_total_number_of_combine_operations());
    s.global_working_change_counter = counter;
  }

  void compare(const After& a, const After& b, DecisionPoint* dp) {
    const char* what = nullptr;
    for (size_t i = 0; i < nodes.size() && what == nullptr; i++) {
      const State& x = a.states[i];
      const State& y = b.states[i];
      if (!same_for_readers(x.quality, y.quality) || !same_for_readers(x.cost, y.cost) ||
          !same_for_readers(x.duration, y.duration) || !same_for_readers(x.base_quality, y.base_quality) ||
          !same_for_readers(x.base_cost, y.base_cost) || !same_for_readers(x.base_duration, y.base_duration))
        what = "values";
      else if (memcmp(&x.time, &y.time, sizeof(MyTime)) != 0)
        what = "time";
      else if (x.counter != y.counter)
        what = "mark";
      else if (x.locked != y.locked)
        what = "lock";
      if (what != nullptr) fprintf(stderr, "what-if check: %s of %s differ\n", what, nodes[i]->of_task_chars());
    }
    if (what == nullptr && a.combines != b.combines) what = "combines";
    for (int k = 0; what == nullptr && k < 4; k++)
      if (a.counts[k] != b.counts[k]) what = "commitment counts";
    if (what == nullptr && a.resources.length() != b.resources.length()) what = "resources";
    for (long k = 0; what == nullptr && k < a.resources.length(); k++) {
      const Resource* x = const_cast<ResourceList&>(a.resources).get(k);
      const Resource* y = const_cast<ResourceList&>(b.resources).get(k);
      if (x->state != y->state || x->being_used_per_time_unit != y->being_used_per_time_unit ||
          x->method_that_put_the_resource_into_a_bad_state != y->method_that_put_the_resource_into_a_bad_state ||
          x->number_of_time_units_resource_is_in_bad_state != y->number_of_time_units_resource_is_in_bad_state)
        what = "resources";
    }
    if (what != nullptr) {
      fprintf(stderr, "what-if check: %s differ for %s (combines %ld / %ld)\n", what, dp->of_task_chars(), a.combines,
              b.combines);
      abort();
    }
  }

 private:
  void collect(DecisionPoint* node) {
    if (node == nullptr || !seen.insert(node).second) return;
    nodes.push_back(node);
    for (long i = 0; i < node->subs.length(); i++) collect(node->subs.get(i));
  }
  Scheduler& s;
  std::vector<DecisionPoint*> nodes;
  std::vector<State> states;
  std::unordered_set<DecisionPoint*> seen;
  ResourceList resources;
  long combines = 0;
  int counter = 0;
};
#endif
}  // namespace

void Scheduler::determine_effect_on_commitments_of_adding_method_to_schedule(
    Schedule& schedule, Method* method, long& num_whatif_satisfied, long& num_whatif_violated,
    long& num_existing_satisfied, long& num_existing_violated) {
  DecisionPoint* dp = BasicTask::get_dp_of_task(method);
  ResourceList saved;
  CommitmentWhatIf what_if(*this, schedule, dp);
  bool on_path = what_if.take_path();
#ifdef VELA_CHECK_WHAT_IF
  if (on_path) {
    WhatIfCheck check(*this);
    WhatIfCheck::After shortened, full;
    what_if.begin(saved);
    long counts[4];
    tabulate_newly_violated_and_satisfied_local_commitments(schedule, counts[0], counts[1], counts[2], counts[3]);
    what_if.end(saved);
    saved.delete_list(1);
    check.take(shortened, counts);
    check.restore();
    on_path = false;
    see_what_happens_if_we_add_method_x_to_schedule(dp, saved);
    tabulate_newly_violated_and_satisfied_local_commitments(schedule, counts[0], counts[1], counts[2], counts[3]);
    undo_see_what_happens_if_we_add_method_x_to_schedule(dp, saved);
    saved.delete_list(1);
    check.take(full, counts);
    check.compare(shortened, full, dp);
    num_whatif_satisfied = counts[0];
    num_whatif_violated = counts[1];
    num_existing_satisfied = counts[2];
    num_existing_violated = counts[3];
    return;
  }
#endif
  if (on_path) {
    what_if.begin(saved);
  } else {
    see_what_happens_if_we_add_method_x_to_schedule(dp, saved);
  }
  tabulate_newly_violated_and_satisfied_local_commitments(schedule, num_whatif_satisfied, num_whatif_violated,
                                                          num_existing_satisfied, num_existing_violated);
  if (on_path) {
    what_if.end(saved);
  } else {
    undo_see_what_happens_if_we_add_method_x_to_schedule(dp, saved);
  }
  saved.delete_list(1);
}
