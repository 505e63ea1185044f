// The parser's actions: form by form they build the model objects without linking them,
// and every semantic error stops the program with a message that names the line.
#include "language/parser_actions.h"

#include <strings.h>

#include <cfloat>
#include <charconv>
#include <cstring>
#include <locale>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/association_list.h"
#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"
#include "language/grammar_actions.h"
#include "language/parser_support.h"
#include "language/unbound_records.h"
#include "language/vorna_scanner.h"
#include "model/commitment.h"
#include "model/distribution.h"
#include "model/nle.h"
#include "model/outcome.h"
#include "model/resource.h"
#include "model/schedule_bundles.h"
#include "model/task.h"

int yyparse();

// Process-wide parser state. The lists are held by pointer and never destroyed: a list
// that still holds items when it is destroyed stops the program, and the process may end
// (through a stop) in the middle of a form.
VornaParseTarget* io_class_calling_parser = nullptr;
UnboundTask* task_hook = nullptr;
UnboundNLE* nle_hook = nullptr;
Resource* new_resource_handle = nullptr;
int resource_model_def_kludge = -1;
OutcomeList* list_of_outcomes = nullptr;
StringList* list_of_sub_names = nullptr;
StringList* list_of_super_names = nullptr;
StringList* list_of_task_ids = nullptr;
StringAssociationList* temporary_attributes_list = nullptr;
int parser_call_counter = 0;

namespace {

// Objects of a form that is being built; a stop in the middle of the form leaves them
// here, and the next reset frees them.
UnboundResourceNLE* rnle_hook = nullptr;
Commitment* commitment_hook = nullptr;
Outcome* outcome_hook = nullptr;

// A field of a task form, kept until the form closes.
struct PendingTaskField {
  TaskField field;
  std::string text;
  double number = 0.0;
  VORNA_QualityAF qaf = VORNA_EMPTY_QAF;
};
std::vector<PendingTaskField>* pending_task_fields = nullptr;

double pending_criteria[22];
std::string* pending_duration_limit = nullptr;

// Attribute texts live as long as the process: tasks keep pointers to them in their
// imported attributes, and nothing frees those texts. Equal texts share one copy.
std::unordered_set<std::string>* attribute_texts = nullptr;

void make_lists() {
  if (list_of_outcomes != nullptr) return;
  list_of_outcomes = new ("parser") OutcomeList();
  list_of_sub_names = new ("parser") StringList(LIST_UNORDERED, 1);
  list_of_super_names = new ("parser") StringList(LIST_UNORDERED, 1);
  list_of_task_ids = new ("parser") StringList(LIST_UNORDERED, 1);
  temporary_attributes_list = new ("parser") StringAssociationList();
  pending_task_fields = new ("parser") std::vector<PendingTaskField>();
  pending_duration_limit = new ("parser") std::string();
  attribute_texts = new ("parser") std::unordered_set<std::string>();
}

std::string take(std::string* text) {
  if (text == nullptr) return std::string();
  std::string value = std::move(*text);
  delete text;
  return value;
}

std::string take(char* text) {
  if (text == nullptr) return std::string();
  std::string value(text);
  delete[] text;
  return value;
}

bool sums_to_one(Distribution& d) { return d.densities_sum_to_100_with_threshold(0.0001f) == 1; }

void discard_pending_attributes() { temporary_attributes_list->delete_list(1); }

void read_list_into(std::string* list, Distribution& d) { number_text_to_distribution(take(list), d); }

}  // namespace

// ---------------------------------------------------------------------------------------
// Value texts.

std::string* text_of_name(char* name) { return new ("parser") std::string(take(name)); }

std::string* text_of_integer(int value) { return new ("parser") std::string(std::to_string(value)); }

std::string* text_of_decimal(double value) {
  // "%f" whatever the process locale; the scanner keeps decimals within the float range.
  char buffer[400];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  return new ("parser") std::string(buffer, result.ptr);
}

std::string* join_number_texts(std::string* list, std::string* number) {
  list->append(" ");
  list->append(take(number));
  return list;
}

// ---------------------------------------------------------------------------------------
// Attributes.

void begin_attribute_entries() { discard_pending_attributes(); }

void add_attribute_word(std::string*& words, char* word) {
  if (words == nullptr) {
    words = new ("parser") std::string(take(word));
  } else {
    words->append(" ");
    words->append(take(word));
  }
}

