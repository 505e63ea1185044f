// The conditional-branch analysis: a schedule's quality recomputed by following every
// branch of success and failure of its methods, in order. A method that may end with
// zero quality splits the future into a path on which it failed and one on which it
// succeeded; each complete path ends in a leaf holding the task groups' quality on it, and
// the leaves, weighted by their path probabilities, make the new quality distribution.
// Schedules with slack, partial cpu shares, several outcomes, weighting factors other
// than 1.0 or a quality raised by kept commitments keep their builder's estimate.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/shared_types.h"
#include "foundation/typed_list.h"
#include "model/distribution.h"
#include "scheduler/working_step_memo.h"

class CBranch;
class DecisionPoint;
class Method;
class ResourceList;
class Schedule;
class ScheduleElement;
class Scheduler;

// `add` puts a node at the front; names are compared exactly. The list never owns its
// nodes: the analyzer does.
class CBranchList : public TypedList<CBranchList, CBranch> {
 public:
  static constexpr const char* access_text = "CBranchList access function";
  static constexpr bool adds_at_front = true;
  static void delete_function(void* item);
  static bool has_key(CBranch* item, const char* key);
};
void cbranch_delete_function(void* item);

// One method of the schedule under one history of earlier successes and failures.
class CBranch {
 public:
  CBranch() = default;
  // The children are only let go: the analyzer owns every node.
  ~CBranch() { nexts.empty_list(); }
  CBranch(const CBranch&) = delete;
  CBranch& operator=(const CBranch&) = delete;

  void print(FILE* fp);

  // The method's id, "." and the branch that led here.
  TaskID for_task = EMPTY_ID;
  // Of the whole path from the root.
  Density prob_of_this_branch = 0.0f;
  Distribution branchq;
  Distribution branchc;
  Distribution branchd;
  Distribution branch_ft;
  CBranch* prev = nullptr;
  CBranchList nexts;
  // The quality over all task groups (the meta root's) once this method has run.
  Distribution q_at_tg_after_this_scheduled;
  DecisionPoint* ptr_to_dp = nullptr;
};

class CBranchAnalyzer {
 public:
  // Above this many leaves a schedule keeps its builder's estimate: every leaf costs two
  // recomputations of the whole tree.
  static constexpr long MAX_LEAVES = 4096;
  // Nor may the walk's recomputations visit more decision points in all than this: the
  // leaves alone do not bound the work, which grows with the methods between the splits
  // and with the size of the tree each node recomputes.
  static constexpr long MAX_DECISION_POINT_STEPS = 10000000;

  // The runs use the named bound on steps, and leave quiet subtrees the walk has not
  // touched as they are (see Mirror below); without that, every recomputation makes
  // every step, to the same values and count.
  explicit CBranchAnalyzer(long max_decision_point_steps = MAX_DECISION_POINT_STEPS, bool settle_quiet_subtrees = true)
      : max_decision_point_steps(max_decision_point_steps), settle_quiet_subtrees(settle_quiet_subtrees) {}
  ~CBranchAnalyzer();
  CBranchAnalyzer(const CBranchAnalyzer&) = delete;
  CBranchAnalyzer& operator=(const CBranchAnalyzer&) = delete;

  // 1 when the schedule's quality was recomputed; 0 for an empty, unsupported, too branchy
  // or too costly schedule, left as it was. The scheduler's tree and working resources are
  // left in the state of the last path explored.
  int compute_schedules_statistics(Scheduler* scheduler, Schedule* schedule);

  int all_elements_use_supported_features(Schedule* schedule);
  int all_tasks_have_supported_attributes(Schedule* schedule);
  // 0, with its warning once per process, when kept commitments raised the schedule's
  // quality: the tree is recomputed without their value.
  int quality_leaves_out_no_commitment_value(Schedule* schedule);
  int check_method_warn_if_unsupported_feature(Method* method, ScheduleElement* element);
  int recursive_depth_first_cbranch_build(long method_counter, CBranch* prev, float prob_of_this_branch,
                                          Distribution& q_of_prev_for_this_branch,
                                          ResourceList& resources_of_prev_for_this_branch,
                                          std::string suffix_for_this_branch_name);
  void reflect_current_context(CBranch* prev, Distribution& q_of_prev_for_this_branch,
                               ResourceList& resources_of_prev_for_this_branch);
  void reset_dps_quality_from_combined_outcomes(DecisionPoint* dp);
  // Frees both lists' resources.
  void recursive_depth_first_cleanup_function(ResourceList& a, ResourceList& b);
  // Debugging aids.
  void recursive_print(CBranch* node);
  void recursively_compute_new_q_for_the_methods(CBranch* ptr, DecisionPoint** dps, Distribution* cums, long num);

  // The leaves of the last tree built, kept until the next analysis or destruction.
  CBranchList final_nodes;
  Scheduler* scheduler = nullptr;
  Schedule* sched = nullptr;
  // Of the last analysis: the recomputations of a quiet subtree that were left undone.
  long quiet_subtrees_left_as_they_were = 0;

 private:
  void free_nodes();
  // The whole decision-point tree recomputed from the meta root, its steps counted.
  void recompute_working_values();
  bool walk_stopped() const { return too_many_leaves || too_many_steps; }

  // A quiet node: neither it nor any node under it is the end of an effect, uses a
  // resource, stands under several parents or holds a commitment. The recomputation of a
  // quiet task's subtree reads nothing outside it, and nothing outside reads it but the
  // parent, so it gives what it gave last time, with the same combine operations, as
  // long as the walk has touched none of its nodes since: the walk changes only the
  // nodes of the methods on its path, and their ancestors' quality times. Such a subtree
  // is then only marked as recomputed and its combines counted.
  struct Mirror {
    DecisionPoint* dp = nullptr;
    long parent = -1;
    std::vector<long> children;
    bool quiet = true;
    // A quiet task with subtasks, whose recomputation is kept track of.
    bool settles = false;
    bool settles_below = false;
    // Holds what its last recomputation left, untouched since.
    bool current = false;
    long combines = 0;  // of that recomputation, the whole subtree's
    MyTime end_of_schedule = 0;
    // Left alone by a recomputation that marked the root alone: the nodes below it
    // still owe the marks of that recomputation.
    bool owes_marks = false;
    int owed_counter = 0;
  };
  void mirror_tree();
  // The walk is about to change dp's values, lock or quality time, or its ancestors'
  // quality times.
  void touched(DecisionPoint* dp);
  void pay_marks(long node);
  void pay_all_marks();
  // Before a recomputation from the meta root, which then finds them done: each settling
  // subtree it reaches, recomputed when touched and only marked when current. Returns the
  // combines counted for the subtree of a settling node.
  long settle(long node, int counter);
  // What the recomputation leaves on a subtree whose steps it need not make: every node
  // it would reach marked with the pass's counter.
  void mark_as_recomputed(long node, int counter);

  std::vector<Mirror> mirror;
  std::unordered_map<DecisionPoint*, long> mirror_index;
  std::vector<long> path_scratch;
  WorkingStepMemo step_memo;

  // The leaves of the last tree. A node between the root and the leaves lives only while
  // the walk is under it.
  std::vector<std::unique_ptr<CBranch>> kept_leaves;
  long leaves_built = 0;
  bool too_many_leaves = false;
  const long max_decision_point_steps;
  const bool settle_quiet_subtrees;
  // Every recomputation visits each decision point of the tree once.
  long decision_points_in_tree = 0;
  long decision_point_steps = 0;
  bool too_many_steps = false;
};
