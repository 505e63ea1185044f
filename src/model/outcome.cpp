#include "model/outcome.h"

#include <string>
#include <vector>

#include "foundation/tagged_new.h"

int Outcome_Creation_Counter = 0;

void reset_outcome_creation_counter() { Outcome_Creation_Counter = 0; }

Outcome::Outcome() : outcome_id("Outcome_" + std::to_string(Outcome_Creation_Counter)) {
  Outcome_Creation_Counter++;
}

void Outcome::duplicate(Outcome& other) {
  if (&other == this) return;
  quality.duplicate(other.quality);
  cost.duplicate(other.cost);
  duration.duplicate(other.duration);
  probability = other.probability;
  outcome_id = other.outcome_id;
}

void Outcome::set_qdc_distributions_to_their_expected_values() {
  quality.replace_distribution_with_its_expected_value();
  cost.replace_distribution_with_its_expected_value();
  duration.replace_distribution_with_its_expected_value();
}

void Outcome::weight_and_merge_multiple_outcomes(OutcomeList& outcomes) {
  long n = outcomes.length();
  if (n == 0) return;

  std::vector<float> weights(n);
  std::vector<Distribution*> qualities(n);
  std::vector<Distribution*> costs(n);
  std::vector<Distribution*> durations(n);
  for (long i = 0; i < n; i++) {
    Outcome* o = outcomes.get(i);
    weights[i] = o->probability;
    qualities[i] = &o->quality;
    costs[i] = &o->cost;
    durations[i] = &o->duration;
  }
  quality.weight_and_merge_multiple_distributions_into_this(qualities.data(), weights.data(), n);
  cost.weight_and_merge_multiple_distributions_into_this(costs.data(), weights.data(), n);
  duration.weight_and_merge_multiple_distributions_into_this(durations.data(), weights.data(), n);
}

void Outcome::print(FILE* stream) {
  fprintf(stream, "Outcome: id = %s  p = %.2f\n", outcome_id.c_str(), probability);
  fprintf(stream, "\tQuality, expected value %lf, distribution: ", quality.get_expected_value());
  quality.print(stream);
  fprintf(stream, "\tCost, expected value %lf, distribution: ", cost.get_expected_value());
  cost.print(stream);
  fprintf(stream, "\tDuration, expected value %lf, distribution: ", duration.get_expected_value());
  duration.print(stream);
}

void outcome_delete_function(void* item) { delete static_cast<Outcome*>(item); }

float OutcomeList::sum_all_densities() {
  float sum = 0.0f;
  for (long i = 0; i < length(); i++) sum += get(i)->probability;
  return sum;
}

int OutcomeList::densities_sum_to_100_with_threshold(float t) {
  float sum = sum_all_densities();
  // The bounds in float: in double, a float sum of 0.99 would pass a threshold of 0.01.
  float low = 1.0f - t;
  float high = 1.0f + t;
  return (low < sum && sum < high) ? 1 : 0;
}
