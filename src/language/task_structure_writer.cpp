// The task-structure writer: the model read for a run, back out as Vorna text that reads
// back into the same model (the driver's "tvorna_used_for_scheduling").
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>
#include <vector>
#include <string>
#include <string_view>

#include "foundation/fatal_stop.h"
#include "foundation/system_wrappers.h"
#include "language/c_locale_numbers.h"
#include "language/vorna_io.h"

namespace {

const char* node_id(BasicTask* task) { return task != nullptr ? task->id.c_str() : EMPTY_ID; }

// The fixed times are written only when set.
bool is_set(float time) { return time != UNSET_TIME; }

// A decimal as six places; a negative value too small for them in its shortest exact form,
// since "-0.000000" reads back as zero (and a negative time means "not set").
std::string decimal_text(float v) {
  std::string text = fixed_text(v);
  if (v < 0.0f && text == "-0.000000") return shortest_exact_text(v);
  return text;
}

// A criterion as six places when they read back as the same float, else in its shortest
// exact form: the reader normalises the sliders, and a run on the echo must rate as the
// run did.
std::string criterion_text(float v) {
  std::string text = decimal_text(v);
  return reads_back_exactly(text, v) ? text : shortest_exact_text(v);
}

// As a whole number within an int, the only integers the text holds: the float 2^31 is
// written 2147483647, which reads back as that float.
std::string integer_text(float v) {
  return std::to_string(std::lround(std::clamp(static_cast<double>(v), double{INT_MIN}, double{INT_MAX})));
}

const char* scheduling_mode_word(MethodSchedulingModes mode) {
  switch (mode) {
    case ScheduleMethodsExhaustively:
      return "pure_exhaustive";
    case ScheduleMethodsHeuristically:
      return "heuristic";
    case ScheduleMethodsExhaustively_via_Alternatives:
      return "exhaustive_from_alternatives";
    case ScheduleMethodsExhaustively_via_Pruned_Alternatives:
      return "exhaustive_from_pruned_alternatives";
    default:
      return nullptr;
  }
}

const char* local_commitment_type_word(CommitmentType type) {
  switch (type) {
    case DEADLINE_COMMITMENT_TYPE:
      return "deadline";
    case EARLIEST_START_TIME_COMMITMENT_TYPE:
      return "earliest_start_time";
    case DO_COMMITMENT_TYPE:
      return "do";
    case DONT_COMMITMENT_TYPE:
      return "dont";
    case EST_DL_AND_DO_COMMITMENT_TYPE:
      return "est_and_dl_and_do";
    default:
      return nullptr;
  }
}

// The characters a name of the text is made of.
constexpr std::string_view NAME_CHARACTERS =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!#$%&*-./?@^_{}";

// The prune setting when none was given.
constexpr char NO_PRUNE_SETTING = '-';

// A word of the text whose first character is the prune setting (the parameters form
// keeps only that character), or "" when no word of the text starts with it.
std::string pruning_word(char setting) {
  if (setting == '\0' || NAME_CHARACTERS.find(setting) == std::string_view::npos) return "";
  std::string word(1, setting);
  // A lone digit would be a number.
  if (setting >= '0' && setting <= '9') word += '_';
  return word;
}

// The pairs of a distribution as an attribute value: "value density ...".
std::string pairs_as_words(Distribution& d) {
  std::ostringstream text;
  set_vorna_number_format(text);
  d.print_to_stream_in_t_vorna_format(text);
  std::string words = text.str();
  if (!words.empty() && words[0] == ' ') words.erase(0, 1);
  return words;
}

void emit(FILE* out, const std::string& text) { fputs(text.c_str(), out); }

}  // namespace

