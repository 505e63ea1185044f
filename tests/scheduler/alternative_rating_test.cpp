// Rating alternatives against the criteria, pruning to the n best, the bucket scheme and
// the data files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "language/vorna_io_test_support.h"
#include "scheduler/scheduler.h"

namespace {

// Certain quality, cost and duration, the potentials equal.
Alternative* certain(const std::string& id, float q, float c, float d) {
  Alternative* a = new Alternative;
  a->of_task = id;
  a->quality.append(1.0f, q);
  a->cost.append(1.0f, c);
  a->duration.append(1.0f, d);
  a->potential_quality.duplicate(a->quality);
  a->potential_cost.duplicate(a->cost);
  a->potential_duration.duplicate(a->duration);
  return a;
}

std::vector<std::string> ids(AlternativeList& list) {
  std::vector<std::string> out;
  for (long i = 0; i < list.length(); i++) out.push_back(list.get(i)->of_task);
  return out;
}

class Rating : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_once_only_flags();
    srandom(1);
    cb.goodness_quality_slider = 1.0f;
    cb.goodness_cost_slider = 1.0f;
    cb.meta_goodness_slider = 1.0f;
  }
  void TearDown() override { list.delete_list(1); }
  void three() {
    list.append(certain("A1", 10, 2, 5));
    list.append(certain("A2", 20, 4, 5));
    list.append(certain("A3", 0, 1, 1));
  }
  std::vector<float> ratings() {
    std::vector<float> out;
    for (long i = 0; i < list.length(); i++) out.push_back(list.get(i)->rating);
    return out;
  }

  ScheduleCriteriaBundle cb;
  ScheduleSettingBundle s;
  AlternativeList list;
};

TEST_F(Rating, BanksWeighTheAlternativesAgainstEachOther) {
  three();
  cb.total_up_slider_points();
  Alternative* best = list.rate_alternatives_and_sort(cb, s, 1);
  EXPECT_EQ(ratings(), (std::vector<float>{0.5f, 0.5f, -1.0f}));
  EXPECT_EQ(best->of_task, "A1");
  EXPECT_EQ(ids(list), (std::vector<std::string>{"A1", "A2", "A3"}));
  EXPECT_EQ(list.get(2)->prob_expected_q_or_better, -1.0f);
  EXPECT_EQ(list.get(0L)->prob_expected_q_or_better, 1.0f);

  // A quality threshold of 10 earns the threshold points only above it.
  cb.threshold_quality_slider = 1.0f;
  cb.quality_threshold = 10.0f;
  cb.meta_threshold_slider = 1.0f;
  cb.total_up_slider_points();
  best = list.rate_alternatives_and_sort(cb, s, 1);
  EXPECT_EQ(best->of_task, "A2");
  EXPECT_EQ(ids(list), (std::vector<std::string>{"A2", "A1", "A3"}));
  EXPECT_EQ(ratings(), (std::vector<float>{0.75f, 0.25f, -1.0f}));

  // Rows with headers only at the start of an empty file.
  vorna_io_test::ScratchDir dir;
  for (int run = 0; run < 2; run++) {
    FILE* stats = fopen(dir.file("alternatives.stavo").c_str(), "a");
    FILE* plain = fopen(dir.file("alternatives.jmp").c_str(), "a");
    list.print_to_data_files(stats, plain);
    fclose(stats);
    fclose(plain);
  }
  std::string columns = "\"q\" \"c\" \"d\" \"prob_q\" \"prob_c\" \"prob_d\" \"pq\" \"pc\" \"pd\" \"scheduled\" \"Rating\"\n";
  std::string rows =
      "(20.0000 4.0000 5.0000 1.0000 1.0000 1.0000 20.0000 4.0000 5.0000 0 0.7500)\n"
      "(10.0000 2.0000 5.0000 1.0000 1.0000 1.0000 10.0000 2.0000 5.0000 0 0.2500)\n"
      "(0.0000 1.0000 1.0000 -1.0000 -1.0000 -1.0000 0.0000 1.0000 1.0000 0 -1.0000)\n";
  EXPECT_EQ(vorna_io_test::read_file(dir.file("alternatives.stavo")), "\"exp_dat\"\n" + columns + rows + rows);
  EXPECT_EQ(vorna_io_test::read_file(dir.file("alternatives.jmp")),
            columns +
                "(20.0000 4.0000 5.0000 1.0000 1.0000 1.0000 20.0000 4.0000 5.0000 0 0.7500 A2)\n"
                "(10.0000 2.0000 5.0000 1.0000 1.0000 1.0000 10.0000 2.0000 5.0000 0 0.2500 A1)\n"
                "(0.0000 1.0000 1.0000 -1.0000 -1.0000 -1.0000 0.0000 1.0000 1.0000 0 -1.0000 A3)\n"
                "(20.0000 4.0000 5.0000 1.0000 1.0000 1.0000 20.0000 4.0000 5.0000 0 0.7500 A2)\n"
                "(10.0000 2.0000 5.0000 1.0000 1.0000 1.0000 10.0000 2.0000 5.0000 0 0.2500 A1)\n"
                "(0.0000 1.0000 1.0000 -1.0000 -1.0000 -1.0000 0.0000 1.0000 1.0000 0 -1.0000 A3)\n");
}

