// The scheduler's mirror node of a task: one per task or method (one per path for a task
// under several parents), carrying what the scheduler works out for it: alternatives,
// commitments, the methods under it, the combined outcome of a method, potential and
// working quality, cost and duration, and its own copies of the effects that touch it.
//
// The model reads a node in three narrow places (an effect reads its source's working
// quality and quality time, a commitment keeps the nodes of its tasks, a task finds its
// node through its attributes). Those reads use fields only; everything that runs code
// is defined in the scheduler library, which the model and language libraries never
// link against.
#pragma once

#include <cstdio>
#include <string>

#include "foundation/shared_types.h"
#include "foundation/typed_list.h"
#include "model/commitment.h"
#include "model/distribution.h"
#include "model/outcome.h"
#include "model/task.h"
#include "scheduler/alternative.h"
#include "scheduler/task_fold_memo.h"
#include "scheduler/working_step_memo.h"

class NLEList;
class DecisionPoint;
class Scheduler;
class Schedule;

class DecisionPointList : public TypedList<DecisionPointList, DecisionPoint> {
 public:
  static constexpr const char* access_text = "DecisionPointList access function";
  static constexpr bool adds_at_front = true;
  // Frees the node with its whole subtree.
  static void delete_function(void* item);
  // Node names are compared exactly.
  static bool has_key(DecisionPoint* item, const char* key);

  void print(FILE* stream);
};

// A method node's own values, kept across a what-if so that its undo gives them back
// exactly: a node locked with a promised result keeps it, an unplaced one its 100% zero.
// Named as on the node, so one copy serves both ways.
struct MethodNodeValues {
  Distribution working_quality;
  Distribution working_cost;
  Distribution working_duration;
  Distribution base_quality;
  Distribution base_cost;
  Distribution base_duration;
  MyTime time_task_or_method_gets_quality = UNSET_TIME;
  // The versions of the node's six when they were kept, in the order above: given back,
  // they take them again.
  unsigned long long versions[6] = {0, 0, 0, 0, 0, 0};
};

// The values kept by the what-ifs still open, the latest last. An entry stays for the
// next what-if once its own is undone: keeping values then makes no new distributions.
class OpenWhatIfValues {
 public:
  MethodNodeValues& push() {
    if (open == kept.size()) kept.emplace_back();
    return kept[open++];
  }
  MethodNodeValues& latest() { return kept[open - 1]; }
  void pop() { open--; }
  bool empty() const { return open == 0; }

 private:
  std::vector<MethodNodeValues> kept;
  size_t open = 0;
};

class DecisionPoint {
 public:
  DecisionPoint();
  // Frees the alternatives, the effect copies this node made and the child nodes (a child
  // still reached from another parent stays). The node leaves its parents' lists, and its
  // task's attribute when that still names it, so no lookup returns a freed node.
  ~DecisionPoint();
  DecisionPoint(const DecisionPoint&) = delete;
  DecisionPoint& operator=(const DecisionPoint&) = delete;

  const TaskID& get_of_task() const { return of_task; }
  BasicTask* get_task_or_method() const { return task_or_method; }
  MyTime get_time_task_or_method_gets_quality() const { return time_task_or_method_gets_quality; }
  Distribution& get_working_quality() { return working_quality; }
  Outcome* get_combined_outcomes() const { return combined_outcomes; }
  const char* of_task_chars() const { return of_task.c_str(); }
  bool is_method_node() const { return method_node; }
  void set_task_or_method(BasicTask* task) {
    task_or_method = task;
    method_node = task != nullptr && task->task_type == VORNA_METHOD;
  }

  // ---- the nodes of one task: decision_point.cpp ----
  // A task under several parents has a node per path, yet it is one task: every node
  // carries the same working values, lock and quality time. The builders set them on the
  // node the task's attribute names and share them from there.
  bool task_has_other_nodes() const;
  void share_working_values_with_the_other_nodes_of_task();
  void take_working_values_of(DecisionPoint& from);
  // After a builder set the working values (or only the quality): they become the base.
  void take_working_values_as_base();
  void take_working_quality_as_base();
  void keep_values_in(MethodNodeValues& kept);
  // Gives the node (and the other nodes of its task) the kept values back.
  void give_back_values(const MethodNodeValues& kept);
  // Every node of this node's task; this one alone when the task keeps no list.
  template <class F>
  void for_each_node_of_task(F&& f) {
    if (!task_has_other_nodes()) {
      f(this);
      return;
    }
    for (DecisionPoint* node : task_or_method->dps_of_task) f(node);
  }

