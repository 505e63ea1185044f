// The one way in and out of the task-structure text: the reader runs the parser over a
// file, checks what it read and binds every name into the task tree; the writers emit a
// model again as Vorna text and a schedule in the temporary transfer format.
//
// A parse fills the object's unbound records, read resources and read commitments, and
// the caller's agent list, criteria and control parameters, whose addresses the object
// holds during a read.
#pragma once

#include <cstddef>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "foundation/shared_types.h"
#include "language/parser_actions.h"
#include "language/unbound_records.h"
#include "model/commitment.h"
#include "model/nle.h"
#include "model/outcome.h"
#include "model/resource.h"
#include "model/schedule_bundles.h"
#include "model/task.h"

class Schedule;

// The deepest task structure a read accepts, in levels (a task group alone is one level).
// Every walk of the system recurses once per level, and this keeps each of them within a
// stack of 1 MB.
constexpr long MAXIMUM_TASK_STRUCTURE_DEPTH = 1000;

class VornaIO {
 public:
  VornaIO();
  ~VornaIO();
  VornaIO(const VornaIO&) = delete;
  VornaIO& operator=(const VornaIO&) = delete;

  // Reads, checks and binds the file; hands the task groups, commitments and resources
  // to the caller's lists. Every failure ends the program: no partial model comes back.
  void read_vorna_task_structures_and_commitments(const char* file_name, AgentIDList& agents,
                                                  TaskList& task_groups, CommitmentList& commitments,
                                                  ScheduleCriteriaBundle& criteria, ResourceList& resources,
                                                  ControlParameterBundle& control);
  // The same over an input already open, or over text held in memory; `name` is quoted
  // in messages. The stream and the text stay the caller's. A read presets the control
  // parameters' advanced-analyzer flag, which the text may then set (files: 0).
  void read_vorna_task_structures_and_commitments_from_stream(FILE* input, const char* name,
                                                              AgentIDList& agents, TaskList& task_groups,
                                                              CommitmentList& commitments,
                                                              ScheduleCriteriaBundle& criteria,
                                                              ResourceList& resources,
                                                              ControlParameterBundle& control);
  void read_vorna_task_structures_and_commitments_from_text(const char* text, size_t length, const char* name,
                                                            AgentIDList& agents, TaskList& task_groups,
                                                            CommitmentList& commitments,
                                                            ScheduleCriteriaBundle& criteria,
                                                            ResourceList& resources,
                                                            ControlParameterBundle& control,
                                                            int advanced_analyzer_preset = 0);
  // The Java library's read of a zero-terminated text, named "from string" in messages;
  // the advanced analyzer is on unless the text turns it off. A null text reads as "".
  void read_vorna_task_structures_from_string(const char* text, AgentIDList& agents, TaskList& task_groups,
                                              CommitmentList& commitments, ScheduleCriteriaBundle& criteria,
                                              ResourceList& resources, ControlParameterBundle& control);

  // Writes the model as Vorna text that reads back into the same model.
  void write_vorna_task_structures_and_commitments(const char* file_name, AgentIDList& agents,
                                                   TaskList& task_groups, CommitmentList& commitments,
                                                   ScheduleCriteriaBundle& criteria, ResourceList& resources,
                                                   ControlParameterBundle& control);
  void write_schedule_in_temporary_transfer_format(const char* file_name, Schedule* schedule);

  // The pieces of the task-structure writer; each writes to `out` (or into the buffer given).
  void write_task(BasicTask* task);
  void write_attributes(StringAssociationList& attributes);
  void write_outcome(Outcome* outcome);
  void write_distribution(std::ostringstream& buffer, const char* keyword, Distribution& d,
                          const char* prefix);
  void write_nle(std::ostringstream& buffer, NLE* nle);
  void write_resource_nle(std::ostringstream& buffer, ResourceNLE* rnle);
  void write_commitment(Commitment* commitment);
  void write_control_bundle(ControlParameterBundle& control);
  void write_criteria_bundle(ScheduleCriteriaBundle& criteria);
  void write_resources(ResourceList& resources);
  const char* qaf_to_string_for_io(BasicTask* task);

  // For tests and fuzzing, where a stop hook takes control back from a read that a stop
  // cut short: frees every object that read built, bound or not. The caller first empties
  // its task-group list without deleting (it may hold some of those objects); its other
  // lists receive nothing before a read completes.
  void discard_abandoned_read();

  // A warning (never a stop) when a list the reader fills is not empty.
  static void check_list_is_empty(List& list, const char* list_name);

