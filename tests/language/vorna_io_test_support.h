// Helpers of the reader, writer and transfer-format tests: whole runs of vorna-echo in a
// child process, in-process reads with their results freed, and a canonical dump of a
// bound model for the round-trip comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/fatal_stop.h"
#include "language/parser_actions.h"
#include "language/vorna_io.h"
#include "shared_test_support.h"

namespace vorna_io_test {

using shared_test::binary_dir;
using shared_test::environment_or;
using shared_test::read_file;
using shared_test::run_program;
using shared_test::ScratchDir;
using shared_test::source_dir;
using shared_test::write_file;
using shared_test::FATAL_LINES;
using EchoRun = shared_test::ProgramRun;

inline std::string files_dir() { return source_dir() + "/tests/language/files"; }
inline std::string echo_program() { return binary_dir() + "/vorna-echo"; }

// The example files that read without error; each has its written form checked in as
// NAME.tvorna.echo.
inline const std::vector<std::string> example_files = {"minimal", "basic", "attributes_and_times", "resources",
                                                       "commitments", "shared_node", "effects_order"};

// A stop hook that takes control back from a read a stop cut short.
struct Stopped {};
inline void throw_on_stop(StopKind, int) { throw Stopped{}; }

inline EchoRun run_echo(const std::string& input, const std::string& output) {
  return run_program({echo_program(), input, output});
}

// The parts of a text file that begin the text, for "the file starts with the agent form".
inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// One read in this process, with everything it handed over freed at the end.
struct ModelRead {
  AgentIDList agents;
  TaskList task_groups;
  CommitmentList commitments;
  ResourceList resources;
  ScheduleCriteriaBundle criteria;
  ControlParameterBundle control;
  VornaIO io;
  std::string err;

