// The reader and binder: runs the parser, checks resources and criteria, binds every name
// of the unbound records into the task tree, checks the tree, and hands the result over.
// Every failure ends the program; a read that returns has bound a complete model.
#include "language/vorna_io.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "foundation/fatal_stop.h"
#include "foundation/system_wrappers.h"
#include "language/parser_actions.h"

VornaIO::VornaIO() = default;

VornaIO::~VornaIO() {
  unbound_tasks.delete_list(1);
  unbound_nles.delete_list(1);
  unbound_rnles.delete_list(1);
  resources_read.delete_list(0);
  commitments_read.delete_list(0);
  unattached_nodes.delete_list(1);
  if (in != nullptr) fclose(in);
}

void VornaIO::check_list_is_empty(List& list, const char* list_name) {
  if (list.length() == 0) return;
  fprintf(stderr, "\aWarning, VornaIO::read_xx was given a non-empty %s list to read into.\n", list_name);
  fprintf(stderr, "This is most likely an error.  Processing continues.\n\n");
}

// ---------------------------------------------------------------- reading

void VornaIO::read_vorna_task_structures_and_commitments(const char* file_name, AgentIDList& agents,
                                                         TaskList& task_groups, CommitmentList& commitments,
                                                         ScheduleCriteriaBundle& criteria, ResourceList& resources,
                                                         ControlParameterBundle& control) {
  prepare_read(file_name, agents, task_groups, commitments, criteria, resources, control, 0);
  in = ib_fopen(file_name, "r");
  VornaParseTarget target = parse_target();
  parse_vorna_stream(in, target);
  finish_read(agents, task_groups, commitments, resources);
}

void VornaIO::read_vorna_task_structures_and_commitments_from_stream(FILE* input, const char* name,
                                                                     AgentIDList& agents, TaskList& task_groups,
                                                                     CommitmentList& commitments,
                                                                     ScheduleCriteriaBundle& criteria,
                                                                     ResourceList& resources,
                                                                     ControlParameterBundle& control) {
  prepare_read(name, agents, task_groups, commitments, criteria, resources, control, 0);
  VornaParseTarget target = parse_target();
  parse_vorna_stream(input, target);
  finish_read(agents, task_groups, commitments, resources);
}

void VornaIO::read_vorna_task_structures_and_commitments_from_text(const char* text, size_t length,
                                                                   const char* name, AgentIDList& agents,
                                                                   TaskList& task_groups, CommitmentList& commitments,
                                                                   ScheduleCriteriaBundle& criteria,
                                                                   ResourceList& resources,
                                                                   ControlParameterBundle& control,
                                                                   int advanced_analyzer_preset) {
  prepare_read(name, agents, task_groups, commitments, criteria, resources, control, advanced_analyzer_preset);
  VornaParseTarget target = parse_target();
  parse_vorna_text(text, length, target);
  finish_read(agents, task_groups, commitments, resources);
}

void VornaIO::read_vorna_task_structures_from_string(const char* text, AgentIDList& agents, TaskList& task_groups,
                                                     CommitmentList& commitments, ScheduleCriteriaBundle& criteria,
                                                     ResourceList& resources, ControlParameterBundle& control) {
  if (text == nullptr) text = "";
  read_vorna_task_structures_and_commitments_from_text(text, strlen(text), "from string", agents, task_groups,
                                                       commitments, criteria, resources, control, 1);
}

void VornaIO::prepare_read(const char* name, AgentIDList& agents, TaskList& task_groups, CommitmentList& commitments,
                           ScheduleCriteriaBundle& criteria, ResourceList& resources, ControlParameterBundle& control,
                           int advanced_analyzer_preset) {
  check_list_is_empty(agents, "list_of_agents");
  check_list_is_empty(task_groups, "list_of_task_groups");
  check_list_is_empty(commitments, "list_of_commitments");
  check_list_is_empty(resources, "list_of_resources");

  // A read cut short by a stop hook may have left its file open.
  if (in != nullptr) {
    fclose(in);
    in = nullptr;
  }
  forget_indexes();
  unbound_tasks.delete_list(1);
  unbound_nles.delete_list(1);
  unbound_rnles.delete_list(1);
  resources_read.delete_list(0);
  commitments_read.delete_list(0);

  control.execution_clock_to_schedule_for = 0.0f;
  control.cost_accrued_thus_far = 0.0f;
  control.use_advanced_cbranch_analyzer = advanced_analyzer_preset;

  // owner_agent is kept: a second read through this object keeps the first owner.
  scheduler_parameters_read = &control;
  input_file_name = name != nullptr ? name : "";
  t_vorna_input_file_name = input_file_name.c_str();
  ptr_to_agent_list = &agents;
  ptr_to_cb = &criteria;
}

