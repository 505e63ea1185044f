// The conditional-branch analysis of a schedule's quality (see the header).
#include "scheduler/conditional_branch_analysis.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "foundation/fatal_stop.h"
#include "foundation/system_wrappers.h"
#include "foundation/tagged_new.h"
#include "model/nle.h"
#include "model/resource.h"
#include "model/task.h"
#include "scheduler/scheduler.h"

namespace {
// Once per process each: the general refusal and the three features refused.
OnceOnlyFlag warning_message_one_issued;
OnceOnlyFlag warning_message_two_issued;
OnceOnlyFlag warning_message_three_issued;
OnceOnlyFlag warning_message_four_issued;
OnceOnlyFlag commitment_value_warning_issued;
OnceOnlyFlag too_many_leaves_warning_issued;
OnceOnlyFlag too_many_steps_warning_issued;

constexpr const char* DIVIDER = "---------------------------------------------------------------------------\n";

void warn_unsupported_feature(OnceOnlyFlag& flag, const char* middle_one, const char* middle_two) {
  if (!flag.first_time()) return;
  fprintf(stderr, "\n\nWarning, CBranchAnalyzer is trying to create the analysis tree%s%s\n", middle_one, middle_two);
  fprintf(stderr, "The standard analysis approach will be used as a fallback.");
  fprintf(stderr, "\nThis message is only issued once per scheduling session,\nthough it may apply to more than one "
                  "schedule.\n");
  fprintf(stderr, "\n\n");
}

void warn_schedule_not_supported() {
  if (!warning_message_one_issued.first_time()) return;
  fprintf(stderr, "\n%s", DIVIDER);
  fprintf(stderr, "Warning, due to the use of features unsupported by the advanced analyzer,\nthe original schedule "
                  "estimates will be used.\n");
  fprintf(stderr, "This message is only issued once per scheduling session,\nthough it may apply to more than one "
                  "schedule.\n");
  fprintf(stderr, "Note: this simply means that the quality estimates for the\nschedules is less exact and generally "
                  "only is at issue if\n");
  fprintf(stderr, "the task structure has many failure points, enables nles, and min qafs().\n");
  fprintf(stderr, "%s\n", DIVIDER);
}

// `limit` ends the first line.
void warn_walk_stopped(OnceOnlyFlag& flag, const char* limit) {
  if (!flag.first_time()) return;
  fprintf(stderr,
          "\nWarning, a schedule has more than %s; the advanced analyzer\nkeeps its original estimate.\nThis message "
          "is only issued once per scheduling session,\nthough it may apply to more than one schedule.\n\n",
          limit);
}

// A node that a recomputation of the tree reaches and steps.
bool reached(const DecisionPoint* dp, int counter) {
  return dp->working_change_counter != counter && !dp->working_values_are_locked;
}

bool quiet_node(DecisionPoint* dp) {
  if (dp->affects_actually->length() > 0 || dp->affected_by_actually->length() > 0 || dp->supers.length() > 1 ||
      dp->commitments.length() > 0 || dp->task_has_other_nodes())
    return false;
  BasicTask* task = dp->task_or_method;
  return task != nullptr && task->affects_resource->length() == 0 && task->affected_by_resource->length() == 0;
}
}  // namespace

// ---------------------------------------------------------------- nodes

void CBranchList::delete_function(void* item) { delete static_cast<CBranch*>(item); }
bool CBranchList::has_key(CBranch* item, const char* key) { return item != nullptr && item->for_task == key; }
void cbranch_delete_function(void* item) { CBranchList::delete_function(item); }

void CBranch::print(FILE* fp) {
  fprintf(fp, "CBranch node for task %s:\n", for_task.c_str());
  fprintf(fp, "\tDensity %f\n", prob_of_this_branch);
  fprintf(fp, "\tQuality ");
  branchq.print(fp);
  fprintf(fp, "\tCost ");
  branchc.print(fp);
  fprintf(fp, "\tDuration ");
  branchd.print(fp);
  fprintf(fp, "\tFinish Time");
  branch_ft.print(fp);
  fprintf(fp, "\tQuality at TG after this method executed ");
  q_at_tg_after_this_scheduled.print(fp);
}

// ---------------------------------------------------------------- the analyzer

CBranchAnalyzer::~CBranchAnalyzer() { free_nodes(); }

void CBranchAnalyzer::free_nodes() {
  final_nodes.empty_list();
  kept_leaves.clear();
}

