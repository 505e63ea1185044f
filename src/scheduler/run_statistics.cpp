// How a run in progress stands against the first estimates: the decision-point trees and
// working values rebuilt from every task group, then a short report and one data row.
#include <cstdio>

#include "foundation/text_and_file_utilities.h"
#include "model/task.h"
#include "scheduler/scheduler.h"

namespace {
// A fraction of the first estimate (1.0: on estimate); -9.0 when there is none.
float ratio_to_estimate(float value, float estimate) { return estimate == 0.0f ? -9.0f : value / estimate; }

// The fourteen columns of a statistics row, in order.
struct StatisticsRow {
  int times_scheduled;
  float q, c, d, estimated_q, estimated_c, estimated_d, start, finish, total_duration, total_cost;
  float part_of_q, part_of_c, part_of_finish;
};

constexpr const char* STAVO_HEADER =
    "\"sched-dat\"\n\"times-scheduled\" \"q\" \"c\" \"d\" \"estimated-q\" \"estimated-c\" \"estimated-d\" "
    "\"start-time\" \"finish-time\" \"total-duration\" \"total-cost\" \"percent-of-e-q\" \"percent-of-e-c\" "
    "\"percent-of-e-f\" \n";
constexpr const char* JMP_HEADER =
    "\"times_scheduled\" \"q\" \"c\" \"d\" \"estimated_q\" \"estimated_c\" \"estimated_d\" \"start_time\" "
    "\"finish_time\" \"total_duration\" \"total_cost\" \"percent_of_e_q\" \"percent_of_e_c\" \"percent_of_e_f\" \n";

// The header when the file is still empty, then the row; a null file is skipped.
void print_statistics_row(FILE* f, const char* header, const char* format, const StatisticsRow& r) {
  if (f == nullptr) return;
  if (ibutil::file_is_empty(f)) fputs(header, f);
  fprintf(f, format, r.times_scheduled, r.q, r.c, r.d, r.estimated_q, r.estimated_c, r.estimated_d, r.start,
          r.finish, r.total_duration, r.total_cost, r.part_of_q, r.part_of_c, r.part_of_finish);
}
}  // namespace

void Scheduler::rebuild_dp_trees_and_working_values_for_statistics() {
  // Every task group, whoever owns it.
  build_dp_trees_under_fresh_meta_point(nullptr, SCHEDULE_USING_UNCERTAINTY);
  global_working_change_counter++;
  calculate_working_qdc_for_task_or_method_and_all_subs(dp_to_meta_root, 0);
}

void Scheduler::calculate_current_statistics(float& q, float& c, float& finish_time) {
  rebuild_dp_trees_and_working_values_for_statistics();
  q = dp_to_meta_root->working_quality.get_specified_value(schedule_with.q);
  c = dp_to_meta_root->working_cost.get_specified_value(schedule_with.c);
  finish_time = start_time_to_schedule_for;
}

void Scheduler::calculate_and_print_current_statistics(FILE* fp, FILE* fp_data_stavo, FILE* fp_data_jmp,
                                                       MyTime report_time, Cost money_spent) {
  rebuild_dp_trees_and_working_values_for_statistics();
  TaskList executed;
  TaskList methods;
  meta_root->list_all_methods_for_task(methods);
  for (long i = 0; i < methods.length(); i++)
    if (static_cast<Method*>(methods.get(i))->method_is_complete != 0) executed.append(methods.get(i));
  methods.empty_list();

  float q = dp_to_meta_root->working_quality.get_specified_value(schedule_with.q);
  float c = dp_to_meta_root->working_cost.get_specified_value(schedule_with.c);
  float d = dp_to_meta_root->working_duration.get_specified_value(schedule_with.d);
  float pq = ratio_to_estimate(q, first_estimated_quality);
  float pc = ratio_to_estimate(c, first_estimated_cost);
  float pf = ratio_to_estimate(report_time, first_estimated_finish_time);
  MyTime start = initial_start_time_to_schedule_for;
  MyTime total_duration = report_time - start;

  fprintf(fp, "Scheduled %d times, q %.1f, c %.1f, non-slack d %.1f\n", repeat_scheduling_count, q, c, d);
  fprintf(fp, "Start time %f, end time %f, total duration slack&non %f, total cost %.1f\n", start, report_time,
          total_duration, money_spent);
  fprintf(fp, "Executed: ");
  if (executed.length() == 0)
    fprintf(fp, "None.\n");
  else {
    executed.print_task_ids_on_one_line(fp);
    fprintf(fp, "\n");
  }
  executed.empty_list();
  fprintf(fp, "Initial estimates and current as percent of estimate:\n\tq %.2f %.2f, c %.2f %.2f, finish time %f %.2f\n",
          first_estimated_quality, pq, first_estimated_cost, pc, first_estimated_finish_time, pf);
  fprintf(fp, "\n");

  StatisticsRow row{repeat_scheduling_count, q, c, d, first_estimated_quality, first_estimated_cost,
                    first_estimated_finish_time, start, report_time, total_duration, money_spent, pq, pc, pf};
  print_statistics_row(fp_data_stavo, STAVO_HEADER, "( %d %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.2f %.2f %.2f )\n",
                       row);
  print_statistics_row(fp_data_jmp, JMP_HEADER, "%d %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.2f %.2f %.2f\n", row);
}