  explicit ModelRead(const std::string& path) {
    testing::internal::CaptureStderr();
    io.read_vorna_task_structures_and_commitments(path.c_str(), agents, task_groups, commitments, criteria, resources,
                                                  control);
    fflush(stderr);
    err = testing::internal::GetCapturedStderr();
  }
  // The same through the Java library's reader of a text in memory.
  struct FromString {};
  ModelRead(FromString, const std::string& text) {
    testing::internal::CaptureStderr();
    io.read_vorna_task_structures_from_string(text.c_str(), agents, task_groups, commitments, criteria, resources,
                                              control);
    fflush(stderr);
    err = testing::internal::GetCapturedStderr();
  }
  ~ModelRead() {
    task_groups.delete_list(1);
    commitments.delete_list(1);
    resources.delete_list(1);
    agents.delete_list(1);
  }
  void write(const std::string& path) {
    io.write_vorna_task_structures_and_commitments(path.c_str(), agents, task_groups, commitments, criteria,
                                                   resources, control);
  }
  // The node of that id under any task group, or null.
  BasicTask* node(const std::string& id) {
    for (long i = 0; i < task_groups.length(); i++) {
      TaskList all;
      task_groups.get(i)->list_all_descendants(all);
      all.append(task_groups.get(i));
      BasicTask* found = nullptr;
      for (long k = 0; k < all.length() && found == nullptr; k++)
        if (all.get(k)->id == id) found = all.get(k);
      all.delete_list(0);
      if (found != nullptr) return found;
    }
    return nullptr;
  }
};

// ---- the canonical dump: every field of everything read, in list order ----

inline std::string six(double v) {
  char text[64];
  snprintf(text, sizeof text, "%.6f", v);
  return text;
}

inline std::string exact(float v) {
  char text[64];
  snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  return text;
}

inline std::string pairs(Distribution& d) {
  std::string text = "{";
  for (long i = 0; i < d.length(); i++) {
    DistributionPair pair = *d.get(i);
    text += " (" + six(pair.density) + " " + six(pair.value) + ")";
  }
  return text + " }";
}

inline std::string node_name(BasicTask* task) { return task != nullptr ? task->id : "null"; }

inline void dump_nle(std::ostringstream& text, const char* role, NLE* nle) {
  text << "    " << role << " " << nle->nle_id << " type " << nle->type << " agent " << nle->owner_agent << " from "
       << node_name(nle->from) << " to " << node_name(nle->to) << " outcome "
       << (nle->outcome_from_if_applicable != nullptr ? nle->outcome_from_if_applicable->outcome_id : "none") << "/"
       << nle->outcome_id_from_if_applicable << " mode " << nle->current_mode << "\n      q "
       << pairs(nle->quality_power_uncertainty) << " d " << pairs(nle->duration_power_uncertainty) << " c "
       << pairs(nle->cost_power_uncertainty) << " delay " << pairs(nle->propagation_delay) << "\n";
}

inline void dump_rnle(std::ostringstream& text, ResourceNLE* rnle) {
  text << "    rnle " << rnle->id << " type " << rnle->type << " agent " << rnle->owner_agent << " task "
       << rnle->task_id << " resource " << rnle->resource_id << " per_time_unit " << rnle->model_is_per_time_unit;
  if (Uses* uses = dynamic_cast<Uses*>(rnle))
    text << " consumes " << six(uses->consumes) << " from " << node_name(uses->from) << " to " << uses->to;
  if (Produces* produces = dynamic_cast<Produces*>(rnle))
    text << " produces " << six(produces->produces) << " from " << node_name(produces->from) << " to "
         << produces->to;
  if (Limits* limits = dynamic_cast<Limits*>(rnle))
    text << " from " << limits->from << " to " << node_name(limits->to) << " q " << pairs(limits->quality_power)
         << " d " << pairs(limits->duration_power) << " c " << pairs(limits->cost_power);
  text << "\n";
}

inline void dump_outcome(std::ostringstream& text, const char* role, Outcome& outcome) {
  text << "    " << role << " " << outcome.outcome_id << " p " << exact(outcome.probability) << " q "
       << pairs(outcome.quality) << " d " << pairs(outcome.duration) << " c " << pairs(outcome.cost) << "\n";
}

inline void dump_node(std::ostringstream& text, BasicTask* task) {
  text << "node " << task->id << " type " << task->task_type << " agent " << task->owner_agent << " child "
       << task->i_am_child_number << " qaf " << task->qaf << " sigmoid " << pairs(task->sigmoid_function_if_qaf_is_sigmoid)
       << "\n  arrival " << six(task->arrival) << " deadline " << six(task->deadline) << " est "
       << six(task->earliest_start_time) << " weight " << six(task->weighting_factor) << "\n  supers";
  for (long i = 0; i < task->supertasks.length(); i++) text << " " << task->supertasks.get(i)->id;
  text << " subs";
  for (long i = 0; i < task->subtasks.length(); i++) text << " " << task->subtasks.get(i)->id;
  text << "\n  attributes";
  for (long i = 0; i < task->imported_attributes.length(); i++) {
    StringAssociation* entry = task->imported_attributes.get_association_at(i);
    text << " (" << entry->return_key() << "=" << entry->return_item() << ")";
  }
  text << "\n";
  if (task->task_type == VORNA_METHOD) {
    Method* method = static_cast<Method*>(task);
    text << "  cpu " << six(method->percentage_of_duration_used_by_cpu) << " start " << six(method->start_time)
         << " finish " << six(method->finish_time) << " accrued " << six(method->accrued_time) << " complete "
         << method->method_is_complete << " local " << method->method_is_local << " final "
         << method->index_of_current_or_final_outcome << " earlier " << method->perform_earlier_if_possible
         << " later " << method->perform_later_if_possible << " strong " << method->preference_is_strong << "\n";
    for (long i = 0; i < method->outcomes.length(); i++) dump_outcome(text, "outcome", *method->outcomes.get(i));
    if (method->index_of_current_or_final_outcome >= 0)
      dump_outcome(text, "final", method->current_or_final_outcome);
  }
  for (long i = 0; i < task->affects_conceptually->length(); i++)
    dump_nle(text, "affects", task->affects_conceptually->get(i));
  for (long i = 0; i < task->affects_actually->length(); i++)
    dump_nle(text, "affects_actually", task->affects_actually->get(i));
  for (long i = 0; i < task->affected_by_conceptually->length(); i++)
    text << "    affected_by " << task->affected_by_conceptually->get(i)->nle_id << "\n";
  for (long i = 0; i < task->affected_by_actually->length(); i++)
    text << "    affected_by_actually " << task->affected_by_actually->get(i)->nle_id << "\n";
  for (long i = 0; i < task->affects_resource->length(); i++) dump_rnle(text, task->affects_resource->get(i));
  for (long i = 0; i < task->affected_by_resource->length(); i++) dump_rnle(text, task->affected_by_resource->get(i));
}

inline void dump_tree(std::ostringstream& text, BasicTask* task, std::vector<BasicTask*>& seen) {
  for (BasicTask* done : seen)
    if (done == task) return;
  seen.push_back(task);
  dump_node(text, task);
  for (long i = 0; i < task->subtasks.length(); i++) dump_tree(text, task->subtasks.get(i), seen);
}

inline std::string canonical_dump(ModelRead& model) {
  std::ostringstream text;
  text << "agents";
  for (long i = 0; i < model.agents.length(); i++) text << " " << *model.agents.get(i);
  text << "\nowner " << model.io.owner_agent << "\n";
  std::vector<BasicTask*> seen;
  for (long i = 0; i < model.task_groups.length(); i++) dump_tree(text, model.task_groups.get(i), seen);
  for (long i = 0; i < model.commitments.length(); i++) {
    Commitment* c = model.commitments.get(i);
    text << "commitment " << c->commitment_id << " type " << c->type << " agent " << c->agent_id << " status "
         << c->status << " existing_or_proposed " << c->existing_or_proposed << " tasks";
    for (long k = 0; k < c->task_ids.length(); k++) text << " " << *c->task_ids.get(k);
    if (LocalCommitment* local = c->as_local())
      text << " importance " << local->importance << " min_q " << six(local->minimum_quality) << " est "
           << six(local->earliest_start_time) << " dl " << six(local->deadline) << " dont "
           << six(local->dont_interval_start) << " " << six(local->dont_interval_end) << " satisfied "
           << six(local->satisfaction_time) << " negotiability " << six(local->negotiability) << " utility "
           << six(local->utility) << " qfcs " << pairs(local->quality_for_commitment_satisfaction);
    if (NonLocalCommitment* remote = c->as_non_local())
      text << " from_agent " << remote->from_agent << " q " << pairs(remote->quality) << " t "
           << pairs(remote->arrival_time) << " expected " << six(remote->expected_arrival_time);
    text << "\n";
  }
  ScheduleCriteriaBundle& k = model.criteria;
  text << "criteria " << k.label_for_tvorna << " has " << k.has_values;
  for (float v : {k.goodness_quality_slider, k.goodness_cost_slider, k.goodness_duration_slider,
                  k.threshold_quality_slider, k.threshold_cost_slider, k.threshold_duration_slider,
                  k.quality_threshold, k.cost_limit, k.uncertainty_quality_slider, k.uncertainty_cost_slider,
                  k.uncertainty_duration_slider, k.threshold_certainty_quality_slider,
                  k.threshold_certainty_cost_slider, k.threshold_certainty_duration_slider,
                  k.quality_certainty_threshold, k.cost_certainty_threshold, k.duration_certainty_threshold,
                  k.meta_goodness_slider, k.meta_threshold_slider, k.meta_uncertainty_slider,
                  k.meta_uncertainty_threshold_slider, k.total_points_in_goodness_bank,
                  k.total_points_in_threshold_bank, k.total_points_in_uncertainty_bank,
                  k.total_points_in_uncertainty_threshold_bank})
    text << " " << six(v);
  char limit[64];
  snprintf(limit, sizeof limit, " duration_limit %.2f %.2f", k.duration_limit, k.duration_limit_plus_range);
  text << limit << "\n";
  ControlParameterBundle& c = model.control;
  text << "control " << six(c.execution_clock_to_schedule_for) << " " << six(c.cost_accrued_thus_far) << " "
       << c.use_advanced_cbranch_analyzer << " " << c.target_max_number_of_schedules << " " << c.prune_setting << " "
       << c.scheduling_mode << "\n";
  for (long i = 0; i < model.resources.length(); i++) {
    Resource* r = model.resources.get(i);
    text << "resource " << r->id << " type " << r->type << " agent " << r->owner_agent << " state "
         << six(r->state) << " depleted_at " << six(r->depleted_at) << " overloaded_at " << six(r->overloaded_at)
         << " per_time_unit " << r->being_used_per_time_unit << "\n";
  }
  return text.str();
}

// Reads the file, writes it, reads that and writes it again (each through vorna-echo):
// both writes succeed and give the same bytes, and the written file reads back into the
// same model as the input. Returns the first written text.
inline std::string expect_written_text_reads_back(const std::string& input) {
  ScratchDir dir;
  std::string first = dir.file("w1");
  std::string second = dir.file("w2");
  EchoRun once = run_echo(input, first);
  EXPECT_EQ(once.status, 0) << once.err;
  EchoRun again = run_echo(first, second);
  EXPECT_EQ(again.status, 0) << again.err;
  std::string written = read_file(first);
  EXPECT_EQ(written, read_file(second));
  if (once.status != 0 || again.status != 0) return written;
  std::string original_dump;
  {
    ModelRead original(input);
    original_dump = canonical_dump(original);
  }
  ModelRead back(first);
  EXPECT_EQ(original_dump, canonical_dump(back));
  return written;
}

}  // namespace vorna_io_test
