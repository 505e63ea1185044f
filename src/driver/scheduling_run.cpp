// The scheduling program's run: arguments, the merge of the file's settings with them,
// one round for the first agent, the output files and the build statistics.
#include "driver/scheduling_run.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>

#include "foundation/fatal_stop.h"
#include "foundation/system_wrappers.h"
#include "foundation/tagged_new.h"
#include "language/parser_actions.h"
#include "language/vorna_io.h"
#include "model/distribution.h"
#include "scheduler/scheduler.h"

namespace {

constexpr float VERSION = 10.02f;

// The output files, each "PREFIX.NAME", in the order they are removed.
enum OutputFile {
  ALTERNATIVES_STAVO,
  ALTERNATIVES_JMP,
  SCHEDULES_STAVO,
  SCHEDULES_JMP,
  TVORNA_SCHEDULES,
  TVORNA_USED_FOR_SCHEDULING,
  SIMPLE_SCHEDULE,
  SCHEDULES_FOR_PEOPLE,
  OBSERVED_SCHEDULE_MIN_MAX,
  NUMBER_OF_OUTPUT_FILES
};
constexpr const char* OUTPUT_NAMES[NUMBER_OF_OUTPUT_FILES] = {
    "alternatives.stavo", "alternatives.jmp",           "schedules.stavo",      "schedules.jmp",
    "tvorna_schedules",   "tvorna_used_for_scheduling", "simple_schedule",      "schedules_for_people",
    "observed_schedule_min_max"};

// The outputs in the order they are first written: the data files as they are opened,
// then the echo, the transfer format and the schedule text.
constexpr OutputFile WRITING_ORDER[NUMBER_OF_OUTPUT_FILES] = {
    SCHEDULES_STAVO, SCHEDULES_JMP,     ALTERNATIVES_STAVO, ALTERNATIVES_JMP, SCHEDULES_FOR_PEOPLE,
    OBSERVED_SCHEDULE_MIN_MAX, TVORNA_USED_FOR_SCHEDULING, SIMPLE_SCHEDULE, TVORNA_SCHEDULES};

constexpr const char* BUILD_STATISTICS =
    "\nBuild Statistics:\n\tNumber of distribution combine operations performed %ld.\n\tNumber of alternatives "
    "generated %ld.\n\tNumber of alternatives generated at the task group node %ld.\n\tNumber of good (non-zero q) "
    "schedules created %ld.\n\tTotal number of schedules created %ld.\n\tTime spent creating alternatives %lf "
    "seconds.\n\tTime spent creating schedules %lf seconds.\n";

// Closes a data file the run opened; null means it was not opened.
void close_data_file(FILE* file, const std::string& path) {
  if (file != nullptr) ib_fclose(file, path.c_str());
}

void print_usage() {
  std::cerr << "\n\n"
            << "Usage Notes:\n"
            << "---------------------------------------------------------------------------\n"
            << "The scheduler can either be invoked in full parameter\n"
            << "mode or in limited parameter mode.  In limited parameter mode, the\n"
            << "scheduler accepts two parameters:\n"
            << "\t* tvorna-input-file\n"
            << "\t* (optional) the prefix to be used for scheduler output files \n"
            << "\t   The default file prefix is 'output'. \n\n"
            << "When running in limited parameter mode, the \n"
            << "defaults are used for the various paremters.  Note:\n"
            << "\tthe defaults suit only very simple task structures; for anything\n"
            << "\tlarger, give every parameter in the full mode below.\n"
            << "\nIn the full parameter mode, the following parameters \n"
            << "must all be specified:\n"
            << "\t* #sched_to_make\n"
            << "\t* pruning_setting\n"
            << "\t* #alts_at_task_level\n"
            << "\t* #alts_at_tg_level\n"
            << "\t* display_via_dot\n"
            << "\t* tvorna-input-file\n"
            << "\t* output-file-prefix (the prefix to be used for scheduler output files)\n"
            << "\t* use_advanced_schedule_analysis_to_compute_q\n"
            << "\n\tWhere pruning_setting='p' for pruning and 'n' "
            << "for no pruning.\n\n"
            << "\tWhere display_via_dot='1' for display and '0' "
            << "for no display.\n\n"
            << "\tWhere use_advanced_schedule_analysis_to_compute_q='1' "
            << "for\n\t\tuse trees and '0' for use the standard estimate.\n"
            << "\t   The current default is to use the tree approach.\n";
}

// The output path that is the input file itself (same device and inode), or null. A
// missing input matches nothing: opening it fails next.
const std::string* output_that_is_the_input(const char* input, const std::string* paths) {
  struct stat in {};
  if (stat(input, &in) != 0) return nullptr;
  for (int i = 0; i < NUMBER_OF_OUTPUT_FILES; i++) {
    struct stat out {};
    if (stat(paths[i].c_str(), &out) == 0 && out.st_dev == in.st_dev && out.st_ino == in.st_ino) return &paths[i];
  }
  return nullptr;
}

// A setting given as one character; an empty argument gives none, printed as nothing.
std::string setting_text(char setting) { return setting == '\0' ? std::string() : std::string(1, setting); }

void flush_all_streams() {
  fflush(nullptr);
  std::cerr.flush();
  std::cout.flush();
}

// The run's objects, made at entry in this order. An allocation failure ends the program
// with them in place: tearing down a half-built model could fail in its turn.
struct RunObjects {
  TaskList task_groups;
  ResourceList resources;
  CommitmentList commitments;
  ScheduleCriteriaBundle criteria;
  Scheduler scheduler;
  ScheduleSettingBundle schedule_with;
  EnvelopeToggleBundle toggle_bundle;
  VornaIO io;
  AgentIDList agents;
  AgentID my_agent_id;
};

// stage: where the run is, the tag of a failed allocation inside the standard library.
int run_with(RunObjects& objects, const char*& stage, int argc, char** argv, const SchedulingRunOptions& options) {
  // The Java library's in-memory run keeps quiet through this switch; the program never sets it.
  const bool say = Scheduler::silent == 0;
  InMemoryTask* in_memory = options.in_memory;
  TaskList& task_groups = objects.task_groups;
  ResourceList& resources = objects.resources;
  CommitmentList& commitments = objects.commitments;
  ScheduleCriteriaBundle& criteria = objects.criteria;
  Scheduler& scheduler = objects.scheduler;
  ScheduleSettingBundle& schedule_with = objects.schedule_with;
  EnvelopeToggleBundle& toggle_bundle = objects.toggle_bundle;
  VornaIO& io = objects.io;
  AgentIDList& agents = objects.agents;
  AgentID& my_agent_id = objects.my_agent_id;

  int nsched = 15;
  char pruning_setting = 'p';
  long intermediate_alt_size = 50;
  long tg_alt_size = 100;
  int display_via_dot = 0;
  const char* input = nullptr;
  std::string output_file_prefix = "output";
  int use_trees = 1;
  bool full_mode = in_memory == nullptr && argc == 9;
  if (in_memory != nullptr) {
    nsched = in_memory->numschedules;
    pruning_setting = in_memory->pruning_setting;
    intermediate_alt_size = in_memory->intermediate_alt_size;
    tg_alt_size = in_memory->tg_alt_size;
    display_via_dot = in_memory->display_via_dot;
  } else if (full_mode) {
    nsched = atoi(argv[1]);
    pruning_setting = argv[2][0];
    intermediate_alt_size = atoi(argv[3]);
    tg_alt_size = atoi(argv[4]);
    display_via_dot = atoi(argv[5]);
    input = argv[6];
    output_file_prefix = argv[7];
    use_trees = atoi(argv[8]) != 0 ? 1 : 0;
  } else if (argc == 2 || argc == 3) {
    input = argv[1];
    if (argc == 3) output_file_prefix = argv[2];
  } else {
    print_usage();
    // The program ends here, as at every refusal, without tearing down what main made.
    flush_all_streams();
    exit(1);
  }
  srandom(1);

  if (say) {
    std::cerr << "Scheduling with the following parameters\n";
    std::cerr << "\tmax # schedules to make " << nsched << std::endl;
    std::cerr << "\tpruning setting = " << setting_text(pruning_setting) << std::endl;
    std::cerr << "\tmax # alts at interior nodes " << intermediate_alt_size << std::endl;
    std::cerr << "\tmax # alts at task group nodes " << tg_alt_size << std::endl;
    if (use_trees == 1)
      fprintf(stderr, "Using the more accurate TREE approach to compute schedule quality.\n");
    else
      fprintf(stderr, "Using the less accurate STANDARD approach to compute schedule quality.\n");
  }
  double run_started = wall_clock_seconds();

  std::string paths[NUMBER_OF_OUTPUT_FILES];
  ControlParameterBundle control;
  yydebug = 0;
  if (in_memory != nullptr) {
    if (say) fprintf(stderr, "\n\nReading t-vorna input string.\n");
    stage = "VornaIO::read_vorna_task_structures_from_string";
    io.read_vorna_task_structures_from_string(in_memory->text, agents, task_groups, commitments, criteria, resources,
                                              control);
  } else {
    for (int i = 0; i < NUMBER_OF_OUTPUT_FILES; i++) paths[i] = output_file_prefix + "." + OUTPUT_NAMES[i];
    // Removing the outputs must never remove the input.
    if (const std::string* clash = output_that_is_the_input(input, paths)) {
      fprintf(stderr, "Error, the input file %s is also the output file %s; use another output prefix.\n", input,
              clash->c_str());
      flush_all_streams();
      exit(1);
    }
    // An old output that stayed would be appended to and pass for this run's.
    for (const std::string& path : paths) ib_unlink_if_present(path.c_str());

    fprintf(stderr, "\n\nReading t-vorna input file.\n");
    stage = "VornaIO::read_vorna_task_structures_and_commitments";
    io.read_vorna_task_structures_and_commitments(input, agents, task_groups, commitments, criteria, resources,
                                                  control);
    fprintf(stderr, "\n\nProcess tvorna file, %ld lines read\n\n\n", static_cast<long>(i_vorna));
  }
  float execution_clock = control.execution_clock_to_schedule_for;
  float money_spent = control.cost_accrued_thus_far;

  if (full_mode) {
    int flag = control.use_advanced_cbranch_analyzer;
    if ((flag == 1 && use_trees == 0) || (flag == 0 && use_trees == 1))
      fprintf(stderr, options.library_analysis_warning
                          ? "\aWarning, command line parameter setting for analysis approach overiding "
                            "the setting in tvorna file.\n"
                          : "\aWarning, command line parameter setting for analysis approach may be overiding "
                            "the setting in tvorna file (or another default).\n");
    if (control.target_max_number_of_schedules != -1)
      fprintf(stderr, "\aWarning, tvorna pref for num schedules overiding command line parameters.\n");
    if (control.prune_setting != '-')
      fprintf(stderr, "\aWarning, tvorna pref for prunning setting overiding command line parameters.\n");
  } else {
    use_trees = control.use_advanced_cbranch_analyzer == 1 ? 1 : 0;
  }
  if (control.target_max_number_of_schedules != -1) nsched = control.target_max_number_of_schedules;
  if (control.prune_setting != '-') pruning_setting = control.prune_setting;

  if (say) {
    flush_all_streams();
    fprintf(stderr, "Settings as specified post-tvorna processing:\n");
    fprintf(stderr, "Time to schedule for %f\n", execution_clock);
    fprintf(stderr, "Money spent so far %f\n", money_spent);
    fprintf(stderr, "Using advanced analysis? ");
    std::cerr << use_trees << "." << std::endl;
    fprintf(stderr, "Target max num schedules %d.\n", nsched);
    fprintf(stderr, "Pruning setting %s\n", setting_text(pruning_setting).c_str());
  }

  if (!(agents.length() > 0)) {
    fprintf(stderr, "Error, no agents defined in t-vorna file.\n");
    exit_or_abort();
  }
  if (task_groups.some_methods_use_multiple_outcomes_feature() && use_trees == 1) {
    if (say) {
      fprintf(stderr, "Warning, the input file contains methods that use the multiple-outcomes feature.  ");
      fprintf(stderr, "This feature is not supported by the more precise cbranch analyzer.\n");
      fprintf(stderr, "Falling back to standard schedule analysis.\n");
    }
    use_trees = 0;
  }
  my_agent_id = *agents.get(0L);
  if (say) fprintf(stderr, "Scheduling for agent %s.\n\n", my_agent_id.c_str());
  resources.prune_away_resources_not_owned_by_this_agent(my_agent_id);

  toggle_bundle.q = toggle_bundle.d = toggle_bundle.c = 0;
  schedule_with.q = schedule_with.d = schedule_with.c = -2.0f;

  FILE* schedules_stavo = nullptr;
  FILE* schedules_jmp = nullptr;
  FILE* alternatives_stavo = nullptr;
  FILE* alternatives_jmp = nullptr;
  FILE* people = nullptr;
  FILE* min_max = nullptr;
  if (in_memory == nullptr) {
    // Every name is checked first: a run must not die at a later file with the earlier ones
    // left empty behind it.
    for (OutputFile output : WRITING_ORDER)
      if (output != TVORNA_USED_FOR_SCHEDULING || options.all_data_files) ib_refuse_name_too_long(paths[output].c_str());
    schedules_stavo = ib_fopen(paths[SCHEDULES_STAVO].c_str(), "a");
    schedules_jmp = ib_fopen(paths[SCHEDULES_JMP].c_str(), "a");
    alternatives_stavo = ib_fopen(paths[ALTERNATIVES_STAVO].c_str(), "a");
    alternatives_jmp = ib_fopen(paths[ALTERNATIVES_JMP].c_str(), "a");
    people = ib_fopen(paths[SCHEDULES_FOR_PEOPLE].c_str(), "a");
    min_max = ib_fopen(paths[OBSERVED_SCHEDULE_MIN_MAX].c_str(), "a");
    // Before the scheduler tidies the distributions: the echo shows the values as read.
    stage = "VornaIO::write_vorna_task_structures_and_commitments";
    if (options.all_data_files)
      io.write_vorna_task_structures_and_commitments(paths[TVORNA_USED_FOR_SCHEDULING].c_str(), agents, task_groups,
                                                     commitments, criteria, resources, control);
  }

  if (use_trees == 1)
    scheduler.use_advanced_schedule_analysis_to_compute_quality();
  else
    scheduler.use_standard_schedule_analysis_to_compute_quality();
  scheduler.emphasize_schedules_that_satisfy_hard_commitments();
  scheduler.set_max_num_schedules(nsched);
  scheduler.set_task_prune_setting(intermediate_alt_size);
  scheduler.set_tg_prune_setting(tg_alt_size);
  scheduler.set_scheduler_values_to_schedule_with(schedule_with);
  if (tolower(static_cast<unsigned char>(pruning_setting)) == 'p')
    scheduler.turn_on_pruning_of_alternatives();
  else
    scheduler.turn_off_pruning_of_alternatives();
  MethodSchedulingModes mode = control.scheduling_mode;
  if (mode == UndefinedSchedulingMode)
    mode = ScheduleMethodsHeuristically;
  else if (say)
    std::cerr << "Warning, command line scheduler setting being over-ridden by one in the tvorna file.\n";
  scheduler.set_method_scheduling_mode(mode);
  scheduler.set_scheduler_envelope_toggles(toggle_bundle);

  int monitor = 0;
  for (long i = 0; i < task_groups.length(); i++) {
    BasicTask* tg = task_groups.get(i);
    if (tg->owner_agent != my_agent_id) continue;
    scheduler.add_new_task_group(static_cast<TaskGroup*>(tg), monitor);
    if (display_via_dot == 1) tg->display_hierarchy_via_dot("rankdir=LR;");
  }
  scheduler.add_new_commitments(commitments);
  scheduler.set_scheduler_criteria(criteria);

  stage = "Scheduler::schedule_task_groups";
  Schedule* best = scheduler.schedule_task_groups(my_agent_id, monitor, execution_clock, money_spent,
                                                  SCHEDULE_USING_UNCERTAINTY, resources);
  int exit_condition_indicating_schedule_status = best == nullptr || best->rating < 0.0f ? 1 : 0;

  if (in_memory != nullptr) {
    stage = "Scheduler::get_tvorna_schedule";
    in_memory->schedule_text = scheduler.get_tvorna_schedule();
  } else {
    stage = "VornaIO::write_schedule_in_temporary_transfer_format";
    io.write_schedule_in_temporary_transfer_format(paths[SIMPLE_SCHEDULE].c_str(), best);
    stage = "Scheduler::write_tvorna_schedule_file";
    scheduler.write_tvorna_schedule_file(paths[TVORNA_SCHEDULES].c_str());
    stage = "Scheduler::output_alt_and_schedule_data";
    // Both close the people file.
    if (options.all_data_files) {
      scheduler.output_alt_and_schedule_data(schedules_stavo, schedules_jmp, alternatives_stavo, alternatives_jmp,
                                             people, min_max, paths[SCHEDULES_FOR_PEOPLE].c_str());
    } else {
      scheduler.output_schedules_for_people(people, paths[SCHEDULES_FOR_PEOPLE].c_str());
    }
  }

  stage = "scheduling_run";
  long num_alts = 0, num_alts_at_tg = 0, num_good = 0, num_all = 0;
  double time_on_alts = 0.0, time_on_scheds = 0.0;
  scheduler.return_build_stats_to_client(num_alts, num_alts_at_tg, num_good, num_all, time_on_alts, time_on_scheds);
  flush_all_streams();
  std::string statistics =
      formatted_text(BUILD_STATISTICS, Distribution::report_total_number_of_combine_operations(), num_alts,
                     num_alts_at_tg, num_good, num_all, time_on_alts, time_on_scheds);
  if (!options.statistics_after_clean_up && say) fputs(statistics.c_str(), stderr);

  scheduler.delete_all();
  task_groups.delete_list(1);
  commitments.delete_list(1);
  agents.delete_list(1);
  resources.delete_list(1);
  close_data_file(schedules_stavo, paths[SCHEDULES_STAVO]);
  close_data_file(schedules_jmp, paths[SCHEDULES_JMP]);
  close_data_file(alternatives_stavo, paths[ALTERNATIVES_STAVO]);
  close_data_file(alternatives_jmp, paths[ALTERNATIVES_JMP]);
  if (min_max != nullptr) {
    if (options.all_data_files) {
      // Left open for exit to close; its writes are checked here.
      ib_fflush(min_max, paths[OBSERVED_SCHEDULE_MIN_MAX].c_str());
    } else {
      // A run that returns to a long-lived host must not leave a stream behind.
      ib_fclose(min_max, paths[OBSERVED_SCHEDULE_MIN_MAX].c_str());
    }
  }

  if (say) {
    if (options.statistics_after_clean_up) {
      flush_all_streams();
      fprintf(stderr, "\n\n%s", statistics.c_str());
    }
    fprintf(stderr, "\tTotal run time (including final sorting and i/o) %lf seconds.\n",
            wall_clock_seconds() - run_started);
    fprintf(stderr, "\nScheduling operation concluded normally.\n");
    fprintf(stderr, "\nReturning exit condition %d to caller.\n", exit_condition_indicating_schedule_status);
  }
  return exit_condition_indicating_schedule_status;
}

}  // namespace

int scheduling_run(int argc, char** argv, const SchedulingRunOptions& options) {
  if (options.banner) printf("\nVELA (Kestrion) scheduler version %0.2f.\n\n", VERSION);
  const char* stage = "scheduling_run";
  // The standard library reports running out of memory by throwing; the run stops as the
  // tagged allocations do. Caught here, not by a process-wide handler a host would inherit.
  try {
    RunObjects* objects = new ("scheduling_run") RunObjects;
    int status = run_with(*objects, stage, argc, argv, options);
    delete objects;
    return status;
  } catch (const std::bad_alloc&) {
    report_allocation_failure(stage);
  }
}
