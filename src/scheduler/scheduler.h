// The one object that holds everything a scheduling run needs: the agent's task groups
// under a synthetic meta root, the decision-point tree, the schedules made, the criteria
// and settings, the commitments and resources, the tuning constants of method rating,
// and the run's counters and timings.
//
// The class is large; its operations are grouped below under banners naming the file
// that defines them. The fields are one block, in one place.
#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/shared_types.h"
#include "model/commitment.h"
#include "model/resource.h"
#include "model/schedule_bundles.h"
#include "model/task.h"
#include "scheduler/alternative.h"
#include "scheduler/decision_point.h"
#include "scheduler/schedule.h"
#include "scheduler/working_step_memo.h"

class ClientDataPacket;
class CandidateBatch;

class Scheduler {
 public:
  // While set, the shared code prints none of its informational messages (the library's
  // in-memory run sets it); the program leaves it 0.
  static inline int silent = 0;

  //===----------------------------------------------------------------------===//
  // Construction, configuration and reports: scheduler.cpp
  //===----------------------------------------------------------------------===//
  Scheduler();
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  void scheduler_hard_reset();
  // Counters and start times back to their defaults, and a fresh meta root with its
  // decision point; the ones it replaces are freed (the task groups under them stay).
  void scheduler_soft_reset();
  // Releases the round's structures (never the task groups), then a soft reset.
  void delete_all();
  // Frees the meta decision point, with every tree under it, and puts a fresh one on the
  // meta root: the start of each round.
  void replace_meta_decision_point();

  void add_new_task_group(TaskGroup* tg, int& monitor);
  void inspect_new_tg_for_misc_possible_error_conditions(TaskGroup* tg);
  // Shares the list's commitments.
  void add_new_commitments(CommitmentList& commitments);
  void copy_commitments_for_this_agent_to_proper_lists_for_scheduling();
  DecisionPoint* return_meta_level_dp_root() { return dp_to_meta_root; }
  TaskGroup* return_meta_level_tg_root() { return meta_root; }

  void turn_off_pruning_of_alternatives() { turn_off_alternative_pruning = 1; }
  void turn_on_pruning_of_alternatives() { turn_off_alternative_pruning = 0; }
  void set_task_prune_setting(long n) { max_number_of_alternatives_at_each_interior_node = static_cast<int>(n); }
  void set_tg_prune_setting(long n) { max_number_of_alternatives_at_each_task_group = static_cast<int>(n); }
  void set_method_scheduling_mode(MethodSchedulingModes mode);
  void set_scheduler_values_to_schedule_with(ScheduleSettingBundle b) { schedule_with = b; }
  void achieve_quality_for_all_task_groups();
  void do_not_necessarily_achieve_quality_for_all_task_groups();
  void generate_redundant_alternatives_under_max_qaf() { generate_redundant_alternatives_under_max = 1; }
  void do_not_generate_redundant_alternatives_under_max_qaf() { generate_redundant_alternatives_under_max = 0; }
  void set_scheduler_envelope_toggles(EnvelopeToggleBundle b) { envelope_toggles = b; }
  void emphasize_schedules_that_satisfy_hard_commitments() {
    use_kludge_to_emphasize_schedules_that_satisfy_hard_commitments = 1;
  }
  void set_max_num_schedules(long n) { num_schedules_to_make = static_cast<int>(n); }
  void set_scheduler_criteria(ScheduleCriteriaBundle b) { criteria_bundle = b; }
  void use_advanced_schedule_analysis_to_compute_quality() { use_trees_to_recompute_schedule_quality = 1; }
  void use_standard_schedule_analysis_to_compute_quality() { use_trees_to_recompute_schedule_quality = 0; }
  void set_schedule_q_computation_varaible(int v) { use_trees_to_recompute_schedule_quality = v; }
  MyTime get_current_time() { return 0.0f; }

