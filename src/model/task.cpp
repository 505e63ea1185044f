// Construction, ownership, the task list and the text forms of the task tree.
#include "model/task.h"

#include <strings.h>

#include <string>
#include <vector>

#include "foundation/combinatorics.h"
#include "foundation/fatal_stop.h"
#include "foundation/system_wrappers.h"
#include "foundation/tagged_new.h"
#include "model/nle.h"
#include "model/resource.h"
#include "scheduler/decision_point.h"

long Task_Creation_Counter = 0;

void reset_task_creation_counter() { Task_Creation_Counter = 0; }

namespace {
OnceOnlyFlag communications_leak_notice;

// Takes every occurrence of item out of the list, leaving the item alone.
void remove_every(TaskList& list, BasicTask* item) {
  while (list.item_is_in_list(item)) list.remove(item, 0);
}

const char* id_or_unbound(BasicTask* node) { return node != nullptr ? node->id.c_str() : "unbound"; }

// Ids joined by single blanks.
std::string joined_ids(TaskList& list) {
  std::string text;
  for (long i = 0; i < list.length(); i++) {
    if (i > 0) text += " ";
    text += list.get(i)->id;
  }
  return text;
}

// For each effect the id of the node at its other end.
std::string joined_effect_ends(NLEList* list, bool other_end_is_target) {
  std::string text;
  for (long i = 0; i < list->length(); i++) {
    NLE* e = list->get(i);
    if (i > 0) text += " ";
    text += id_or_unbound(other_end_is_target ? e->to : e->from);
  }
  return text;
}

std::string joined_resource_effect_ids(ResourceNLEList* list) {
  std::string text;
  for (long i = 0; i < list->length(); i++) {
    if (i > 0) text += " ";
    text += list->get(i)->id;
  }
  return text;
}
}  // namespace

// ---------------------------------------------------------------- TaskList

void TaskList::delete_function(void* item) { delete static_cast<BasicTask*>(item); }

bool TaskList::has_key(BasicTask* item, const char* key) {
  return item != nullptr && strcasecmp(item->id.c_str(), key) == 0;
}

void TaskList::report_missing_key(const char* key) {
  fprintf(stderr, "Warning - unable to locate task list member %s.\n", key);
}

void TaskList::print_task_ids_on_one_line(FILE* stream) {
  for (long i = 0; i < length(); i++) fprintf(stream, "%s ", get(i)->id.c_str());
}

void TaskList::string_print_task_ids_on_one_line(std::string& out) {
  for (long i = 0; i < length(); i++) {
    out += get(i)->id;
    out += " ";
  }
}

int TaskList::some_methods_use_multiple_outcomes_feature() {
  for (long i = 0; i < length(); i++) {
    if (get(i)->some_methods_use_multiple_outcomes_feature()) return 1;
  }
  return 0;
}

// ---------------------------------------------------------------- BasicTask

BasicTask::BasicTask()
    : dot_id(std::to_string(Task_Creation_Counter++)),
      affects_conceptually(new ("BasicTask::BasicTask") NLEList),
      affects_actually(new ("BasicTask::BasicTask") NLEList),
      affected_by_conceptually(new ("BasicTask::BasicTask") NLEList),
      affected_by_actually(new ("BasicTask::BasicTask") NLEList),
      affects_resource(new ("BasicTask::BasicTask") ResourceNLEList),
      affected_by_resource(new ("BasicTask::BasicTask") ResourceNLEList) {}

