// The walks over the task tree: relations, collections, propagation of times and
// effects, the sigmoid multiplier and the reset for a new run.
#include <cstdio>
#include <unordered_set>

#include "foundation/fatal_stop.h"
#include "model/nle.h"
#include "model/task.h"

int BasicTask::is_ancestor(BasicTask* n) {
  for (long i = 0; i < supertasks.length(); i++) {
    BasicTask* super = supertasks.get(i);
    if (super == n || super->is_ancestor(n)) return 1;
  }
  return 0;
}

int BasicTask::is_descendant(BasicTask* n) {
  for (long i = 0; i < subtasks.length(); i++) {
    BasicTask* sub = subtasks.get(i);
    if (sub == n || sub->is_descendant(n)) return 1;
  }
  return 0;
}

int BasicTask::is_directly_related(BasicTask* n) {
  return (n == this || is_ancestor(n) || is_descendant(n)) ? 1 : 0;
}

void BasicTask::list_all_ancestors(TaskList& out) {
  for (long i = 0; i < supertasks.length(); i++) {
    BasicTask* super = supertasks.get(i);
    out.append(super);
    super->list_all_ancestors(out);
  }
}

void BasicTask::list_all_descendants(TaskList& out) {
  for (long i = 0; i < subtasks.length(); i++) {
    BasicTask* sub = subtasks.get(i);
    out.append(sub);
    sub->list_all_descendants(out);
  }
}

void BasicTask::list_all_descendants_not_methods(TaskList& out) {
  for (long i = 0; i < subtasks.length(); i++) {
    BasicTask* sub = subtasks.get(i);
    if (sub->task_type == VORNA_METHOD) continue;
    out.append(sub);
    sub->list_all_descendants_not_methods(out);
  }
}

void BasicTask::list_all_methods_for_task(TaskList& out) {
  if (task_type == VORNA_METHOD) out.append(this);
  for (long i = 0; i < subtasks.length(); i++) subtasks.get(i)->list_all_methods_for_task(out);
}

void BasicTask::list_each_method_for_task_once(TaskList& out) {
  TaskList methods;
  list_all_methods_for_task(methods);
  std::unordered_set<BasicTask*> reached;
  for (long i = 0; i < methods.length(); i++) {
    BasicTask* method = methods.get(i);
    if (reached.insert(method).second) out.append(method);
  }
  methods.delete_list(0);
}

int BasicTask::some_methods_use_multiple_outcomes_feature() {
  TaskList methods;
  list_all_methods_for_task(methods);
  int found = 0;
  for (long i = 0; i < methods.length() && !found; i++) {
    found = static_cast<Method*>(methods.get(i))->outcomes.length() > 1 ? 1 : 0;
  }
  methods.delete_list(0);
  return found;
}

namespace {
// An earliest start only grows and a deadline only shrinks; unset values take the other's.
void tighten_times(BasicTask* from, BasicTask* to) {
  if (from->earliest_start_time != UNSET_TIME &&
      (to->earliest_start_time == UNSET_TIME || to->earliest_start_time < from->earliest_start_time)) {
    to->earliest_start_time = from->earliest_start_time;
  }
  if (from->deadline != UNSET_TIME && (to->deadline == UNSET_TIME || to->deadline > from->deadline)) {
    to->deadline = from->deadline;
  }
}
}  // namespace

void BasicTask::propagate_deadlines_and_earliest_from_task_to_subs_only_then_recurse() {
  for (long i = 0; i < subtasks.length(); i++) {
    BasicTask* sub = subtasks.get(i);
    tighten_times(this, sub);
    sub->propagate_deadlines_and_earliest_from_task_to_subs_only_then_recurse();
  }
}

void BasicTask::propagate_deadlines_and_earliest_from_task_to_children() {
  TaskList all;
  list_all_descendants(all);
  for (long i = 0; i < all.length(); i++) tighten_times(this, all.get(i));
  all.delete_list(0);
}

float BasicTask::calc_sigmoid_multiplier(float x) {
  if (qaf != VORNA_SIGMOID) {
    fatal_stop("Error, sigmoid multiplier function called for a task\n"
               " that does not use a sigmoid qaf.  Task id is %s.\n",
               id.c_str());
  }
  Distribution& table = sigmoid_function_if_qaf_is_sigmoid;
  if (table.length() == 0) {
    fatal_stop("Error, task has a sigmoid qaf but no function has been\n"
               " specified.  Task id is %s.\n",
               id.c_str());
  }
  // The largest threshold not above x; among equal thresholds the first stored wins.
  DistributionPair* kept = nullptr;
  for (long i = 0; i < table.length(); i++) {
    DistributionPair* pair = table.get(i);
    if (pair->density <= x && (kept == nullptr || pair->density > kept->density)) kept = pair;
  }
  return kept != nullptr ? kept->value : 1.0f;
}

void BasicTask::propagate_nle_to_all_methods(NLE* e) {
  // An unbound effect has no methods to reach and no source to own the copies.
  if (e == nullptr || e->from == nullptr || e->to == nullptr) {
    error_exit("BasicTask::propagate_.. got a NULL pointer\n", 1);
  }
  // A method reached by several paths (several supertasks, or a link written twice)
  // still gets one copy: the effect acts on it once.
  TaskList methods;
  e->to->list_each_method_for_task_once(methods);
  for (long i = 0; i < methods.length(); i++) {
    BasicTask* method = methods.get(i);
    NLE* copy = e->duplicate();
    copy->to = method;
    method->affected_by_actually->add(copy);
    e->from->affects_actually->add(copy);
  }
  methods.delete_list(0);
}

void BasicTask::running_new_exp_reset_tg() {
  TaskList methods;
  list_all_methods_for_task(methods);
  for (long i = 0; i < methods.length(); i++) static_cast<Method*>(methods.get(i))->reset_for_new_run();
  methods.delete_list(0);
}