void add_pending_attribute(char* key, std::string* words) {
  std::string key_text = take(key);
  const std::string& text = *attribute_texts->insert(take(words)).first;
  temporary_attributes_list->add(key_text, const_cast<char*>(text.c_str()));
}

void top_level_attributes() {
  ControlParameterBundle* control = io_class_calling_parser->control;
  for (long i = 0; i < temporary_attributes_list->length(); i++) {
    StringAssociation* entry = temporary_attributes_list->get_association_at(i);
    const std::string& key = entry->key;
    std::string value = entry->item != nullptr ? entry->item : "";
    double number = 0.0;
    if (key == "time_to_schedule_for") {
      if (read_attribute_number(value, number)) {
        if (number < 0.0) error_exit("\aError, tvorna specifies a negative current time to schedule for.\n", 1);
        control->execution_clock_to_schedule_for = to_float(number);
      }
    } else if (key == "cost_accrued") {
      if (read_attribute_number(value, number)) {
        if (number < 0.0) error_exit("\aError, tvorna specifies a negative accrued cost to date.\n", 1);
        control->cost_accrued_thus_far = to_float(number);
      }
    } else if (key == "use_advanced_analysis") {
      if (read_attribute_number(value, number)) control->use_advanced_cbranch_analyzer = to_int(number);
    } else if (key == "target_max_number_of_schedules") {
      if (read_attribute_number(value, number)) control->target_max_number_of_schedules = to_int(number);
    } else if (key == "pruning_setting") {
      if (value == "n" || value == "p") {
        control->prune_setting = value[0];
      } else {
        error_exit(
            "\aError, prunning setting specified in tvorna file has invalid value.  Must be 'n' (for none) or 'p' "
            "for prune.\n",
            1);
      }
    } else if (key == "scheduling_mode") {
      if (strcasecmp(value.c_str(), "pure_exhaustive") == 0) {
        control->scheduling_mode = ScheduleMethodsExhaustively;
      } else if (strcasecmp(value.c_str(), "exhaustive_from_alternatives") == 0) {
        control->scheduling_mode = ScheduleMethodsExhaustively_via_Alternatives;
      } else if (strcasecmp(value.c_str(), "exhaustive_from_pruned_alternatives") == 0) {
        control->scheduling_mode = ScheduleMethodsExhaustively_via_Pruned_Alternatives;
      } else if (strcasecmp(value.c_str(), "heuristic") == 0) {
        control->scheduling_mode = ScheduleMethodsHeuristically;
      } else {
        error_exit(
            "\aError, scheduling_mode setting specified in tvorna file has invalid value.  Must be: "
            "pure_exhaustive, exhaustive_from_alternatives, exhaustive_from_pruned_alternatives or heuristic.\n",
            1);
      }
    }
  }
  discard_pending_attributes();
}

// ---------------------------------------------------------------------------------------
// Agents.

void agent_form(std::string* label) {
  std::string name = take(label);
  if (*io_class_calling_parser->owner_agent == EMPTY_ID) *io_class_calling_parser->owner_agent = name;
  io_class_calling_parser->agents->append(name);
  discard_pending_attributes();
}

// ---------------------------------------------------------------------------------------
// Task groups, tasks and methods.

void begin_task(TaskType type) {
  task_hook = new ("parser") UnboundTask(type);
  pending_task_fields->clear();
}

void task_text_field(TaskField field, std::string* text) {
  PendingTaskField pending{field, take(text)};
  pending_task_fields->push_back(std::move(pending));
}

void task_number_field(TaskField field, double value) {
  PendingTaskField pending{field, std::string()};
  pending.number = value;
  pending_task_fields->push_back(std::move(pending));
}

void task_qaf_field(VORNA_QualityAF qaf, std::string* sigmoid_table) {
  PendingTaskField pending{TASK_FIELD_QAF, std::string()};
  pending.qaf = qaf;
  pending.text = take(sigmoid_table);
  pending_task_fields->push_back(std::move(pending));
}

void task_flag_field(TaskField field) { pending_task_fields->push_back(PendingTaskField{field, std::string()}); }

void add_sub_name(char* name) { list_of_sub_names->append(take(name)); }

void add_super_name(char* name) { list_of_super_names->append(take(name)); }