  void return_build_stats_to_client(long& num_alts, long& num_alts_at_tg, long& num_good_scheds_created,
                                    long& num_all_scheds_created, double& time_spent_on_alts,
                                    double& time_spent_on_scheds);
  // A new packet of the meta decision point's alternatives (the caller owns it), or null.
  ClientDataPacket* return_top_level_alternative_data();

  // Alternative choosers; only the first is used by the system.
  Alternative* choose_best_alternative(AlternativeList& list, ScheduleCriteriaBundle& criteria);
  Alternative* least_cost_alternative_with_non_zero_quality(AlternativeList& list);
  Alternative* least_duration_alternative_with_non_zero_quality(AlternativeList& list);
  Alternative* highest_quality_alternative(AlternativeList& list);
  Alternative* maximum_possible_quality_alt(AlternativeList& list);
  Alternative* most_conservative_alternative(AlternativeList& list);
  int alt_can_lead_to_better_schedule_than_existing_schedules(Alternative*) { return 1; }
  int some_task_groups_have_zero_quality() { return 1; }

  //===----------------------------------------------------------------------===//
  // The scheduling round: scheduling_round.cpp
  //===----------------------------------------------------------------------===//
  // One round for the agent's task groups; the best schedule (kept in good_schedules) or
  // null. `monitor` is handed on unchanged.
  Schedule* schedule_task_groups(std::string agent_to_schedule, int& monitor, float schedule_for_what_start_time,
                                 float money_spent_so_far, UncertaintyModeSetting mode_setting,
                                 ResourceList& resources_in);
  Schedule* schedule_task_groups(std::string agent, int& monitor, float start, float money, ResourceList& resources);
  // Starts over with these task groups, commitments and criteria, then one round.
  Schedule* schedule_task_groups(std::string agent, int& monitor, TaskList& task_groups,
                                 CommitmentList& commitments, ScheduleCriteriaBundle& criteria, float start,
                                 float money, ResourceList& resources);

  //===----------------------------------------------------------------------===//
  // Working quality, cost and duration: working_values.cpp
  //===----------------------------------------------------------------------===//
  void calculate_working_qdc_for_task_or_method_and_all_subs(DecisionPoint* dp, int include_commitments);
  // The visit of one node once it is marked; whether it left the node as its record did,
  // reading nothing the end of the schedule or a placed method's node decides.
  bool working_values_step(DecisionPoint* dp, int include_commitments);
  // Marks the nodes of a settled subtree as the long way would, without their visits.
  void leave_subtree_as_it_was(DecisionPoint* dp);
  void calculate_working_qdc_for_method(DecisionPoint* dp);
  // The method step's use of the working resources (the bundle, when given, takes what the
  // resources do to the method); only for a method whose base has quality.
  void apply_resources_of_method(Method* method, DecisionPoint* dp, DistributionBundle* bundle);
  // Whether the method step of dp would consume or produce resources.
  static bool consumes_or_produces(DecisionPoint* dp);
  void calculate_working_qdc_for_task(DecisionPoint* dp);
  // Returns 1 when some satisfied commitment added to the node's working quality.
  int special_add_quality_that_may_come_from_commitment_satisfaction(DecisionPoint* dp);
  // A what-if and its undo, always as a pair around a test; `saved` holds the working
  // resources between the two calls.
  void see_what_happens_if_we_add_method_x_to_schedule(DecisionPoint* dp, ResourceList& saved);
  void undo_see_what_happens_if_we_add_method_x_to_schedule(DecisionPoint* dp, ResourceList& saved);
  // Hands back what a method borrowed from non-consumable resources and adds what it produces.
  void check_resources_for_restoration_and_production(Method* method, DecisionPoint* dp);
  // The working resource of that id; ends the program with the message when there is none.
  Resource* working_resource_or_exit(const ID& name, const char* message);
  static constexpr const char* missing_resource_for_method_q = "Unable to locate resource ptr when computing method q\n";

