// The task tree: task groups at the roots, interior tasks and methods (the executable
// leaves), with their timing limits, quality accumulation, effects, attributes and links.
//
// Ownership: a node may stand under several supertasks, even in two task groups. A node's
// destructor takes itself out of each subtask's `supertasks` and deletes a subtask only
// when that list has become empty, so every node is freed exactly once, by the last of its
// supertasks to go. Walks assume the links form no cycle (the reader rejects cyclic files).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/association_list.h"
#include "foundation/list.h"
#include "foundation/shared_types.h"
#include "foundation/typed_list.h"
#include "model/distribution.h"
#include "model/outcome.h"

class NLE;
class NLEList;
class ResourceNLEList;
class ResourceList;
class DecisionPoint;
class BasicTask;
class TaskGroup;
class Method;

enum TaskType {
  VORNA_TASK_UNDEFINED = -9,
  VORNA_METHOD = 1,
  VORNA_TASK_GROUP = 2,
  VORNA_TASK = 3,
};

// How a method's own quality accrues.
enum Method_QualityAF {
  METHOD_EMPTY_QAF = -9,
  METHOD_ANYTIME_QAF = 1,
  METHOD_REGULAR_QAF = 2,
};

// Results a method hands back after it ran; nothing in the system fills them yet.
using ResultType = void*;

// The attribute key under which a node keeps its decision point.
constexpr const char* DP_ATTRIBUTE_KEY = "get_me_the_dp_for_this_task";
// The same key made once: lookups run for every node of every rating, and a node's
// destructor must not allocate.
extern const std::string dp_attribute_key;

// Numbers the nodes in creation order; a node's `dot_id` is its value at construction.
extern long Task_Creation_Counter;
void reset_task_creation_counter();

class TaskList : public TypedList<TaskList, BasicTask> {
 public:
  static constexpr const char* access_text = "TaskList access function";
  static constexpr bool adds_at_front = false;
  static void delete_function(void* item);
  static bool has_key(BasicTask* item, const char* key);
  static void report_missing_key(const char* key);

  // Each id followed by a blank ("%s ").
  void print_task_ids_on_one_line(FILE* stream);
  void string_print_task_ids_on_one_line(std::string& out);
  // 1 when any listed node has, at or under it, a method with more than one outcome.
  int some_methods_use_multiple_outcomes_feature();
};

class BasicTask {
 public:
  BasicTask();
  virtual void print(FILE* stream, const char* indent);
  virtual ~BasicTask();
  virtual void print(FILE* stream);
  // Task groups and tasks append the pair (1.0, 1.0); methods do nothing.
  virtual void calculate_current_quality_for_task(Distribution& d) = 0;

  BasicTask(const BasicTask&) = delete;
  BasicTask& operator=(const BasicTask&) = delete;

  const TaskID& return_id() const { return id; }
  const char* type_to_string() const;
  const char* qaf_to_string() const;
  static const char* method_qaf_to_string(Method_QualityAF q);

  // Relations by pointer identity, walking the links.
  int is_ancestor(BasicTask* n);
  int is_descendant(BasicTask* n);
  int is_directly_related(BasicTask* n);

  // Collections: append to the caller's list, repeats kept.
  void list_all_ancestors(TaskList& out);
  void list_all_descendants(TaskList& out);
  void list_all_descendants_not_methods(TaskList& out);
  void list_all_methods_for_task(TaskList& out);
  // The same methods, each once however many paths reach it, in first-reached order.
  void list_each_method_for_task_once(TaskList& out);

  // The decision point stored in the node's attributes; null for a null node or none stored.
  static DecisionPoint* get_dp_of_task(BasicTask* task) { return task != nullptr ? task->dp_of_this_task : nullptr; }
  // Stores the node's decision point under its attribute key, and keeps it at hand for the
  // reads above, which come on every visit of the node.
  void set_dp_of_task(DecisionPoint* dp);
  int some_methods_use_multiple_outcomes_feature();
  // Withdrawn: stops the program.
  [[noreturn]] void set_deadlines_and_earliest_from_task_group_if_not_set(TaskGroup* tg);
  // Checks this node and everything under it against the decision-point tree; 1 when all agree.
  int verify_task_to_dp_links_and_vice_versa();

  void print_hierarchy(FILE* stream, int level);
  void print_detailed_hierarchy(FILE* stream, int level);