void VornaIO::write_vorna_task_structures_and_commitments(const char* file_name, AgentIDList& agents,
                                                          TaskList& task_groups, CommitmentList& commitments,
                                                          ScheduleCriteriaBundle& criteria, ResourceList& resources,
                                                          ControlParameterBundle& control) {
  int fd = open(file_name, O_WRONLY | O_CREAT | O_TRUNC, 0664);
  out = fd >= 0 ? fdopen(fd, "w") : nullptr;
  if (out == nullptr) {
    if (fd >= 0) close(fd);
    std::cerr << "Cannot open vorna output file " << file_name << "\n";
    fatal_stop();
  }
  std::vector<BasicTask*> nodes = order_of_task_forms(task_groups);
  std::vector<NLE*> deferred = order_for_effect_forms(nodes);
  effect_forms_deferred = !deferred.empty();

  for (long i = 0; i < agents.length(); i++) emit(out, "(spec_agent\n\t(label " + *agents.get(i) + "))\n\n");
  for (BasicTask* node : nodes) write_task(node);
  if (effect_forms_deferred) {
    std::ostringstream effects;
    set_vorna_number_format(effects);
    for (NLE* nle : deferred) write_nle(effects, nle);
    emit(out, effects.str());
    effect_forms_deferred = false;
  }
  // Reading adds each commitment and resource at the front of its list, so the reverse
  // order here rebuilds the same lists.
  for (long i = commitments.length() - 1; i >= 0; i--) write_commitment(commitments.get(i));
  write_control_bundle(control);
  write_criteria_bundle(criteria);
  write_resources(resources);

  FILE* written = out;
  out = nullptr;
  nodes_in_file.clear();
  ib_fclose(written, file_name);
}

bool VornaIO::node_is_written(BasicTask* task) const {
  // A form written on its own names every node it links to.
  return nodes_in_file.empty() || nodes_in_file.count(task) != 0;
}

bool VornaIO::effect_is_written(NLE* nle) const { return node_is_written(nle->from) && node_is_written(nle->to); }

void VornaIO::write_task(BasicTask* task) {
  std::ostringstream effects;
  set_vorna_number_format(effects);

  switch (task->task_type) {
    case VORNA_TASK_GROUP:
      emit(out, "(spec_task_group\n");
      break;
    case VORNA_TASK:
      emit(out, "(spec_task\n");
      break;
    case VORNA_METHOD:
      emit(out, "(spec_method\n");
      break;
    default:
      std::cerr << "Warning, writing a task of undefined type.\n";
      emit(out, "(spec_task_type_undefined\n");
      break;
  }
  write_attributes(task->imported_attributes);
  emit(out, "\t(label " + task->id + ")\n");
  emit(out, "\t(agent " + task->owner_agent + ")\n");
  std::string supers;
  for (long i = 0; i < task->supertasks.length(); i++)
    if (node_is_written(task->supertasks.get(i))) supers += " " + task->supertasks.get(i)->id;
  if (!supers.empty()) emit(out, "\t(supertasks" + supers + ")\n");
  if (task->subtasks.length() > 0) {
    std::string line = "\t(subtasks";
    for (long i = 0; i < task->subtasks.length(); i++) line += " " + task->subtasks.get(i)->id;
    emit(out, line + ")\n");
  }

  Method* method = task->task_type == VORNA_METHOD ? dynamic_cast<Method*>(task) : nullptr;
  if (method != nullptr && method->outcomes.length() > 0) {
    emit(out, "\t(outcomes\n");
    for (long i = 0; i < method->outcomes.length(); i++) write_outcome(method->outcomes.get(i));
    emit(out, "\t)\n");
  }
  if (method == nullptr) {
    emit(out, std::string("\t(qaf ") + qaf_to_string_for_io(task));
    if (task->qaf == VORNA_SIGMOID) {
      std::ostringstream table;
      set_vorna_number_format(table);
      write_distribution(table, "sigmoid_distribution", task->sigmoid_function_if_qaf_is_sigmoid, "\n\t\t");
      emit(out, table.str() + "\t");
    }
    emit(out, ")\n");
  }

  if (is_set(task->arrival)) emit(out, "\t(arrival_time " + decimal_text(task->arrival) + ")\n");
  if (is_set(task->deadline)) emit(out, "\t(deadline " + decimal_text(task->deadline) + ")\n");
  if (is_set(task->earliest_start_time))
    emit(out, "\t(earliest_start_time " + decimal_text(task->earliest_start_time) + ")\n");

  if (method != nullptr) {
    emit(out, "\t(percentage_of_cpu_used " + decimal_text(method->percentage_of_duration_used_by_cpu) + ")\n");
    if (is_set(method->start_time)) emit(out, "\t(start_time " + decimal_text(method->start_time) + ")\n");
    if (is_set(method->finish_time)) emit(out, "\t(finish_time " + decimal_text(method->finish_time) + ")\n");
    if (is_set(method->accrued_time)) emit(out, "\t(accrued_time " + decimal_text(method->accrued_time) + ")\n");
    if (method->method_is_local == 0) emit(out, "\t(method_is_non_local)\n");
  }

  // The comment lines name the effects; each effect's form follows the node it comes from.
  std::string ids;
  for (long i = 0; i < task->affects_conceptually->length(); i++) {
    NLE* nle = task->affects_conceptually->get(i);
    if (!effect_is_written(nle)) continue;
    ids += " " + nle->nle_id;
    if (!effect_forms_deferred) write_nle(effects, nle);
  }
  if (!ids.empty()) emit(out, "\t;\n\t; FYI only -- the info is in the nle object\n\t; (affects" + ids + ")\n\t;\n");
  ids.clear();
  for (long i = 0; i < task->affected_by_conceptually->length(); i++) {
    NLE* nle = task->affected_by_conceptually->get(i);
    if (effect_is_written(nle)) ids += " " + nle->nle_id;
  }
  if (!ids.empty()) emit(out, "\t;\n\t; FYI only -- the info is in the nle object\n\t; (affected_by" + ids + ")\n\t;\n");
  for (long i = 0; i < task->affects_resource->length(); i++) write_resource_nle(effects, task->affects_resource->get(i));
  for (long i = 0; i < task->affected_by_resource->length(); i++)
    write_resource_nle(effects, task->affected_by_resource->get(i));

  emit(out, ")\n\n");
  emit(out, effects.str());
}

