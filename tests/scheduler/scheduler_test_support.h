// The scheduler tests' one fixture: a round prepared from a Vorna text held in memory, up
// to the shifted root alternatives, as the driver configures and runs it but without its
// messages. Tests start from the root alternatives or from any node on the way.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "foundation/system_wrappers.h"
#include "language/vorna_io.h"
#include "scheduler/scheduler.h"

namespace scheduler_test {

// Short texts for the forms the tests need. Every node belongs to agent A.
inline std::string outcome(const std::string& quality, const std::string& duration, const std::string& cost,
                           const std::string& label = "o", const std::string& density = "1") {
  return "(" + label + " (density " + density + ") (quality_distribution " + quality + ") (duration_distribution " +
         duration + ") (cost_distribution " + cost + "))";
}
// A method with one certain outcome of quality q, duration d and cost c.
inline std::string method(const std::string& label, const std::string& super, float q, float d, float c,
                          const std::string& extra = "") {
  char text[160];
  snprintf(text, sizeof text, "%g 1", q);
  std::string qs = text;
  snprintf(text, sizeof text, "%g 1", d);
  std::string ds = text;
  snprintf(text, sizeof text, "%g 1", c);
  return "(spec_method (label " + label + ") (agent A) (supertasks " + super + ") " + extra + " (outcomes " +
         outcome(qs, ds, text) + "))\n";
}
inline std::string task(const std::string& label, const std::string& super, const std::string& subs,
                        const std::string& qaf, const std::string& extra = "") {
  return "(spec_task (label " + label + ") (agent A) (supertasks " + super + ") (subtasks " + subs + ") (qaf " + qaf +
         ") " + extra + ")\n";
}
inline std::string group(const std::string& label, const std::string& subs, const std::string& qaf,
                         const std::string& extra = "", const std::string& agent = "A") {
  return "(spec_task_group (label " + label + ") (agent " + agent + ") (subtasks " + subs + ") (qaf " + qaf + ") " +
         extra + ")\n";
}
inline constexpr const char* CRITERIA_FIELDS[] = {
    "goodness_quality_slider", "goodness_cost_slider", "goodness_duration_slider", "threshold_quality_slider",
    "threshold_cost_slider", "threshold_duration_slider", "quality_threshold", "cost_limit", "duration_limit",
    "uncertainty_quality_slider", "uncertainty_cost_slider", "uncertainty_duration_slider",
    "threshold_certainty_quality_slider", "threshold_certainty_cost_slider", "threshold_certainty_duration_slider",
    "quality_certainty_threshold", "cost_certainty_threshold", "duration_certainty_threshold",
    "meta_goodness_slider", "meta_threshold_slider", "meta_uncertainty_slider", "meta_uncertainty_threshold_slider"};
// A full criteria form (the reader takes all of its fields, in this order): every field 0
// (the duration limit "0 0") but those given. By default goodness in quality and cost only.
inline std::string criteria(std::initializer_list<std::pair<const char*, const char*>> given = {
                                {"goodness_quality_slider", "1"},
                                {"goodness_cost_slider", "1"},
                                {"meta_goodness_slider", "1"}}) {
  std::string text = "(spec_evaluation_criteria (label c)";
  for (const char* field : CRITERIA_FIELDS) {
    std::string value = std::string(field) == "duration_limit" ? "0 0" : "0";
    for (const auto& [name, v] : given)
      if (std::string(name) == field) value = v;
    text += std::string(" (") + field + " " + value + ")";
  }
  return text + ")\n";
}
inline const char* const AGENT_A = "(spec_agent (label A))\n";

class PreparedRound : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_once_only_flags();
    reset_schedule_element_creation_counter();
    Distribution::reset_combine_operation_counter();
    srandom(1);
  }

  void TearDown() override {
    if (scheduler != nullptr) {
      scheduler->delete_all();
      delete scheduler;
      scheduler = nullptr;
    }
    task_groups.delete_list(1);
    commitments.delete_list(1);
    resources.delete_list(1);
    agents.delete_list(1);
    delete io;
    io = nullptr;
  }

  // Reads the text and configures a scheduler as the driver does, for the first agent.
  void read(const std::string& text) {
    testing::internal::CaptureStderr();
    io = new VornaIO;
    io->read_vorna_task_structures_and_commitments_from_text(text.c_str(), text.size(), "test", agents, task_groups,
                                                             commitments, criteria, resources, control);
    Scheduler::silent = 1;
    scheduler = new Scheduler;
    Scheduler::silent = 0;
    scheduler->set_scheduler_criteria(criteria);
    scheduler->set_scheduler_values_to_schedule_with(ScheduleSettingBundle());
    scheduler->emphasize_schedules_that_satisfy_hard_commitments();
    EnvelopeToggleBundle off;
    off.q = off.d = off.c = 0;
    scheduler->set_scheduler_envelope_toggles(off);
    agent = *agents.get(0L);
    int monitor = 0;
    for (long i = 0; i < task_groups.length(); i++)
      if (task_groups.get(i)->owner_agent == agent)
        scheduler->add_new_task_group(static_cast<TaskGroup*>(task_groups.get(i)), monitor);
    scheduler->add_new_commitments(commitments);
    fflush(stderr);
    err = testing::internal::GetCapturedStderr();
  }

  // The trees, as a round builds them: every task group mirrored, then each completed.
  void build_trees() {
    Scheduler& s = *scheduler;
    s.meta_root->propagate_deadlines_and_earliest_from_task_to_subs_only_then_recurse();
    s.agent_to_schedule_for = agent;
    s.resources.duplicate_list_into_this_and_copy_items(resources, 1);
    s.working_resources.duplicate_list_into_this_and_copy_items(s.resources, 1);
    s.current_mode = SCHEDULE_USING_UNCERTAINTY;
    s.start_time_to_schedule_for = start_time;
    s.money_spent_thus_far = money;
    s.end_of_the_current_working_schedule = start_time;
    if (s.repeat_scheduling_count == 0) s.initial_start_time_to_schedule_for = start_time;
    if (s.method_scheduling_mode == ScheduleMethodsExhaustively ||
        s.method_scheduling_mode == ScheduleMethodsExhaustively_via_Alternatives) {
      s.turn_off_pruning_of_alternatives();
      s.set_max_num_schedules(999999999);
    }
    s.dp_roots.empty_list();
    s.good_schedules.delete_list(1);
    s.replace_meta_decision_point();
    for (long i = 0; i < s.task_roots.length(); i++) {
      BasicTask* tg = s.task_roots.get(i);
      if (tg->owner_agent != s.agent_to_schedule_for) continue;
      DecisionPoint* dp = new DecisionPoint;
      dp->mirror_task_structure_into_dp_tree(tg, s.current_mode, &s);
      s.dp_roots.append(dp);
      s.dp_to_meta_root->subs.add(dp);
    }
    for (long i = 0; i < s.dp_roots.length(); i++)
      s.dp_roots.get(i)->complete_dp_tree_after_mirroring(s.current_mode, &s);
  }

  // Everything after the trees, up to the root alternatives shifted to the start time.
  void generate() {
    Scheduler& s = *scheduler;
    DecisionPoint* meta = s.dp_to_meta_root;
    s.copy_commitments_for_this_agent_to_proper_lists_for_scheduling();
    meta->gather_methods_for_task_record_at_all_dp_subs_too();
    s.link_commitments_to_decision_points();
    meta->revise_potentials_of_subs_to_reflect_quality_from_commitment_satisfaction_if_appropriate();
    s.global_working_change_counter++;
    s.calculate_working_qdc_for_task_or_method_and_all_subs(meta, 0);
    int monitor = 0;
    s.create_alternatives_for_all_methods(meta, monitor);
    if (s.method_scheduling_mode != ScheduleMethodsExhaustively) s.create_alternatives_for_task_and_all_subs(meta, monitor);
    for (long i = 0; i < meta->alternatives.length(); i++) {
      Alternative* alt = meta->alternatives.get(i);
      alt->cost.add_constant_to_all_values(s.money_spent_thus_far);
      alt->duration.add_constant_to_all_values(s.start_time_to_schedule_for);
    }
    s.num_of_alternatives_created_at_root = static_cast<int>(meta->alternatives.length());
    s.determine_highest_quality_in_all_methods_being_considered(meta);
  }

  // read, build_trees and generate; stderr of the last two goes to `err`.
  void prepare(const std::string& text) {
    read(text);
    testing::internal::CaptureStderr();
    build_trees();
    generate();
    fflush(stderr);
    err = testing::internal::GetCapturedStderr();
  }

  // The task or method of that id, under any task group or tree the reader kept.
  BasicTask* task_named(const std::string& id) {
    TaskList all;
    for (long i = 0; i < task_groups.length(); i++) {
      all.append(task_groups.get(i));
      task_groups.get(i)->list_all_descendants(all);
    }
    BasicTask* found = nullptr;
    for (long i = 0; i < all.length() && found == nullptr; i++)
      if (all.get(i)->id == id) found = all.get(i);
    all.empty_list();
    return found;
  }
  DecisionPoint* node(const std::string& id) { return BasicTask::get_dp_of_task(task_named(id)); }
  AlternativeList& root_alternatives() { return scheduler->dp_to_meta_root->alternatives; }

  AgentIDList agents;
  TaskList task_groups;
  CommitmentList commitments;
  ResourceList resources;
  ScheduleCriteriaBundle criteria;
  ControlParameterBundle control;
  VornaIO* io = nullptr;
  Scheduler* scheduler = nullptr;
  AgentID agent;
  float start_time = 0.0f;
  float money = 0.0f;
  std::string err;
};