VornaParseTarget VornaIO::parse_target() {
  VornaParseTarget target;
  target.unbound_tasks = &unbound_tasks;
  target.unbound_nles = &unbound_nles;
  target.unbound_rnles = &unbound_rnles;
  target.resources_read = &resources_read;
  target.commitments_read = &commitments_read;
  target.owner_agent = &owner_agent;
  target.agents = ptr_to_agent_list;
  target.criteria = ptr_to_cb;
  target.control = scheduler_parameters_read;
  target.file_name = t_vorna_input_file_name;
  return target;
}

void VornaIO::finish_read(AgentIDList& agents, TaskList& task_groups, CommitmentList& commitments,
                          ResourceList& resources) {
  check_criteria_bundle();
  check_resources_and_rnles();
  enforce_intelligent_resource_semantics();
  remap_oswin_special_case();
  build_task_structures_from_unbound_data_structures(agents, task_groups);
  keep_unattached_nodes();
  forget_indexes();

  t_vorna_input_file_name = nullptr;
  if (in != nullptr) {
    fclose(in);
    in = nullptr;
  }

  // The read lists were filled at the front; appending keeps that order (the last
  // resource or commitment of the file comes first).
  for (long i = 0; i < resources_read.length(); i++) resources.append(resources_read.get(i));
  resources_read.delete_list(0);
  for (long i = 0; i < commitments_read.length(); i++) commitments.append(commitments_read.get(i));
  commitments_read.delete_list(0);
}

void VornaIO::check_criteria_bundle() {
  ScheduleCriteriaBundle& criteria = *ptr_to_cb;
  if (criteria.has_values == 0) {
    fprintf(stderr, "\a\nWarning, t-vorna input file did not include evaluation criteria.\n");
    fprintf(stderr, "Using 100%% emphasis on raw-quality.\n\n");
    criteria.has_values = 1;
    criteria.goodness_quality_slider = 1.0f;
    criteria.meta_goodness_slider = 1.0f;
    criteria.label_for_tvorna = "default_criteria_bundle";
  }
  criteria.set_values_manually_prepare_for_use();
}

Resource* VornaIO::find_read_resource(const ID& name) {
  auto found = read_resources_by_id.find(name);
  return found != read_resources_by_id.end() ? found->second : nullptr;
}

void VornaIO::check_resources_and_rnles() {
  resources_read.prune_away_resources_not_owned_by_this_agent(owner_agent);
  index_read_resources();
  long i = 0;
  while (i < unbound_rnles.length()) {
    UnboundResourceNLE* record = unbound_rnles.get(i);
    ResourceNLE* rnle = record->rnle;
    if (find_read_resource(rnle->resource_id) != nullptr) {
      i++;
      continue;
    }
    fprintf(stderr, "\nWarning, resource nle %s has an owner-agent of %s, but,\n", rnle->id.c_str(),
            rnle->owner_agent.c_str());
    fprintf(stderr, "unable to locate a resource (%s) to go with the nle.\n", rnle->resource_id.c_str());
    fprintf(stderr, "If the resource is not being modeled by the local-agent (%s), then\n", owner_agent.c_str());
    fprintf(stderr, "no resource-related nles should be passed to the scheduler.\n");
    fprintf(stderr, "Please fix your tvorna file.\n");
    fprintf(stderr, "Deleting resource nle %s and continuing...\n", rnle->id.c_str());
    fprintf(stderr, "\n");
    // No task will hold the effect, so it goes with its record.
    unbound_rnles.remove(record, 1);
    delete rnle;
  }
}