namespace {

void apply_task_field(BasicTask* task, const PendingTaskField& pending) {
  Method* method = task->task_type == VORNA_METHOD ? static_cast<Method*>(task) : nullptr;
  switch (pending.field) {
    case TASK_FIELD_LABEL:
      task_hook->id = pending.text;
      task->id = pending.text;
      break;
    case TASK_FIELD_AGENT:
      task->owner_agent = pending.text;
      break;
    case TASK_FIELD_QAF:
      task->qaf = pending.qaf;
      if (pending.qaf == VORNA_SIGMOID) {
        task->sigmoid_function_if_qaf_is_sigmoid.delete_all();
        number_text_to_distribution(pending.text, task->sigmoid_function_if_qaf_is_sigmoid);
        if (task->sigmoid_function_if_qaf_is_sigmoid.length() == 0) {
          semantic_error("Error, sigmoid declared but distribution is empty or nonexistent.\n");
        }
      }
      break;
    case TASK_FIELD_ARRIVAL_TIME:
      task->arrival = to_float(pending.number);
      break;
    case TASK_FIELD_EARLIEST_START_TIME:
      task->earliest_start_time = to_float(pending.number);
      break;
    case TASK_FIELD_DEADLINE:
      task->deadline = to_float(pending.number);
      break;
    case TASK_FIELD_PERCENTAGE_OF_CPU_USED:
      method->percentage_of_duration_used_by_cpu = to_float(pending.number);
      if (method->percentage_of_duration_used_by_cpu < 0.0f || method->percentage_of_duration_used_by_cpu > 1.0f) {
        semantic_error("Error, percentage of duration used by cpu must be between 0 and 1.0\n");
      }
      break;
    case TASK_FIELD_START_TIME:
      method->start_time = to_float(pending.number);
      break;
    case TASK_FIELD_FINISH_TIME:
      method->finish_time = to_float(pending.number);
      break;
    case TASK_FIELD_ACCRUED_TIME:
      method->accrued_time = to_float(pending.number);
      break;
    case TASK_FIELD_METHOD_IS_NON_LOCAL:
      method->method_is_local = 0;
      break;
  }
}

const char* kind_text(BasicTask* task) {
  switch (task->task_type) {
    case VORNA_TASK_GROUP:
      return "task group";
    case VORNA_METHOD:
      return "method";
    default:
      return "task";
  }
}

}  // namespace

void end_task() {
  BasicTask* task = task_hook->task;
  // Applied from the last field to the first, so the first occurrence of a field wins.
  for (auto field = pending_task_fields->rbegin(); field != pending_task_fields->rend(); ++field) {
    apply_task_field(task, *field);
  }
  pending_task_fields->clear();

  if (task_hook->id == EMPTY_ID) {
    fprintf(stderr, "Error, %s def. did not include a task label.\n", kind_text(task));
    high_level_error();
  }
  if (task->owner_agent == EMPTY_ID) {
    fprintf(stderr, "Error, %s def. did not include an agent label.\n", kind_text(task));
    high_level_error();
  }
  if (task->task_type == VORNA_METHOD) {
    if (list_of_outcomes->length() == 0) semantic_error("Error, method def. did not have any outcomes.\n");
    if (list_of_super_names->length() == 0) semantic_error("Error, method def. did not have any supers.\n");
  } else if (task->qaf == VORNA_EMPTY_QAF) {
    fprintf(stderr, "Error, %s def. did not include a qaf.\n", kind_text(task));
    high_level_error();
  }

  for (long i = 0; i < list_of_super_names->length(); i++) task_hook->list_of_super_names.append(*(*list_of_super_names)[i]);
  for (long i = 0; i < list_of_sub_names->length(); i++) task_hook->list_of_sub_names.append(*(*list_of_sub_names)[i]);
  list_of_super_names->delete_list(1);
  list_of_sub_names->delete_list(1);
  assign_weighting_factor_if_read_one_in(task);
  if (task->task_type == VORNA_METHOD) assign_scheduling_preferences_if_read_one_in(task);
  for (long i = 0; i < temporary_attributes_list->length(); i++) {
    StringAssociation* entry = temporary_attributes_list->get_association_at(i);
    task->imported_attributes.add(entry->key, entry->item);
  }
  discard_pending_attributes();

  if (task->task_type == VORNA_METHOD) {
    Method* method = static_cast<Method*>(task);
    for (long i = 0; i < list_of_outcomes->length(); i++) method->outcomes.append(list_of_outcomes->get(i));
    list_of_outcomes->delete_list(0);
    if (method->outcomes.densities_sum_to_100_with_threshold(0.0001f) != 1) {
      semantic_error("Error, outcomes do not sum to 100%.\n");
    }
  }

  io_class_calling_parser->unbound_tasks->add(task_hook);
  task_hook = nullptr;
}