// A round prepared up to its root alternatives and an empty schedule being built for a
// hand-made alternative: what method rating and commitment tracking read.
class ScheduleUnderConstruction : public PreparedRound {
 protected:
  void TearDown() override {
    schedule.reset();
    alt.reset();
    PreparedRound::TearDown();
  }

  // prepare, then a fresh schedule planned to hold the given methods, with every local
  // commitment undetermined in it.
  void prepare_schedule(const std::string& text, std::initializer_list<const char*> planned) {
    prepare(text);
    schedule = std::make_unique<Schedule>();
    alt = std::make_unique<Alternative>();
    for (const char* id : planned) alt->method_list.append(task_named(id));
    schedule->alt_schedule_is_for = alt.get();
    schedule->undetermined_local_commitments.append_list_not_copy_items(&scheduler->all_local_commitments);
    scheduler->highest_possible_quality_in_list_of_candidate_tasks = 0.0f;
  }

  Method* method_named(const std::string& id) { return static_cast<Method*>(task_named(id)); }
  float rate(const std::string& id) { return scheduler->rate_method(*schedule, method_named(id)); }

  // The method as the builder leaves it once placed: done, locked, quality from `finish`.
  void place(const std::string& id, float finish) {
    DecisionPoint* dp = node(id);
    dp->working_quality.duplicate(dp->combined_outcomes->quality);
    dp->working_duration.duplicate(dp->combined_outcomes->duration);
    dp->working_cost.duplicate(dp->combined_outcomes->cost);
    dp->take_working_values_as_base();
    dp->working_values_are_locked = 1;
    dp->time_task_or_method_gets_quality = finish;
    scheduler->global_working_change_counter++;
    scheduler->calculate_working_qdc_for_task_or_method_and_all_subs(scheduler->dp_to_meta_root, 0);
  }

  std::unique_ptr<Schedule> schedule;
  std::unique_ptr<Alternative> alt;
};

}  // namespace scheduler_test