BasicTask::~BasicTask() {
  // A subtask goes with its last supertask; one still reached from elsewhere lives on.
  std::vector<BasicTask*> subs = subtasks.distinct_items("BasicTask::~BasicTask");
  subtasks.delete_list(0);
  for (BasicTask* sub : subs) {
    remove_every(sub->supertasks, this);
    if (sub->supertasks.length() == 0) delete sub;
  }
  // Deleted while still linked from above: the supertasks must not keep a dangling link.
  for (BasicTask* super : supertasks.distinct_items("BasicTask::~BasicTask"))
    remove_every(super->subtasks, this);
  supertasks.delete_list(0);

  affects_conceptually->delete_list(1);
  affects_actually->delete_list(1);
  // The effects aimed here outlive this node (their sources own them): they must not
  // reach back into it.
  for (NLEList* aimed_here : {affected_by_conceptually, affected_by_actually}) {
    for (long i = 0; i < aimed_here->length(); i++) {
      NLE* e = aimed_here->get(i);
      if (e->to == this) e->to = nullptr;
    }
  }
  affected_by_conceptually->delete_list(0);
  affected_by_actually->delete_list(0);
  affects_resource->delete_list(1);
  affected_by_resource->delete_list(1);
  delete affects_conceptually;
  delete affects_actually;
  delete affected_by_conceptually;
  delete affected_by_actually;
  delete affects_resource;
  delete affected_by_resource;

  communications.delete_list(0, nullptr);
  if (communications_leak_notice.first_time()) {
    print_leak_warning(stderr, "BasicTask (in the destructor, UnorderedList class)");
  }
  attributes.delete_list(0);
  imported_attributes.delete_list(1);
}

void BasicTask::calculate_current_quality_for_task(Distribution& d) { d.append(1.0f, 1.0f); }

const char* BasicTask::type_to_string() const {
  switch (task_type) {
    case VORNA_METHOD:
      return "vorna method";
    case VORNA_TASK_GROUP:
      return "vorna task-group";
    case VORNA_TASK:
      return "vorna task";
    default:
      return "unspecified task type";
  }
}

const char* BasicTask::qaf_to_string() const {
  switch (qaf) {
    case VORNA_SUM:
      return "sum()";
    case VORNA_MAX:
      return "max()";
    case VORNA_MIN:
      return "min()";
    case VORNA_ONLY_ONE:
      return "only_one()";
    case VORNA_SIGMOID:
      return "sigmoid()";
    case VORNA_SUM_ALL:
      return "sum_all()";
    case VORNA_SEQ_SUM:
      return "seq_sum()";
    case VORNA_SEQ:
      return "seq()";
    case VORNA_SEQ_MIN:
      return "seq_min()";
    case VORNA_SEQ_MAX:
      return "seq_max()";
    default:
      return "none()";
  }
}

const char* BasicTask::method_qaf_to_string(Method_QualityAF q) {
  switch (q) {
    case METHOD_ANYTIME_QAF:
      return "anytime";
    case METHOD_REGULAR_QAF:
      return "regular method";
    default:
      return "undefined";
  }
}

const std::string dp_attribute_key = DP_ATTRIBUTE_KEY;

void BasicTask::set_dp_of_task(DecisionPoint* dp) {
  attributes.add(dp_attribute_key, dp);
  dp_of_this_task = dp;
}

void BasicTask::set_deadlines_and_earliest_from_task_group_if_not_set(TaskGroup*) {
  error_exit("set_deadlines_and_earliest_from_task_group_if_not_set is depricated.\n", 1);
}

int BasicTask::verify_task_to_dp_links_and_vice_versa() {
  DecisionPoint* dp = get_dp_of_task(this);
  if (dp == nullptr) {
    fprintf(stderr, "Error, task points to a null dp.  Task follows:\n");
    print(stderr);
    return 0;
  }
  if (dp->task_or_method == nullptr) {
    fprintf(stderr, "Error, dp does not point to a task.  Task follows:\n");
    print(stderr);
    return 0;
  }
  if (dp->task_or_method != this) {
    fprintf(stderr, "Error, task points to a dp that does not point back to it.\n");
    fprintf(stderr, "Task and DP follow:\n");
    print(stderr);
    fprintf(stderr, "DP of task %s (at %ld)\n", dp->of_task.c_str(), reinterpret_cast<long>(dp));
    return 0;
  }
  if (dp->subs.length() != subtasks.length()) {
    fprintf(stderr, "Error, task and dp have different # of subs.  They follow:\n");
    print(stderr);
    fprintf(stderr, "DP of task %s (at %ld)\n", dp->of_task.c_str(), reinterpret_cast<long>(dp));
    return 0;
  }
  for (long i = 0; i < subtasks.length(); i++) {
    BasicTask* sub = subtasks.get(i);
    if (!sub->verify_task_to_dp_links_and_vice_versa() || !dp->subs.in_list(get_dp_of_task(sub))) {
      fprintf(stderr, "Error with the children of the following task and the following dp:\n");
      print(stderr);
      fprintf(stderr, "DP of task %s (at %ld)\n", dp->of_task.c_str(), reinterpret_cast<long>(dp));
      return 0;
    }
  }
  fprintf(stderr, "BasicTask %s (at %ld) and its associated dp %s (at %ld) are fine.\n", id.c_str(),
          reinterpret_cast<long>(this), dp->of_task.c_str(), reinterpret_cast<long>(dp));
  return 1;
}