void VornaIO::write_attributes(StringAssociationList& attributes) {
  std::string line = "\t(spec_attributes ";
  for (long i = 0; i < attributes.length(); i++) {
    StringAssociation* entry = attributes.get_association_at(i);
    line += "(" + entry->return_key() + " " + (entry->return_item() != nullptr ? entry->return_item() : "") + ")";
  }
  emit(out, line + ")\n");
}

void VornaIO::write_outcome(Outcome* outcome) {
  emit(out, "\t\t(" + outcome->outcome_id + "\n");
  // The density in the shortest form that reads back as the same float.
  emit(out, "\t\t   (density " + shortest_exact_text(outcome->probability) + ")\n");
  std::ostringstream distributions;
  set_vorna_number_format(distributions);
  write_distribution(distributions, "quality_distribution", outcome->quality, "\t\t   ");
  write_distribution(distributions, "duration_distribution", outcome->duration, "\t\t   ");
  write_distribution(distributions, "cost_distribution", outcome->cost, "\t\t   ");
  emit(out, distributions.str());
  emit(out, "\t\t)\n");
}

void VornaIO::write_distribution(std::ostringstream& buffer, const char* keyword, Distribution& d,
                                 const char* prefix) {
  // The numbers in the file's form whatever the buffer's own settings.
  std::ostringstream line;
  set_vorna_number_format(line);
  if (prefix != nullptr) line << prefix;
  line << "(" << keyword;
  d.print_to_stream_in_t_vorna_format(line);
  line << ")\n";
  buffer << line.str();
}

