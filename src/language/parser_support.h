// The parser's helpers and its process-wide state, for the actions and for tests.
#pragma once

#include <sstream>
#include <string>

#include "foundation/association_list.h"
#include "foundation/string_list.h"

class BasicTask;
class Commitment;
class Distribution;
class OutcomeList;
class Resource;
class UnboundNLE;
class UnboundTask;
struct VornaParseTarget;

extern VornaParseTarget* io_class_calling_parser;
// The task group, task or method being read; null between forms.
extern UnboundTask* task_hook;
// The non-local effect being filled; null between forms.
extern UnboundNLE* nle_hook;
// The resource being read; null between forms.
extern Resource* new_resource_handle;
// The model named by the current resource-effect form: -1 none, 0 duration_independent,
// 1 per_time_unit.
extern int resource_model_def_kludge;
extern OutcomeList* list_of_outcomes;
extern StringList* list_of_sub_names;
extern StringList* list_of_super_names;
extern StringList* list_of_task_ids;
// Entries of the latest attributes form, pending until a form takes or discards them.
extern StringAssociationList* temporary_attributes_list;

// The file being parsed, for messages ("(null)" outside a parse).
const char* input_file_name();
// The semantic-error stop and the distribution-sum stop, both naming the line and the file.
[[noreturn]] void high_level_error();
// The message, then the semantic-error stop.
[[noreturn]] void semantic_error(const char* message);
[[noreturn]] void distribution_sum_error();

// A new copy (delete[]); null for null.
char* strsave(const char* text);
// Cuts trailing newlines and tabs; never touches the first character.
void remove_trailing_whitespace2(char* text);
// True at the end of the stream or when nothing more can be peeked (blanks are skipped).
bool at_eof(std::istringstream& in);
// The nearest float (values beyond the float range become the largest float).
float to_float(double value);
// The nearest int (values beyond the int range become its ends).
int to_int(double value);
// The first number of the text, in the "C" locale; false when the text starts with none.
bool read_number(const std::string& text, double& value);
// A text with a blank has its first word skipped.
bool read_attribute_number(const std::string& text, double& value);
// Value/probability pairs appended in text order.
void number_text_to_distribution(const std::string& text, Distribution& d);

// The setters that read the pending attributes; nothing happens when the key is absent.
void assign_scheduling_preferences_if_read_one_in(BasicTask* task);
void assign_weighting_factor_if_read_one_in(BasicTask* task);
void set_commitment_existing_or_proposed_if_read_one_in(Commitment* commitment);
void set_quality_for_commitment_satisfaction_if_read_one_in(Commitment* commitment);
