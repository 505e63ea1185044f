// What a round leaves for people and files: the spec_schedule record, the data rows, the
// readable listing of schedules and elements, the schedules' packet, the method checks and
// the statistics report of a run in progress.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "foundation/foundation_test_support.h"
#include "model/distribution_test_support.h"
#include "model/printed_text.h"
#include "scheduler/client_data_packet.h"
#include "scheduler/library_mode.h"
#include "scheduler_test_support.h"
#include "shared_test_support.h"

using distribution_test::make;
using foundation_test::Exactly;
using foundation_test::stderr_of;
using scheduler_test::AGENT_A;
using scheduler_test::group;
using scheduler_test::method;

namespace {

ScheduleElement* element(const std::string& id, Method* m = nullptr, int slack = 0) {
  ScheduleElement* e = new ScheduleElement;
  e->method_id = id;
  e->method_to_execute = m;
  e->element_is_slack_element = slack;
  return e;
}

// A local method A, a non-local method B and a slack period, from start 0.5.
class ThreeElements : public ::testing::Test {
 protected:
  void SetUp() override {
    a.id = "A";
    b.id = "B";
    b.method_is_local = 0;
    ScheduleElement* first = element("A", &a);
    first->start_time_distribution = make({{1, 0.5f}});
    first->finish_time_distribution = make({{0.5f, 2.5f}, {0.5f, 3.5f}});
    first->quality = make({{1, 10}});
    first->cost = make({{1, 1}});
    first->duration = make({{0.5f, 2}, {0.5f, 3}});
    s.timeline_schedule.add(first);
    s.timeline_schedule.add(element("B", &b));
    s.timeline_schedule.add(element("Slack_MyTime_3", nullptr, 1));
    s.id = "S1";
    s.start_time_to_schedule_for = 0.5f;
    s.finish_time = make({{0.5f, 2.5f}, {0.5f, 3.5f}});
    s.quality = make({{1, 10}});
    s.cost = make({{1, 1}});
    s.rating = 0.75f;
  }
  void TearDown() override { vela_library_mode = false; }

