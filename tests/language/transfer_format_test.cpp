// The temporary transfer format of a schedule.
#include <gtest/gtest.h>
#include <unistd.h>

#include <locale>
#include <string>

#include "language/vorna_io.h"
#include "scheduler/schedule.h"
#include "vorna_io_test_support.h"

using namespace vorna_io_test;

namespace {

ScheduleElement* element(const char* id, float start, float finish, float quality, float cost, float duration) {
  ScheduleElement* e = new ("test") ScheduleElement;
  e->method_id = id;
  e->start_time_distribution.append(1.0f, start);
  e->finish_time_distribution.append(1.0f, finish);
  e->quality.append(1.0f, quality);
  e->cost.append(1.0f, cost);
  e->duration.append(1.0f, duration);
  return e;
}

std::string transfer_text(Schedule* schedule) {
  ScratchDir dir;
  VornaIO io;
  io.write_schedule_in_temporary_transfer_format(dir.file("simple_schedule").c_str(), schedule);
  return read_file(dir.file("simple_schedule"));
}

}  // namespace

TEST(TransferFormat, NoScheduleIsTwoZeroLines) { EXPECT_EQ(transfer_text(nullptr), "0\n0\n"); }

TEST(TransferFormat, EmptyScheduleHasACountAndTheClosingLine) {
  Schedule schedule;
  // Empty distributions report the "not computed" expected value.
  EXPECT_EQ(transfer_text(&schedule), "0\n-9999.000000 -9999.000000 -9999.000000\n");
  schedule.quality.append(1.0f, 12.5f);
  schedule.cost.append(1.0f, 3.0f);
  schedule.finish_time.append(0.5f, 10.0f);
  schedule.finish_time.append(0.5f, 20.0f);
  EXPECT_EQ(transfer_text(&schedule), "0\n12.500000 3.000000 15.000000\n");
}

TEST(TransferFormat, OneLinePerElementSlackIncluded) {
  Schedule schedule;
  schedule.timeline_schedule.add(element("m1", 0.0f, 10.0f, 5.5f, 1.0f, 10.0f));
  ScheduleElement* slack = element("Slack_MyTime_0", 10.0f, 12.0f, 0.0f, 0.0f, 2.0f);
  slack->element_is_slack_element = 1;
  schedule.timeline_schedule.add(slack);
  ScheduleElement* uncertain = element("m2", 12.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  uncertain->finish_time_distribution.delete_all();
  uncertain->finish_time_distribution.append(0.25f, 14.0f);
  uncertain->finish_time_distribution.append(0.75f, 18.0f);
  schedule.timeline_schedule.add(uncertain);
  schedule.quality.append(1.0f, 5.5f);
  schedule.cost.append(1.0f, 1.0f);
  schedule.finish_time.append(1.0f, 17.0f);
  EXPECT_EQ(transfer_text(&schedule),
            "3\n"
            "m1 0.000000 10.000000 5.500000 1.000000 10.000000\n"
            "Slack_MyTime_0 10.000000 12.000000 0.000000 0.000000 2.000000\n"
            "m2 12.000000 17.000000 0.000000 0.000000 0.000000\n"
            "5.500000 1.000000 17.000000\n");
}

namespace {
// A locale that writes numbers with a decimal comma and grouped thousands.
struct CommaNumbers : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};
}  // namespace

TEST(TransferFormat, NumbersAreWrittenInTheCLocaleWhateverTheProcessLocale) {
  Schedule schedule;
  schedule.timeline_schedule.add(element("m1", 0.5f, 1.5f, 2500.5f, 0.0f, 1.0f));
  schedule.quality.append(1.0f, 2500.5f);
  schedule.cost.append(1.0f, 0.0f);
  schedule.finish_time.append(1.0f, 1.5f);
  std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
  std::string text = transfer_text(&schedule);
  std::locale::global(previous);
  EXPECT_EQ(text, "1\nm1 0.500000 1.500000 2500.500000 0.000000 1.000000\n2500.500000 0.000000 1.500000\n");
}

TEST(TransferFormatDeathTest, UnopenableFileExitsWithStatusOne) {
  EXPECT_EXIT(
      {
        set_stop_hook([](StopKind kind, int status) {
          if (kind == StopKind::EXIT_STATUS) _exit(status);
        });
        VornaIO io;
        io.write_schedule_in_temporary_transfer_format("/nonexistent/dir/simple_schedule", nullptr);
      },
      testing::ExitedWithCode(1), "");
}
