// What a round leaves behind in files: the schedules as spec_schedule records, one data
// row per schedule for the statistics package and the plain-row file, the people listing
// and the observed extremes, and the schedules' packet for a client.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "foundation/fatal_stop.h"
#include "foundation/system_wrappers.h"
#include "foundation/tagged_new.h"
#include "foundation/text_and_file_utilities.h"
#include "language/c_locale_numbers.h"
#include "model/task.h"
#include "scheduler/client_data_packet.h"
#include "scheduler/library_mode.h"
#include "scheduler/scheduler.h"

namespace {

// full_blocks: every element as a block, slack and non-local ones included (the host's
// text and the library's file); else slack is left out and a non-local method is a comment.
void write_element(std::ostream& out, ScheduleElement* e, bool full_blocks) {
  if (e->element_is_slack_element && !full_blocks) return;
  if (!full_blocks && e->method_to_execute != nullptr && e->method_to_execute->method_is_local == 0) {
    out << "\t    ; Method " << e->method_id
        << " is non-local though the scheduler waited or planned for the non-local to complete here.\n";
    return;
  }
  out << "\t    (" << e->method_id << "\n";
  const std::pair<const char*, Distribution*> parts[] = {{"start_time_distribution", &e->start_time_distribution},
                                                         {"finish_time_distribution", &e->finish_time_distribution},
                                                         {"quality_distribution", &e->quality},
                                                         {"cost_distribution", &e->cost},
                                                         {"duration_distribution", &e->duration}};
  for (const auto& [label, distribution] : parts) {
    out << "\t        (" << label << " ";
    distribution->print_to_stream_in_t_vorna_format(out);
    out << ")\n";
  }
  out << "\t    )\n";
}

void write_schedule_record(std::ostream& out, Schedule& s, bool full_blocks) {
  set_vorna_number_format(out);
  out << "(spec_schedule\n\t(schedule_elements\n";
  for (long i = 0; i < s.timeline_schedule.length(); i++) write_element(out, s.timeline_schedule.get(i), full_blocks);
  out << "\t)\n";
  out << "\t(start_time_distribution " << s.start_time_to_schedule_for << " 1.0)\n";
  // The distribution's text starts with its own blank.
  out << "\t(finish_time_distribution";
  s.finish_time.print_to_stream_in_t_vorna_format(out);
  out << ")\n\t(quality_distribution ";
  s.quality.print_to_stream_in_t_vorna_format(out);
  Distribution duration(s.finish_time);
  duration.add_constant_to_all_values(-s.start_time_to_schedule_for);
  out << ")\n\t(duration_distribution ";
  duration.print_to_stream_in_t_vorna_format(out);
  out << ")\n\t(cost_distribution ";
  s.cost.print_to_stream_in_t_vorna_format(out);
  out << ")\n\t(rating " << s.rating << ")\n)\n\n";
}

void print_schedule_row(FILE* f, Schedule* s, bool in_parentheses) {
  float d = s->finish_time.get_expected_value() - s->start_time_to_schedule_for;
  fprintf(f, in_parentheses ? "(%.4f %.4f %.4f %.4f %.4f %.4f %ld %ld %.4f)\n" : "%.4f %.4f %.4f %.4f %.4f %.4f %ld %ld %.4f\n",
          s->quality.get_expected_value(), s->cost.get_expected_value(), d, s->prob_expected_q_or_better,
          s->prob_expected_c_or_better, s->prob_expected_d_or_better,
          static_cast<long>(s->num_satisfied_local_commitments), static_cast<long>(s->num_violated_local_commitments),
          s->rating);
}

constexpr const char* SCHEDULE_DATA_COLUMNS =
    "\"q\" \"c\" \"d\" \"prob_q\" \"prob_c\" \"prob_d\" \"commit_sat\" \"commit_unsat\" \"Rating\"\n";

}  // namespace

// ---------------------------------------------------------------- Schedule