Resource* VornaIO::resource_for_remap(ResourceNLE* rnle) {
  Resource* resource = find_read_resource(rnle->resource_id);
  if (resource == nullptr) error_exit("Unable to locate resource for remap.\n", 1);
  return resource;
}

void VornaIO::enforce_intelligent_resource_semantics() {
  for (long i = 0; i < resources_read.length(); i++) resources_read.get(i)->being_used_per_time_unit = 0;
  for (long i = 0; i < unbound_rnles.length(); i++) {
    ResourceNLE* rnle = unbound_rnles.get(i)->rnle;
    Resource* resource = resource_for_remap(rnle);
    if ((rnle->type == RNLE_USES || rnle->type == RNLE_PRODUCES) && rnle->model_is_per_time_unit == 1)
      resource->being_used_per_time_unit = 1;
  }
  for (long i = 0; i < unbound_rnles.length(); i++) {
    ResourceNLE* rnle = unbound_rnles.get(i)->rnle;
    if (rnle->type != RNLE_USES && rnle->type != RNLE_PRODUCES) continue;
    Resource* resource = resource_for_remap(rnle);
    if (rnle->model_is_per_time_unit == 0 && resource->being_used_per_time_unit == 1) {
      fprintf(stderr, "\nError, resource %s is being used by produces and consumes using different\n",
              resource->id.c_str());
      fprintf(stderr, "models (per_time_unit and duration_independnet).  This calls the\n");
      fprintf(stderr, "semantics of depleted_at and overproduced_at into question.\n");
      fprintf(stderr, "Please revise your model.\n");
      error_exit("Unable to continue.\n", 1);
    }
  }
}

void VornaIO::remap_oswin_special_case() {
  for (long i = 0; i < unbound_rnles.length(); i++) {
    ResourceNLE* rnle = unbound_rnles.get(i)->rnle;
    Resource* resource = resource_for_remap(rnle);
    if (resource->type == RESOURCE_NON_CONSUMABLE && rnle->model_is_per_time_unit == 1) {
      fprintf(stderr, "\nNote, resource nle %s operates on non-consumable resource %s", rnle->id.c_str(),
              resource->id.c_str());
      fprintf(stderr, "\non a per-time-unit-basis.  Remapping to simplify scheduler computation.\n");
      fprintf(stderr, "Limits relating to this resource will be incorrect.\nWhen we agree on consistent models, "
                      "I'll fix it.\n\n");
      rnle->model_is_per_time_unit = 0;
    }
  }
}

// ---------------------------------------------------------------- binding

void VornaIO::fatal_report() {
  fprintf(stderr, "Source file is %s\n", t_vorna_input_file_name != nullptr ? t_vorna_input_file_name : "");
  fatal_stop();
}

UnboundTask* VornaIO::find_unbound_task(const ID& name, const AgentID* same_owner) {
  auto found = unbound_tasks_by_id.find(name);
  if (found == unbound_tasks_by_id.end()) return nullptr;
  for (UnboundTask* record : found->second) {
    if (same_owner != nullptr && (record->task == nullptr || record->task->owner_agent != *same_owner)) continue;
    return record;
  }
  return nullptr;
}

void VornaIO::index_unbound_tasks() {
  unbound_tasks_by_id.clear();
  for (long i = 0; i < unbound_tasks.length(); i++) {
    UnboundTask* record = unbound_tasks.get(i);
    unbound_tasks_by_id[record->id].push_back(record);
  }
}

void VornaIO::index_read_resources() {
  read_resources_by_id.clear();
  for (long i = 0; i < resources_read.length(); i++) {
    Resource* resource = resources_read.get(i);
    read_resources_by_id.emplace(resource->id, resource);
  }
}

void VornaIO::forget_indexes() {
  unbound_tasks_by_id.clear();
  read_resources_by_id.clear();
}

UnboundTask* VornaIO::find_linked_task(const ID& name, const char* role, UnboundTask* record) {
  BasicTask* task = record->task;
  UnboundTask* linked = find_unbound_task(name, &task->owner_agent);
  if (linked == nullptr) {
    fprintf(stderr, "Unable to locate %s %s for task %s.\n", role, name.c_str(), task->id.c_str());
    fprintf(stderr, "The task follows:\n");
    print_unbound_task(stderr, record);
    fatal_report();
  }
  return linked;
}

