// One whole run of the scheduling program, from its arguments to its exit status: read a
// task-structure file, schedule for its first agent, write the nine output files and the
// build statistics. Paths that stop inside the reader or on a file error end the process
// themselves. The Java library runs the same flow with the differences below.
#pragma once

// A task structure handed over in memory with the run's parameters as values; the
// schedules come back as text. No file is named, removed, opened or written.
struct InMemoryTask {
  const char* text = nullptr;
  int numschedules = 15;
  char pruning_setting = 'p';
  long intermediate_alt_size = 50;
  long tg_alt_size = 100;
  int display_via_dot = 0;
  // Set by the run whatever its exit condition: a new[] text of the good schedules.
  char* schedule_text = nullptr;
};

// The defaults are the program's run.
struct SchedulingRunOptions {
  // Set: the task structure and parameters come from here, not from the arguments.
  InMemoryTask* in_memory = nullptr;
  bool banner = true;
  // The library driver's wording of the analysis-approach warning.
  bool library_analysis_warning = false;
  // Unset: no echo of the input, and of the data files only the people listing is
  // written; the others are left empty.
  bool all_data_files = true;
  // Unset: the statistics are printed line by line before the clean-up.
  bool statistics_after_clean_up = true;
};

int scheduling_run(int argc, char** argv, const SchedulingRunOptions& options = {});