TEST_F(Rating, ANodePrunesOnlyPastItsLimit) {
  cb.total_up_slider_points();
  Scheduler::silent = 1;
  Scheduler scheduler;
  Scheduler::silent = 0;
  scheduler.set_scheduler_criteria(cb);
  scheduler.set_task_prune_setting(3);
  Task t;
  t.id = "T";
  DecisionPoint dp;
  dp.set_task_or_method(&t);
  for (int extra = 0; extra < 2; extra++) {
    SCOPED_TRACE(extra);
    dp.alternatives.delete_list(1);
    for (int i = 0; i < 3 + extra; i++) dp.alternatives.append(certain("q" + std::to_string(i + 1), i + 1, 1, 1));
    scheduler.prune_alternatives_according_to_criteria(&dp);
    EXPECT_EQ(ids(dp.alternatives), extra == 0 ? (std::vector<std::string>{"q1", "q2", "q3"})
                                               : (std::vector<std::string>{"q4", "q3", "q2"}));
  }
}

TEST_F(Rating, BucketsKeepTheQuotaPicksAndFreeTheRest) {
  // 16 certain durations under a deadline, limit 10, no threshold sliders: 9 bins of one
  // member (durations 1 to 9; the bin at the expected value 8.5 is empty) and the last bin,
  // holding 10 to 16 with a quota of 3.
  cb = ScheduleCriteriaBundle();
  cb.total_up_slider_points();
  for (int d = 1; d <= 16; d++) list.append(certain("d" + std::to_string(d), 1, 1, static_cast<float>(d)));
  testing::internal::CaptureStderr();
  list.rate_alternatives_and_prune_to_n_best_using_heuristic_approach(cb, s, 10, 1, 1);
  AlternativeList second;
  second.append(certain("x", 1, 1, 1));
  second.rate_alternatives_and_prune_to_n_best_using_heuristic_approach(cb, s, 10, 1, 1);
  second.delete_list(1);
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(ids(list), (std::vector<std::string>{"d1", "d2", "d3", "d4", "d5", "d6", "d7", "d8", "d9", "d13", "d14",
                                                 "d11"}));
  const char* note = "\nNote: Translating hard deadline to criteria deadline for heursitic alternative selection.\n\n";
  // Once per run; the one-member list also meets the compaction's floor of 3, harmlessly.
  EXPECT_EQ(out.find(note), 0u);
  EXPECT_EQ(out.rfind(note), 0u);

  // Quality and cost quotas of 2 each out of 4 rank by the same rating, so both take the
  // two best; nothing else is kept, least of all leftovers in source order.
  list.delete_list(1);
  cb.goodness_quality_slider = 1.0f;
  cb.meta_goodness_slider = 1.0f;
  cb.threshold_quality_slider = 1.0f;
  cb.threshold_cost_slider = 1.0f;
  cb.cost_limit = 100.0f;
  cb.meta_threshold_slider = 1.0f;
  cb.total_up_slider_points();
  for (int q = 1; q <= 6; q++) list.append(certain("q" + std::to_string(q), static_cast<float>(q), 1, 1));
  testing::internal::CaptureStderr();
  list.rate_alternatives_and_prune_to_n_best_using_heuristic_approach(cb, s, 4, 0, 1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(ids(list), (std::vector<std::string>{"q6", "q5"}));

  // Three equal threshold sliders and a limit of 2 give no quota at all: the 2 best.
  list.delete_list(1);
  cb.threshold_duration_slider = 1.0f;
  cb.total_up_slider_points();
  for (int q = 1; q <= 5; q++) list.append(certain("q" + std::to_string(q), static_cast<float>(q), 1, 1));
  list.rate_alternatives_and_prune_to_n_best_using_heuristic_approach(cb, s, 2, 0, 1);
  EXPECT_EQ(ids(list), (std::vector<std::string>{"q5", "q4"}));
}

TEST_F(Rating, BucketsOfManyMembersDrawTheirPicksAndKeepTheirOrder) {
  // 90 alternatives over 11 bins under a deadline with a limit of 40: the bins draw
  // several picks each from members counted latest first, and what the quotas did not
  // take follows bin by bin. Then quotas of every dimension at once, overlapping.
  cb = ScheduleCriteriaBundle();
  cb.total_up_slider_points();
  auto fill = [&]() {
    for (int i = 0; i < 90; i++)
      list.append(certain("a" + std::to_string(i), static_cast<float>((i * 7) % 23 + 1),
                          static_cast<float>((i * 5) % 11), static_cast<float>((i * 13) % 37 + (i % 3))));
  };
  fill();
  testing::internal::CaptureStderr();
  long n = 40;
  list.sort_alternatives_using_heuristic_bucket_approach(n, cb, s, 1);
  EXPECT_EQ(n, 37);
  EXPECT_EQ(ids(list), (std::vector<std::string>{
      "a0", "a57", "a20", "a37", "a6", "a77", "a43", "a26", "a66", "a46", "a49", "a29", "a69",
      "a52", "a15", "a32", "a35", "a55", "a89", "a21", "a78", "a58", "a81", "a4", "a61", "a27",
      "a7", "a82", "a2", "a68", "a45", "a16", "a36", "a64", "a33", "a47", "a50", "a74", "a60",
      "a40", "a3", "a63", "a23", "a80", "a9", "a83", "a12", "a86", "a72", "a75", "a18", "a38", "a1",
      "a41", "a24", "a88", "a87", "a85", "a84", "a79", "a76", "a73", "a71", "a70", "a67", "a65",
      "a62", "a59", "a56", "a54", "a53", "a51", "a48", "a44", "a42", "a39", "a34", "a31", "a30",
      "a28", "a25", "a22", "a19", "a17", "a14", "a13", "a11", "a10", "a8", "a5"}));
  list.delete_list(1);

  cb.goodness_quality_slider = 1.0f;
  cb.goodness_duration_slider = 0.5f;
  cb.meta_goodness_slider = 1.0f;
  cb.threshold_quality_slider = 2.0f;
  cb.threshold_cost_slider = 1.0f;
  cb.threshold_duration_slider = 3.0f;
  cb.quality_threshold = 10.0f;
  cb.cost_limit = 6.0f;
  cb.meta_threshold_slider = 1.0f;
  cb.total_up_slider_points();
  fill();
  n = 24;
  list.rate_alternatives_and_prune_to_n_best_using_heuristic_approach(cb, s, n, 1, 1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(ids(list), (std::vector<std::string>{
      "a3", "a49", "a29", "a9", "a75", "a36", "a26", "a55", "a0", "a57", "a20", "a40", "a23", "a63",
      "a6", "a66", "a46", "a12", "a83", "a52", "a86", "a72", "a35", "a18", "a78", "a58", "a21",
      "a81", "a61", "a4", "a7", "a27", "a67", "a44", "a54", "a74", "a60", "a37"}));
}

}  // namespace