void VornaIO::build_task_structures_from_unbound_data_structures(AgentIDList& agents, TaskList& task_groups) {
  index_unbound_tasks();
  refuse_too_deep_structures();
  for (long r = 0; r < unbound_tasks.length(); r++) {
    UnboundTask* record = unbound_tasks.get(r);
    BasicTask* task = record->task;
    if (task == nullptr) {
      fprintf(stderr, "Error, some unbound task has no task ptr.\n");
      fatal_report();
    }

    for (long i = 0; i < record->list_of_super_names.length(); i++) {
      const std::string& name = *record->list_of_super_names.get(i);
      UnboundTask* super = find_linked_task(name, "super", record);
      task->supertasks.append(super->task);
      if (task->supertasks.length() > 1) {
        fprintf(stderr, "Task %s seems to have multiple super tasks.\n", task->id.c_str());
        fprintf(stderr, "This is not currently supported. The task in question follows.\n");
        print_unbound_task(stderr, record);
      }
    }

    for (long k = 0; k < record->list_of_sub_names.length(); k++) {
      const std::string& name = *record->list_of_sub_names.get(k);
      UnboundTask* sub = find_linked_task(name, "sub", record);
      task->subtasks.append(sub->task);
      sub->task->i_am_child_number = k;
    }

    if (task->task_type == VORNA_METHOD) bind_method_outcomes(static_cast<Method*>(task));
    if (task->task_type == VORNA_TASK_GROUP) {
      task_groups.append(task);
      task->i_am_child_number = 0;
    }
  }

  do_consistency_checking_on_tasks(agents);
  reject_cyclic_task_structures();
  bind_nles();
  warn_about_effects_that_can_never_act();
  bind_resource_nles();
}

void VornaIO::refuse_too_deep_structures() {
  std::vector<UnboundTask*> records;
  std::unordered_map<UnboundTask*, size_t> position;
  for (long r = 0; r < unbound_tasks.length(); r++) {
    position.emplace(unbound_tasks.get(r), records.size());
    records.push_back(unbound_tasks.get(r));
  }
  // Each link as binding will make it, from either side; names that bind to nothing are
  // left to binding's own message.
  std::vector<std::vector<size_t>> children(records.size());
  auto linked = [&](const std::string& name, UnboundTask* record) -> UnboundTask* {
    return record->task != nullptr ? find_unbound_task(name, &record->task->owner_agent) : nullptr;
  };
  for (size_t i = 0; i < records.size(); i++) {
    UnboundTask* record = records[i];
    for (long k = 0; k < record->list_of_sub_names.length(); k++)
      if (UnboundTask* sub = linked(*record->list_of_sub_names.get(k), record)) children[i].push_back(position[sub]);
    for (long k = 0; k < record->list_of_super_names.length(); k++)
      if (UnboundTask* super = linked(*record->list_of_super_names.get(k), record))
        children[position[super]].push_back(i);
  }

  // Levels from each node down, by a depth-first walk on an explicit stack. A link back to
  // a node on the walk's own path is not followed: the cycle check refuses those later.
  enum Mark : char { UNSEEN, ON_PATH, DONE };
  std::vector<Mark> mark(records.size(), UNSEEN);
  std::vector<long> levels(records.size(), 1);
  std::vector<size_t> deepest_child(records.size(), records.size());
  std::vector<std::pair<size_t, size_t>> path;  // node, next child to visit
  for (size_t top = 0; top < records.size(); top++) {
    if (mark[top] != UNSEEN) continue;
    mark[top] = ON_PATH;
    path.push_back({top, 0});
    while (!path.empty()) {
      auto& [node, next] = path.back();
      if (next < children[node].size()) {
        size_t child = children[node][next++];
        if (mark[child] == UNSEEN) {
          mark[child] = ON_PATH;
          path.push_back({child, 0});
        }
        continue;
      }
      for (size_t child : children[node])
        if (mark[child] == DONE && levels[child] + 1 > levels[node]) {
          levels[node] = levels[child] + 1;
          deepest_child[node] = child;
        }
      mark[node] = DONE;
      path.pop_back();
    }
  }

  size_t top = 0;
  for (size_t i = 1; i < records.size(); i++)
    if (levels[i] > levels[top]) top = i;
  if (records.empty() || levels[top] <= MAXIMUM_TASK_STRUCTURE_DEPTH) return;
  size_t bottom = top;
  while (deepest_child[bottom] != records.size()) bottom = deepest_child[bottom];
  fprintf(stderr, "Error, the task structure is %ld levels deep, from task %s down to task %s.\n", levels[top],
          records[top]->id.c_str(), records[bottom]->id.c_str());
  fprintf(stderr, "At most %ld levels can be read.\n", MAXIMUM_TASK_STRUCTURE_DEPTH);
  error_exit("Unable to continue.\n", 1);
}