  void propagate_deadlines_and_earliest_from_task_to_subs_only_then_recurse();
  void propagate_deadlines_and_earliest_from_task_to_children();
  float calc_sigmoid_multiplier(float x);
  // Copies e onto every method under its target, once per method (binder step).
  static void propagate_nle_to_all_methods(NLE* e);
  // Every method at or under this node forgets its last run.
  void running_new_exp_reset_tg();

  // The hierarchy display through the graph layout tool (hierarchy_display.cpp).
  void display_hierarchy_via_dot(const char* extra);
  void display_hierarchy_via_dot(const char* extra, ResourceList& resources);
  void continue_display_hierarchy_via_dot(long level, FILE* out);
  void display_affects_for_task_hierarchy_via_dot(FILE* out);
  void display_resources_via_dot(FILE* out, ResourceList& resources);
  void display_resource_nles_via_dot(FILE* out);
  // The edges from this node to its subtasks, the first labelled with the qaf.
  void display_sub_edges_via_dot(FILE* out);

  // What every visit of the scheduler's recomputation of working values reads of the
  // node comes first, on one cache line.
  TaskType task_type = VORNA_TASK_UNDEFINED;
  VORNA_QualityAF qaf = VORNA_EMPTY_QAF;
  Value weighting_factor = 1.0f;
  // What the attribute under DP_ATTRIBUTE_KEY holds; written only with it, by set_dp_of_task.
  DecisionPoint* dp_of_this_task = nullptr;
  // The scheduler's decision points of this node, one per path from a task group, in the
  // order they were made (the attribute names the last); each leaves the list when freed.
  std::vector<DecisionPoint*> dps_of_task;
  MyTime arrival = UNSET_TIME;
  AgentID owner_agent = EMPTY_ID;
  TaskID id = EMPTY_ID;
  ID dot_id;
  // Pairs of (threshold in the density slot, multiplier in the value slot).
  Distribution sigmoid_function_if_qaf_is_sigmoid;
  MyTime deadline = UNSET_TIME;
  MyTime earliest_start_time = UNSET_TIME;
  long i_am_child_number = -1;
  // Effects from this node as written and as copied onto methods (owned), effects to this
  // node as written and the copies aimed at this method (shared; a freed effect leaves them).
  NLEList* affects_conceptually;
  NLEList* affects_actually;
  NLEList* affected_by_conceptually;
  NLEList* affected_by_actually;
  // Resource effects from and to this node (owned).
  ResourceNLEList* affects_resource;
  ResourceNLEList* affected_by_resource;
  UnorderedList communications;
  AssociationList attributes;
  StringAssociationList imported_attributes;
  TaskList subtasks;
  TaskList supertasks;

 protected:
  void print_common_lines(FILE* stream, const char* indent);
};

class TaskGroup : public BasicTask {
 public:
  TaskGroup();
  void print(FILE* stream, const char* indent) override;
  ~TaskGroup() override = default;
  void print(FILE* stream) override;
  void calculate_current_quality_for_task(Distribution& d) override;

  int importance = 0;
};

class Task : public BasicTask {
 public:
  Task();
  ~Task() override = default;
  void calculate_current_quality_for_task(Distribution& d) override;
};

class Method : public BasicTask {
 public:
  Method();
  void print(FILE* stream, const char* indent) override;
  ~Method() override;
  void print(FILE* stream) override;
  void calculate_current_quality_for_task(Distribution& d) override;

  // list_all_methods_for_task of each supertask in turn (so this method is included).
  void list_all_method_siblings(TaskList& out);
  // Forgets the last run: not complete, no times, empty current outcome.
  void reset_for_new_run();

  OutcomeList outcomes;
  Outcome current_or_final_outcome;
  long index_of_current_or_final_outcome = -1;
  Density percentage_of_duration_used_by_cpu = 1.0f;
  MyTime start_time = UNSET_TIME;
  MyTime finish_time = UNSET_TIME;
  MyTime accrued_time = UNSET_TIME;
  // The method's own accrual; BasicTask::qaf stays the node's accumulation function.
  Method_QualityAF qaf = METHOD_EMPTY_QAF;
  int method_is_complete = 0;
  int method_is_local = 1;
  ResultType results = nullptr;
  int perform_earlier_if_possible = 0;
  int perform_later_if_possible = 0;
  int preference_is_strong = 0;
};