void add_outcome(char* name, double density, std::string* quality, std::string* duration, std::string* cost) {
  std::string texts[] = {take(quality), take(duration), take(cost)};
  outcome_hook = new ("parser") Outcome();
  Outcome* outcome = outcome_hook;
  outcome->outcome_id = take(name);
  outcome->probability = to_float(density);
  if (outcome->probability < 0.0f) {
    fprintf(stderr, "Parser Warning - ignoring an outcome that has a negative density.\n");
    fprintf(stderr, "The outcome is labeled %s.\n", outcome->outcome_id.c_str());
    delete outcome;
    outcome_hook = nullptr;
    return;
  }
  Distribution* lists[] = {&outcome->quality, &outcome->duration, &outcome->cost};
  const char* names[] = {"quality", "duration", "cost"};
  for (int i = 0; i < 3; i++) number_text_to_distribution(texts[i], *lists[i]);
  for (int i = 0; i < 3; i++) {
    if (!sums_to_one(*lists[i])) {
      outcome->print(stderr);
      fprintf(stderr, "Sum is %3.20lf.\n", static_cast<double>(lists[i]->sum_all_densities()));
      fprintf(stderr, "Error in %s distribution\n", names[i]);
      distribution_sum_error();
    }
  }
  list_of_outcomes->append(outcome);
  outcome_hook = nullptr;
}

// ---------------------------------------------------------------------------------------
// Non-local effects.

void nle_form(NLETypes type, std::string* label, std::string* agent, char* from, char* from_outcome, char* to,
              std::string* quality_power, std::string* duration_power, std::string* cost_power,
              std::string* delay) {
  // Everything is taken over first, so that a stop below leaves nothing unowned.
  bool names_outcome = from_outcome != nullptr;
  std::string outcome_name = take(from_outcome);
  std::string powers[] = {take(quality_power), take(duration_power), take(cost_power)};
  std::string delay_text = take(delay);
  nle_hook = new ("parser") UnboundNLE(type);
  NLE* nle = nle_hook->nle;
  nle->nle_id = take(label);
  nle->owner_agent = take(agent);
  nle_hook->from = take(from);
  nle_hook->to = take(to);
  if (names_outcome) nle_hook->outcome_from = outcome_name;

  if (type == NLE_U_FACILITATES || type == NLE_U_HINDERS) {
    number_text_to_distribution(powers[0], nle->quality_power_uncertainty);
    if (!sums_to_one(*nle->quality_power)) distribution_sum_error();
    number_text_to_distribution(powers[1], nle->duration_power_uncertainty);
    if (!sums_to_one(*nle->duration_power)) distribution_sum_error();
    number_text_to_distribution(powers[2], nle->cost_power_uncertainty);
    if (!sums_to_one(*nle->cost_power)) distribution_sum_error();
  }
  number_text_to_distribution(delay_text, nle->propagation_delay);
  bool delay_checked = !((type == NLE_ENABLES || type == NLE_DISABLES) && names_outcome);
  if (delay_checked && !sums_to_one(nle->propagation_delay)) distribution_sum_error();

  io_class_calling_parser->unbound_nles->add(nle_hook);
  discard_pending_attributes();
  nle_hook = nullptr;
}

// ---------------------------------------------------------------------------------------
// Resources.

void begin_resource(ResourceTypes type) {
  if (type == RESOURCE_NON_CONSUMABLE) {
    new_resource_handle = new ("yyparser") NonConsumableResource();
  } else {
    new_resource_handle = new ("yyparser") ConsumableResource();
  }
}

void resource_agent(std::string* agent) { new_resource_handle->owner_agent = take(agent); }

void resource_state(double state) { new_resource_handle->state = to_float(state); }

void end_resource(std::string* label, double depleted_at, double overloaded_at) {
  Resource* resource = new_resource_handle;
  std::string id = take(label);
  while (id.size() > 1 && (id.back() == '\n' || id.back() == '\t')) id.pop_back();
  resource->id = id;
  resource->depleted_at = to_float(depleted_at);
  if (overloaded_at != -1.0) resource->overloaded_at = to_float(overloaded_at);
  resource->process_attributes_for_resource_models(*temporary_attributes_list);
  resource->verify_initial_resource_state();
  io_class_calling_parser->resources_read->add(resource);
  new_resource_handle = nullptr;
  // Used once: the next form must not see this resource's attributes.
  discard_pending_attributes();
}