void VornaIO::bind_method_outcomes(Method* method) {
  if (method->method_is_local == 0 && method->finish_time == UNSET_TIME) {
    // Another agent's method that has not run yet: nothing of it is known here.
    for (long i = 0; i < method->outcomes.length(); i++) {
      Outcome* outcome = method->outcomes.get(i);
      outcome->quality.set_to_100_percent_zero_value();
      outcome->cost.set_to_100_percent_zero_value();
      outcome->duration.set_to_100_percent_zero_value();
    }
  }
  if (method->finish_time == UNSET_TIME) return;
  method->method_is_complete = 1;
  for (long i = 0; i < method->outcomes.length(); i++) {
    Outcome* outcome = method->outcomes.get(i);
    if (outcome->probability == 1.0f) {
      method->index_of_current_or_final_outcome = i;
      method->current_or_final_outcome.duplicate(*outcome);
      return;
    }
  }
  fprintf(stderr, "Warning, unable to determine final outcome.\n");
  exit_or_abort();
}

void VornaIO::do_consistency_checking_on_tasks(AgentIDList& agents) {
  // Every link once in a set, so that a node of many subtasks is not searched once per sub.
  std::unordered_set<std::string> declared_agents;
  for (long i = 0; i < agents.length(); i++)
    if (agents.get(i) != nullptr) declared_agents.insert(*agents.get(i));
  std::set<std::pair<BasicTask*, BasicTask*>> sub_links;
  std::set<std::pair<BasicTask*, BasicTask*>> super_links;
  for (long r = 0; r < unbound_tasks.length(); r++) {
    BasicTask* task = unbound_tasks.get(r)->task;
    if (task == nullptr) continue;
    for (long i = 0; i < task->subtasks.length(); i++) sub_links.emplace(task, task->subtasks.get(i));
    for (long i = 0; i < task->supertasks.length(); i++) super_links.emplace(task, task->supertasks.get(i));
  }
  for (long r = 0; r < unbound_tasks.length(); r++) {
    UnboundTask* record = unbound_tasks.get(r);
    BasicTask* task = record->task;
    if (task == nullptr) {
      fprintf(stderr, "Error, some unbound task has no task ptr.\n");
      fatal_report();
    }
    // Agent names are compared exactly here.
    if (declared_agents.count(task->owner_agent) == 0) {
      fprintf(stderr, "T-vorna assembly error.  Task %s belongs to \n", task->id.c_str());
      fprintf(stderr, "agent %s but that agent was not declared.\n", task->owner_agent.c_str());
      fatal_report();
    }
    for (long i = 0; i < task->supertasks.length(); i++) {
      BasicTask* super = task->supertasks.get(i);
      if (sub_links.count({super, task}) == 0) {
        fprintf(stderr, "T-vorna assembly error.");
        fprintf(stderr, "Task %s has a super of %s but %s does not have a sub of %s.\n", task->id.c_str(),
                super->id.c_str(), super->id.c_str(), task->id.c_str());
        fatal_report();
      }
    }
    for (long i = 0; i < task->subtasks.length(); i++) {
      BasicTask* sub = task->subtasks.get(i);
      if (super_links.count({sub, task}) == 0) {
        fprintf(stderr, "T-vorna assembly error.");
        fprintf(stderr, "Task %s has a sub of %s but %s does not have a super of %s.\n", task->id.c_str(),
                sub->id.c_str(), sub->id.c_str(), task->id.c_str());
        fprintf(stderr, "Source file is %s\n", t_vorna_input_file_name != nullptr ? t_vorna_input_file_name : "");
        fprintf(stderr, "The subtask is:\n");
        print_task(stderr, sub);
        fatal_stop();
      }
    }
  }
}

