#include "model/schedule_bundles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/tagged_new.h"

namespace {
// The size the text form has always been given; its content is far shorter.
constexpr int CRITERIA_TEXT_SIZE = 8046;

// A value that cannot be read leaves the slider as it was.
void read_float(FILE* input, float& slider) {
  float value;
  if (fscanf(input, "%f", &value) == 1) slider = value;
}
}  // namespace

void ScheduleCriteriaBundle::total_up_slider_points() {
  total_points_in_goodness_bank = goodness_quality_slider + goodness_cost_slider + goodness_duration_slider;
  total_points_in_threshold_bank = threshold_quality_slider + threshold_cost_slider + threshold_duration_slider;
  total_points_in_uncertainty_bank =
      uncertainty_quality_slider + uncertainty_cost_slider + uncertainty_duration_slider;
  total_points_in_uncertainty_threshold_bank = threshold_certainty_quality_slider +
                                               threshold_certainty_cost_slider +
                                               threshold_certainty_duration_slider;

  float meta_total =
      meta_goodness_slider + meta_threshold_slider + meta_uncertainty_slider + meta_uncertainty_threshold_slider;
  // A bank that already sums to 1 stays as it is, so that the sliders written with six
  // decimals and read again come back unchanged. Within 1e-5, or within the rounding of
  // a float sum of sliders that cancel one another.
  float magnitude = std::fabs(meta_goodness_slider) + std::fabs(meta_threshold_slider) +
                    std::fabs(meta_uncertainty_slider) + std::fabs(meta_uncertainty_threshold_slider);
  bool already_normalised = std::fabs(meta_total - 1.0f) <= 1e-5f * std::max(1.0f, magnitude);
  if (meta_total != 0.0f && !already_normalised) {
    meta_goodness_slider = meta_goodness_slider / meta_total;
    meta_threshold_slider = meta_threshold_slider / meta_total;
    meta_uncertainty_slider = meta_uncertainty_slider / meta_total;
    meta_uncertainty_threshold_slider = meta_uncertainty_threshold_slider / meta_total;
  }
}

void ScheduleCriteriaBundle::set_values_manually_prepare_for_use() { total_up_slider_points(); }

void ScheduleCriteriaBundle::print_criteria_bundle(FILE* stream) {
  fprintf(stream, "Criteria Bundle:\n");
  fprintf(stream, "\tGoodness Sliders: Q %.2f, C %.2f, D %.2f\n", goodness_quality_slider, goodness_cost_slider,
          goodness_duration_slider);
  fprintf(stream, "\tThreshold Sliders\n");
  fprintf(stream, "\t\tQuality %.2f, Threshold %.2f\n", threshold_quality_slider, quality_threshold);
  fprintf(stream, "\t\tCost %.2f, Limit %.2f\n", threshold_cost_slider, cost_limit);
  fprintf(stream, "\t\tDuration %.2f, Limit %.2f, Plus range %.2f\n", threshold_duration_slider, duration_limit,
          duration_limit_plus_range);
  fprintf(stream, "\tUncertainty Sliders: Q %.2f, C %.2f, D %.2f\n", uncertainty_quality_slider,
          uncertainty_cost_slider, uncertainty_duration_slider);
  fprintf(stream, "\tUncertainty Threshold Sliders\n");
  fprintf(stream, "\t\tQuality %.2f, Threshold %.2f\n", threshold_certainty_quality_slider,
          quality_certainty_threshold);
  fprintf(stream, "\t\tCost %.2f, Threshold %.2f\n", threshold_certainty_cost_slider, cost_certainty_threshold);
  fprintf(stream, "\t\tDuration %.2f, Threshold %.2f\n", threshold_certainty_duration_slider,
          duration_certainty_threshold);
  fprintf(stream, "\tMeta Sliders: Goodness %.2f, Thresholds %.2f\n\t\tCertainty %.2f, Certainty Thresholds %.2f\n",
          meta_goodness_slider, meta_threshold_slider, meta_uncertainty_slider, meta_uncertainty_threshold_slider);
}

void ScheduleCriteriaBundle::get_criteria_bundle() { get_criteria_bundle(stdin); }