// ---------------------------------------------------------------------------------------
// Resource effects.

void resource_model_field(int per_time_unit) { resource_model_def_kludge = per_time_unit; }

namespace {

void finish_resource_effect() {
  ResourceNLE* rnle = rnle_hook->rnle;
  io_class_calling_parser->unbound_rnles->add(rnle_hook);
  if (resource_model_def_kludge == 0) rnle->model_is_per_time_unit = 0;
  if (resource_model_def_kludge == 1) rnle->model_is_per_time_unit = 1;
  resource_model_def_kludge = -1;
  // Attributes written inside an effect form belong to no later form.
  discard_pending_attributes();
  rnle_hook = nullptr;
}

// Reads an amount list and returns its expected value; a list that does not sum to one
// is printed and stops the program.
float read_amount(std::string* list) {
  Distribution amount;
  read_list_into(list, amount);
  if (!sums_to_one(amount)) {
    amount.print(stderr);
    distribution_sum_error();
  }
  return amount.get_expected_value();
}

}  // namespace

void uses_form(std::string* label, std::string* agent, char* from, char* to, std::string* consumes) {
  rnle_hook = new ("parser") UnboundResourceNLE(RNLE_USES);
  Uses* uses = static_cast<Uses*>(rnle_hook->rnle);
  uses->id = take(label);
  uses->owner_agent = take(agent);
  rnle_hook->from = take(from);
  rnle_hook->to = take(to);
  // The reader's checks and the binder look these up as well as the record's names.
  uses->task_id = rnle_hook->from;
  uses->resource_id = rnle_hook->to;
  uses->to = rnle_hook->to;

  Distribution amount;
  read_list_into(consumes, amount);
  if (!sums_to_one(amount)) {
    amount.print(stderr);
    distribution_sum_error();
  }
  if (amount.length() != 1) {
    fprintf(stderr, "\n");
    fprintf(stderr, "** Warning, resource consumption specified as a distribution.\n");
    fprintf(stderr, "Scheduler will use the expected value of the distribution.\n");
    fprintf(stderr, "The uses rnle is: %s\n", uses->id.c_str());
    fprintf(stderr, "\n");
  }
  uses->consumes = amount.get_expected_value();
  finish_resource_effect();
}

void produces_form(std::string* label, std::string* agent, char* from, char* to, std::string* produces) {
  rnle_hook = new ("parser") UnboundResourceNLE(RNLE_PRODUCES);
  Produces* effect = static_cast<Produces*>(rnle_hook->rnle);
  effect->id = take(label);
  effect->owner_agent = take(agent);
  rnle_hook->from = take(from);
  rnle_hook->to = take(to);
  effect->task_id = rnle_hook->from;
  effect->resource_id = rnle_hook->to;
  effect->to = rnle_hook->to;
  effect->produces = read_amount(produces);
  finish_resource_effect();
}

void limits_form(std::string* label, std::string* agent, char* from, char* to, std::string* quality_power,
                 std::string* duration_power, std::string* cost_power) {
  std::string powers[] = {take(quality_power), take(duration_power), take(cost_power)};
  rnle_hook = new ("parser") UnboundResourceNLE(RNLE_LIMITS);
  Limits* limits = static_cast<Limits*>(rnle_hook->rnle);
  limits->id = take(label);
  limits->owner_agent = take(agent);
  // A limits effect runs from the resource to the task.
  rnle_hook->from = take(from);
  rnle_hook->to = take(to);
  limits->resource_id = rnle_hook->from;
  limits->from = rnle_hook->from;
  limits->task_id = rnle_hook->to;
  Distribution* targets[] = {&limits->quality_power, &limits->duration_power, &limits->cost_power};
  for (int i = 0; i < 3; i++) {
    number_text_to_distribution(powers[i], *targets[i]);
    if (!sums_to_one(*targets[i])) {
      limits->print(stderr);
      distribution_sum_error();
    }
  }
  finish_resource_effect();
}

// ---------------------------------------------------------------------------------------
// Commitments.

void add_commitment_task_name(char* name) { list_of_task_ids->append(take(name)); }