  // ---- building: decision_point_tree.cpp ----
  // Both halves in one call, for a tree whose effects stay inside the trees built so far.
  void create_parallel_dp_tree_for_task_structure(BasicTask* root, UncertaintyModeSetting mode, Scheduler* s);
  // Step one: this node and a new node under it for every subtask, each stored in its task.
  void mirror_task_structure_into_dp_tree(BasicTask* root, UncertaintyModeSetting mode, Scheduler* s);
  // The rest, on a mirrored root, once every tree of the round is mirrored: methods
  // gathered, effects copied, outcomes combined, potentials, working values, quality times.
  void complete_dp_tree_after_mirroring(UncertaintyModeSetting mode, Scheduler* s);
  void gather_methods_for_task_record_at_all_dp_subs_too();
  void complete_initialization_by_perculating_all_method_qualities_up_tree();
  void check_supers_for_newly_acquired_quality(MyTime t);
  void revise_potentials_of_subs_to_reflect_quality_from_commitment_satisfaction_if_appropriate();
  // Depth first, each node added at the front before its own descendants (ancestors).
  void list_all_descendants(DecisionPointList& out);
  void list_all_ancestors(DecisionPointList& out);

  // ---- checks, prints and sizes: decision_point.cpp ----
  void verify_dp_to_task_links_and_vice_versa();
  void print(FILE* stream, int without_alternatives);
  void print_detailed_hierarchy(FILE* stream, int without_alternatives);
  void print_hierarchy(FILE* stream, long depth);
  void print_hierarchy_with_potentials(FILE* stream, long depth);
  long memory_used_by_distributions();
  void print_sizeof();
  void print_sizeof_recursively();