void ScheduleCriteriaBundle::get_criteria_bundle(FILE* input) {
  const char* pair_format = "in the format of (slider-value threshold), e.g., 6 2:\n";

  fprintf(stderr, "Enter raw goodness slider settings for q, c, d:\n");
  read_float(input, goodness_quality_slider);
  read_float(input, goodness_cost_slider);
  read_float(input, goodness_duration_slider);

  fprintf(stderr, "Enter threshold slider settings for q, c, d in the\n");
  fprintf(stderr, "%s", pair_format);
  read_float(input, threshold_quality_slider);
  read_float(input, quality_threshold);
  read_float(input, threshold_cost_slider);
  read_float(input, cost_limit);
  read_float(input, threshold_duration_slider);
  read_float(input, duration_limit);

  fprintf(stderr, "Enter uncertainty slider settings for q, c, d:\n");
  read_float(input, uncertainty_quality_slider);
  read_float(input, uncertainty_cost_slider);
  read_float(input, uncertainty_duration_slider);

  fprintf(stderr, "Enter certainty threshold slider settings for q, c, d in the\n");
  fprintf(stderr, "%s", pair_format);
  read_float(input, threshold_certainty_quality_slider);
  read_float(input, quality_certainty_threshold);
  read_float(input, threshold_certainty_cost_slider);
  read_float(input, cost_certainty_threshold);
  read_float(input, threshold_certainty_duration_slider);
  read_float(input, duration_certainty_threshold);

  fprintf(stderr, "Enter meta slider settings for goodness, thresholds, uncertainty:\n");
  read_float(input, meta_goodness_slider);
  read_float(input, meta_threshold_slider);
  read_float(input, meta_uncertainty_slider);
  read_float(input, meta_uncertainty_threshold_slider);

  has_values = 1;
  total_up_slider_points();
  print_criteria_bundle(stderr);
}

char* ScheduleCriteriaBundle::convert_to_string_and_alloc() {
  char* text = new ("convert_to_string_and_alloc") char[CRITERIA_TEXT_SIZE];
  snprintf(text, CRITERIA_TEXT_SIZE,
           "Goodness Sliders: Q %.0f, C %.0f, D %.0f\n"
           "Threshold Sliders & Values: Q %.0f %.0f\n"
           "\t C %.0f %.0f    D %.0f %.0f\n"
           "Certainty Sliders: Q %.0f, C %.0f, D %.0f\n"
           "Certainty Threshold Sliders and Values: Q %.0f %.0f\n"
           "\t C %.0f %.0f    D %.0f %.0f\n"
           "Meta Sliders: G %.0f, T %.0f, C %.0f, CT %.0f\n",
           goodness_quality_slider, goodness_cost_slider, goodness_duration_slider, threshold_quality_slider,
           quality_threshold, threshold_cost_slider, cost_limit, threshold_duration_slider, duration_limit,
           uncertainty_quality_slider, uncertainty_cost_slider, uncertainty_duration_slider,
           threshold_certainty_quality_slider, quality_certainty_threshold, threshold_certainty_cost_slider,
           cost_certainty_threshold, threshold_certainty_duration_slider, duration_certainty_threshold,
           meta_goodness_slider, meta_threshold_slider, meta_uncertainty_slider, meta_uncertainty_threshold_slider);
  return text;
}

void ControlParameterBundle::print(FILE* stream) {
  fprintf(stream, "Control parameter bundle %s\n", label.c_str());
  fprintf(stream, "Execution clock to schedule for %f, cost accrued %f, use advanced %d\n",
          execution_clock_to_schedule_for, cost_accrued_thus_far, use_advanced_cbranch_analyzer);
  fprintf(stream, "Target number of schedules %d\n", target_max_number_of_schedules);
  fprintf(stream, "Prune alternatives %c\n", prune_setting);
  fprintf(stream, "Scheduling mode %d\n", static_cast<int>(scheduling_mode));
}

void MinMaxBundle::print(FILE* stream) {
  fprintf(stream, "%f minq\n", minq);
  fprintf(stream, "%f maxq\n", maxq);
  fprintf(stream, "%f mind\n", mind);
  fprintf(stream, "%f maxd\n", maxd);
  fprintf(stream, "%f minc\n", minc);
  fprintf(stream, "%f maxc\n", maxc);
  fprintf(stream, "%f uminq\n", uminq);
  fprintf(stream, "%f umaxq\n", umaxq);
  fprintf(stream, "%f umind\n", umind);
  fprintf(stream, "%f umaxd\n", umaxd);
  fprintf(stream, "%f uminc\n", uminc);
  fprintf(stream, "%f umaxc\n", umaxc);
}