namespace {

enum class WalkMark { UNSEEN, ON_PATH, DONE };

// A depth-first walk down the subtasks from `top` that stops at the first link leading
// back to a node on its own path: returns that link's two ends, or two nulls.
std::pair<BasicTask*, BasicTask*> first_link_back(BasicTask* top, std::map<BasicTask*, WalkMark>& marks) {
  struct Step {
    BasicTask* task;
    long next_sub;
  };
  if (top == nullptr || marks[top] != WalkMark::UNSEEN) return {nullptr, nullptr};
  std::vector<Step> path{{top, 0}};
  marks[top] = WalkMark::ON_PATH;
  while (!path.empty()) {
    Step& step = path.back();
    if (step.next_sub >= step.task->subtasks.length()) {
      marks[step.task] = WalkMark::DONE;
      path.pop_back();
      continue;
    }
    BasicTask* parent = step.task;
    BasicTask* sub = parent->subtasks.get(step.next_sub++);
    WalkMark& mark = marks[sub];
    if (mark == WalkMark::ON_PATH) return {parent, sub};
    if (mark == WalkMark::UNSEEN) {
      mark = WalkMark::ON_PATH;
      path.push_back({sub, 0});
    }
  }
  return {nullptr, nullptr};
}

bool subtasks_lead_round(BasicTask* top) {
  std::map<BasicTask*, WalkMark> marks;
  return first_link_back(top, marks).first != nullptr;
}

// A node's printout lists everything under it, which never ends when its subtasks lead
// back round; such a node is named instead.
const char* const NODE_NOT_PRINTED = "(not printed: its subtasks lead back round to it)\n";

}  // namespace

void VornaIO::print_task(FILE* stream, BasicTask* task) {
  if (!subtasks_lead_round(task)) {
    task->print(stream);
    return;
  }
  fprintf(stream, " Task ID %s of agent %s\n", task->id.c_str(), task->owner_agent.c_str());
  fputs(NODE_NOT_PRINTED, stream);
}

void VornaIO::print_unbound_task(FILE* stream, UnboundTask* record) {
  if (record->task == nullptr || !subtasks_lead_round(record->task)) {
    record->print(stream);
    return;
  }
  fprintf(stream, "Unbound task: %s\n", record->id.c_str());
  fprintf(stream, "Supers names: ");
  record->list_of_super_names.simple_print(stream);
  fprintf(stream, "Subs names: ");
  record->list_of_sub_names.simple_print(stream);
  fprintf(stream, "The task follows: \n");
  print_task(stream, record->task);
  fprintf(stream, "\n");
}

// Every walk of the tree recurses through the subtasks, so a task that is its own
// ancestor would never end; such a file is refused like any other assembly error.
void VornaIO::reject_cyclic_task_structures() {
  std::map<BasicTask*, WalkMark> marks;
  for (long r = 0; r < unbound_tasks.length(); r++) {
    auto [parent, sub] = first_link_back(unbound_tasks.get(r)->task, marks);
    if (sub == nullptr) continue;
    fprintf(stderr, "T-vorna assembly error.  Task %s is its own ancestor: the sub/super links of\n",
            sub->id.c_str());
    fprintf(stderr, "task %s lead back to it.\n", parent->id.c_str());
    fatal_report();
  }
}