  // What every visit of the recomputation of working values reads comes first, on a few
  // adjacent cache lines: the task, the counter, the lock, the kind of node, the children,
  // the quality time, the placement log's marks and what a check of the step record reads.
  // Set through set_task_or_method, which keeps method_node right.
  BasicTask* task_or_method = nullptr;
  // The generation of the scheduler's counter at which the working values were computed.
  int working_change_counter = 0;
  int working_values_are_locked = 0;
  // Whether task_or_method is a method.
  bool method_node = false;
  // A method whose step reads effect sources, as of the build.
  bool shape_reads_sources = false;
  int have_gathered_methods_for_task = 0;
  // Children at the front: the reverse of the task's subtask order.
  DecisionPointList subs;
  // Not yet: the task has no quality at any time so far.
  MyTime time_task_or_method_gets_quality = UNSET_TIME;
  // The end of the schedule the node's last step read.
  MyTime end_at_last_step = UNSET_TIME;
  // The version of the last write to anything a step reads of the node: its distributions
  // report here, and each write of its quality time calls note_write().
  unsigned long long last_write = 0;
  // last_write as the node's last step left it (or as a what-if's visit found it locked).
  unsigned long long left_write = 0;
  void note_write() { last_write = Distribution::new_version(); }
  // The pass of the what-if memo in whose chain the node stands: its steps there read
  // what the what-if changes, so they are made and not recorded.
  long what_if_chain_pass = 0;
  // The node's visit in the log of a placement's first recomputation: its pass, where it
  // starts and ends, whether every visit in it left its node settled, and the ends of the
  // schedule at which every step in it reads what it read then.
  long placement_log_pass = 0;
  long placement_log_start = 0;
  long placement_log_end = 0;
  bool placement_log_settled = false;
  MyTime placement_log_ends_from = 0;
  MyTime placement_log_ends_to = 0;
  // The last step of the working values made under a step memo.
  WorkingStepRecord step_record;
  // Quality other agents promised for this task: a check of the record reads its version.
  Distribution communicated_quality;
  // What the last visit of the subtree under the what-ifs' or the placements' memo found:
  // whether every step in it gave back or made its record and left its node settled, the
  // mode, the latest version at its end, and the ends of the schedule at which every step
  // in it reads what it read then.
  bool subtree_settled = false;
  UncertaintyModeSetting subtree_mode = SCHEDULE_USING_UNCERTAINTY;
  unsigned long long subtree_version = 0;
  MyTime subtree_ends_from = 0;
  MyTime subtree_ends_to = 0;
  // The memo pass in which a walk of the subtree found it written since.
  long subtree_stopped_in_pass = 0;
  // The tree's shape as of the build: the node's index in a walk from the meta root and
  // the index after its subtree.
  long shape_stamp = 0;
  long shape_index = 0;
  long shape_end = 0;
  BasicTask* task_group_root = nullptr;
  DecisionPoint* dp_of_task_group_root = nullptr;
  TaskID of_task = EMPTY_ID;
  DecisionPointList supers;
  // Owned.
  AlternativeList alternatives;
  // Not owned.
  CommitmentList commitments;
  // Every method at or under this node and their nodes, in gathering order; not owned.
  TaskList methods_for_task;
  DecisionPointList dps_for_methods_for_task;
  float method_rating = 0.0f;
  Distribution potential_cost;
  Distribution potential_quality;
  Distribution potential_duration;
  // What a recomputation makes of the node.
  Distribution working_cost;
  Distribution working_quality;
  Distribution working_duration;
  // A task node's last fold of its children, from which the next one resumes.
  TaskFoldMemo fold_memo;
  // A method node's values as the builders last gave them (100% zero while unplaced, the
  // combined outcome while placed or tried); each recomputation applies the node's effects
  // to these, so recomputing again gives the same working values.
  Distribution base_cost;
  Distribution base_quality;
  Distribution base_duration;
  int is_enabler_in_current_schedule = 0;
  // Points at one of the next two, by the uncertainty mode of the build.
  Outcome* combined_outcomes = nullptr;
  Outcome combined_outcomes_uncertainty;
  Outcome combined_outcomes_expected_value;
  // A method that already ran: its values are pinned for the life of the tree.
  int working_values_are_always_locked = 0;
  MyTime earliest_method_may_be_scheduled = UNSET_TIME;
  // Whether a method under the node's task still waits, as of the scheduler's memo stamp.
  long still_waits_stamp = 0;
  bool still_waits = false;
  // What the commitment what-if last found of the node's children, and the round, counter,
  // end of schedule and version of the scheduler it holds for.
  struct ChildrenSummary {
    long stamp = 0;
    int counter = 0;
    MyTime end = 0.0f;
    long version = 0;
    long unsettled = 0;  // out of date and not locked, or without values
    long without_quality = 0;
    long with_negative_quality = 0;
    long untimed_with_quality = 0;
    long not_in_time = 0;  // no quality time, or one after the end
  } children_summary;
  // The node owns the copies in affects_actually; affected_by_actually shares them.
  NLEList* affects_actually;
  // How many of those copies the count of task nodes' copies holds for this node.
  long counted_task_effect_copies = 0;
  NLEList* affected_by_actually;
  // What a rating's commitment what-if and sequence check keep of the node within a round
  // of ratings (the stamp): the node's path up, and what the walk above it found.
  struct PathUp {
    long stamp = 0;
    // The node and every ancestor stand for a task and have at most one parent.
    bool single = false;
    long depth = 0;
    // The combines of the task steps of the node and every ancestor.
    long combines = 0;
  } path_up;
  // From the parent up, where the what-if's steps would first tell, the node holding its
  // own values and having each sign of quality; null when nowhere.
  struct StopAbove {
    long stamp = 0;
    int counter = 0;
    MyTime end = 0.0f;
    long version = 0;
    DecisionPoint* stop = nullptr;
  } stop_above[3];
  // What the sequence check keeps of the node within a round of ratings (the stamp) and
  // its schedule. Of a sequence node: the first subtask that still waits and the last that
  // has quality or a time.
  struct SequenceMemo {
    long stamp = 0;
    const Schedule* schedule = nullptr;
    long first_waiting = 0;
    long last_with_quality = -1;
    // The structure stamp under which the subtasks were given their places.
    long places_stamp = 0;
  } sequence_memo;
  // Where the node's task first sits among the subtasks of parent, as that parent's
  // sequence memo found it.
  struct PlaceInParent {
    long stamp = 0;
    const BasicTask* parent = nullptr;
    long position = -1;
  } place_in_parent;
  // Of the node's task: whether its supertasks make a single chain, and whether a sequence
  // is among its ancestors (next to what a rating reads after them).
  long task_above_stamp = 0;
  bool task_single_path = false;
  bool sequence_above = false;
  // Of a node on a single path up: whether a sequence above its task is out of order.
  struct BrokenAbove {
    long stamp = 0;
    const Schedule* schedule = nullptr;
    bool broken = false;
  } broken_above;
  // The greedy build (its structure stamp) and schedule in which no method under the
  // node's task waits any longer.
  long none_waits_stamp = 0;
  const Schedule* none_waits_schedule = nullptr;
  // Of a node whose task has one supertask, for task_above_stamp: that supertask, its node
  // and whether it is a sequence, next to what the sequence check reads of the node.
  BasicTask* task_above = nullptr;
  DecisionPoint* node_above = nullptr;
  bool task_above_is_sequence = false;
  // Whether any task node (not a method's) of any live tree holds an effect copy: when
  // none does, the nodes above a method have no outgoing effects to read.
  static bool some_task_node_has_outgoing_effects();

 private:
  void mirror_subtree(BasicTask* task, BasicTask* root, DecisionPoint* root_node, UncertaintyModeSetting mode);
  void copy_nles_into_subtree(UncertaintyModeSetting mode);
  void count_task_effect_copy();
  void combine_outcomes_in_subtree();
  void compute_potentials_of_methods(UncertaintyModeSetting mode);
  // A method node's potentials from its combined outcome and the effects that can help it.
  void compute_potentials(UncertaintyModeSetting mode);
};

inline bool DecisionPointList::has_key(DecisionPoint* item, const char* key) {
  return item != nullptr && item->of_task == key;
}

inline void DecisionPointList::print(FILE* stream) {
  for (long i = 0; i < length(); i++) fprintf(stream, "Dp points to task %s\n", get(i)->of_task.c_str());
  fflush(stream);
}
