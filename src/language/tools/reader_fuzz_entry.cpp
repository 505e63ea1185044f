#include "language/tools/reader_fuzz_entry.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/fatal_stop.h"
#include "language/parser_actions.h"
#include "language/vorna_io.h"

namespace {

struct DesignedStop {
  StopKind kind;
  int status;
};

void throw_designed_stop(StopKind kind, int status) { throw DesignedStop{kind, status}; }

std::string file_text(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Everything one read hands over, freed with it.
struct ModelRead {
  AgentIDList agents;
  TaskList task_groups;
  CommitmentList commitments;
  ResourceList resources;
  ScheduleCriteriaBundle criteria;
  ControlParameterBundle control;
};

// Reads the text into a fresh model and, when the read completes, writes the model to
// `written_file` and returns its text there. A designed stop comes back as its outcome.
ReaderOutcome read_and_write(const char* text, size_t size, const char* written_file, std::string& written) {
  ReaderOutcome outcome = ReaderOutcome::READ_AND_WRITTEN;
  ModelRead model;
  {
    VornaIO io;
    bool read_completed = false;
    try {
      io.read_vorna_task_structures_and_commitments_from_text(text, size, "fuzz_input", model.agents,
                                                             model.task_groups, model.commitments, model.criteria,
                                                             model.resources, model.control);
      read_completed = true;
      io.write_vorna_task_structures_and_commitments(written_file, model.agents, model.task_groups,
                                                     model.commitments, model.criteria, model.resources,
                                                     model.control);
      written = file_text(written_file);
    } catch (const DesignedStop& stop) {
      outcome = stop.kind == StopKind::FATAL_STOP ? ReaderOutcome::FATAL_STOP : ReaderOutcome::EXIT_STATUS;
    }
    // A stop inside the writer leaves its file open.
    if (io.out != nullptr) {
      fclose(io.out);
      io.out = nullptr;
    }
    if (!read_completed) {
      model.task_groups.delete_list(0);
      io.discard_abandoned_read();
    }
    model.task_groups.delete_list(1);
    model.commitments.delete_list(1);
    model.resources.delete_list(1);
  }
  model.agents.delete_list(1);
  // Frees whatever a parse cut short left behind.
  reset_vorna_parser_state();
  return outcome;
}

// A written file that does not read back, or reads back into a model written otherwise,
// is a finding.
[[noreturn]] void writer_finding(const char* what, const std::string& first, const std::string& second) {
  fprintf(stderr, "\nThe task-structure writer is not a fixpoint: %s.\n--- first written text ---\n%s", what,
          first.c_str());
  if (!second.empty()) fprintf(stderr, "--- written again ---\n%s", second.c_str());
  abort();
}

}  // namespace

ReaderOutcome read_one_input(const uint8_t* data, size_t size, const char* scratch_file) {
  StopHook previous = set_stop_hook(throw_designed_stop);
  std::string first;
  ReaderOutcome outcome = read_and_write(reinterpret_cast<const char*>(data), size, scratch_file, first);
  if (outcome == ReaderOutcome::READ_AND_WRITTEN) {
    std::string second;
    if (read_and_write(first.data(), first.size(), scratch_file, second) != ReaderOutcome::READ_AND_WRITTEN)
      writer_finding("the written text does not read", first, "");
    if (second != first) writer_finding("writing what it reads gives another text", first, second);
  }
  set_stop_hook(previous);
  return outcome;
}