void CBranchAnalyzer::recompute_working_values() {
  Scheduler& s = *scheduler;
  int counter = s.global_working_change_counter;
  // Nothing else may hold the scheduler's memo while the walk recomputes.
  if (settle_quiet_subtrees && !mirror.empty() && s.working_step_memo == nullptr) {
    step_memo.visited.clear();
    s.working_step_memo = &step_memo;
    if (reached(mirror[0].dp, counter)) settle(0, counter);
    s.calculate_working_qdc_for_task_or_method_and_all_subs(s.dp_to_meta_root, 0);
    s.working_step_memo = nullptr;
  } else {
    s.calculate_working_qdc_for_task_or_method_and_all_subs(s.dp_to_meta_root, 0);
  }
  decision_point_steps += decision_points_in_tree;
  if (decision_point_steps > max_decision_point_steps) too_many_steps = true;
}

// ---------------------------------------------------------------- quiet subtrees

void CBranchAnalyzer::mirror_tree() {
  mirror.clear();
  mirror_index.clear();
  std::vector<DecisionPoint*> sources;
  // Pre-order: a parent before its children.
  std::vector<std::pair<DecisionPoint*, long>> pending{{scheduler->dp_to_meta_root, -1}};
  while (!pending.empty()) {
    auto [dp, parent] = pending.back();
    pending.pop_back();
    long at = static_cast<long>(mirror.size());
    mirror.emplace_back();
    Mirror& m = mirror.back();
    m.dp = dp;
    m.parent = parent;
    m.quiet = quiet_node(dp);
    if (parent >= 0) mirror[parent].children.push_back(at);
    // A node reached twice is stepped once per recomputation, at whichever place comes
    // first: neither place may be taken for the other.
    auto [known, first_time] = mirror_index.emplace(dp, at);
    if (!first_time) m.quiet = mirror[known->second].quiet = false;
    for (long i = 0; i < dp->affected_by_actually->length(); i++)
      sources.push_back(BasicTask::get_dp_of_task(dp->affected_by_actually->get(i)->from));
    for (long i = dp->subs.length() - 1; i >= 0; i--) pending.emplace_back(dp->subs.get(i), at);
  }
  for (DecisionPoint* source : sources) {
    auto found = mirror_index.find(source);
    if (found != mirror_index.end()) mirror[found->second].quiet = false;
  }
  // Children after their parents: a backward pass sees every subtree whole.
  for (long i = static_cast<long>(mirror.size()) - 1; i >= 0; i--) {
    Mirror& m = mirror[i];
    if (!m.quiet && m.parent >= 0) mirror[m.parent].quiet = false;
    m.settles = m.quiet && !m.children.empty() && !m.dp->is_method_node();
    if ((m.settles || m.settles_below) && m.parent >= 0) mirror[m.parent].settles_below = true;
  }
  decision_points_in_tree = static_cast<long>(mirror.size());
}

void CBranchAnalyzer::touched(DecisionPoint* dp) {
  auto found = mirror_index.find(dp);
  if (found == mirror_index.end()) return;
  // The outermost subtree that owes marks first: its marks cover those owed inside it.
  path_scratch.clear();
  for (long i = found->second; i >= 0; i = mirror[i].parent) path_scratch.push_back(i);
  for (auto i = path_scratch.rbegin(); i != path_scratch.rend(); ++i) {
    pay_marks(*i);
    mirror[*i].current = false;
  }
}

void CBranchAnalyzer::pay_marks(long node) {
  Mirror& m = mirror[node];
  if (!m.owes_marks) return;
  m.owes_marks = false;
  // The root took its mark in the recomputation itself.
  for (long child : m.children) mark_as_recomputed(child, m.owed_counter);
}

void CBranchAnalyzer::pay_all_marks() {
  // Pre-order: the outermost first.
  for (long i = 0; i < static_cast<long>(mirror.size()); i++) pay_marks(i);
}

long CBranchAnalyzer::settle(long node, int counter) {
  Mirror& m = mirror[node];
  Scheduler& s = *scheduler;
  if (m.settles && m.current && m.end_of_schedule == s.end_of_the_current_working_schedule) {
    // The rest of the subtree is marked once something could tell: before the walk next
    // changes a node in it, and when the walk ends.
    m.dp->working_change_counter = counter;
    m.owes_marks = true;
    m.owed_counter = counter;
    Distribution::count_combine_operations(m.combines);
    quiet_subtrees_left_as_they_were++;
    return m.combines;
  }
  long below = 0;
  if (m.settles || m.settles_below)
    for (long child : m.children)
      if (reached(mirror[child].dp, counter)) below += settle(child, counter);
  if (!m.settles) return 0;
  long before = Distribution::report_total_number_of_combine_operations();
  s.calculate_working_qdc_for_task_or_method_and_all_subs(m.dp, 0);
  m.combines = below + Distribution::report_total_number_of_combine_operations() - before;
  m.current = true;
  m.end_of_schedule = s.end_of_the_current_working_schedule;
  return m.combines;
}