void VornaIO::write_nle(std::ostringstream& buffer, NLE* nle) {
  const char* keyword = "undefined_nle_type";
  switch (nle->type) {
    case NLE_ENABLES:
      keyword = "spec_enables";
      break;
    case NLE_DISABLES:
      keyword = "spec_disables";
      break;
    case NLE_U_FACILITATES:
      keyword = "spec_facilitates";
      break;
    case NLE_U_HINDERS:
      keyword = "spec_hinders";
      break;
    default:
      break;
  }
  buffer << "(" << keyword << "\n";
  buffer << "\t(label " << nle->nle_id << ")\n";
  buffer << "\t(agent " << nle->owner_agent << ")\n";
  buffer << "\t(from " << node_id(nle->from) << ")\n";
  if (nle->outcome_from_if_applicable != nullptr)
    buffer << "\t(from_outcome " << nle->outcome_id_from_if_applicable << ")\n";
  buffer << "\t(to " << node_id(nle->to) << ")\n";
  if (nle->type == NLE_U_FACILITATES || nle->type == NLE_U_HINDERS || nle->type == NLE_B_FACILITATES) {
    // The powers as read, whatever mode the effect is in.
    write_distribution(buffer, "quality_power", nle->quality_power_uncertainty, "\t");
    write_distribution(buffer, "duration_power", nle->duration_power_uncertainty, "\t");
    write_distribution(buffer, "cost_power", nle->cost_power_uncertainty, "\t");
  }
  write_distribution(buffer, "delay", nle->propagation_delay, "\t");
  buffer << ")\n\n";
}

void VornaIO::write_resource_nle(std::ostringstream& buffer, ResourceNLE* rnle) {
  switch (rnle->type) {
    case RNLE_USES:
      buffer << "(spec_uses\n";
      break;
    case RNLE_PRODUCES:
      buffer << "(spec_produces\n";
      break;
    case RNLE_LIMITS:
      buffer << "(spec_limits\n";
      break;
    default:
      error_exit("Error, cannot write an untyped resource.\n", 1);
  }
  buffer << "\t(label " << rnle->id << ")\n";
  buffer << "\t(agent " << rnle->owner_agent << ")\n";
  if (rnle->type == RNLE_LIMITS) {
    Limits* limits = static_cast<Limits*>(rnle);
    buffer << "\t(from " << rnle->resource_id << ")\n";
    buffer << "\t(to " << rnle->task_id << ")\n";
    write_distribution(buffer, "quality_power", limits->quality_power, "\t");
    write_distribution(buffer, "duration_power", limits->duration_power, "\t");
    write_distribution(buffer, "cost_power", limits->cost_power, "\t");
  } else {
    buffer << "\t(from " << rnle->task_id << ")\n";
    buffer << "\t(to " << rnle->resource_id << ")\n";
    // The amount as a one-pair list, the form the reader takes.
    if (rnle->type == RNLE_USES)
      buffer << "\t(consumes " << decimal_text(static_cast<Uses*>(rnle)->consumes) << " " << fixed_text(1.0) << ")\n";
    else
      buffer << "\t(produces " << decimal_text(static_cast<Produces*>(rnle)->produces) << " " << fixed_text(1.0)
             << ")\n";
  }
  if (rnle->model_is_per_time_unit == 1) buffer << "\t(resource_model per_time_unit)\n";
  buffer << ")\n\n";
}

