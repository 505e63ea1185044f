#include "language/tools/reader_fuzz_entry.h"

#include <cstdio>

#include "foundation/fatal_stop.h"
#include "language/parser_actions.h"
#include "language/vorna_io.h"

namespace {

struct DesignedStop {
  StopKind kind;
  int status;
};

void throw_designed_stop(StopKind kind, int status) { throw DesignedStop{kind, status}; }

}  // namespace

ReaderOutcome read_one_input(const uint8_t* data, size_t size, const char* output_file) {
  StopHook previous = set_stop_hook(throw_designed_stop);
  ReaderOutcome outcome = ReaderOutcome::READ_AND_WRITTEN;
  AgentIDList agents;
  TaskList task_groups;
  CommitmentList commitments;
  ResourceList resources;
  ScheduleCriteriaBundle criteria;
  ControlParameterBundle control;
  {
    VornaIO io;
    bool read_completed = false;
    try {
      io.read_vorna_task_structures_and_commitments_from_text(reinterpret_cast<const char*>(data), size,
                                                             "fuzz_input", agents, task_groups, commitments,
                                                             criteria, resources, control);
      read_completed = true;
      io.write_vorna_task_structures_and_commitments(output_file, agents, task_groups, commitments, criteria,
                                                     resources, control);
    } catch (const DesignedStop& stop) {
      outcome = stop.kind == StopKind::FATAL_STOP ? ReaderOutcome::FATAL_STOP : ReaderOutcome::EXIT_STATUS;
    }
    // A stop inside the writer leaves its file open.
    if (io.out != nullptr) {
      fclose(io.out);
      io.out = nullptr;
    }
    if (!read_completed) {
      task_groups.delete_list(0);
      io.discard_abandoned_read();
    }
    task_groups.delete_list(1);
    commitments.delete_list(1);
    resources.delete_list(1);
  }
  agents.delete_list(1);
  // Frees whatever a parse cut short left behind.
  reset_vorna_parser_state();
  set_stop_hook(previous);
  return outcome;
}