namespace {

[[noreturn]] void commitment_type_error(LocalCommitment* commitment, const char* message) {
  commitment->print(stderr);
  error_exit(message, 1);
}

void check_commitment_type(LocalCommitment* c) {
  bool has_dont = c->dont_interval_start >= 0.0f || c->dont_interval_end >= 0.0f;
  switch (c->type) {
    case EARLIEST_START_TIME_COMMITMENT_TYPE:
      if (c->deadline >= 0.0f || has_dont) {
        commitment_type_error(c,
                              "T-vorna error, the following commitment is an earliest_start_time commitment"
                              " but it also has a deadline and/or a dont_interval.  The deadline and dont_interval "
                              " parameters must be a negative value"
                              " when associated w/an earliest start time commitment.\n");
      }
      break;
    case DEADLINE_COMMITMENT_TYPE:
      if (c->earliest_start_time >= 0.0f || has_dont) {
        commitment_type_error(c,
                              "T-vorna error, the following commitment is a deadline commitment"
                              " but it also has an earliest_start_time or a dont_interval.  The est and "
                              "dont_interval paramaters must be negative values"
                              " when associated w/a deadline commitment.\n");
      }
      break;
    case DO_COMMITMENT_TYPE:
      if (c->deadline >= 0.0f || c->earliest_start_time >= 0.0f || has_dont) {
        commitment_type_error(c,
                              "T-vorna error, the following commitment is a do commitment"
                              " but it also has a deadline, an earliest start time, or a start/end dont_inteval."
                              "The deadline, est, and dont_interval, parameters must be empty, having negative "
                              "values, for do commitments.\n");
      }
      break;
    case EST_DL_AND_DO_COMMITMENT_TYPE:
      if (has_dont) {
        commitment_type_error(c,
                              "T-vorna error, the following commitment is an EST_DL_AND_DO commitment"
                              " but has dont interval values specified.\n");
      }
      break;
    case DONT_COMMITMENT_TYPE:
      if (c->deadline >= 0.0f || c->earliest_start_time >= 0.0f) {
        commitment_type_error(c,
                              "T-vorna error, the following commitment is a dont commitment"
                              " but it also has a deadline, an earliest start time, or both "
                              "Both the deadline and est parameters must be empty, having negative values, for do "
                              "commitments.\n");
      }
      if (c->dont_interval_start < 0.0f || c->dont_interval_end < 0.0f ||
          c->dont_interval_start > c->dont_interval_end) {
        commitment_type_error(c,
                              "T-vorna error, the following commitment is a dont commitment"
                              " but it has an empty dont_interval_start or dont_interval_end parameter or "
                              "the start time is after the end time.\n");
      }
      break;
    default:
      break;
  }
}

}  // namespace

void commitment_form(std::string* label, CommitmentFields& fields) {
  LocalCommitment* commitment = new ("parser") LocalCommitment();
  commitment_hook = commitment;
  commitment->commitment_id = take(label);
  commitment->type = fields.type;
  commitment->agent_id =
      fields.agent != nullptr ? take(fields.agent) : "kov_did_not_emit_an_agent_field_assume_for_this_agent";
  for (long i = 0; i < list_of_task_ids->length(); i++) commitment->add_task_id(*(*list_of_task_ids)[i]);
  list_of_task_ids->delete_list(1);
  commitment->importance = fields.importance;
  commitment->minimum_quality = to_float(fields.minimum_quality);
  commitment->earliest_start_time = to_float(fields.earliest_start_time);
  commitment->deadline = to_float(fields.deadline);
  if (fields.has_dont_interval) {
    commitment->dont_interval_start = static_cast<float>(fields.dont_interval_start);
    commitment->dont_interval_end = static_cast<float>(fields.dont_interval_end);
  } else {
    commitment->dont_interval_start = -9.0f;
    commitment->dont_interval_end = -9.0f;
  }
  commitment->satisfaction_time = to_float(fields.time_satisfied);
  check_commitment_type(commitment);
  set_commitment_existing_or_proposed_if_read_one_in(commitment);
  set_quality_for_commitment_satisfaction_if_read_one_in(commitment);
  io_class_calling_parser->commitments_read->add(commitment);
  commitment_hook = nullptr;
  discard_pending_attributes();
}

