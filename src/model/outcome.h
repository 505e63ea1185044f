// The ways a method can end: each outcome has a probability and its own quality, cost
// and duration distributions. The scheduler merges a method's outcomes into one.
#pragma once

#include <cstdio>

#include "foundation/shared_types.h"
#include "foundation/typed_list.h"
#include "model/distribution.h"

class OutcomeList;

// Numbers the ids "Outcome_%d"; it only grows during a run (and across library calls).
extern int Outcome_Creation_Counter;
// For tests that need known ids.
void reset_outcome_creation_counter();

class Outcome {
 public:
  Outcome();
  Outcome(const Outcome&) = delete;
  Outcome& operator=(const Outcome&) = delete;

  Density get_density() const { return probability; }
  // A deep copy, the id included.
  void duplicate(Outcome& other);
  void set_qdc_distributions_to_their_expected_values();
  // Quality, cost and duration become the merge of the outcomes' distributions, each
  // weighted by its outcome's probability; this outcome's own probability and id stay.
  void weight_and_merge_multiple_outcomes(OutcomeList& outcomes);
  void print(FILE* stream);

  Distribution quality;
  Distribution cost;
  Distribution duration;
  Density probability = 0.0f;
  OutcomeID outcome_id;
};

void outcome_delete_function(void* item);

// Outcomes are kept in the order they were given; there is no lookup by name.
class OutcomeList : public TypedList<OutcomeList, Outcome> {
 public:
  static constexpr const char* access_text = "OutcomeList access function";
  static constexpr bool adds_at_front = false;
  static void delete_function(void* item) { outcome_delete_function(item); }

  long add(Outcome* item) = delete;

  // The float sum of the outcomes' probabilities, in list order.
  float sum_all_densities();
  // 1 when the probabilities sum to 1 within t, both bounds excluded.
  int densities_sum_to_100_with_threshold(float t);
};