void VornaIO::bind_nles() {
  for (long r = 0; r < unbound_nles.length(); r++) {
    UnboundNLE* record = unbound_nles.get(r);
    NLE* nle = record->nle;

    UnboundTask* from_record = find_unbound_task(record->from, nullptr);
    UnboundTask* to_record = find_unbound_task(record->to, nullptr);
    BasicTask* from = from_record != nullptr ? from_record->task : nullptr;
    BasicTask* to = to_record != nullptr ? to_record->task : nullptr;
    if (from == nullptr || to == nullptr) {
      fprintf(stderr, "Error, unable to locate an nle endpoint %s and/or %s\n", record->from.c_str(),
              record->to.c_str());
      fatal_report();
    }
    if (from == to) {
      fprintf(stderr, "Error, nle to/from (%s,%s) point to the same task!\n", record->from.c_str(),
              record->to.c_str());
      fatal_report();
    }

    from->affects_conceptually->add(nle);
    to->affected_by_conceptually->add(nle);
    nle->from = from;
    nle->to = to;

    if (record->outcome_from != EMPTY_ID) {
      if (from->task_type != VORNA_METHOD) {
        fprintf(stderr, "Error, nle specified out of an outcome but source is not a vorna method.\n");
        fprintf(stderr, "The nle is:\n");
        record->print(stderr);
        fatal_report();
      }
      Method* method = static_cast<Method*>(from);
      Outcome* outcome = nullptr;
      for (long i = 0; i < method->outcomes.length() && outcome == nullptr; i++)
        if (method->outcomes.get(i)->outcome_id == record->outcome_from) outcome = method->outcomes.get(i);
      if (outcome == nullptr) {
        fprintf(stderr, "Error, nle to/from (%s,%s) is out of outcome %s but unable to locate outcome!\n",
                record->from.c_str(), record->to.c_str(), record->outcome_from.c_str());
        fatal_report();
      }
      nle->outcome_from_if_applicable = outcome;
      nle->outcome_id_from_if_applicable = record->outcome_from;
      BasicTask::propagate_nle_to_all_methods(nle);
    } else if (from->task_type == VORNA_METHOD) {
      // An effect from a method acts through one of its outcomes: one copy per outcome.
      from->affects_conceptually->remove(nle, 0);
      to->affected_by_conceptually->remove(nle, 0);
      Method* method = static_cast<Method*>(from);
      for (long i = 0; i < method->outcomes.length(); i++) {
        Outcome* outcome = method->outcomes.get(i);
        NLE* copy = nle->duplicate();
        copy->outcome_id_from_if_applicable = outcome->outcome_id;
        copy->outcome_from_if_applicable = outcome;
        from->affects_conceptually->add(copy);
        to->affected_by_conceptually->add(copy);
        BasicTask::propagate_nle_to_all_methods(copy);
      }
      // The effect as read is in no list now; only its copies live on.
      delete nle;
      record->nle = nullptr;
    } else {
      BasicTask::propagate_nle_to_all_methods(nle);
    }
  }
}

void VornaIO::warn_about_effects_that_can_never_act() {
  if (unbound_nles.length() == 0) return;
  std::unordered_set<BasicTask*> under_a_group;
  std::vector<BasicTask*> to_visit;
  for (long r = 0; r < unbound_tasks.length(); r++)
    if (unbound_tasks.get(r)->task->task_type == VORNA_TASK_GROUP) to_visit.push_back(unbound_tasks.get(r)->task);
  while (!to_visit.empty()) {
    BasicTask* task = to_visit.back();
    to_visit.pop_back();
    if (!under_a_group.insert(task).second) continue;
    for (long i = 0; i < task->subtasks.length(); i++) to_visit.push_back(task->subtasks.get(i));
  }
  // In the order of the forms: the list holds the last form first.
  for (long r = unbound_nles.length() - 1; r >= 0; r--) {
    UnboundNLE* record = unbound_nles.get(r);
    if (under_a_group.count(find_unbound_task(record->from, nullptr)->task) != 0) continue;
    fprintf(stderr, "Warning, task %s is not under any task group; its effect on %s can never act.\n",
            record->from.c_str(), record->to.c_str());
  }
}