void CBranchAnalyzer::mark_as_recomputed(long node, int counter) {
  Mirror& m = mirror[node];
  if (!reached(m.dp, counter)) return;
  m.dp->working_change_counter = counter;
  m.owes_marks = false;
  for (long child : m.children) mark_as_recomputed(child, counter);
}

int CBranchAnalyzer::compute_schedules_statistics(Scheduler* s, Schedule* schedule) {
  if (s == nullptr || schedule == nullptr) error_exit("Cbranch analyzer was passed a null schedule or a null scheduler.", 1);
  if (schedule->timeline_schedule.length() == 0) return 0;
  if (all_elements_use_supported_features(schedule) != 1 || all_tasks_have_supported_attributes(schedule) != 1 ||
      quality_leaves_out_no_commitment_value(schedule) != 1) {
    warn_schedule_not_supported();
    return 0;
  }

  free_nodes();
  leaves_built = 0;
  too_many_leaves = false;
  decision_point_steps = 0;
  too_many_steps = false;
  quiet_subtrees_left_as_they_were = 0;
  scheduler = s;
  sched = schedule;
  s->reset_all_dp_variables_prior_to_scheduling(s->dp_to_meta_root, s->dp_to_meta_root);
  s->end_of_the_current_working_schedule = 0.0f;
  s->start_time_to_schedule_for = 0.0f;
  s->the_current_time = 0.0f;
  s->working_resources.duplicate_list_into_this_and_copy_items(s->resources, 1);
  mirror_tree();
  step_memo = WorkingStepMemo();

  Distribution result;
  {
    CBranch root;
    root.prob_of_this_branch = 1.0f;
    root.branch_ft.append(1.0f, 0.0f);
    Distribution unread;
    recursive_depth_first_cbranch_build(0, &root, 1.0f, unread, s->working_resources, "start");
  }
  pay_all_marks();
  if (walk_stopped()) {
    free_nodes();
    if (too_many_leaves)
      warn_walk_stopped(too_many_leaves_warning_issued,
                        (std::to_string(MAX_LEAVES) + " success/failure branches").c_str());
    else
      warn_walk_stopped(too_many_steps_warning_issued,
                        (std::to_string(max_decision_point_steps) + " decision-point steps to recompute").c_str());
    return 0;
  }

  for (long i = 0; i < final_nodes.length(); i++) {
    CBranch* leaf = final_nodes.get(i);
    leaf->q_at_tg_after_this_scheduled.reduce_total_density_to_x_percent(leaf->prob_of_this_branch);
    result.merge_with_this(leaf->q_at_tg_after_this_scheduled);
  }
  result.sort_and_combine();

  std::string& notes = schedule->annotations;
  notes += "\tQ distribution computed using the standard (cheap) methods\n\t";
  schedule->quality.print_to_string(notes);
  float old_expected = schedule->quality.get_expected_value();
  float old_scheduling_value = schedule->quality.get_specified_value(schedule->schedule_with.q);
  notes += formatted_text("\tExpected value %f\n\tValue used in scheduling %f\n\tProb of scheduling value or greater %f\n",
                          old_expected, old_scheduling_value, schedule->prob_expected_q_or_better);

  schedule->quality.duplicate(result);
  schedule->prob_expected_q_or_better = schedule->quality.get_probability_value_is_gt_or_equal_to_x(
      schedule->quality.get_specified_value(schedule->schedule_with.q));
  return 1;
}

// ---------------------------------------------------------------- support checks

int CBranchAnalyzer::all_elements_use_supported_features(Schedule* schedule) {
  ScheduleElementList& timeline = schedule->timeline_schedule;
  for (long i = 0; i < timeline.length(); i++) {
    ScheduleElement* e = timeline.get(i);
    if (check_method_warn_if_unsupported_feature(e->method_to_execute, e) == 0) return 0;
  }
  return 1;
}

