// One whole run of the scheduling program, from its arguments to its exit status: read a
// task-structure file, schedule for its first agent, write the nine output files and the
// build statistics. Paths that stop inside the reader or on a file error end the process
// themselves.
#pragma once

int scheduling_run(int argc, char** argv);