void Schedule::write_to_tvorna_file(const char* name, int append) {
  int fd = open(name, O_WRONLY | O_CREAT | (append == 1 ? O_APPEND : O_TRUNC), 0664);
  FILE* file = fd >= 0 ? fdopen(fd, append == 1 ? "a" : "w") : nullptr;
  if (file == nullptr) {
    if (fd >= 0) close(fd);
    fatal_stop("Cannot open tvorna schedule output file %s\n", name);
  }
  std::ostringstream record;
  // The library writes the host's form; the program leaves slack out.
  write_schedule_record(record, *this, vela_library_mode);
  fputs(record.str().c_str(), file);
  ib_fclose(file, name);
}

void Schedule::write_to_ostream(std::ostream& out, int) { write_schedule_record(out, *this, true); }

// ---------------------------------------------------------------- ScheduleList

void ScheduleList::print_to_data_files(FILE* stats, FILE* rows) {
  if (stats != nullptr && ibutil::file_is_empty(stats)) fprintf(stats, "\"exp_sched_dat\"\n%s", SCHEDULE_DATA_COLUMNS);
  if (rows != nullptr && ibutil::file_is_empty(rows)) fprintf(rows, "%s", SCHEDULE_DATA_COLUMNS);
  for (long i = 0; i < length(); i++) {
    if (stats != nullptr) print_schedule_row(stats, get(i), true);
    if (rows != nullptr) print_schedule_row(rows, get(i), false);
  }
}

ClientDataPacket* ScheduleList::store_schedule_data_for_outside_client() {
  ClientDataPacket* packet =
      new ("ScheduleList::store_schedule_data_for_outside_client") ClientDataPacket("Schedule", length());
  for (long i = 0; i < length(); i++) {
    Schedule* s = get(i);
    Distribution* const values[] = {&s->quality, &s->cost, &s->finish_time};
    const float probabilities[] = {s->prob_expected_q_or_better, s->prob_expected_c_or_better,
                                   s->prob_expected_d_or_better};
    // Only the first, the best after rating, counts as chosen.
    packet->store_item(i, values, probabilities, nullptr, s->rating, i == 0 ? 1 : 0);
  }
  return packet;
}

// ---------------------------------------------------------------- Scheduler

void Scheduler::write_tvorna_schedule_file(const char* name) {
  for (long i = 0; i < good_schedules.length(); i++) good_schedules.get(i)->write_to_tvorna_file(name, 1);
}

char* Scheduler::get_tvorna_schedule() {
  std::ostringstream out;
  for (long i = 0; i < good_schedules.length(); i++) good_schedules.get(i)->write_to_ostream(out, 1);
  std::string text = out.str();
  char* copy = new ("Scheduler::get_tvorna_schedule") char[text.size() + 1];
  memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

void Scheduler::output_alt_and_schedule_data(FILE* sched_stats, FILE* sched_rows, FILE* alt_stats, FILE* alt_rows,
                                             FILE* people, FILE* min_max, const char* people_name) {
  if (dp_to_meta_root != nullptr) dp_to_meta_root->alternatives.print_to_data_files(alt_stats, alt_rows);
  good_schedules.print_to_data_files(sched_stats, sched_rows);
  print_schedules(people, people_name);
  if (min_max != nullptr) good_schedules.observed_min_max.print(min_max);
}

void Scheduler::output_schedules_for_people(FILE* f, const char* name) { print_schedules(f, name); }

void Scheduler::print_schedules(FILE* f, const char* name) {
  FILE* out = f != nullptr ? f : stdout;
  fprintf(out, "\n\nNum alternatives generated %ld, Scheduer pass %d\n", static_cast<long>(num_alternatives_created),
          repeat_scheduling_count);
  good_schedules.print(out);
  if (out != stdout) ib_fclose(out, name != nullptr ? name : "");
}

ClientDataPacket* Scheduler::return_schedule_data() {
  if (dp_to_meta_root == nullptr) {
    fprintf(stderr, "\aError - request for data packet but meta is null.\n");
    return nullptr;
  }
  return good_schedules.store_schedule_data_for_outside_client();
}