// ---------------------------------------------------------------- printing

void BasicTask::print(FILE* stream) { BasicTask::print(stream, " "); }

void BasicTask::print(FILE* stream, const char* indent) { print_common_lines(stream, indent); }

void BasicTask::print_common_lines(FILE* stream, const char* indent) {
  fprintf(stream, "%sTask ID %s of agent %s\n", indent, id.c_str(), owner_agent.c_str());
  fprintf(stream, "%s        Unique ID %s\n", indent, dot_id.c_str());
  fprintf(stream, "%s        Address in memory is %ld\n", indent, reinterpret_cast<long>(this));
  fprintf(stream, "%s       Address of dp if available %ld\n", indent, reinterpret_cast<long>(get_dp_of_task(this)));
  fprintf(stream, "%s       Child index number %ld.\n", indent, i_am_child_number);
  fprintf(stream, "%s        Type %s\n", indent, type_to_string());
  fprintf(stream, "%s        Arrival time %f\n", indent, arrival);
  fprintf(stream, "%s        qaf %s\n", indent, qaf_to_string());
  fprintf(stream, "%s        weighting factor %f\n", indent, weighting_factor);
  fprintf(stream, "%s        sigmoid dist:", indent);
  sigmoid_function_if_qaf_is_sigmoid.print(stream);
  fprintf(stream, "%s        Deadline %f\n", indent, deadline);
  fprintf(stream, "%s        Earliest Start Time %f\n", indent, earliest_start_time);
  fprintf(stream, "%s        Immediate supers names: %s\n", indent, joined_ids(supertasks).c_str());
  fprintf(stream, "%s        Immediate subs names: %s\n", indent, joined_ids(subtasks).c_str());
  TaskList collected;
  list_all_descendants_not_methods(collected);
  fprintf(stream, "%s        All subs who are not methods : %s\n", indent, joined_ids(collected).c_str());
  collected.delete_list(0);
  list_all_methods_for_task(collected);
  fprintf(stream, "%s        All methods for task : %s\n", indent, joined_ids(collected).c_str());
  collected.delete_list(0);
  fprintf(stream, "%s        NLEs from conceptually : %s\n", indent,
          joined_effect_ends(affects_conceptually, true).c_str());
  fprintf(stream, "%s        NLEs from actually : %s\n", indent, joined_effect_ends(affects_actually, true).c_str());
  fprintf(stream, "%s        NLEs to conceptually : %s\n", indent,
          joined_effect_ends(affected_by_conceptually, false).c_str());
  fprintf(stream, "%s        NLEs to actually : %s\n", indent,
          joined_effect_ends(affected_by_actually, false).c_str());
  fprintf(stream, "%s        NLEs to resources: %s\n", indent, joined_resource_effect_ids(affects_resource).c_str());
  fprintf(stream, "%s        NLEs from resources: %s\n", indent,
          joined_resource_effect_ids(affected_by_resource).c_str());
}

void BasicTask::print_hierarchy(FILE* stream, int level) {
  for (int i = 0; i < level; i++) fprintf(stream, "    ");
  fprintf(stream, "%s belonging to %s of type %d\n", id.c_str(), owner_agent.c_str(), static_cast<int>(task_type));
  for (long i = 0; i < subtasks.length(); i++) subtasks.get(i)->print_hierarchy(stream, level + 1);
}

