// The parser's helpers: number texts read back in the "C" locale, the error stops that
// name the line, and the setters that read a form's pending attributes.
#include "language/parser_support.h"

#include <strings.h>

#include <cfloat>
#include <cstdio>
#include <cstring>
#include <locale>

#include "foundation/fatal_stop.h"
#include "foundation/tagged_new.h"
#include "language/parser_actions.h"
#include "model/commitment.h"
#include "model/distribution.h"
#include "model/task.h"

const char* input_file_name() {
  if (io_class_calling_parser == nullptr || io_class_calling_parser->file_name == nullptr) return "(null)";
  return io_class_calling_parser->file_name;
}

[[noreturn]] void high_level_error() {
  fprintf(stderr, "Error, textual vorna semantic error occured for def. ending at line %d in file %s.\n\n", i_vorna,
          input_file_name());
  fatal_stop();
}

[[noreturn]] void semantic_error(const char* message) {
  fprintf(stderr, "%s", message);
  high_level_error();
}

[[noreturn]] void distribution_sum_error() {
  fprintf(stderr, "Error, a distribution's densities did not sum to 100 percent.\n");
  fprintf(stderr, "It occured on or near line %d of the input file %s.\n\n", i_vorna, input_file_name());
  fatal_stop();
}

// ---------------------------------------------------------------------------------------
// Small support functions.

char* strsave(const char* text) {
  if (text == nullptr) return nullptr;
  size_t length = strlen(text);
  char* copy = new ("parser") char[length + 1];
  memcpy(copy, text, length + 1);
  return copy;
}

void remove_trailing_whitespace2(char* text) {
  if (text == nullptr) return;
  size_t i = strlen(text);
  while (i > 1 && (text[i - 1] == '\n' || text[i - 1] == '\t')) text[--i] = '\0';
}

bool at_eof(std::istringstream& in) {
  in >> std::ws;
  return in.eof() || in.peek() == std::char_traits<char>::eof();
}

float to_float(double value) {
  if (value > FLT_MAX) return FLT_MAX;
  if (value < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(value);
}

bool read_number(const std::string& text, double& value) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double read = 0.0;
  if (!(in >> read)) return false;
  value = read;
  return true;
}

bool read_attribute_number(const std::string& text, double& value) {
  size_t blank = text.find(' ');
  if (blank == std::string::npos) return read_number(text, value);
  return read_number(text.substr(blank + 1), value);
}

void number_text_to_distribution(const std::string& text, Distribution& d) {
  std::string trimmed = text;
  while (trimmed.size() > 1 && (trimmed.back() == '\n' || trimmed.back() == '\t')) trimmed.pop_back();
  std::istringstream in(trimmed);
  // Running out of memory must reach the run's stop, not pass for a bad number.
  in.exceptions(std::ios::badbit);
  in.imbue(std::locale::classic());
  while (!at_eof(in)) {
    double value = 0.0;
    double probability = 0.0;
    if (!(in >> value >> probability)) break;
    d.append(to_float(probability), to_float(value));
  }
}

int to_int(double value) {
  if (value >= 2147483647.0) return 2147483647;
  if (value <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(value);
}

// ---------------------------------------------------------------------------------------
// Attribute setters.

void assign_scheduling_preferences_if_read_one_in(BasicTask* task) {
  char* text = (*temporary_attributes_list)["placement_preference"];
  if (text == nullptr || task->task_type != VORNA_METHOD) return;
  Method* method = static_cast<Method*>(task);
  std::istringstream in(text);
  std::string first;
  std::string second;
  in >> first >> second;
  if (first.empty()) semantic_error("Error, unable to process method placement attribute.\n");
  if (second.empty()) {
    auto set = [method](int earlier, int later, int strong) {
      method->perform_earlier_if_possible = earlier;
      method->perform_later_if_possible = later;
      method->preference_is_strong = strong;
    };
    if (strcasecmp(first.c_str(), "earlier_weak") == 0) set(1, 0, 0);
    else if (strcasecmp(first.c_str(), "earlier_strong") == 0) set(1, 0, 1);
    else if (strcasecmp(first.c_str(), "later_weak") == 0) set(0, 1, 0);
    else if (strcasecmp(first.c_str(), "later_strong") == 0) set(0, 1, 1);
    return;
  }
  method->perform_earlier_if_possible = 0;
  method->perform_later_if_possible = 0;
  method->preference_is_strong = 0;
  if (strcasecmp(first.c_str(), "earlier") == 0) method->perform_earlier_if_possible = 1;
  else if (strcasecmp(first.c_str(), "later") == 0) method->perform_later_if_possible = 1;
  else high_level_error();
  if (strcasecmp(second.c_str(), "strong") == 0) method->preference_is_strong = 1;
  else if (strcasecmp(second.c_str(), "weak") != 0) high_level_error();
}

void assign_weighting_factor_if_read_one_in(BasicTask* task) {
  char* text = (*temporary_attributes_list)["weighting_factor"];
  if (text == nullptr) return;
  double value = 0.0;
  // A text that is no number leaves the factor as it was.
  if (!read_number(text, value)) return;
  task->weighting_factor = to_float(value);
  if (task->weighting_factor <= 0.0f) semantic_error("Error, processed a task weighting factor that was <= 0.\n");
}

void set_commitment_existing_or_proposed_if_read_one_in(Commitment* commitment) {
  char* text = (*temporary_attributes_list)["existing_or_proposed"];
  if (text == nullptr) return;
  if (strcmp(text, "existing") == 0) {
    commitment->existing_or_proposed = COMMITMENT_IS_EXISTING;
  } else if (strcmp(text, "proposed") == 0) {
    commitment->existing_or_proposed = COMMITMENT_IS_PROPOSED;
  } else {
    semantic_error(
        "Error, processed a commitment existing_or_proposed setting that was neither 'existing' or 'proposed'.\n");
  }
}

void set_quality_for_commitment_satisfaction_if_read_one_in(Commitment* commitment) {
  char* text = (*temporary_attributes_list)["quality_for_commitment_satisfaction"];
  LocalCommitment* local = commitment->as_local();
  if (text == nullptr || local == nullptr) return;
  // The pairs replace the default (certain quality 0) rather than adding to it.
  local->quality_for_commitment_satisfaction.delete_all();
  number_text_to_distribution(text, local->quality_for_commitment_satisfaction);
  if (local->quality_for_commitment_satisfaction.densities_sum_to_100_with_threshold(0.01f) != 1) {
    semantic_error(
        "Error, processed a commitment with a quality_for_commitment_satisfaction whose quality distribution did "
        "not sum to 100\npercent.");
  }
}
