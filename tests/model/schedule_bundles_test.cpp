#include "model/schedule_bundles.h"

#include <gtest/gtest.h>

#include "model/printed_text.h"

TEST(ScheduleCriteriaBundle, NewBundleIsUnsetAndPrintsZeros) {
  ScheduleCriteriaBundle b;
  EXPECT_EQ(b.has_values, 0);
  std::string text = printed_text([&](FILE* f) { b.print_criteria_bundle(f); });
  // All 23 sliders and limits, and no other number.
  size_t zeros = 0;
  for (size_t at = text.find("0.00"); at != std::string::npos; at = text.find("0.00", at + 4)) zeros++;
  EXPECT_EQ(zeros, 23u);
  EXPECT_EQ(text.find_first_of("123456789"), std::string::npos);
}

// Every field set to a distinct number shows which one each printout pairs where.
TEST(ScheduleCriteriaBundle, TextFormsPairEachSliderWithItsLimit) {
  ScheduleCriteriaBundle b;
  float* fields[] = {&b.goodness_quality_slider, &b.goodness_cost_slider, &b.goodness_duration_slider,
                     &b.threshold_quality_slider, &b.quality_threshold, &b.threshold_cost_slider, &b.cost_limit,
                     &b.threshold_duration_slider, &b.duration_limit, &b.duration_limit_plus_range,
                     &b.uncertainty_quality_slider, &b.uncertainty_cost_slider, &b.uncertainty_duration_slider,
                     &b.threshold_certainty_quality_slider, &b.quality_certainty_threshold,
                     &b.threshold_certainty_cost_slider, &b.cost_certainty_threshold,
                     &b.threshold_certainty_duration_slider, &b.duration_certainty_threshold,
                     &b.meta_goodness_slider, &b.meta_threshold_slider, &b.meta_uncertainty_slider,
                     &b.meta_uncertainty_threshold_slider};
  float n = 1;
  for (float* field : fields) *field = n++;
  EXPECT_EQ(printed_text([&](FILE* f) { b.print_criteria_bundle(f); }),
            "Criteria Bundle:\n"
            "\tGoodness Sliders: Q 1.00, C 2.00, D 3.00\n"
            "\tThreshold Sliders\n"
            "\t\tQuality 4.00, Threshold 5.00\n"
            "\t\tCost 6.00, Limit 7.00\n"
            "\t\tDuration 8.00, Limit 9.00, Plus range 10.00\n"
            "\tUncertainty Sliders: Q 11.00, C 12.00, D 13.00\n"
            "\tUncertainty Threshold Sliders\n"
            "\t\tQuality 14.00, Threshold 15.00\n"
            "\t\tCost 16.00, Threshold 17.00\n"
            "\t\tDuration 18.00, Threshold 19.00\n"
            "\tMeta Sliders: Goodness 20.00, Thresholds 21.00\n"
            "\t\tCertainty 22.00, Certainty Thresholds 23.00\n");
  char* text = b.convert_to_string_and_alloc();
  EXPECT_STREQ(text,
               "Goodness Sliders: Q 1, C 2, D 3\n"
               "Threshold Sliders & Values: Q 4 5\n"
               "\t C 6 7    D 8 9\n"
               "Certainty Sliders: Q 11, C 12, D 13\n"
               "Certainty Threshold Sliders and Values: Q 14 15\n"
               "\t C 16 17    D 18 19\n"
               "Meta Sliders: G 20, T 21, C 22, CT 23\n");
  delete[] text;
}

TEST(ScheduleCriteriaBundle, TotalsBanksAndNormalisesOnlyTheMetaSliders) {
  ScheduleCriteriaBundle b;
  b.total_up_slider_points();
  EXPECT_EQ(b.meta_goodness_slider, 0.0f);  // all zero: nothing to divide by

  b.goodness_quality_slider = 3;
  b.goodness_cost_slider = 2;
  b.goodness_duration_slider = 1;
  b.threshold_certainty_quality_slider = 0.5f;
  b.threshold_certainty_duration_slider = 0.25f;
  b.meta_goodness_slider = 2;
  b.meta_threshold_slider = 1;
  b.meta_uncertainty_slider = 1;
  b.set_values_manually_prepare_for_use();
  EXPECT_EQ(b.total_points_in_goodness_bank, 6.0f);
  EXPECT_EQ(b.total_points_in_threshold_bank, 0.0f);
  EXPECT_EQ(b.total_points_in_uncertainty_threshold_bank, 0.75f);
  EXPECT_EQ(b.goodness_quality_slider, 3.0f);
  EXPECT_EQ(b.meta_goodness_slider, 0.5f);
  EXPECT_EQ(b.meta_threshold_slider, 0.25f);
  EXPECT_EQ(b.meta_uncertainty_slider, 0.25f);
  EXPECT_EQ(b.meta_uncertainty_threshold_slider, 0.0f);
}

TEST(ScheduleCriteriaBundle, ConsoleEntryReadsThePromptedOrder) {
  FILE* in = tmpfile();
  fputs("1 2 3  4 5 6 7 8 9  10 11 12  13 14 15 16 17 18  2 1 1 0\n", in);
  rewind(in);
  ScheduleCriteriaBundle b;
  testing::internal::CaptureStderr();
  b.get_criteria_bundle(in);
  std::string prompts = testing::internal::GetCapturedStderr();
  fclose(in);
  EXPECT_EQ(b.has_values, 1);
  EXPECT_EQ(b.quality_threshold, 5.0f);
  EXPECT_EQ(b.duration_limit, 9.0f);
  EXPECT_EQ(b.threshold_certainty_cost_slider, 15.0f);
  EXPECT_EQ(b.meta_goodness_slider, 0.5f);
  EXPECT_EQ(prompts.rfind("Enter raw goodness slider settings for q, c, d:\n"
                          "Enter threshold slider settings for q, c, d in the\n"
                          "in the format of (slider-value threshold), e.g., 6 2:\n"
                          "Enter uncertainty slider settings for q, c, d:\n",
                          0),
            0u);
}

TEST(OtherBundles, DefaultsAndPrints) {
  ScheduleSettingBundle s;
  EXPECT_EQ(s.q + s.d + s.c, -6.0f);
  EnvelopeToggleBundle e;
  EXPECT_EQ(e.q + e.d + e.c, 3);

  ControlParameterBundle p;
  EXPECT_EQ(printed_text([&](FILE* f) { p.print(f); }),
            "Control parameter bundle qwerty__empty_no_id\n"
            "Execution clock to schedule for 0.000000, cost accrued 0.000000, use advanced 0\n"
            "Target number of schedules -1\n"
            "Prune alternatives -\n"
            "Scheduling mode 0\n");

  MinMaxBundle m;
  m.maxq = 1.5f;
  m.umaxc = -2.0f;
  EXPECT_EQ(printed_text([&](FILE* f) { m.print(f); }),
            "0.000000 minq\n1.500000 maxq\n0.000000 mind\n0.000000 maxd\n0.000000 minc\n0.000000 maxc\n"
            "0.000000 uminq\n0.000000 umaxq\n0.000000 umind\n0.000000 umaxd\n0.000000 uminc\n"
            "-2.000000 umaxc\n");
}