  Method a, b;
  Schedule s;
};

TEST_F(ThreeElements, RecordLeavesOutSlackNamesNonLocalMethodsAndAppendsOrReplaces) {
  shared_test::ScratchDir dir;
  std::string path = dir.file("out.tvorna_schedules");
  const std::string record =
      "(spec_schedule\n"
      "\t(schedule_elements\n"
      "\t    (A\n"
      "\t        (start_time_distribution  0.500000 1.000000)\n"
      "\t        (finish_time_distribution  2.500000 0.500000 3.500000 0.500000)\n"
      "\t        (quality_distribution  10.000000 1.000000)\n"
      "\t        (cost_distribution  1.000000 1.000000)\n"
      "\t        (duration_distribution  2.000000 0.500000 3.000000 0.500000)\n"
      "\t    )\n"
      "\t    ; Method B is non-local though the scheduler waited or planned for the non-local to complete here.\n"
      "\t)\n"
      "\t(start_time_distribution 0.500000 1.0)\n"
      "\t(finish_time_distribution 2.500000 0.500000 3.500000 0.500000)\n"
      "\t(quality_distribution  10.000000 1.000000)\n"
      "\t(duration_distribution  2.000000 0.500000 3.000000 0.500000)\n"
      "\t(cost_distribution  1.000000 1.000000)\n"
      "\t(rating 0.750000)\n"
      ")\n\n";
  s.write_to_tvorna_file(path.c_str(), 1);
  s.write_to_tvorna_file(path.c_str(), 1);
  EXPECT_EQ(shared_test::read_file(path), record + record);
  s.write_to_tvorna_file(path.c_str(), 0);
  EXPECT_EQ(shared_test::read_file(path), record);

  std::string missing = dir.file("no/such/folder.tvorna_schedules");
  EXPECT_EXIT(s.write_to_tvorna_file(missing.c_str(), 1), testing::KilledBySignal(SIGABRT),
              Exactly(distribution_test::fatal_text("Cannot open tvorna schedule output file " + missing + "\n")));
}

TEST_F(ThreeElements, ListingMarksNonLocalMethodsAndCommitmentOriginsOutsideTheLibrary) {
  const std::string origins = "Of existing commitments 0 satisfied, 0 violated.\n";
  struct Case {
    bool library;
    const char* box;
    size_t dashes;
  };
  for (const Case& c : {Case{false, "\t| A | **(non-local) B | Slack_MyTime_3 |\n", 40},
                        Case{true, "\t| A | B | Slack_MyTime_3 |\n", 26}}) {
    vela_library_mode = c.library;
    std::string text = printed_text([&](FILE* f) { s.print(f, -1); });
    std::string dashes = "\t" + std::string(c.dashes, '-') + "\n";
    EXPECT_EQ(text.substr(0, text.find("Quality")), "Schedule S1, Rating 0.75\n" + dashes + c.box + dashes);
    EXPECT_EQ(text.find(origins) == std::string::npos, c.library);
  }
}

TEST(ScheduleListing, EmptyScheduleAndALongId) {
  Schedule s;
  s.id = "S0";
  s.rating = 0.5f;
  s.schedule_is_complete_do_final_bookkeeping();
  s.annotations = "note\n";
  EXPECT_EQ(printed_text([&](FILE* f) { s.print_method_list(f); }), "| Empty Schedule |\n");
  EXPECT_EQ(printed_text([&](FILE* f) { s.print(f, 3); }),
            "Schedule S0, Number 3, Rating 0.50\n\t-\n\t|\n\t-\n"
            "Quality distribution (sum of TGs):\n(1.00 0.00)\nExpected value:  0.00\n"
            "Probability q or greater:  1.00\nSchedule value:  0.00\n"
            "Cost distribution (sum of methods costs):\n(1.00 0.00)\nExpected value:  0.00\n"
            "Probability c or lower:  1.00\nSchedule value:  0.00\n"
            "Finish time distribution (finish time of last method):\n(1.00 0.00)\nExpected value:  0.00\n"
            "Probability d or lower:  1.00\nSchedule value:  0.00\n"
            "Timeline Schedule :\nSatisfied 0 commitments:\nViolated 0 commitments:\n"
            "Of existing commitments 0 satisfied, 0 violated.\nOf proposed commitments 0 satisfied, 0 violated.\n"
            "Annotations:\nnote\nAnnotations from last method rating run:\n\n\n");
  // No limit of its own on the line: a 300-character id is listed whole.
  std::string id(300, 'm');
  s.timeline_schedule.add(element(id));
  std::string text = printed_text([&](FILE* f) { s.print(f, -1); });
  std::string dashes = "\t" + std::string(id.size() + 4, '-') + "\n";
  EXPECT_EQ(text.substr(0, text.find("Quality")), "Schedule S0, Rating 0.50\n" + dashes + "\t| " + id + " |\n" + dashes);
}

TEST(ScheduleListing, ElementShowsSettingValuesOnlyWithABundle) {
  ScheduleElement e;
  e.method_id = "m1";
  e.required_quality = 3.0f;
  e.quality = make({{0.5f, 10}, {0.5f, 0}});
  e.cost = make({{1, 1}});
  e.start_time_distribution = make({{1, 0}});
  e.finish_time_distribution = make({{0.5f, 2}, {0.5f, 4}});
  e.duration = make({{0.5f, 2}, {0.5f, 4}});
  e.unused_cpu_time = 0.5f;
  e.total_schedule_cost_to_end_of_this_method = make({{1, 1}});
  e.q_at_tg_after_this_method_executes = make({{1, 10}});
  e.quality_envelope.min = 1.0f;
  e.quality_envelope.max = 2.0f;
  e.finish_time_envelope.min = 3.0f;
  e.finish_time_envelope.max = 4.0f;
  e.required_duration = 2.7f;
  EXPECT_EQ(printed_text([&](FILE* f) { e.print(f, nullptr); }),
            "Schedule Element of Method m1:\n\tRequired quality 3.00, required duration 2\n"
            "\tExpected q. 5.00, cost 1.00, t start 0.00 t finish 3.00\n"
            "\tStart time distribution: (1.00 0.00)\n"
            "\tFinish time distribution: (0.50 2.00)(0.50 4.00)\n"
            "\tQuality distribution: (0.50 10.00)(0.50 0.00)\n"
            "\tDuration distribution: (0.50 2.00)(0.50 4.00)\n"
            "\tUnused cpu time: 0.50\n"
            "\tCost distribution: (1.00 1.00)\n"
            "\tTotal schedule cost to end of this method: (1.00 1.00)\n"
            "\tExpected task group quality after this executes: (1.00 10.00)\n"
            "\tEnvelopes: (min max) q 1.00 2.00, total c -1.00 99999.00, finish t 3.00 4.00\n");
  // With a bundle the values by its specifiers follow the expected ones.
  ScheduleSettingBundle means;
  e.required_duration = -9.0f;
  EXPECT_THAT(printed_text([&](FILE* f) { e.print(f, &means); }),
              testing::HasSubstr("required duration -9\n\tExpected q. 5.00, cost 1.00, t start 0.00 t finish 3.00\n"
                                 "\tSchedule value q. 5.00, cost 1.00, t start 0.00 t finish 3.00\n\tStart"));
}

// Two rated schedules: S1 from 0.5 with two commitments kept and one broken, S2 unrated.
class TwoSchedules : public ::testing::Test {
 protected:
  void SetUp() override {
    Scheduler::silent = 1;
    scheduler = new Scheduler;
    Scheduler::silent = 0;
    Schedule* s1 = new Schedule;
    s1->id = "S1";
    s1->quality = make({{0.5f, 0}, {0.5f, 10}});
    s1->cost = make({{1, 2}});
    s1->finish_time = make({{1, 8}});
    s1->start_time_to_schedule_for = 0.5f;
    s1->prob_expected_q_or_better = 0.5f;
    s1->prob_expected_c_or_better = 1.0f;
    s1->prob_expected_d_or_better = 0.25f;
    s1->num_satisfied_local_commitments = 2;
    s1->num_violated_local_commitments = 1;
    s1->rating = 0.75f;
    Schedule* s2 = new Schedule;
    s2->id = "S2";
    s2->quality = make({{1, 4}});
    s2->cost = make({{0.5f, 1}, {0.5f, 3}});
    s2->finish_time = make({{1, 3}});
    s2->rating = -1.0f;
    scheduler->good_schedules.append(s1);
    scheduler->good_schedules.append(s2);
  }
  void TearDown() override {
    scheduler->delete_all();
    delete scheduler;
  }
  Scheduler* scheduler = nullptr;
};

TEST_F(TwoSchedules, DataRowsGetTheirHeadersOnceOverTwoAppends) {
  shared_test::ScratchDir dir;
  for (int run = 0; run < 2; run++) {
    FILE* stats = fopen(dir.file("schedules.stavo").c_str(), "a");
    FILE* rows = fopen(dir.file("schedules.jmp").c_str(), "a");
    scheduler->good_schedules.print_to_data_files(stats, rows);
    fclose(stats);
    fclose(rows);
  }
  const std::string columns =
      "\"q\" \"c\" \"d\" \"prob_q\" \"prob_c\" \"prob_d\" \"commit_sat\" \"commit_unsat\" \"Rating\"\n";
  const std::string row1 = "5.0000 2.0000 7.5000 0.5000 1.0000 0.2500 2 1 0.7500";
  const std::string row2 = "4.0000 2.0000 3.0000 -1.0000 -1.0000 -1.0000 0 0 -1.0000";
  const std::string stats_rows = "(" + row1 + ")\n(" + row2 + ")\n";
  const std::string plain_rows = row1 + "\n" + row2 + "\n";
  EXPECT_EQ(shared_test::read_file(dir.file("schedules.stavo")), "\"exp_sched_dat\"\n" + columns + stats_rows + stats_rows);
  EXPECT_EQ(shared_test::read_file(dir.file("schedules.jmp")), columns + plain_rows + plain_rows);
}

TEST_F(TwoSchedules, PacketSelectsTheFirstSchedule) {
  ClientDataPacket* packet = scheduler->return_schedule_data();
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(printed_text([&](FILE* f) { packet->print(f); }),
            "ClientDataPacket:\n\tContains 2 items.\n"
            "\tType: Schedule  Data (min, e, max, c, c as 100, pe):\n\t\tquality: 0.00 5.00 10.00 0.50 50.00 0.00\n"
            "\t\tcost: 2.00 2.00 2.00 1.00 100.00 0.00\n\t\tduration: 8.00 8.00 8.00 0.25 25.00 0.00\n"
            "\t\tRating 0.75, Scheduled 1\n"
            "\tType: Schedule  Data (min, e, max, c, c as 100, pe):\n\t\tquality: 4.00 4.00 4.00 -1.00 -100.00 0.00\n"
            "\t\tcost: 1.00 2.00 3.00 -1.00 -100.00 0.00\n\t\tduration: 3.00 3.00 3.00 -1.00 -100.00 0.00\n"
            "\t\tRating -1.00, Scheduled 0\n");
  delete packet;
}

TEST_F(TwoSchedules, PeopleListingClosesItsFileAndAFailedWriteIsNoSuccess) {
  shared_test::ScratchDir dir;
  std::string path = dir.file("out.schedules_for_people");
  scheduler->num_alternatives_created = 7;
  scheduler->print_schedules(fopen(path.c_str(), "w"), path.c_str());
  std::string text = shared_test::read_file(path);
  EXPECT_EQ(text.substr(0, text.find("\t-")), "\n\nNum alternatives generated 7, Scheduer pass 0\nSchedule S1, Rating 0.75\n");
  EXPECT_THAT(text, testing::HasSubstr("\n\n\nSchedule S2, Rating -1.00\n"));
  EXPECT_EXIT(scheduler->print_schedules(fopen("/dev/full", "w"), "out.schedules_for_people"),
              testing::ExitedWithCode(1),
              Exactly("Error, unable to write file out.schedules_for_people, aborting command: No space left on device\n"));
}

class RoundChecks : public scheduler_test::PreparedRound {};

TEST_F(RoundChecks, VerificationAcceptsTheTreesMethodsAndStopsOnAStranger) {
  prepare(std::string(AGENT_A) + group("G", "m1", "q_sum") + method("m1", "G", 10, 5, 2));
  Schedule s;
  s.timeline_schedule.add(element("m1", static_cast<Method*>(task_named("m1"))));
  s.timeline_schedule.get(0L)->dp_of_method = node("m1");
  s.timeline_schedule.add(element("Slack_MyTime_0", nullptr, 1));
  BasicTask* g = task_named("G");
  DecisionPoint* dp = node("G");
  EXPECT_EQ(stderr_of([&] { s.verify_addresses_of_methods_in_schedule(g, dp); }),
            "Verifying the following schedule: | m1 | Slack_MyTime_0 |\n"
            "Method m1 checks out with tasks and dps in the structures.\n"
            "Method Slack_MyTime_0 is a slack element and thus isn't considered.\n");
  Method stranger;
  s.timeline_schedule.get(1)->method_to_execute = &stranger;
  EXPECT_EXIT(s.verify_addresses_of_methods_in_schedule(g, dp), testing::KilledBySignal(SIGABRT),
              testing::EndsWith("Error, method Slack_MyTime_0 is not in the task structure passed to schedule "
                                "verification.\n"));
}

TEST_F(RoundChecks, StatisticsRebuildTheTreesAndReportAgainstTheFirstEstimates) {
  prepare(std::string(AGENT_A) + group("G", "m1 m2", "q_sum") + method("m1", "G", 10, 5, 2) +
          method("m2", "G", 4, 3, 1));
  Scheduler& s = *scheduler;
  static_cast<Method*>(task_named("m1"))->method_is_complete = 1;
  s.good_schedules.append(new Schedule);
  s.repeat_scheduling_count = 1;
  s.first_estimated_quality = 0.0f;
  s.first_estimated_cost = 4.0f;
  s.first_estimated_finish_time = 10.0f;
  shared_test::ScratchDir dir;
  FILE* stavo = fopen(dir.file("stats.stavo").c_str(), "w");
  FILE* jmp = fopen(dir.file("stats.jmp").c_str(), "w");
  std::string report = printed_text([&](FILE* f) { s.calculate_and_print_current_statistics(f, stavo, jmp, 5.0f, 3.0f); });
  fclose(stavo);
  fclose(jmp);
  EXPECT_EQ(report,
            "Scheduled 1 times, q 0.0, c 0.0, non-slack d 0.0\n"
            "Start time 0.000000, end time 5.000000, total duration slack&non 5.000000, total cost 3.0\n"
            "Executed: m1 \n"
            "Initial estimates and current as percent of estimate:\n"
            "\tq 0.00 -9.00, c 4.00 0.00, finish time 10.000000 0.50\n\n");
  EXPECT_EQ(shared_test::read_file(dir.file("stats.stavo")),
            "\"sched-dat\"\n\"times-scheduled\" \"q\" \"c\" \"d\" \"estimated-q\" \"estimated-c\" \"estimated-d\" "
            "\"start-time\" \"finish-time\" \"total-duration\" \"total-cost\" \"percent-of-e-q\" \"percent-of-e-c\" "
            "\"percent-of-e-f\" \n( 1 0.0 0.0 0.0 0.0 4.0 10.0 0.0 5.0 5.0 3.0 -9.00 0.00 0.50 )\n");
  EXPECT_THAT(shared_test::read_file(dir.file("stats.jmp")),
              testing::EndsWith("\"percent_of_e_f\" \n1 0.0 0.0 0.0 0.0 4.0 10.0 0.0 5.0 5.0 3.0 -9.00 0.00 0.50\n"));

  // The schedules are gone and the meta root finds its new node, itself the root of its tree.
  EXPECT_EQ(s.good_schedules.length(), 0);
  EXPECT_EQ(BasicTask::get_dp_of_task(s.meta_root), s.dp_to_meta_root);
  EXPECT_EQ(s.dp_to_meta_root->dp_of_task_group_root, s.dp_to_meta_root);
  EXPECT_EQ(s.dp_roots.length(), 1);

  float q = -1.0f, c = -1.0f, finish = -1.0f;
  s.start_time_to_schedule_for = 2.0f;
  s.calculate_current_statistics(q, c, finish);
  EXPECT_EQ(std::vector<float>({q, c, finish}), std::vector<float>({0.0f, 0.0f, 2.0f}));
}

}  // namespace