void nonlocal_commitment_form(std::string* label, char* from_agent, char* to_agent, std::string* quality,
                              std::string* time) {
  std::string quality_text = take(quality);
  std::string time_text = take(time);
  NonLocalCommitment* commitment = new ("parser") NonLocalCommitment();
  commitment_hook = commitment;
  commitment->commitment_id = take(label);
  commitment->type = NON_LOCAL_COMMITMENT_TYPE;
  commitment->from_agent = take(from_agent);
  // The commitment is made to the receiving agent.
  commitment->agent_id = take(to_agent);
  if (list_of_task_ids->length() != 1) {
    fprintf(stderr, "Error, non-local commitment %s is linked to more than one task or is not linked to any.\n",
            commitment->commitment_id.c_str());
    fprintf(stderr, "The list of ids that were parsed follows:\n");
    list_of_task_ids->simple_print(stderr);
    high_level_error();
  }
  commitment->add_task_id(*(*list_of_task_ids)[0L]);
  list_of_task_ids->delete_list(1);
  number_text_to_distribution(quality_text, commitment->quality);
  if (!sums_to_one(commitment->quality)) {
    commitment->quality.print(stderr);
    distribution_sum_error();
  }
  number_text_to_distribution(time_text, commitment->arrival_time);
  if (!sums_to_one(commitment->arrival_time)) {
    commitment->arrival_time.print(stderr);
    distribution_sum_error();
  }
  io_class_calling_parser->commitments_read->add(commitment);
  commitment_hook = nullptr;
  discard_pending_attributes();
}

// ---------------------------------------------------------------------------------------
// Criteria and control parameters.

void criteria_field(int index, double value) { pending_criteria[index] = value; }

void criteria_duration_limit(std::string* limit, std::string* range) {
  *pending_duration_limit = take(limit);
  pending_duration_limit->append(range != nullptr ? " " + take(range) : std::string(" 0.0"));
}

void criteria_form(std::string* label) {
  ScheduleCriteriaBundle* cb = io_class_calling_parser->criteria;
  const double* v = pending_criteria;
  cb->label_for_tvorna = take(label);
  cb->goodness_quality_slider = to_float(v[0]);
  cb->goodness_cost_slider = to_float(v[1]);
  cb->goodness_duration_slider = to_float(v[2]);
  cb->total_points_in_goodness_bank = cb->goodness_quality_slider + cb->goodness_cost_slider + cb->goodness_duration_slider;
  cb->threshold_quality_slider = to_float(v[3]);
  cb->threshold_cost_slider = to_float(v[4]);
  cb->threshold_duration_slider = to_float(v[5]);
  cb->total_points_in_threshold_bank =
      cb->threshold_quality_slider + cb->threshold_cost_slider + cb->threshold_duration_slider;
  cb->quality_threshold = to_float(v[6]);
  cb->cost_limit = to_float(v[7]);

  std::istringstream limit(*pending_duration_limit);
  limit.imbue(std::locale::classic());
  double duration_limit = 0.0;
  double plus_range = 0.0;
  limit >> duration_limit >> plus_range;
  cb->duration_limit = to_float(duration_limit);
  cb->duration_limit_plus_range = to_float(plus_range);
  if (cb->duration_limit_plus_range > 1.0f || cb->duration_limit_plus_range < 0.0f) {
    error_exit("\aError, duration limit soft range must be between 0 and 1.0\n", 1);
  }

  cb->uncertainty_quality_slider = to_float(v[9]);
  cb->uncertainty_cost_slider = to_float(v[10]);
  cb->uncertainty_duration_slider = to_float(v[11]);
  cb->total_points_in_uncertainty_bank =
      cb->uncertainty_quality_slider + cb->uncertainty_cost_slider + cb->uncertainty_duration_slider;
  cb->threshold_certainty_quality_slider = to_float(v[12]);
  cb->threshold_certainty_cost_slider = to_float(v[13]);
  cb->threshold_certainty_duration_slider = to_float(v[14]);
  cb->total_points_in_uncertainty_threshold_bank = cb->threshold_certainty_quality_slider +
                                                   cb->threshold_certainty_cost_slider +
                                                   cb->threshold_certainty_duration_slider;
  cb->quality_certainty_threshold = to_float(v[15]);
  cb->cost_certainty_threshold = to_float(v[16]);
  cb->duration_certainty_threshold = to_float(v[17]);
  cb->meta_goodness_slider = to_float(v[18]);
  cb->meta_threshold_slider = to_float(v[19]);
  cb->meta_uncertainty_slider = to_float(v[20]);
  cb->meta_uncertainty_threshold_slider = to_float(v[21]);
  cb->has_values = 1;
  discard_pending_attributes();
}