void VornaIO::write_commitment(Commitment* commitment) {
  LocalCommitment* local = commitment->as_local();
  NonLocalCommitment* non_local = commitment->as_non_local();
  const char* type_word = local != nullptr ? local_commitment_type_word(commitment->type) : nullptr;
  if (type_word != nullptr) {
    std::string text = "(spec_commitment\n";
    text += "\t(label " + commitment->commitment_id + ")\n";
    text += std::string("\t(type ") + type_word + ")\n";
    text += "\t(agent " + commitment->agent_id + ")\n";
    text += "\t(task ";
    for (long i = 0; i < commitment->task_ids.length(); i++) text += *commitment->task_ids.get(i) + " ";
    text += ")\n";
    text += "\t(importance " + std::to_string(local->importance) + ")\n";
    text += "\t(minimum_quality " + decimal_text(local->minimum_quality) + ")\n";
    text += "\t(earliest_start_time " + decimal_text(local->earliest_start_time) + ")\n";
    text += "\t(deadline " + decimal_text(local->deadline) + ")\n";
    // The text takes the dont interval as whole numbers, and only dont commitments have one.
    if (commitment->type == DONT_COMMITMENT_TYPE) {
      text += "\t(dont_interval_start " + integer_text(local->dont_interval_start) + ")\n";
      text += "\t(dont_interval_end " + integer_text(local->dont_interval_end) + ")\n";
    }
    text += "\t(time_satisfied " + decimal_text(local->satisfaction_time) + ")\n";
    text += "\t(spec_attributes (existing_or_proposed ";
    text += commitment->existing_or_proposed == COMMITMENT_IS_EXISTING ? "existing" : "proposed";
    text += ")";
    if (local->quality_for_commitment_satisfaction.length() > 0)
      text += "(quality_for_commitment_satisfaction " + pairs_as_words(local->quality_for_commitment_satisfaction) +
              ")";
    text += ")\n";
    text += ")\n\n";
    emit(out, text);
    return;
  }
  if (non_local != nullptr) {
    std::ostringstream text;
    set_vorna_number_format(text);
    text << "(spec_nonlocal_commitment\n";
    text << "\t(label " << commitment->commitment_id << ")\n";
    text << "\t(task";
    for (long i = 0; i < commitment->task_ids.length(); i++) text << " " << *commitment->task_ids.get(i);
    text << ")\n";
    text << "\t(from_agent " << non_local->from_agent << ")\n";
    text << "\t(to_agent " << commitment->agent_id << ")\n";
    write_distribution(text, "quality_distribution", non_local->quality, "\t");
    write_distribution(text, "time_distribution", non_local->arrival_time, "\t");
    text << ")\n\n";
    emit(out, text.str());
    return;
  }
  fflush(out);
  std::cerr << "Cannot write an undefined commitment type.\n";
  exit_or_abort();
}

void VornaIO::write_control_bundle(ControlParameterBundle& control) {
  // The attributes form refuses a negative time or cost and takes no pruning word but n or
  // p; values it would refuse or drop go in the parameters form, which takes them all.
  std::string prune_word = pruning_word(control.prune_setting);
  bool needs_parameters_form = control.execution_clock_to_schedule_for < 0.0f ||
                               control.cost_accrued_thus_far < 0.0f ||
                               (control.prune_setting != 'n' && control.prune_setting != 'p' &&
                                control.prune_setting != NO_PRUNE_SETTING && !prune_word.empty());
  // A setting no word can carry is left as none.
  if (prune_word.empty()) prune_word = std::string(1, NO_PRUNE_SETTING);
  std::string time = decimal_text(control.execution_clock_to_schedule_for);
  std::string cost = decimal_text(control.cost_accrued_thus_far);
  std::string advanced = std::to_string(control.use_advanced_cbranch_analyzer);
  std::string text;
  if (needs_parameters_form) {
    text += "(spec_misc_scheduler_parameters\n";
    text += "\t(label " + control.label + ")\n";
    text += "\t(time_to_schedule_for " + time + ")\n";
    text += "\t(cost_accrued " + cost + ")\n";
    text += "\t(use_advanced_analysis " + advanced + ")\n";
    text += "\t(pruning_setting " + prune_word + ")\n";
    text += ")\n\n";
  }
  std::string attributes;
  if (!needs_parameters_form) {
    attributes += "\t(time_to_schedule_for " + time + ")\n";
    attributes += "\t(cost_accrued " + cost + ")\n";
    attributes += "\t(use_advanced_analysis " + advanced + ")\n";
  }
  // The run's settings, each only when the text gave one, so that they read back.
  if (control.target_max_number_of_schedules != -1)
    attributes +=
        "\t(target_max_number_of_schedules " + std::to_string(control.target_max_number_of_schedules) + ")\n";
  if (!needs_parameters_form && (control.prune_setting == 'n' || control.prune_setting == 'p'))
    attributes += std::string("\t(pruning_setting ") + control.prune_setting + ")\n";
  if (const char* mode = scheduling_mode_word(control.scheduling_mode))
    attributes += std::string("\t(scheduling_mode ") + mode + ")\n";
  if (!attributes.empty()) text += "(spec_attributes\n" + attributes + ")\n\n";
  emit(out, text);
}