int CBranchAnalyzer::check_method_warn_if_unsupported_feature(Method* method, ScheduleElement* element) {
  int supported = 1;
  if (element->method_id.find(SLACK_ID_STEM) != std::string::npos) {
    supported = 0;
    warn_unsupported_feature(warning_message_two_issued, " for a slack time element.\nThis feature (delays on nles) is",
                             " not supported in the new analyzer function.");
  }
  if (method == nullptr) return supported;
  if (method->percentage_of_duration_used_by_cpu != 1.0f) {
    supported = 0;
    warn_unsupported_feature(warning_message_three_issued,
                             " for a method that uses the embedded delays modeling feature.  This feature is not",
                             " yet supported in the new analyzer function.");
  }
  if (method->outcomes.length() > 1) {
    supported = 0;
    warn_unsupported_feature(warning_message_four_issued, " for a method having multiple outcomes.  This feature is not",
                             " yet supported in the new analyzer function.");
  }
  return supported;
}

int CBranchAnalyzer::quality_leaves_out_no_commitment_value(Schedule* schedule) {
  if (!schedule->quality_includes_commitment_value) return 1;
  warn_unsupported_feature(commitment_value_warning_issued,
                           " for a schedule whose quality includes the value of kept commitments.  This feature is not",
                           " yet supported in the new analyzer function.");
  return 0;
}

int CBranchAnalyzer::all_tasks_have_supported_attributes(Schedule* schedule) {
  TaskList tasks;
  ScheduleElementList& timeline = schedule->timeline_schedule;
  for (long i = 0; i < timeline.length(); i++) {
    Method* method = timeline.get(i)->method_to_execute;
    if (method == nullptr) continue;
    method->list_all_ancestors(tasks);
    tasks.append(method);
  }
  int supported = 1;
  for (long i = 0; i < tasks.length() && supported == 1; i++)
    if (tasks.get(i)->weighting_factor != 1.0f) supported = 0;
  tasks.empty_list();
  return supported;
}

// ---------------------------------------------------------------- the tree

void CBranchAnalyzer::reset_dps_quality_from_combined_outcomes(DecisionPoint* dp) {
  dp->working_quality.duplicate(dp->combined_outcomes->quality);
  dp->working_duration.duplicate(dp->combined_outcomes->duration);
  dp->working_cost.duplicate(dp->combined_outcomes->cost);
  dp->take_working_values_as_base();
}

void CBranchAnalyzer::reflect_current_context(CBranch* prev, Distribution& q_of_prev_for_this_branch,
                                              ResourceList& resources_of_prev_for_this_branch) {
  Scheduler& s = *scheduler;
  DecisionPoint* dp = prev->ptr_to_dp;
  s.global_working_change_counter++;
  touched(dp);
  dp->time_task_or_method_gets_quality = 0.0f;
  dp->working_values_are_locked = 0;
  dp->note_write();
  dp->working_quality.duplicate(q_of_prev_for_this_branch);
  dp->take_working_quality_as_base();
  s.working_resources.duplicate_list_into_this_and_copy_items(resources_of_prev_for_this_branch, 1);
  recompute_working_values();
  touched(dp);
  dp->working_values_are_locked = 1;
  dp->check_supers_for_newly_acquired_quality(0.0f);
}

void CBranchAnalyzer::recursive_depth_first_cleanup_function(ResourceList& a, ResourceList& b) {
  a.delete_list(1);
  b.delete_list(1);
}