void misc_parameters_form(std::string* label, double time_to_schedule_for, double cost_accrued,
                          int use_advanced_analysis, char* pruning_setting) {
  discard_pending_attributes();
  ControlParameterBundle* control = io_class_calling_parser->control;
  control->label = take(label);
  control->execution_clock_to_schedule_for = to_float(time_to_schedule_for);
  control->cost_accrued_thus_far = to_float(cost_accrued);
  control->use_advanced_cbranch_analyzer = use_advanced_analysis;
  control->prune_setting = take(pruning_setting)[0];
}

void setting_bundle_form(std::string* label) {
  delete label;
  discard_pending_attributes();
}

void schedule_form() { discard_pending_attributes(); }

// ---------------------------------------------------------------------------------------
// Errors and entry points.

void vorna_syntax_error(const char* message) {
  // The parser generator calls a syntax error by another name.
  if (strcmp(message, "syntax error") == 0) message = "parse error";
  const char* lexeme = vorna_scanner_current_lexeme();
  if (lexeme[0] != '\0') {
    fprintf(stderr, "\nVorna error:  %s at line %d of file %s.\n\n", message, i_vorna, input_file_name());
    fprintf(stderr, "The text in question is (this may be garbage): %s\n", lexeme);
    fprintf(stderr,
            "Note: if the text is garbage, it doesn't mean that is what the parser read,\njust ignore it and use "
            "the line # in this case.\n");
  } else {
    fprintf(stderr, "\nVorna error:  %s at line %d of file %s\n", message, i_vorna, input_file_name());
  }
}

void reset_vorna_parser_state() {
  make_lists();
  vorna_scanner_reset();
  if (task_hook != nullptr) {
    delete task_hook->task;
    delete task_hook;
    task_hook = nullptr;
  }
  if (nle_hook != nullptr) {
    delete nle_hook->nle;
    delete nle_hook;
    nle_hook = nullptr;
  }
  if (rnle_hook != nullptr) {
    delete rnle_hook->rnle;
    delete rnle_hook;
    rnle_hook = nullptr;
  }
  delete new_resource_handle;
  new_resource_handle = nullptr;
  commitment_delete_function(commitment_hook);
  commitment_hook = nullptr;
  delete outcome_hook;
  outcome_hook = nullptr;
  resource_model_def_kludge = -1;
  list_of_outcomes->delete_list(1);
  // Emptying a name list announces a known leak once per process; say nothing for empty ones.
  for (StringList* names : {list_of_sub_names, list_of_super_names, list_of_task_ids}) {
    if (names->length() != 0) names->delete_list(1);
  }
  discard_pending_attributes();
  pending_task_fields->clear();
  pending_duration_limit->clear();
  for (double& value : pending_criteria) value = 0.0;
}

void release_attribute_texts() {
  make_lists();
  discard_pending_attributes();
  attribute_texts->clear();
}

void release_vorna_parser_storage() {
  reset_vorna_parser_state();
  delete list_of_outcomes;
  list_of_outcomes = nullptr;
  for (StringList** names : {&list_of_sub_names, &list_of_super_names, &list_of_task_ids}) {
    delete *names;
    *names = nullptr;
  }
  delete temporary_attributes_list;
  temporary_attributes_list = nullptr;
  delete pending_task_fields;
  pending_task_fields = nullptr;
  delete pending_duration_limit;
  pending_duration_limit = nullptr;
  delete attribute_texts;
  attribute_texts = nullptr;
}

namespace {

int run_parser(VornaParseTarget& target) {
  io_class_calling_parser = &target;
  i_vorna = 1;
  parser_call_counter++;
  // A syntax error is reported inside the parse, which then unwinds (freeing what it
  // holds) and returns non-zero; the stop comes after.
  if (yyparse() != 0) fatal_stop();
  io_class_calling_parser = nullptr;
  return 0;
}

}  // namespace

int parse_vorna_stream(FILE* input, VornaParseTarget& target) {
  reset_vorna_parser_state();
  vorna_scanner_read_stream(input);
  return run_parser(target);
}

int parse_vorna_text(const char* text, size_t length, VornaParseTarget& target) {
  reset_vorna_parser_state();
  // The scanner lets go of the caller's text however the parse ends, a stop hook that
  // throws included.
  struct DetachText {
    ~DetachText() { vorna_scanner_reset(); }
  } detach;
  vorna_scanner_read_text(text, length);
  return run_parser(target);
}
