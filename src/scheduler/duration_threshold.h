// The duration's share of the threshold bank, read the same way for alternatives and
// schedules: full below the limit, falling linearly to 0 over the range above it, never
// above 1.
#pragma once

#include "model/schedule_bundles.h"

inline float threshold_duration_points(float vd, ScheduleCriteriaBundle& cb) {
  float total = cb.total_points_in_threshold_bank;
  float limit = cb.duration_limit;
  float outer = limit * (1.0f + cb.duration_limit_plus_range);
  if (!(vd < outer)) return 0.0f;
  float points = 0.0f;
  if (vd < limit) {
    points = cb.threshold_duration_slider / total;
  } else if (outer > limit) {
    points = (outer - vd) / (outer - limit) * cb.threshold_duration_slider / total;
  }
  return points > 1.0f ? 1.0f : points;
}