  //===----------------------------------------------------------------------===//
  // Alternative generation: alternative_generation.cpp
  //===----------------------------------------------------------------------===//
  void create_alternatives_for_all_methods(DecisionPoint* dp, int& monitor);
  void create_alternatives_for_method_x(DecisionPoint* dp, int& monitor);
  void create_alternatives_for_task_and_all_subs(DecisionPoint* dp, int& monitor);
  void create_alternatives_sum(DecisionPoint* dp, int& monitor, const char* label);
  void create_alternatives_min(DecisionPoint* dp, int& monitor, const char* label);
  void create_alternatives_max(DecisionPoint* dp, int& monitor, const char* label);
  void create_candidate_alternatives_for_dp_under_sum(DecisionPoint* dp, AlternativeList& candidates,
                                                      const char* label);
  // One candidate per combination of one alternative of each member, the last member
  // varying fastest. With cap_flag 1 at most `cap` are kept. Returns the number kept.
  long create_cross_product_alternatives_from_a_set_of_dps(DecisionPoint* dp, AlternativeList& candidates,
                                                           DecisionPoint** members, long n, const char* label,
                                                           int cap_flag, long cap);
  void special_include_quality_from_commitment_satisfaction_in_alt_potential_if_appropriate(DecisionPoint* dp,
                                                                                           Alternative* alt);
  // With delete_dropped 0 the dropped alternatives pass to the caller.
  void prune_alternatives_according_to_criteria(DecisionPoint* dp, int delete_dropped = 1);
  // The steps above, with the candidates' methods and names filled in only when known to
  // be kept (see CandidateBatch).
  void make_alternatives_for_node_and_all_subs(DecisionPoint* dp, int& monitor);
  void warn_if_subsets_explode(BasicTask* task);
  void make_candidates_under_sum(DecisionPoint* dp, CandidateBatch& batch, const char* label);
  void make_candidates_under_min(DecisionPoint* dp, CandidateBatch& batch, const char* label);
  void make_candidates_under_max(DecisionPoint* dp, CandidateBatch& batch);
  long make_cross_product(DecisionPoint* dp, CandidateBatch& batch, DecisionPoint** members, long n, int cap_flag,
                          long cap);
  Alternative* new_alternative(const char* tag);
  void drop_alternative(Alternative* alt);
  // While alternatives are generated: where dropped ones wait for reuse. Not owned.
  AlternativePool* alternative_pool = nullptr;
  int method_is_in_non_local_commitment_list(Method* method);

  //===----------------------------------------------------------------------===//
  // Hard-commitment emphasis after rating: schedule_rating.cpp
  //===----------------------------------------------------------------------===//
  // Raises the schedules that satisfy the most local commitments (graded by importance),
  // sorts again and returns the best; null for no schedules.
  Schedule* kludge_reweight_schedules_and_sort_based_on_hard_commitments();

  //===----------------------------------------------------------------------===//
  // Repair alternatives: repair_alternatives.cpp
  //===----------------------------------------------------------------------===//
  // New alternatives at dp that add the enablers, then the facilitators, the built
  // alternative's methods lack. The schedule is not read.
  void suggest_improvments_via_new_alternatives(Schedule* schedule, Alternative* alt, DecisionPoint* dp);
  void enable_unenabled_methods(Alternative* alt, DecisionPoint* dp);
  void facilitate_unfacilitated_methods(Alternative* alt, DecisionPoint* dp);

  //===----------------------------------------------------------------------===//
  // Reschedule envelopes: reschedule_envelopes.cpp
  //===----------------------------------------------------------------------===//
  void calculate_reschedule_envelopes_for_schedule(Schedule& schedule);
  void calculate_reschedule_envelopes_for_element(ScheduleElement* e, float cost_so_far);

  //===----------------------------------------------------------------------===//
  // Method rating: method_rating.cpp
  //===----------------------------------------------------------------------===//
  // 10^n * x * (1 + f) for p = n + f: the weight of every score.
  static float scale_local_method_rating(float x, float p);
  // Below 0 a failure code (method_rating_codes.h), else a preference: higher is better.
  float rate_method(Schedule& schedule, Method* method);
  void annotate_working_schedule_if_method_failed(Schedule& schedule, Method* method, float& rating);