void VornaIO::write_criteria_bundle(ScheduleCriteriaBundle& criteria) {
  std::string text = "(spec_evaluation_criteria\n";
  text += "\t(label " + criteria.label_for_tvorna + ")\n";
  auto field = [&text](const char* name, float value) {
    text += std::string("\t(") + name + " " + criterion_text(value) + ")\n";
  };
  field("goodness_quality_slider", criteria.goodness_quality_slider);
  field("goodness_cost_slider", criteria.goodness_cost_slider);
  field("goodness_duration_slider", criteria.goodness_duration_slider);
  field("threshold_quality_slider", criteria.threshold_quality_slider);
  field("threshold_cost_slider", criteria.threshold_cost_slider);
  field("threshold_duration_slider", criteria.threshold_duration_slider);
  field("quality_threshold", criteria.quality_threshold);
  field("cost_limit", criteria.cost_limit);
  text += "\t(duration_limit " + fixed_text(criteria.duration_limit, 2);
  // A range that two decimals show as 0 reads back as none, and is written as none.
  std::string range = fixed_text(criteria.duration_limit_plus_range, 2);
  if (range != "0.00" && range != "-0.00") text += " " + range;
  text += ")\n";
  field("uncertainty_quality_slider", criteria.uncertainty_quality_slider);
  field("uncertainty_cost_slider", criteria.uncertainty_cost_slider);
  field("uncertainty_duration_slider", criteria.uncertainty_duration_slider);
  field("threshold_certainty_quality_slider", criteria.threshold_certainty_quality_slider);
  field("threshold_certainty_cost_slider", criteria.threshold_certainty_cost_slider);
  field("threshold_certainty_duration_slider", criteria.threshold_certainty_duration_slider);
  field("quality_certainty_threshold", criteria.quality_certainty_threshold);
  field("cost_certainty_threshold", criteria.cost_certainty_threshold);
  field("duration_certainty_threshold", criteria.duration_certainty_threshold);
  field("meta_goodness_slider", criteria.meta_goodness_slider);
  field("meta_threshold_slider", criteria.meta_threshold_slider);
  field("meta_uncertainty_slider", criteria.meta_uncertainty_slider);
  field("meta_uncertainty_threshold_slider", criteria.meta_uncertainty_threshold_slider);
  text += ")\n\n";
  emit(out, text);
}

void VornaIO::write_resources(ResourceList& resources) {
  for (long i = resources.length() - 1; i >= 0; i--) {
    Resource* resource = resources.get(i);
    std::string text;
    if (resource->type == RESOURCE_CONSUMABLE)
      text = "(spec_consumable_resource\n";
    else if (resource->type == RESOURCE_NON_CONSUMABLE)
      text = "(spec_non_consumable_resource\n";
    else {
      fflush(out);
      error_exit("Error, cannot write an untyped resource.\n", 1);
    }
    text += "\t(label " + resource->id + ")\n";
    if (resource->owner_agent != EMPTY_ID) text += "\t(agent " + resource->owner_agent + ")\n";
    // A consumable below its lower mark holds a flag, not a level; 0 reads back as the
    // same flag (the lower mark is above 0 then).
    float state = resource->state;
    if (resource->type == RESOURCE_CONSUMABLE && state == DEPLETED_FLAG) state = 0.0f;
    text += "\t(state " + decimal_text(state) + ")\n";
    text += "\t(depleted_at " + decimal_text(resource->depleted_at) + ")\n";
    if (resource->overloaded_at != DEFAULT_OVERLOADED_AT)
      text += "\t(overloaded_at " + decimal_text(resource->overloaded_at) + ")\n";
    text += ")\n\n";
    emit(out, text);
  }
}

