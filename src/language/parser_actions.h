// The way into the Vorna parser: what one parse fills, and the entry points that run it.
//
// A parse builds the model objects without linking them: task groups, tasks and methods,
// non-local effects and resource effects go into unbound records, resources and
// commitments into the read lists, and agent names, criteria and control parameters
// straight into the caller's objects. Every syntax or semantic error ends the program
// inside the parse (through fatal_stop, error_exit or exit_or_abort, so a stop hook sees
// it); a parse that returns has read the whole text.
//
// The scanner and parser state is process-wide: one parse at a time. Every parse starts
// from a clean state (normal scanner mode, no open attribute form, nothing pending), so a
// parse that was cut short by a stop leaves nothing behind for the next one.
#pragma once

#include <cstddef>
#include <cstdio>

#include "foundation/shared_types.h"
#include "foundation/string_list.h"

class UnboundTaskList;
class UnboundNLEList;
class UnboundResourceNLEList;
class ResourceList;
class CommitmentList;
class ScheduleCriteriaBundle;
class ControlParameterBundle;

// What one parse reads into. Every pointer must be set; the parse never takes ownership.
struct VornaParseTarget {
  // Task groups, tasks and methods in file order (appended).
  UnboundTaskList* unbound_tasks = nullptr;
  // Non-local effects, each added at the front (last form of the file first).
  UnboundNLEList* unbound_nles = nullptr;
  // Resource effects, each added at the front.
  UnboundResourceNLEList* unbound_rnles = nullptr;
  // Resources and commitments, each added at the front.
  ResourceList* resources_read = nullptr;
  CommitmentList* commitments_read = nullptr;
  // Becomes the label of the first agent form read while it is still EMPTY_ID.
  AgentID* owner_agent = nullptr;
  // Every agent label is appended.
  AgentIDList* agents = nullptr;
  // Filled by an evaluation-criteria form (has_values becomes 1).
  ScheduleCriteriaBundle* criteria = nullptr;
  // Filled by the misc-parameters form and the top-level attribute forms.
  ControlParameterBundle* control = nullptr;
  // Quoted in every error message.
  const char* file_name = nullptr;
};

// Line of the text being read (1 at the start of every parse), for messages.
extern int i_vorna;
// Parenthesis depth inside an attributes form.
extern int p_count;
// Number of parses run in this process.
extern int parser_call_counter;
// The trace switch of the scanner and parser; 0 unless a developer sets it.
extern int yydebug;

// Back to the clean state: normal scanner mode, depth 0, pending lists emptied (what they
// hold is freed), half-built objects of an interrupted parse freed. Every parse calls it
// first; call it also after the last parse of a test or fuzz run to free what an
// interrupted parse left.
void reset_vorna_parser_state();

// The attribute texts of the tasks read (their imported attributes point at them) live as
// long as the process, since a task never frees them. A caller that has deleted every task
// read so far (a test, the fuzz target) may release them.
void release_attribute_texts();
// Everything the parser keeps between reads freed, its lists and attribute texts included;
// the next read makes them afresh. For a caller that frees in one sweep all memory a run
// left (the Java library), once every task read is deleted.
void release_vorna_parser_storage();

// Parses the whole stream (which stays the caller's) into the target. Returns 0.
int parse_vorna_stream(FILE* input, VornaParseTarget& target);
// The same over text held in memory (it need not end in a zero byte).
int parse_vorna_text(const char* text, size_t length, VornaParseTarget& target);
