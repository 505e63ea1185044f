// The failure codes a method rating can take instead of a preference, with the label each
// is reported under. The builders compare ratings against these constants.
#pragma once

constexpr float FAILED_ENFORCE_ENABLES_DUE_TO_QUALITY = -1.0f;
constexpr float FAILED_ENFORCE_ENABLES_DUE_TO_DELAY = -2.0f;
constexpr float FAILED_ENFORCE_HARD_DEADLINES = -3.0f;
constexpr float FAILED_ENFORCE_EARLIEST_START_TIME = -4.0f;
constexpr float FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX = -5.0f;
constexpr float FAILED_ENFORCE_DISABLES = -6.0f;
constexpr float FAILED_DUE_TO_LACK_OF_RESOURCES = -7.0f;
constexpr float FAILED_DUE_TO_ZERO_INITIAL_QUALITY = -8.0f;

struct MethodRatingCode {
  float code;
  const char* label;
};

inline constexpr MethodRatingCode METHOD_RATING_CODES[] = {
    {FAILED_ENFORCE_ENABLES_DUE_TO_QUALITY, "FAILED_ENFORCE_ENABLES_DUE_TO_QUALITY"},
    {FAILED_ENFORCE_ENABLES_DUE_TO_DELAY, "FAILED_ENFORCE_ENABLES_DUE_TO_DELAY"},
    {FAILED_ENFORCE_HARD_DEADLINES, "FAILED_ENFORCE_HARD_DEADLINES"},
    {FAILED_ENFORCE_EARLIEST_START_TIME, "FAILED_ENFORCE_EARLIEST_START_TIME"},
    {FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX, "FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX"},
    {FAILED_ENFORCE_DISABLES, "FAILED_ENFORCE_DISABLES"},
    {FAILED_DUE_TO_LACK_OF_RESOURCES, "FAILED_DUE_TO_LACK_OF_RESOURCES"},
    {FAILED_DUE_TO_ZERO_INITIAL_QUALITY, "FAILED_DUE_TO_ZERO_INITIAL_QUALITY"},
};

// The label of a failure code; the empty text for any other rating.
inline const char* method_rating_label(float rating) {
  for (const MethodRatingCode& c : METHOD_RATING_CODES)
    if (c.code == rating) return c.label;
  return "";
}