std::vector<BasicTask*> VornaIO::order_of_task_forms(TaskList& task_groups) {
  // Every node under the task groups once, in pre-order: the layout when nothing asks
  // for another.
  std::vector<BasicTask*> nodes;
  std::unordered_map<BasicTask*, size_t> rank;
  std::vector<BasicTask*> pending;
  for (long i = task_groups.length() - 1; i >= 0; i--) pending.push_back(task_groups.get(i));
  while (!pending.empty()) {
    BasicTask* node = pending.back();
    pending.pop_back();
    if (node == nullptr || !rank.emplace(node, nodes.size()).second) continue;
    nodes.push_back(node);
    for (long i = node->subtasks.length() - 1; i >= 0; i--) pending.push_back(node->subtasks.get(i));
  }
  nodes_in_file = std::set<BasicTask*>(nodes.begin(), nodes.end());
  const size_t n = nodes.size();

  // Reading sets a node's child number from each form that lists it as a subtask, in
  // the order of the forms (the last place in the list when it is listed twice), and a
  // task group's to 0 after its own subtasks. So the last of those forms must give the
  // number the node has: one of its "winners". The task groups come back in the order of
  // their forms, so those keep the order of the list.
  struct Parent {
    size_t node;
    bool wins;
  };
  std::vector<std::vector<Parent>> parents(n);
  std::vector<std::vector<size_t>> children(n);
  std::vector<bool> has_winner(n, false);
  for (size_t p = 0; p < n; p++) {
    BasicTask* node = nodes[p];
    std::unordered_map<size_t, long> last_place;
    std::vector<size_t> listed;
    for (long k = 0; k < node->subtasks.length(); k++) {
      if (node->subtasks.get(k) == nullptr) continue;
      size_t child = rank.at(node->subtasks.get(k));
      if (last_place.insert_or_assign(child, k).second) listed.push_back(child);
    }
    if (node->task_type == VORNA_TASK_GROUP && last_place.emplace(p, 0).second) listed.push_back(p);
    for (size_t child : listed) {
      bool wins = last_place[child] == nodes[child]->i_am_child_number;
      parents[child].push_back({p, wins});
      children[p].push_back(child);
      if (wins) has_winner[child] = true;
    }
  }
  std::vector<size_t> groups_in_order;
  std::set<size_t> groups_seen;
  for (long i = 0; i < task_groups.length(); i++) {
    auto found = rank.find(task_groups.get(i));
    if (found != rank.end() && nodes[found->second]->task_type == VORNA_TASK_GROUP &&
        groups_seen.insert(found->second).second)
      groups_in_order.push_back(found->second);
  }

  // From the last form back: a form may come last among those left when, for each node
  // it lists that no later form lists, it is a winner. Of those, the latest in pre-order.
  // A node whose number no form gives (set by a form the file leaves out) asks nothing.
  std::vector<long> blocking(n, 0);
  std::vector<bool> waits_for_later_group(n, false);
  for (size_t child = 0; child < n; child++)
    for (const Parent& parent : parents[child])
      if (!parent.wins && has_winner[child]) blocking[parent.node]++;
  for (size_t i = 0; i + 1 < groups_in_order.size(); i++) waits_for_later_group[groups_in_order[i]] = true;
  std::set<size_t> eligible;
  std::set<size_t> ready;
  for (size_t p = 0; p < n; p++) {
    if (waits_for_later_group[p]) continue;
    eligible.insert(p);
    if (blocking[p] == 0) ready.insert(p);
  }
  std::vector<bool> placed(n, false);
  auto release = [&](size_t p) {
    if (!waits_for_later_group[p] && !placed[p] && blocking[p] == 0) ready.insert(p);
  };
  std::vector<bool> settled(n, false);
  std::vector<BasicTask*> order;
  size_t next_group = groups_in_order.size();
  while (!eligible.empty()) {
    // Lists that contradict each other (a model not read from a file) cannot all be kept;
    // then the latest form left comes last.
    size_t p = ready.empty() ? *eligible.rbegin() : *ready.rbegin();
    ready.erase(p);
    eligible.erase(p);
    placed[p] = true;
    order.push_back(nodes[p]);
    for (size_t child : children[p]) {
      if (settled[child]) continue;
      settled[child] = true;
      if (!has_winner[child]) continue;
      for (const Parent& parent : parents[child])
        if (!parent.wins && !placed[parent.node]) {
          blocking[parent.node]--;
          release(parent.node);
        }
    }
    if (next_group > 0 && groups_in_order[next_group - 1] == p) {
      next_group--;
      if (next_group > 0) {
        size_t earlier = groups_in_order[next_group - 1];
        waits_for_later_group[earlier] = false;
        eligible.insert(earlier);
        release(earlier);
      }
    }
  }
  std::reverse(order.begin(), order.end());
  return order;
}

