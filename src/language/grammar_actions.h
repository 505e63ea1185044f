// What the grammar's reductions call. Texts come in as new strings (names as flex_strsave
// arrays, composed texts as std::string) and every action takes ownership of what it is
// given.
#pragma once

#include <string>

#include "foundation/shared_types.h"
#include "model/commitment.h"
#include "model/nle.h"
#include "model/resource.h"
#include "model/task.h"

// Value texts: a name as written, an integer as "%d", a decimal as "%f" (always in the "C"
// locale).
std::string* text_of_name(char* name);
std::string* text_of_integer(int value);
std::string* text_of_decimal(double value);
// A number list carried as text: the numbers joined by one blank.
std::string* join_number_texts(std::string* list, std::string* number);

// Attributes: an attributes form with entries first discards what is pending.
void begin_attribute_entries();
void add_attribute_word(std::string*& words, char* word);
void add_pending_attribute(char* key, std::string* words);
// A top-level attributes form: read as control parameters, then discarded.
void top_level_attributes();

void agent_form(std::string* label);

// Task groups, tasks and methods. Fields other than the sub and super names are kept and
// applied from the last to the first when the form closes, so the first occurrence wins.
enum TaskField {
  TASK_FIELD_LABEL,
  TASK_FIELD_AGENT,
  TASK_FIELD_QAF,
  TASK_FIELD_ARRIVAL_TIME,
  TASK_FIELD_EARLIEST_START_TIME,
  TASK_FIELD_DEADLINE,
  TASK_FIELD_PERCENTAGE_OF_CPU_USED,
  TASK_FIELD_START_TIME,
  TASK_FIELD_FINISH_TIME,
  TASK_FIELD_ACCRUED_TIME,
  TASK_FIELD_METHOD_IS_NON_LOCAL,
};
void begin_task(TaskType type);
void task_text_field(TaskField field, std::string* text);
void task_number_field(TaskField field, double value);
void task_qaf_field(VORNA_QualityAF qaf, std::string* sigmoid_table);
void task_flag_field(TaskField field);
void add_sub_name(char* name);
void add_super_name(char* name);
void end_task();
void add_outcome(char* name, double density, std::string* quality, std::string* duration, std::string* cost);

// Non-local effects; from_outcome is null when the form names none. The three powers are
// null for enables and disables.
void nle_form(NLETypes type, std::string* label, std::string* agent, char* from, char* from_outcome, char* to,
              std::string* quality_power, std::string* duration_power, std::string* cost_power,
              std::string* delay);

// Resources: created at the keyword; agent and state are stored as soon as they are read.
void begin_resource(ResourceTypes type);
void resource_agent(std::string* agent);
void resource_state(double state);
// overloaded_at is -1.0 when the field is absent.
void end_resource(std::string* label, double depleted_at, double overloaded_at);

// Resource effects.
void resource_model_field(int per_time_unit);
void uses_form(std::string* label, std::string* agent, char* from, char* to, std::string* consumes);
void produces_form(std::string* label, std::string* agent, char* from, char* to, std::string* produces);
void limits_form(std::string* label, std::string* agent, char* from, char* to, std::string* quality_power,
                 std::string* duration_power, std::string* cost_power);

// Commitments; task names are collected as they are read.
void add_commitment_task_name(char* name);
struct CommitmentFields {
  CommitmentType type = EMPTY_COMMITMENT_TYPE;
  std::string* agent = nullptr;  // null: the form has no agent field
  int importance = 0;
  double minimum_quality = 0.0;
  double earliest_start_time = 0.0;
  double deadline = 0.0;
  bool has_dont_interval = false;
  int dont_interval_start = 0;
  int dont_interval_end = 0;
  double time_satisfied = 0.0;
};
void commitment_form(std::string* label, CommitmentFields& fields);
void nonlocal_commitment_form(std::string* label, char* from_agent, char* to_agent, std::string* quality,
                              std::string* time);

// Criteria: the 22 fields in their fixed order; duration_limit comes as text.
void criteria_field(int index, double value);
void criteria_duration_limit(std::string* limit, std::string* range);
void criteria_form(std::string* label);

void misc_parameters_form(std::string* label, double time_to_schedule_for, double cost_accrued,
                          int use_advanced_analysis, char* pruning_setting);
void setting_bundle_form(std::string* label);
void schedule_form();

// A syntax error: the message, the line, the file and the text in question. The stop
// follows once the parser has given back what it holds.
void vorna_syntax_error(const char* message);