void BasicTask::print_detailed_hierarchy(FILE* stream, int level) {
  std::string indent(static_cast<size_t>(level > 0 ? level : 0) * 4, ' ');
  print(stream, indent.c_str());
  for (long i = 0; i < subtasks.length(); i++) subtasks.get(i)->print_detailed_hierarchy(stream, level + 1);
}

// ---------------------------------------------------------------- TaskGroup, Task

TaskGroup::TaskGroup() { task_type = VORNA_TASK_GROUP; }

void TaskGroup::print(FILE* stream, const char* indent) {
  BasicTask::print(stream, indent);
  fprintf(stream, "%s        Importance: %d\n", indent, importance);
}

void TaskGroup::print(FILE* stream) {
  BasicTask::print(stream, " ");
  fprintf(stream, " Importance: %d\n", importance);
}

void TaskGroup::calculate_current_quality_for_task(Distribution& d) {
  BasicTask::calculate_current_quality_for_task(d);
}

Task::Task() { task_type = VORNA_TASK; }

void Task::calculate_current_quality_for_task(Distribution& d) { BasicTask::calculate_current_quality_for_task(d); }

// ---------------------------------------------------------------- Method

Method::Method() { task_type = VORNA_METHOD; }

Method::~Method() { outcomes.delete_list(1); }

void Method::calculate_current_quality_for_task(Distribution&) {}

void Method::print(FILE* stream, const char* indent) {
  BasicTask::print(stream, indent);
  fprintf(stream, "%s        Finished %s\n", indent, boolean_to_string(method_is_complete));
  fprintf(stream, "%s        Start %f End %f Accrued %f\n", indent, start_time, finish_time, accrued_time);
  fprintf(stream, "%s        Method QAF %s\n", indent, method_qaf_to_string(qaf));
  fprintf(stream, "%s        %% Duration used: %.2f\n", indent, percentage_of_duration_used_by_cpu);
  fprintf(stream, "%s        Outcomes:\n", indent);
  outcomes.print(stream);
  fprintf(stream, "%s        Current or final outcome:\n", indent);
  current_or_final_outcome.print(stream);
  fprintf(stream, "%s        Perform earlier if possible? %d\n", indent, perform_earlier_if_possible);
  fprintf(stream, "%s        Perform later if possible? %d\n", indent, perform_later_if_possible);
  fprintf(stream, "%s         Method is local: %d which is ", indent, method_is_local);
  fprintf(stream, method_is_local != 0 ? "true.\n" : "false.\n");
}

void Method::print(FILE* stream) {
  BasicTask::print(stream, " ");
  fprintf(stream, " Complete? %s\n", boolean_to_string(method_is_complete));
  fprintf(stream, " Start %f End %f Accrued %f\n", start_time, finish_time, accrued_time);
  fprintf(stream, " Method QAF %s\n", method_qaf_to_string(qaf));
  fprintf(stream, "  %% Duration used: %.2f\n", percentage_of_duration_used_by_cpu);
  fprintf(stream, " Outcomes:\n");
  outcomes.print(stream);
  fprintf(stream, " Current or final outcome:\n");
  current_or_final_outcome.print(stream);
  fprintf(stream, " Perform earlier if possible? %d\n", perform_earlier_if_possible);
  fprintf(stream, " Perform later if possible? %d\n", perform_later_if_possible);
  fprintf(stream, "  Method is local: %d which is ", method_is_local);
  fprintf(stream, method_is_local != 0 ? "true.\n" : "false.\n");
}

void Method::list_all_method_siblings(TaskList& out) {
  for (long i = 0; i < supertasks.length(); i++) supertasks.get(i)->list_all_methods_for_task(out);
}

void Method::reset_for_new_run() {
  method_is_complete = 0;
  start_time = UNSET_TIME;
  finish_time = UNSET_TIME;
  accrued_time = UNSET_TIME;
  current_or_final_outcome.quality.delete_all();
  current_or_final_outcome.cost.delete_all();
  current_or_final_outcome.duration.delete_all();
  index_of_current_or_final_outcome = -1;
}