std::vector<NLE*> VornaIO::order_for_effect_forms(const std::vector<BasicTask*>& nodes) {
  // The effects in the order they would follow their sources.
  std::vector<NLE*> layout;
  std::map<NLE*, size_t> position;
  for (BasicTask* node : nodes)
    for (long i = 0; i < node->affects_conceptually->length(); i++) {
      NLE* nle = node->affects_conceptually->get(i);
      if (effect_is_written(nle) && position.emplace(nle, layout.size()).second) layout.push_back(nle);
    }

  // Which written effect each copy on a method stands for: the copies of a node's effects
  // sit in its affects_actually list in groups, one per effect in list order, each as
  // long as the number of distinct methods under that effect's target.
  std::map<NLE*, NLE*> copy_of;
  for (BasicTask* node : nodes) {
    NLEList& copies = *node->affects_actually;
    long next = 0;
    bool aligned = true;
    for (long i = 0; i < node->affects_conceptually->length() && aligned; i++) {
      NLE* nle = node->affects_conceptually->get(i);
      TaskList methods;
      if (nle->to != nullptr) nle->to->list_each_method_for_task_once(methods);
      long count = methods.length();
      methods.delete_list(0);
      for (long k = 0; k < count && aligned; k++) {
        if (next >= copies.length()) {
          aligned = false;
          break;
        }
        copy_of[copies.get(next++)] = nle;
      }
    }
  }

  // Each list that reading fills must come out as it is: an edge from every effect to the
  // next one of the same list.
  std::map<NLE*, std::set<NLE*>> after;
  auto chain = [&](NLEList& list, bool through_copies) {
    NLE* previous = nullptr;
    for (long i = 0; i < list.length(); i++) {
      NLE* nle = list.get(i);
      if (through_copies) {
        auto found = copy_of.find(nle);
        nle = found != copy_of.end() ? found->second : nullptr;
      }
      if (nle == nullptr || position.count(nle) == 0 || nle == previous) continue;
      if (previous != nullptr) after[previous].insert(nle);
      previous = nle;
    }
  };
  for (BasicTask* node : nodes) {
    chain(*node->affects_conceptually, false);
    chain(*node->affected_by_conceptually, false);
    chain(*node->affected_by_actually, true);
  }

  bool layout_keeps_lists = true;
  for (auto& [first, laters] : after)
    for (NLE* later : laters)
      if (position[first] > position[later]) layout_keeps_lists = false;
  if (layout_keeps_lists) return {};

  // The order closest to the layout that keeps every list.
  std::map<NLE*, int> waiting;
  for (auto& [first, laters] : after)
    for (NLE* later : laters) waiting[later]++;
  std::set<size_t> ready;
  for (NLE* nle : layout)
    if (waiting[nle] == 0) ready.insert(position[nle]);
  std::vector<NLE*> order;
  while (!ready.empty()) {
    NLE* nle = layout[*ready.begin()];
    ready.erase(ready.begin());
    order.push_back(nle);
    for (NLE* later : after[nle])
      if (--waiting[later] == 0) ready.insert(position[later]);
  }
  // Lists that contradict each other cannot all be kept; the forms then follow their sources.
  if (order.size() != layout.size()) return {};
  return order;
}

const char* VornaIO::qaf_to_string_for_io(BasicTask* task) {
  switch (task->qaf) {
    case VORNA_SUM:
      return "q_sum";
    case VORNA_MAX:
      return "q_max";
    case VORNA_MIN:
      return "q_min";
    case VORNA_ONLY_ONE:
      return "q_exactly_one";
    case VORNA_SIGMOID:
      return "q_sigmoid";
    case VORNA_SUM_ALL:
      return "q_sum_all";
    case VORNA_SEQ_SUM:
      return "q_seq_sum";
    case VORNA_SEQ:
      return "q_seq";
    case VORNA_SEQ_MIN:
      return "q_seq_min";
    case VORNA_SEQ_MAX:
      return "q_seq_max";
    default:
      return "q_undefined";
  }
}
