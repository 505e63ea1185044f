// Small value records that carry the user's wishes into the scheduler: how schedules
// are rated, which statistic of each distribution is read, which reschedule envelopes
// are computed, the run's control parameters from the task-structure text, and the
// observed extremes of a set of schedules.
#pragma once

#include <cstdio>

#include "foundation/shared_types.h"

// A slider or limit that was not given. It equals a slider set to 0, so whoever needs
// to know whether the criteria were given at all asks `has_values`.
inline constexpr float SLIDER_NOT_SET = 0.0f;

class ScheduleCriteriaBundle {
 public:
  // Recomputes the four bank totals and scales the meta sliders to sum to 1.
  void total_up_slider_points();
  // For a bundle whose fields were set directly.
  void set_values_manually_prepare_for_use();
  void print_criteria_bundle(FILE* stream);
  // Console entry: prompts on the error stream and reads the sliders from standard input.
  void get_criteria_bundle();
  void get_criteria_bundle(FILE* input);
  // A new text the caller frees with delete[].
  char* convert_to_string_and_alloc();

  int has_values = 0;
  ID label_for_tvorna = EMPTY_ID;
  float goodness_quality_slider = SLIDER_NOT_SET;
  float goodness_cost_slider = SLIDER_NOT_SET;
  float goodness_duration_slider = SLIDER_NOT_SET;
  float threshold_quality_slider = SLIDER_NOT_SET;
  float threshold_cost_slider = SLIDER_NOT_SET;
  float threshold_duration_slider = SLIDER_NOT_SET;
  float quality_threshold = SLIDER_NOT_SET;
  float cost_limit = SLIDER_NOT_SET;
  float duration_limit = SLIDER_NOT_SET;
  float duration_limit_plus_range = 0.0f;
  float uncertainty_quality_slider = SLIDER_NOT_SET;
  float uncertainty_cost_slider = SLIDER_NOT_SET;
  float uncertainty_duration_slider = SLIDER_NOT_SET;
  float threshold_certainty_quality_slider = SLIDER_NOT_SET;
  float threshold_certainty_cost_slider = SLIDER_NOT_SET;
  float threshold_certainty_duration_slider = SLIDER_NOT_SET;
  float quality_certainty_threshold = SLIDER_NOT_SET;
  float cost_certainty_threshold = SLIDER_NOT_SET;
  float duration_certainty_threshold = SLIDER_NOT_SET;
  float meta_goodness_slider = SLIDER_NOT_SET;
  float meta_threshold_slider = SLIDER_NOT_SET;
  float meta_uncertainty_slider = SLIDER_NOT_SET;
  float meta_uncertainty_threshold_slider = SLIDER_NOT_SET;
  float total_points_in_goodness_bank = 0.0f;
  float total_points_in_threshold_bank = 0.0f;
  float total_points_in_uncertainty_bank = 0.0f;
  float total_points_in_uncertainty_threshold_bank = 0.0f;
};

// Which statistic the scheduler reads from each distribution: -2 expected value,
// -1 minimum, 0 maximum, 0.5 median, anything else a percentile.
class ScheduleSettingBundle {
 public:
  ValueSpecifier q = -2.0f;
  ValueSpecifier d = -2.0f;
  ValueSpecifier c = -2.0f;
};

class EnvelopeToggleBundle {
 public:
  int q = 1;
  int d = 1;
  int c = 1;
};

class ControlParameterBundle {
 public:
  void print(FILE* stream);

  ID label = EMPTY_ID;
  float execution_clock_to_schedule_for = 0.0f;
  float cost_accrued_thus_far = 0.0f;
  int use_advanced_cbranch_analyzer = 0;
  // -1 and '-': the task-structure text gave none.
  int target_max_number_of_schedules = -1;
  char prune_setting = '-';
  MethodSchedulingModes scheduling_mode = UndefinedSchedulingMode;
};

class MinMaxBundle {
 public:
  void print(FILE* stream);

  float minq = 0.0f;
  float maxq = 0.0f;
  float mind = 0.0f;
  float maxd = 0.0f;
  float minc = 0.0f;
  float maxc = 0.0f;
  float uminq = 0.0f;
  float umaxq = 0.0f;
  float umind = 0.0f;
  float umaxd = 0.0f;
  float uminc = 0.0f;
  float umaxc = 0.0f;
};