  // Filled by the parser. `in` is the file being read, `out` the file being written.
  FILE* in = nullptr;
  FILE* out = nullptr;
  UnboundTaskList unbound_tasks;
  UnboundNLEList unbound_nles;
  UnboundResourceNLEList unbound_rnles;
  ResourceList resources_read;
  CommitmentList commitments_read;
  // The label of the first agent form this object ever read.
  AgentID owner_agent = EMPTY_ID;
  ScheduleCriteriaBundle* ptr_to_cb = nullptr;
  AgentIDList* ptr_to_agent_list = nullptr;
  ControlParameterBundle* scheduler_parameters_read = nullptr;
  // The file being read, for messages; null outside a read.
  const char* t_vorna_input_file_name = nullptr;
  // The tops of the trees read that hang under no task group (the caller gets only the
  // task groups). They are freed with this object, so the caller frees its task groups
  // before this object goes when effects link the two.
  TaskList unattached_nodes;

 private:
  // Steps 1 to 4 of a read: warnings, emptied records, control values reset, targets kept.
  void prepare_read(const char* name, AgentIDList& agents, TaskList& task_groups, CommitmentList& commitments,
                    ScheduleCriteriaBundle& criteria, ResourceList& resources, ControlParameterBundle& control,
                    int advanced_analyzer_preset);
  VornaParseTarget parse_target();
  // The passes after the parse, then the hand-over to the caller's lists.
  void finish_read(AgentIDList& agents, TaskList& task_groups, CommitmentList& commitments, ResourceList& resources);
  // The passes after the parse, in order.
  void check_criteria_bundle();
  void check_resources_and_rnles();
  void enforce_intelligent_resource_semantics();
  void remap_oswin_special_case();
  void build_task_structures_from_unbound_data_structures(AgentIDList& agents, TaskList& task_groups);
  // Walks of the tree recurse once per level; a deeper structure is refused (status 1)
  // before any of them runs. Works on the names, as binding will link them.
  void refuse_too_deep_structures();
  void do_consistency_checking_on_tasks(AgentIDList& agents);
  void reject_cyclic_task_structures();
  void bind_resource_nles();
  BasicTask* locate_task(const ID& name);
  Resource* locate_resource(const ID& name);
  // The first record with exactly this id (and, when given, this owner agent).
  UnboundTask* find_unbound_task(const ID& name, const AgentID* same_owner);
  // Binding looks up every name it links; the indexes keep that linear in the size of the
  // file. Ids are compared exactly, as binding compares them; each entry lists the records
  // of that id in file order, so the first match is the one a search of the list finds.
  void index_unbound_tasks();
  void index_read_resources();
  void forget_indexes();
  std::unordered_map<std::string, std::vector<UnboundTask*>> unbound_tasks_by_id;
  std::unordered_map<std::string, Resource*> read_resources_by_id;
  // The record a super or sub name of this record names (same owner agent); stops when
  // there is none, naming the role ("super" or "sub") in the message.
  UnboundTask* find_linked_task(const ID& name, const char* role, UnboundTask* record);
  Resource* find_read_resource(const ID& name);
  Resource* resource_for_remap(ResourceNLE* rnle);
  void bind_method_outcomes(Method* method);
  void bind_nles();
  // An effect from a node under no task group is not written, and no schedule runs its
  // source: its target would wait for nothing. Warns once per such effect form.
  void warn_about_effects_that_can_never_act();
  void require_method(BasicTask* task);
  void keep_unattached_nodes();
  // The printouts of the messages, safe on links that lead round.
  void print_task(FILE* stream, BasicTask* task);
  void print_unbound_task(FILE* stream, UnboundTask* record);
  // "Source file is ..." and the fatal stop.
  [[noreturn]] void fatal_report();

  // The order of the effect forms. Reading binds effects from the last form of the file
  // to the first, and every list of effects the binding fills (from a node, to a node, to
  // a method) comes out in the order of the forms. Writing each effect after its source
  // node keeps those lists when that order agrees with them; otherwise every effect form
  // goes after the last task form, in an order that does. Returns that order, or nothing
  // when the forms can follow their sources.
  std::vector<NLE*> order_for_effect_forms(const std::vector<BasicTask*>& nodes);
  // Every node under the task groups once, in the order of its form: pre-order, except
  // where a node listed by several forms needs another order to read back with the child
  // number it has. Fills nodes_in_file.
  std::vector<BasicTask*> order_of_task_forms(TaskList& task_groups);
  // Set while the effect forms are written apart from their sources.
  bool effect_forms_deferred = false;
  // Every node the file being written holds (those under a task group). A supertask or an
  // effect that links to a node outside them is left out: the file would name a task it
  // lacks, and would not read back.
  std::set<BasicTask*> nodes_in_file;
  bool node_is_written(BasicTask* task) const;
  bool effect_is_written(NLE* nle) const;
  // The file name kept for the messages of a read.
  std::string input_file_name;
};