  //===----------------------------------------------------------------------===//
  // Enforcement tests: enforcement_checks.cpp
  //===----------------------------------------------------------------------===//
  // Each returns the rating unchanged or its failure code, and stands alone.
  float schedule_only_methods_that_have_some_chance_of_getting_quality(Schedule& schedule, Method* method,
                                                                       DecisionPoint* dp, float rating);
  float enforce_enables(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float enforce_disables(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float enforce_seq_and_seq_sum(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  // Whether a sequence among task's ancestors has a sibling of method's branch out of order.
  bool sequence_broken_above(BasicTask* task, Method* method, Schedule& schedule, bool single_path);
  // Whether the sequence ancestor has a sibling of task's branch out of order.
  // holder is the ancestor's node where the caller has it at hand, else null.
  bool sequence_broken_at(BasicTask* ancestor, DecisionPoint* holder, BasicTask* task, Method* method,
                          Schedule& schedule, bool single_path);
  // What one round of ratings reads of a sequence node's subtasks, kept in its node (null
  // outside a round or without a node). None of it changes between the ratings of one
  // stamp (a rating's what-ifs are undone; a lock renews it).
  DecisionPoint::SequenceMemo* sequence_memo_of(BasicTask* sequence, DecisionPoint* holder, Schedule& schedule);
  int all_descendent_methods_are_either_scheduled_or_have_quality(DecisionPoint* dp, Schedule& schedule);
  // While the candidates of one schedule are rated, each node remembers whether a method
  // under it still waits, under a stamp renewed whenever that can change (a method locked
  // by a rating); 0 outside such a round, where every test walks the tree afresh.
  long waiting_memo_stamp = 0;
  long waiting_memo_stamps_used = 0;
  void renew_waiting_memo() {
    if (waiting_memo_stamp != 0) waiting_memo_stamp = ++waiting_memo_stamps_used;
  }
  // What a rating reads of the task structure alone (the supertasks above a method, a
  // subtask's place) holds for a whole greedy build: no tree is made or unmade within it.
  // 0 outside a build.
  long structure_memo_stamp = 0;
  float enforce_hard_deadlines(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float check_for_hard_resource_disablement(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float enforce_earliest_start_time(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);

  //===----------------------------------------------------------------------===//
  // Preference scores: preference_scores.cpp
  //===----------------------------------------------------------------------===//
  float prefer_disablees(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float prefer_hinderees(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float prefer_facilitators(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float delay_facilitatees(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float delay_hinderers(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float prefer_producers(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float delay_consumers(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float prefer_satisfying_and_avoid_violating_commitments(Schedule& schedule, Method* method, DecisionPoint* dp,
                                                          float rating);
  float prefer_earlier_deadlines(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float prefer_earlier_if_desired(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float prefer_later_if_desired(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  // Not called by the builders.
  float move_uncertainty_early(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  float prefer_increased_quality(Schedule& schedule, Method* method, DecisionPoint* dp, float rating);
  void fix_up_kludge_to_get_methods_with_est_and_dl_performed_earlier_if_appropriate(Schedule& schedule,
                                                                                     TaskList& methods,
                                                                                     Method* method);

  //===----------------------------------------------------------------------===//
  // Commitments tied to the tree: commitment_linking.cpp
  //===----------------------------------------------------------------------===//
  void link_commitments_to_decision_points();
  void modify_vorna_method_to_reflect_non_local_commitment(DecisionPoint* dp, NonLocalCommitment* c);
  void modify_vorna_methods_and_tasks_to_reflect_local_commitment(DecisionPoint* dp, LocalCommitment* c);
  void check_remaining_methods_for_hard_dont_commitments_who_now_need_earliest_start_time_set(TaskList& methods,
                                                                                              float time);
  // Every build starts from here: local commitments undetermined again and the earliest
  // starts the hard-DONT check moved given back.
  void reset_commitment_state_for_a_new_schedule();
  void running_new_exp_reset_tg();

  //===----------------------------------------------------------------------===//
  // Commitment status while a schedule is built: commitment_status.cpp
  //===----------------------------------------------------------------------===//
  CommitmentStatus check_commitment_status(Schedule& schedule, LocalCommitment* c);
  CommitmentStatus check_commitment_status_for_dp(Schedule& schedule, LocalCommitment* c, DecisionPoint* dp);
  void tabulate_newly_violated_and_satisfied_local_commitments(Schedule& schedule, long& num_whatif_satisfied,
                                                               long& num_whatif_violated, long& num_existing_satisfied,
                                                               long& num_existing_violated);
  void determine_effect_on_commitments_of_adding_method_to_schedule(Schedule& schedule, Method* method,
                                                                   long& num_whatif_satisfied,
                                                                   long& num_whatif_violated,
                                                                   long& num_existing_satisfied,
                                                                   long& num_existing_violated);
  // The outputs are set to 0; the schedule's lists and counters hold the results.
  void record_newly_satisfied_and_violated_local_commitments(Schedule& schedule, long& num_newly_satisfied,
                                                             long& num_newly_violated,
                                                             float when_satisfied_or_violated);
  // At the end of a build: a DONT whose tasks got no quality and none of whose methods
  // were placed has been kept, satisfied at the end of the schedule.
  void count_dont_commitments_kept_by_leaving_their_tasks_undone(Schedule& schedule);

  //===----------------------------------------------------------------------===//
  // Schedule-building loop: schedule_building_loop.cpp
  //===----------------------------------------------------------------------===//
  // Builds the best unscheduled root alternative, again and again, until none is left or
  // enough schedules (or four times as many alternatives) are made. `monitor` is unused.
  void create_schedules_for_task_group_using_alternatives(DecisionPoint* root, int& monitor,
                                                          ScheduleCriteriaBundle& criteria);
  void build_schedule_for_given_alternative(DecisionPoint* root, Alternative* alt);

  //===----------------------------------------------------------------------===//
  // Heuristic schedule construction: heuristic_construction.cpp
  //===----------------------------------------------------------------------===//
  // The greedy build of one alternative; the schedule is also kept in good_schedules.
  Schedule* heuristically_build_schedule_for_given_alternative(DecisionPoint* root, Alternative* alt);
  // The method to place next, or null when nothing can go.
  Method* get_method_with_higest_rating(Schedule& schedule, TaskList& waiting);
  Method* evaluate_methods_that_need_slack_in_front_and_move_forward_if_appropriate(Method* best,
                                                                                     DecisionPointList& needs_slack,
                                                                                     Schedule& schedule);
  // First of equal ratings; null for an empty list.
  Method* select_highest_rated_method_from_this_list(DecisionPointList& list);
  // First of equal earliest times; null for an empty list.
  DecisionPoint* find_earliest_method_in_list(DecisionPointList& list);
  DecisionPoint* find_earliest_method_that_needs_delay(TaskList& methods);
  // Fills the nodes of the non-local commitments due by `time`, once per build.
  void update_expectations_to_reflect_any_non_local_commitments(float time, std::string& notes);

  //===----------------------------------------------------------------------===//
  // Adding a method to a schedule: method_placement.cpp
  //===----------------------------------------------------------------------===//
  // Places the method after any slack it needs; a method whose quality would certainly be
  // zero is refused, leaving its node locked at zero and the resources as they were.
  void add_method_to_schedule(Schedule& schedule, Method* method);
  // Recomputes the tree of every node of the task (once each), after its values changed.
  // The first recomputation of a placement keeps a log of its visits; the one after the
  // method's finish time is set may then leave the subtrees that log found settled.
  enum class PlacementPass { plain, first, after_finish };
  void recalculate_trees_of_task(DecisionPoint* dp, PlacementPass which = PlacementPass::plain);
  void reset_all_dp_variables_prior_to_scheduling(DecisionPoint* dp, DecisionPoint* root);
  // Whether a node above dp has quality but no time yet.
  static bool an_ancestor_waits_for_a_time(DecisionPoint* dp);
  void calc_sched_overall_quality_from_working_qualities_of_dps(Schedule& schedule, int full);

  //===----------------------------------------------------------------------===//
  // Exhaustive schedule construction: exhaustive_construction.cpp
  //===----------------------------------------------------------------------===//
  // Every ordering of every subset of the methods under the root. `monitor` and
  // `criteria` are unused.
  void create_schedules_for_task_group_exhaustively(DecisionPoint* root, int& monitor,
                                                    ScheduleCriteriaBundle& criteria);
  // Every ordering of the alternative's methods; exhaustive 1 (the pure mode) suggests no
  // repairs.
  void exhaustively_build_schedules_for_given_alternative(DecisionPoint* root, Alternative* alt, int exhaustive);

  //===----------------------------------------------------------------------===//
  // Set-up and finishing shared by every build: schedule_setup_and_finish.cpp
  //===----------------------------------------------------------------------===//
  // A new schedule for the alternative, with the round's start, cost already spent and
  // every local commitment undetermined, after the commitment state is reset.
  Schedule* begin_schedule_for_alternative(Alternative* alt);
  // Trailing slack off, overall quality, bookkeeping, open commitments violated and the
  // commitment quality added.
  void finish_schedule_quality(Schedule& schedule);
  // Repairs (when asked), the attempted methods' note (heuristic), envelopes, and the
  // schedule kept; an empty one is freed instead when drop_empty is 1. Returns the kept
  // schedule or null.
  Schedule* file_finished_schedule(Schedule* schedule, Alternative* alt, DecisionPoint* root, int suggest_repairs,
                                   int note_attempted_methods, int drop_empty);

  //===----------------------------------------------------------------------===//
  // Commitment quality of a finished schedule: commitment_quality.cpp
  //===----------------------------------------------------------------------===//
  void special_add_in_commitment_quality_if_applicapable_and_recompute_schedule_quality(Schedule& schedule);
  void special_add_in_commitment_value_for_dp_and_all_subs(DecisionPoint* dp);
  struct CommitmentWalk;
  void add_in_commitment_value_for_dp_and_all_subs(DecisionPoint* dp, CommitmentWalk& walk);
  void determine_highest_quality_in_all_methods_being_considered(DecisionPoint* root);

  //===----------------------------------------------------------------------===//
  // Moving a method forward, not used by the round: contingency_move_forward.cpp
  //===----------------------------------------------------------------------===//
  // A new schedule with the method at the earliest position where everything still
  // fits, or null when none does.
  Schedule* copy_schedule_and_move_method_forward(Schedule* schedule, Method* method, int with_delays);
  float special_rate_method_for_contingency(Schedule& schedule, Method* method, int with_delays);

  //===----------------------------------------------------------------------===//
  // Schedule output and data files: schedule_output.cpp
  //===----------------------------------------------------------------------===//
  // One spec_schedule record per schedule, best first, appended to the file.
  void write_tvorna_schedule_file(const char* name);
  // Every good schedule, in list order, as write_to_ostream writes it: a new[] text the
  // caller frees ("" without schedules).
  char* get_tvorna_schedule();
  // The root alternatives' rows, the schedules' rows, the people listing (which closes
  // `people`, named people_name) and the observed extremes; null files are skipped.
  void output_alt_and_schedule_data(FILE* sched_stats, FILE* sched_rows, FILE* alt_stats, FILE* alt_rows,
                                    FILE* people, FILE* min_max, const char* people_name);
  void output_schedules_for_people(FILE* f, const char* name);
  // Every schedule's listing; f null means standard output. A file is closed (checked
  // under `name`); standard output stays open.
  void print_schedules(FILE* f, const char* name);
  // A new packet of the schedules (the caller owns it), or null without a meta decision point.
  ClientDataPacket* return_schedule_data();

  //===----------------------------------------------------------------------===//
  // Run statistics: run_statistics.cpp
  //===----------------------------------------------------------------------===//
  // Both rebuild the decision-point tree and working values from every task group first,
  // deleting every schedule.
  void calculate_current_statistics(float& q, float& c, float& finish_time);
  void calculate_and_print_current_statistics(FILE* fp, FILE* fp_data_stavo, FILE* fp_data_jmp,
                                              MyTime start_time_to_schedule_for, Cost money_spent_thus_far);

  //===----------------------------------------------------------------------===//
  // Fields, in one block
  //===----------------------------------------------------------------------===//
  const char* id_string = "SCHEDULER";
  AgentID agent_to_schedule_for;
  // Owned: freed (emptied of its task groups first) by the soft reset and the destructor.
  TaskGroup* meta_root = nullptr;
  // Owned, with the trees under it; freed before the meta root.
  DecisionPoint* dp_to_meta_root = nullptr;
  // Not owned.
  TaskList task_roots;
  // The roots of this agent's trees; they are freed with the meta decision point.
  DecisionPointList dp_roots;
  // Owned.
  ScheduleList good_schedules;
  MyTime initial_start_time_to_schedule_for = 0.0f;
  MyTime start_time_to_schedule_for = 0.0f;
  MyTime the_current_time = 0.0f;
  MyTime end_of_the_current_working_schedule = UNSET_TIME;
  // -1: no target.
  int num_schedules_to_make = 50;
  Quality highest_possible_quality_in_list_of_candidate_tasks = UNSET_TIME;
  int num_alternatives_created = 0;
  int num_of_alternatives_created_at_root = 0;
  int num_good_schedules_created = 0;
  int num_schedules_created = 0;
  double time_spent_making_alts = 0.0;
  double time_spent_scheduling_alts = 0.0;
  ScheduleCriteriaBundle criteria_bundle;
  int repeat_scheduling_count = 0;
  UncertaintyModeSetting current_mode = SCHEDULE_USING_UNCERTAINTY;
  FILE* fp_stavo_tmp = nullptr;
  // Copies made by the round; owned.
  ResourceList resources;
  ResourceList working_resources;
  int generate_redundant_alternatives_under_max = 0;
  int turn_off_alternative_pruning = 0;
  int max_number_of_alternatives_at_each_task_group = 20;
  int max_number_of_alternatives_at_each_interior_node = 10;
  MethodSchedulingModes method_scheduling_mode = ScheduleMethodsHeuristically;
  ScheduleSettingBundle schedule_with;
  EnvelopeToggleBundle envelope_toggles;
  MyTime first_estimated_finish_time = UNSET_TIME;
  float first_estimated_quality = 0.0f;
  float first_estimated_cost = 0.0f;
  int meta_root_qaf_is_min = 0;
  Cost money_spent_thus_far = 0.0f;
  int use_trees_to_recompute_schedule_quality = 1;
  float bonus_for_first_method_facilitated = 2.0f;
  float bonus_for_each_subsequent_method_facilitated = 1.0f;
  float bonus_for_first_hindered = 2.0f;
  float bonus_for_each_subsequent_hindered = 1.0f;
  float bonus_for_first_disabled = 2.0f;
  float bonus_for_each_subsequent_disabled = 1.0f;
  float penalty_for_each_newly_violated = 1.0f;
  float reward_for_each_newly_satisfied = 1.0f;
  // None owned.
  CommitmentList all_local_commitments;
  CommitmentList all_non_local_commitments;
  CommitmentList all_known_commitments_for_all_agents;
  int global_working_change_counter = 1;
  // While set, a working-values recomputation skips each node step whose record holds;
  // the commitment walk's memo also follows its passes to tell an unchanged recompute.
  WorkingStepMemo* working_step_memo = nullptr;
  // The one the placements' recomputations use when no other is set.
  WorkingStepMemo placement_step_memo{false};
  // The one a what-if's recomputation uses when no other is set: off its chain, a node
  // out of date since a placement elsewhere mostly steps to what it held.
  WorkingStepMemo what_if_step_memo{false};
  // The steps of the what-ifs' and the placements' visits that did not give back or make
  // their records, or did not leave their nodes settled.
  long steps_left_unsettled = 0;
  // The nodes of a settled subtree, gathered before any is given back, and the sources
  // outside it that its visit would visit.
  struct SettledSubtreeScratch {
    std::vector<DecisionPoint*> nodes;
    // The locked nodes and the methods current already, which the visit passes.
    std::vector<DecisionPoint*> passed;
    std::vector<std::pair<DecisionPoint*, unsigned long long>> sources;
  };
  std::deque<SettledSubtreeScratch> settled_subtree_scratch;
  size_t settled_subtree_depth = 0;
  // Numbers the tree from the meta root: a node's subtree is the range of numbers from it.
  void number_the_shape_of_the_tree();
  long shape_stamp = 0;
  // A visit, under the what-ifs' or the placements' memo, of a subtree that nothing was
  // written to since a visit of it that left every node settled: every step gives back its
  // record, so each node is given it in place and the counts go on as the visits would.
  // The checking build only gathers the nodes, in the scratch of the depth it was called at.
  bool leave_settled_subtree(DecisionPoint* dp);
  // The nodes the first recomputation of a placement visited, in order. Between it and the
  // recomputation after the finish time only the placed method's nodes and the end of the
  // schedule change, so a subtree whose visit read neither (the end only where it reads
  // the same of the new one), and reached no node the placed method's led to, would be
  // visited again to the same bytes.
  struct PlacementLog {
    bool keeping = false;
    bool leaving = false;
    long pass = 0;
    int counter = 0;
    // Visits that reached a node they may not reach the next time, or left one unsettled.
    long unsettled = 0;
    // The ends of the schedule at which the steps of the visits open read the same.
    MyTime ends_from = 0;
    MyTime ends_to = 0;
    // The placed method, and whether one of its nodes leads the recursion on to others.
    BasicTask* placed = nullptr;
    bool placed_may_lead = true;
    // Node visits, counted by the checking build only.
    long visits = 0;
    std::vector<DecisionPoint*> nodes;
    std::vector<long> placed_at;
  } placement_log;
  // While set (by a method_rating::AncestorTimes), each quality time a task's
  // recomputation sets is recorded here with the time it held before.
  std::vector<std::pair<DecisionPoint*, MyTime>>* quality_time_log = nullptr;
  // The method node's values from before each what-if still open, the latest last.
  OpenWhatIfValues values_before_what_if;
  // Renewed by whatever may leave a node's children other than the commitment what-if
  // found them within a round of ratings: that what-if's summaries are then read again.
  long children_summaries_version = 0;
  // Whether, in the round of ratings of that stamp, every method step reads its base
  // alone (no effects, no resources, no other agent's promise).
  long steps_read_base_alone_stamp = 0;
  bool steps_read_base_alone = false;
  int use_kludge_to_emphasize_schedules_that_satisfy_hard_commitments = 0;
  // Each earliest start the hard-DONT check moved, with the value it replaced, in order.
  std::vector<std::pair<Method*, MyTime>> earliest_starts_moved_by_dont_commitments;
  // The working resources as a method rating found them, kept from one rating to the next
  // so that their copies are made in place; owned.
  ResourceList rating_saved_resources;
  // Set by a rating step that left the working resources alone although steps of its kind
  // may change them: the rating then needs no copy back after it.
  bool rating_step_left_resources = false;

 private:
  void free_meta_root_and_its_decision_point();
  void release_round_lists();
  void print_generation_status_if_due();
  // repair_alternatives.cpp: both repairs; enabling 1 looks for enablers, 0 for facilitators.
  void add_repair_alternatives(Alternative* alt, DecisionPoint* dp, int enabling);
  // scheduling_round.cpp: a fresh meta decision point over a tree for every task group
  // (only those of `owner` when it is given), all mirrored before any is completed; every
  // schedule is freed. Returns the number of trees.
  long build_dp_trees_under_fresh_meta_point(const AgentID* owner, UncertaintyModeSetting mode);
  // run_statistics.cpp: a fresh meta decision point over trees of every task group, with
  // its working values.
  void rebuild_dp_trees_and_working_values_for_statistics();
};
