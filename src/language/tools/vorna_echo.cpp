// vorna-echo INPUT OUTPUT: reads a task-structure file exactly as the scheduler does
// (same messages, same stops and exit statuses), then writes the task structure,
// commitments, criteria, control values and resources read to OUTPUT. A test harness.
#include <unistd.h>

#include <cstdio>

#include "foundation/fatal_stop.h"
#include "language/parser_actions.h"
#include "language/vorna_io.h"

namespace {

// A designed exit abandons a half-built model; the process ends with the same status and
// flushed streams, without the exit-time leak scan of a sanitizer build.
void end_without_exit_handlers(StopKind kind, int status) {
  if (kind != StopKind::EXIT_STATUS) return;
  fflush(nullptr);
  _exit(status);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: vorna-echo INPUT OUTPUT\n");
    return 2;
  }
  set_stop_hook(end_without_exit_handlers);
  yydebug = 0;

  AgentIDList agents;
  TaskList task_groups;
  ResourceList resources;
  CommitmentList commitments;
  ScheduleCriteriaBundle criteria;
  ControlParameterBundle control;
  {
    VornaIO io;
    io.read_vorna_task_structures_and_commitments(argv[1], agents, task_groups, commitments, criteria, resources,
                                                  control);
    io.write_vorna_task_structures_and_commitments(argv[2], agents, task_groups, commitments, criteria, resources,
                                                   control);
    // The trees first: the reader still holds the nodes that hang under no task group.
    task_groups.delete_list(1);
    commitments.delete_list(1);
    resources.delete_list(1);
  }
  agents.delete_list(1);
  reset_vorna_parser_state();
  return 0;
}