int CBranchAnalyzer::recursive_depth_first_cbranch_build(long method_counter, CBranch* prev, float prob_of_this_branch,
                                                         Distribution& q_of_prev_for_this_branch,
                                                         ResourceList& resources_of_prev_for_this_branch,
                                                         std::string suffix_for_this_branch_name) {
  // Past either bound every level unwinds without building more.
  if (walk_stopped()) return 0;
  Scheduler& s = *scheduler;
  ScheduleElementList& timeline = sched->timeline_schedule;
  if (method_counter >= timeline.length()) error_exit("Error, cbranch analyzer recursive error.\n", 1);
  if (prev->ptr_to_dp != nullptr) reflect_current_context(prev, q_of_prev_for_this_branch, resources_of_prev_for_this_branch);

  ScheduleElement* element = timeline.get(method_counter);
  if (element == nullptr) error_exit("Error, cbranch analyzer has a null schedule element.\n", 1);
  Method* method = element->method_to_execute;
  if (method == nullptr) error_exit("Error, cbranch analyzer has a null method.\n", 1);
  DecisionPoint* dp = BasicTask::get_dp_of_task(method);
  if (dp == nullptr) error_exit("Error, cbranch analyzer has a null dp.\n", 1);

  std::unique_ptr<CBranch> owned(new ("CBranchAnalyzer") CBranch);
  CBranch* cb = owned.get();

  // The method on this path, from the resources as they stand before it acts.
  s.global_working_change_counter++;
  touched(dp);
  reset_dps_quality_from_combined_outcomes(dp);
  dp->working_values_are_locked = 0;
  dp->note_write();
  ResourceList working_resources_copy;
  working_resources_copy.duplicate_list_into_this_and_copy_items(s.working_resources, 1);
  recompute_working_values();
  touched(dp);
  dp->time_task_or_method_gets_quality = 0.0f;
  dp->working_values_are_locked = 1;
  dp->note_write();
  dp->check_supers_for_newly_acquired_quality(0.0f);

  prev->nexts.add(cb);
  cb->prev = prev;
  cb->for_task = method->id + "." + suffix_for_this_branch_name;
  cb->ptr_to_dp = dp;
  cb->prob_of_this_branch = prob_of_this_branch;
  cb->branchq.duplicate(dp->working_quality);
  cb->branchc.duplicate(dp->working_cost);
  cb->branchd.duplicate(dp->working_duration);
  cb->branch_ft.duplicate(dp->working_duration);
  cb->branch_ft.combine_durations(prev->branch_ft);

  if (method->deadline != UNSET_TIME) {
    float late = cb->branch_ft.get_probability_value_is_gt_x(method->deadline);
    if (late > 0.0f) {
      touched(dp);
      dp->working_quality.reduce_total_density_to_x_percent(1.0f - late);
      dp->working_quality.append(late, 0.0f);
      dp->working_quality.sort_and_combine();
      cb->branchq.duplicate(dp->working_quality);
    }
  }

  // The node stays locked, so an adjusted quality reaches the task groups. The leaf holds
  // the quality over all of them, as the builder's estimate does: the method's own group
  // alone would drop what the others reached on this path.
  s.global_working_change_counter++;
  recompute_working_values();
  cb->q_at_tg_after_this_scheduled.duplicate(s.dp_to_meta_root->working_quality);

  // No other copy is held at this level; the list handed down belongs to the parent.
  ResourceList no_other_copy;
  if (method_counter + 1 >= timeline.length()) {
    if (leaves_built >= MAX_LEAVES) {
      too_many_leaves = true;
    } else {
      leaves_built++;
      final_nodes.add(cb);
      kept_leaves.push_back(std::move(owned));
    }
  } else {
    float p0 = dp->working_quality.get_probability_value_is_zero();
    if (p0 > 0.0f) {
      Distribution failed;
      failed.append(1.0f, 0.0f);
      recursive_depth_first_cbranch_build(method_counter + 1, cb, prob_of_this_branch * p0, failed,
                                          working_resources_copy, "follows_failure");
      if (p0 != 1.0f && !walk_stopped()) {
        touched(dp);
        reset_dps_quality_from_combined_outcomes(dp);
        Distribution succeeded(dp->working_quality);
        succeeded.redistribute_density_for_zero_values_to_others();
        recursive_depth_first_cbranch_build(method_counter + 1, cb, prob_of_this_branch * (1.0f - p0), succeeded,
                                            working_resources_copy, "follows_success");
      }
    } else {
      Distribution unchanged(dp->working_quality);
      recursive_depth_first_cbranch_build(method_counter + 1, cb, prob_of_this_branch, unchanged,
                                          working_resources_copy, "follows_no_split");
    }
  }
  recursive_depth_first_cleanup_function(working_resources_copy, no_other_copy);
  // Done under this node: only the path above it stays, and a leaf in final_nodes.
  prev->nexts.remove(cb, 0);
  cb->prev = nullptr;
  return 0;
}

// ---------------------------------------------------------------- debugging aids

void CBranchAnalyzer::recursive_print(CBranch* node) {
  if (node == nullptr) return;
  node->print(stderr);
  fprintf(stderr, "\n\n");
  for (long i = 0; i < node->nexts.length(); i++) recursive_print(node->nexts.get(i));
}

void CBranchAnalyzer::recursively_compute_new_q_for_the_methods(CBranch* ptr, DecisionPoint** dps, Distribution* cums,
                                                                long num) {
  if (ptr == nullptr) return;
  for (long i = 0; i < num; i++) {
    if (dps[i] != ptr->ptr_to_dp) continue;
    ptr->branchq.reduce_total_density_to_x_percent(ptr->prob_of_this_branch);
    cums[i].merge_with_this(ptr->branchq);
    break;
  }
  for (long i = 0; i < ptr->nexts.length(); i++) recursively_compute_new_q_for_the_methods(ptr->nexts.get(i), dps, cums, num);
}
