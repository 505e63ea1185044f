// The temporary transfer format: a plain-number summary of one schedule for outside
// consumers (element count, one line per timeline element, the schedule's totals).
#include <cstdio>
#include <string>

#include "foundation/system_wrappers.h"
#include "language/c_locale_numbers.h"
#include "language/vorna_io.h"
#include "scheduler/schedule.h"

void VornaIO::write_schedule_in_temporary_transfer_format(const char* file_name, Schedule* schedule) {
  FILE* file = ib_fopen(file_name, "w");
  std::string text;
  if (schedule == nullptr) {
    text = "0\n0\n";
  } else {
    ScheduleElementList& timeline = schedule->timeline_schedule;
    text = std::to_string(timeline.length()) + "\n";
    for (long i = 0; i < timeline.length(); i++) {
      ScheduleElement* element = timeline.get(i);
      text += element->method_id;
      text += " " + fixed_text(element->start_time_distribution.get_expected_value());
      text += " " + fixed_text(element->finish_time_distribution.get_expected_value());
      text += " " + fixed_text(element->quality.get_expected_value());
      text += " " + fixed_text(element->cost.get_expected_value());
      text += " " + fixed_text(element->duration.get_expected_value());
      text += "\n";
    }
    text += fixed_text(schedule->quality.get_expected_value());
    text += " " + fixed_text(schedule->cost.get_expected_value());
    text += " " + fixed_text(schedule->finish_time.get_expected_value());
    text += "\n";
  }
  fputs(text.c_str(), file);
  ib_fclose(file, file_name);
}