void VornaIO::bind_resource_nles() {
  for (long r = 0; r < unbound_rnles.length(); r++) {
    UnboundResourceNLE* record = unbound_rnles.get(r);
    ResourceNLE* rnle = record->rnle;
    BasicTask* task = nullptr;
    switch (rnle->type) {
      case RNLE_USES:
      case RNLE_PRODUCES:
        task = locate_task(record->from);
        require_method(task);
        if (rnle->type == RNLE_USES)
          static_cast<Uses*>(rnle)->from = task;
        else
          static_cast<Produces*>(rnle)->from = task;
        task->affects_resource->add(rnle);
        locate_resource(record->to);
        break;
      case RNLE_LIMITS:
        locate_resource(record->from);
        task = locate_task(record->to);
        require_method(task);
        static_cast<Limits*>(rnle)->to = task;
        task->affected_by_resource->add(rnle);
        break;
      default:
        error_exit("bind resource nles had an undefined resource nle.\n", 1);
    }
  }
}

void VornaIO::require_method(BasicTask* task) {
  if (task->task_type == VORNA_METHOD) return;
  fprintf(stderr, "Error, a resource nle is tied to a non-method task.\n");
  error_exit("Semtantics for some of these operations have not been defined.\n", 1);
}

BasicTask* VornaIO::locate_task(const ID& name) {
  UnboundTask* record = find_unbound_task(name, nullptr);
  if (record != nullptr && record->task != nullptr) return record->task;
  fprintf(stderr, "T-vorna assembly error.  Cannot locate task");
  fprintf(stderr, " %s to go with another item (most likely a resource).\n", name.c_str());
  error_exit("Unsafe to continue.\n", 1);
}

Resource* VornaIO::locate_resource(const ID& name) {
  Resource* resource = find_read_resource(name);
  if (resource != nullptr) return resource;
  fprintf(stderr, "T-vorna assembly error.  Cannot locate resource");
  fprintf(stderr, " %s to go with another item (most likely a resource nle).\n", name.c_str());
  error_exit("Unsafe to continue.\n", 1);
}

// Nodes that hang under no task group are not handed to the caller; the reader keeps
// the tops of those trees and frees them when it is destroyed.
void VornaIO::keep_unattached_nodes() {
  for (long r = 0; r < unbound_tasks.length(); r++) {
    BasicTask* task = unbound_tasks.get(r)->task;
    if (task->task_type != VORNA_TASK_GROUP && task->supertasks.length() == 0) unattached_nodes.append(task);
  }
}

// ---------------------------------------------------------------- abandoned reads

void VornaIO::discard_abandoned_read() {
  if (in != nullptr) {
    fclose(in);
    in = nullptr;
  }
  t_vorna_input_file_name = nullptr;
  forget_indexes();
  // Effects not yet placed in a task's list belong to their records only. A bound effect
  // belongs to its source node's list, a bound resource effect to its method's list.
  for (long i = 0; i < unbound_nles.length(); i++) {
    UnboundNLE* record = unbound_nles.get(i);
    if (record->nle != nullptr && record->nle->from == nullptr) delete record->nle;
    record->nle = nullptr;
  }
  for (long i = 0; i < unbound_rnles.length(); i++) {
    UnboundResourceNLE* record = unbound_rnles.get(i);
    ResourceNLE* rnle = record->rnle;
    if (rnle == nullptr) continue;
    bool bound = false;
    if (rnle->type == RNLE_USES) bound = static_cast<Uses*>(rnle)->from != nullptr;
    if (rnle->type == RNLE_PRODUCES) bound = static_cast<Produces*>(rnle)->from != nullptr;
    if (rnle->type == RNLE_LIMITS) bound = static_cast<Limits*>(rnle)->to != nullptr;
    if (!bound) delete rnle;
    record->rnle = nullptr;
  }
  // Unlinked first, so that no node's destructor reaches another through its subtasks.
  unattached_nodes.delete_list(0);
  for (long i = 0; i < unbound_tasks.length(); i++) {
    BasicTask* task = unbound_tasks.get(i)->task;
    if (task == nullptr) continue;
    task->subtasks.delete_list(0);
    task->supertasks.delete_list(0);
  }
  for (long i = 0; i < unbound_tasks.length(); i++) {
    UnboundTask* record = unbound_tasks.get(i);
    delete record->task;
    record->task = nullptr;
  }
  unbound_tasks.delete_list(1);
  unbound_nles.delete_list(1);
  unbound_rnles.delete_list(1);
  resources_read.delete_list(1);
  commitments_read.delete_list(1);
}
