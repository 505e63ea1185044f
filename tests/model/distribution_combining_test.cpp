// Combination under each accumulation function, compaction (its tie rules and float
// order), redistribution and scaling of densities, merges, and the combine counter.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "model/distribution.h"
#include "../../tools/reference_slot_walk.h"
#include "model/distribution_test_support.h"

using ::testing::HasSubstr;
using distribution_test::fatal_text;
using distribution_test::make;
using distribution_test::pairs_of;

namespace {

class Combining : public ::testing::Test {
 protected:
  void SetUp() override { Distribution::reset_combine_operation_counter(); }
};

}  // namespace

TEST_F(Combining, EachAccumulationFunction) {
  struct Case {
    VORNA_QualityAF qaf;
    std::vector<DistributionPair> a, b;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {VORNA_SUM, {{0.5f, 0}, {0.5f, 10}}, {{1.0f, 5}}, "(0.50 5.00)(0.50 15.00)"},
      {VORNA_SUM_ALL, {{0.5f, 0}, {0.5f, 10}}, {{1.0f, 5}}, "(0.50 5.00)(0.50 15.00)"},
      {VORNA_SEQ_SUM, {{0.5f, 0}, {0.5f, 10}}, {{1.0f, 5}}, "(0.50 5.00)(0.50 15.00)"},
      {VORNA_MAX, {{0.5f, 2}, {0.5f, 8}}, {{1.0f, 5}}, "(0.50 5.00)(0.50 8.00)"},
      {VORNA_SEQ_MAX, {{0.5f, 2}, {0.5f, 8}}, {{1.0f, 5}}, "(0.50 5.00)(0.50 8.00)"},
      {VORNA_MIN, {{0.5f, 2}, {0.5f, 8}}, {{1.0f, 5}}, "(0.50 2.00)(0.50 5.00)"},
      {VORNA_SEQ_MIN, {{0.5f, 2}, {0.5f, 8}}, {{1.0f, 5}}, "(0.50 2.00)(0.50 5.00)"},
      {VORNA_ONLY_ONE, {{1.0f, 0}}, {{1.0f, 7}}, "(1.00 7.00)"},
      {VORNA_ONLY_ONE, {{1.0f, 3}}, {{1.0f, 7}}, "(1.00 0.00)"},
      // A clash of two contributing values costs only its own probability.
      {VORNA_ONLY_ONE, {{0.5f, 0}, {0.5f, 10}}, {{0.9f, 0}, {0.1f, 5}}, "(0.50 0.00)(0.05 5.00)(0.45 10.00)"},
      {VORNA_SIGMOID, {{0.5f, 1}, {0.5f, 2}}, {{1.0f, 1}}, "(0.50 2.00)(0.50 3.00)"},
  };
  long expected_count = 0;
  for (const Case& c : cases) {
    Distribution a, b, result;
    for (auto p : c.a) a.append(p.density, p.value);
    for (auto p : c.b) b.append(p.density, p.value);
    result.combine(a, b, c.qaf);
    expected_count++;
    EXPECT_EQ(pairs_of(result), c.expected) << "qaf " << c.qaf;
    EXPECT_EQ(Distribution::report_total_number_of_combine_operations(), expected_count);
  }
}

TEST_F(Combining, CallFormsCountOnceAndMayAliasTheResult) {
  Distribution a = make({{0.5f, 1}, {0.5f, 2}});
  Distribution b = make({{1.0f, 10}});
  Distribution r;
  r.combine(&a, &b, VORNA_SUM);
  r.combine(&b, VORNA_MAX);
  EXPECT_EQ(pairs_of(r), "(0.50 11.00)(0.50 12.00)");
  // Two-operand forms whose result is one of the operands.
  a.combine(a, b, VORNA_SUM);
  EXPECT_EQ(pairs_of(a), "(0.50 11.00)(0.50 12.00)");
  a.combine_costs(b, a);
  EXPECT_EQ(pairs_of(a), "(0.50 21.00)(0.50 22.00)");
  a.subtract_durations(a, a);
  EXPECT_EQ(pairs_of(a), "(0.25 -1.00)(0.50 0.00)(0.25 1.00)");
  EXPECT_EQ(the_counter, 5);

  Distribution c = make({{0.5f, 1}, {0.5f, 3}});
  c.combine_costs(&b);
  c.combine_durations(b);
  c.combine_durations(&b, &c);
  EXPECT_EQ(pairs_of(c), "(0.50 31.00)(0.50 33.00)");
  c.subtract_durations(b);
  c.subtract_durations(&b);
  EXPECT_EQ(pairs_of(c), "(0.50 11.00)(0.50 13.00)");
  EXPECT_EQ(Distribution::report_total_number_of_combine_operations(), 10);

  // An unknown function counts but produces nothing.
  Distribution nothing;
  nothing.combine(c, b, VORNA_EMPTY_QAF);
  EXPECT_EQ(nothing.length(), 0);
  EXPECT_EQ(nothing.get_expected_value(), 0.0f);
  EXPECT_EQ(the_counter, 11);
  Distribution::reset_combine_operation_counter();
  EXPECT_EQ(Distribution::report_total_number_of_combine_operations(), 0);
}

TEST_F(Combining, CommitmentCombinationAddsOnlyAboveTheThreshold) {
  Distribution a = make({{0.5f, 0}, {0.5f, 10}});
  Distribution b = make({{1.0f, 3}});
  Distribution r;
  r.special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(a, b,
                                                                                                            5);
  EXPECT_EQ(pairs_of(r), "(0.50 0.00)(0.50 13.00)");
  a.special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(&b, 10);
  EXPECT_EQ(pairs_of(a), "(0.50 0.00)(0.50 13.00)");
  a.special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(b, 0);
  EXPECT_EQ(pairs_of(a), "(0.50 3.00)(0.50 16.00)");
  EXPECT_EQ(the_counter, 0);
}

TEST_F(Combining, SigmoidMultiplierOnlyOnceAfterASigmoidCombination) {
  Distribution a = make({{0.5f, 1}, {0.5f, 2}});
  Distribution b = make({{1.0f, 1}});
  a.combine(b, VORNA_SIGMOID);
  EXPECT_EQ(a.combined_under_sigmoid_and_multiplier_not_applied, 1);
  a.apply_sigmoid_multiple(2);
  EXPECT_EQ(pairs_of(a), "(0.50 4.00)(0.50 6.00)");
  EXPECT_EQ(a.get_expected_value(), 5.0f);
  EXPECT_DEATH(a.apply_sigmoid_multiple(2),
               HasSubstr(fatal_text("Error, sigmoid finishing function called on non sigmoid generated distribution.\n")));
}

TEST_F(Combining, ProgrammingErrorsStop) {
  Distribution empty;
  Distribution one = make({{1.0f, 1}});
  Distribution r;
  EXPECT_EXIT(r.combine(one, one, VORNA_SEQ), ::testing::ExitedWithCode(1),
              HasSubstr("Error, attempt to combine distributions under SEQ.\n"
                        "By def., there is nothing to combine as the parent\n"
                        "quality is the quality of the last of its children.\n"));
  EXPECT_EXIT(
      r.special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
          &one, nullptr, 1),
      ::testing::ExitedWithCode(1), HasSubstr("Distribution::special got a null pointer\n"));

  struct Case {
    VORNA_QualityAF qaf;
    const char* message;
  };
  for (Case c : {Case{VORNA_SUM, "Error, see internal_combine_sum\n"}, Case{VORNA_SIGMOID, "Error, see internal_combine_sum\n"},
                 Case{VORNA_MAX, "Error, see internal_combine_max\n"}, Case{VORNA_SEQ_MIN, "Error, see internal_combine_min\n"},
                 Case{VORNA_ONLY_ONE, "Error, see internal_combine_only_one\n"}}) {
    EXPECT_DEATH(r.combine(empty, one, c.qaf), HasSubstr(fatal_text(c.message))) << c.qaf;
  }
  const std::string sum_error = fatal_text("Error, see internal_combine_sum\n");
  EXPECT_DEATH(r.combine_costs(one, empty), HasSubstr(sum_error));
  EXPECT_DEATH(r.combine_durations(empty), HasSubstr(sum_error));
  EXPECT_DEATH(r.subtract_durations(empty, one), HasSubstr(sum_error));
  EXPECT_DEATH(
      r.special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
          one, empty, 1),
      HasSubstr(sum_error));
}

TEST(DistributionSorting, SortAndCombineMergesEqualValues) {
  Distribution d = make({{0.2f, 3}, {0.3f, 1}, {0.5f, 3}});
  d.sort_and_combine();
  EXPECT_EQ(pairs_of(d), "(0.30 1.00)(0.70 3.00)");
  EXPECT_EQ(d.data_is_sorted, 1);
  // A sorted distribution is left alone.
  d.append(0.1f, 0);
  d.data_is_sorted = 1;
  d.sort_and_combine();
  EXPECT_EQ(pairs_of(d), "(0.30 1.00)(0.70 3.00)(0.10 0.00)");

  DistributionPair a{0.2f, 1}, b{0.5f, 2};
  EXPECT_EQ(distribution_pair_compare(&a, &b) * 10 + distribution_pair_compare(&b, &b), -10);
  EXPECT_EQ(distribution_pair_compare_by_density(&a, &b) * 10 + distribution_pair_compare_by_density(&b, &a), 9);
}

TEST(DistributionCompaction, WorkedExample) {
  Distribution d = make({{0.1f, 5}, {0.1f, 1}, {0.5f, 6}, {0.1f, 3}, {0.1f, 2}, {0.1f, 4}});
  d.compact_to_std_num_values();
  ASSERT_EQ(d.length(), 5);
  EXPECT_EQ(d.current_size(), 5);
  const float values[] = {1, 2, 3, 4.5f, 6};
  const float densities[] = {0.1f, 0.1f, 0.1f, 0.2f, 0.5f};
  for (int i = 0; i < 5; i++) {
    EXPECT_FLOAT_EQ(d.data[i].value, values[i]) << i;
    EXPECT_FLOAT_EQ(d.data[i].density, densities[i]) << i;
  }
  EXPECT_EQ(d.data_is_sorted, 1);
  EXPECT_EQ(d.unsorted_statistics_are_valid + d.sorted_statistics_are_valid, 0);
}

TEST(DistributionCompaction, ExactTiesSplitHalfAndHalf) {
  // Slots 0 (min), 2 (expected value) and 4 (max): 1 and 3 lie exactly between two.
  Distribution d = make({{0.25f, 0}, {0.25f, 1}, {0.25f, 3}, {0.25f, 4}});
  d.compact_to_x_values(3);
  EXPECT_EQ(pairs_of(d), "(0.38 0.00)(0.25 2.00)(0.38 4.00)");
  EXPECT_EQ(d.data[0].density, 0.375f);
  EXPECT_EQ(d.data[2].density, 0.375f);
}

TEST(DistributionCompaction, SmallRequestsAndShortDistributionsKeepThePairs) {
  Distribution d = make({{0.25f, 3}, {0.5f, 1}, {0.25f, 3}, {0.0f, 2}});
  testing::internal::CaptureStderr();
  d.compact_to_x_values(2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error, distribution compact function can only compact to 3 or greater values.\n");
  EXPECT_EQ(pairs_of(d), "(0.50 1.00)(0.00 2.00)(0.50 3.00)");
  EXPECT_EQ(d.data_is_sorted, 1);

  d.get_expected_value();
  d.compact_to_x_values(5);
  EXPECT_EQ(pairs_of(d), "(0.50 1.00)(0.00 2.00)(0.50 3.00)");
  EXPECT_EQ(d.current_size(), 5);
  EXPECT_EQ(d.unsorted_statistics_are_valid, 0);
  EXPECT_EQ(d.data_is_sorted, 1);
}

TEST(DistributionCompaction, UsesTheExpectedValueAccumulatedInProductionOrder) {
  const float v1[] = {0.1f, 0.7f, 1.3f}, d1[] = {0.2f, 0.5f, 0.3f};
  const float v2[] = {0.2f, 0.9f, 2.1f}, d2[] = {0.3f, 0.3f, 0.4f};
  Distribution a, b;
  for (int i = 0; i < 3; i++) a.append(d1[i], v1[i]);
  for (int i = 0; i < 3; i++) b.append(d2[i], v2[i]);

  // The same sums in the two orders, to be sure this case tells them apart.
  std::vector<DistributionPair> produced;
  float production_ev = 0.0f;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) {
      DistributionPair p{d1[i] * d2[j], v1[i] + v2[j]};
      produced.push_back(p);
      production_ev += p.value * p.density;
    }
  std::stable_sort(produced.begin(), produced.end(),
                   [](const DistributionPair& x, const DistributionPair& y) { return x.value < y.value; });
  std::vector<DistributionPair> merged;
  for (auto p : produced) {
    if (!merged.empty() && merged.back().value == p.value)
      merged.back().density += p.density;
    else
      merged.push_back(p);
  }
  float sorted_ev = 0.0f;
  for (auto p : merged) sorted_ev += p.value * p.density;
  ASSERT_NE(production_ev, sorted_ev);
  ASSERT_GT(merged.size(), 5u);

  Distribution r;
  r.combine(a, b, VORNA_SUM);
  ASSERT_EQ(r.length(), 5);
  int production_slots = 0, sorted_slots = 0;
  for (long i = 0; i < r.length(); i++) {
    production_slots += r.data[i].value == production_ev;
    sorted_slots += r.data[i].value == sorted_ev;
  }
  EXPECT_EQ(production_slots, 1);
  EXPECT_EQ(sorted_slots, 0);
}

TEST(DistributionCompaction, EqualDensitiesKeepTheirValueOrder) {
  // Seven alternatives of density 1/7; the slots beside min, max and the expected value
  // go to the smallest remaining values, 0.2 and 0.3.
  const int order[] = {5, 2, 7, 1, 4, 6, 3};
  Distribution d;
  for (int k : order) d.append(1.0f / 7, k * 0.1f);
  d.compact_to_std_num_values();
  ASSERT_EQ(d.length(), 5);
  const float values[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.7f};
  for (int i = 0; i < 5; i++) EXPECT_FLOAT_EQ(d.data[i].value, values[i]) << i;
  EXPECT_EQ(d.data[0].density, 1.0f / 7);
  EXPECT_EQ(d.data[1].density, 1.0f / 7);
  EXPECT_EQ(d.data[2].density, 1.0f / 7);
  EXPECT_FLOAT_EQ(d.data[3].density, 2.0f / 7);  // 0.4 and 0.5
  EXPECT_FLOAT_EQ(d.data[4].density, 2.0f / 7);  // 0.6 and 0.7
}

TEST(DistributionCompaction, ValuesMadeEqualUnderTheSortedFlagAddNoValue) {
  Distribution d;
  for (int k = 0; k < 7; k++) d.append(1.0f / 7, k);
  d.get_value_min();  // sorted; the edits below keep the flag
  d.multiply_all_values_by(0);
  d.add_constant_to_all_values(5);
  const float before = d.sum_all_densities();
  d.compact_to_std_num_values();
  EXPECT_EQ(d.get_value_min(), 5.0f);
  EXPECT_FLOAT_EQ(d.get_value_max(), 5.0f);  // the expected value, within rounding
  EXPECT_FLOAT_EQ(d.sum_all_densities(), before);
}

namespace {

// The combination's sorting and compaction as they were first written: a stable sort of
// every pair by value, then of every pair by density, then the nearest-slot walk in that
// density order. The class's quicker steps must leave every bit as these do.
namespace reference {

template <class Before>
void stable_sort(DistributionPair* pairs, long n, Before before) {
  if (n > 32) {
    std::stable_sort(pairs, pairs + n, before);
    return;
  }
  for (long i = 1; i < n; i++) {
    const DistributionPair moving = pairs[i];
    long j = i;
    for (; j > 0 && before(moving, pairs[j - 1]); j--) pairs[j] = pairs[j - 1];
    pairs[j] = moving;
  }
}

bool by_value(const DistributionPair& a, const DistributionPair& b) { return a.value < b.value; }
bool by_density(const DistributionPair& a, const DistributionPair& b) { return a.density > b.density; }

void sort_and_combine(Distribution& d) {
  if (d.data_is_sorted) return;
  d.data_is_sorted = 1;
  if (d.next_slot < 2) return;
  stable_sort(d.data, d.next_slot, by_value);
  long kept = 0;
  for (long i = 1; i < d.next_slot; i++) {
    if (d.data[kept].value == d.data[i].value)
      d.data[kept].density += d.data[i].density;
    else
      d.data[++kept] = d.data[i];
  }
  d.next_slot = kept + 1;
}

void compact(Distribution& d, int n) {
  sort_and_combine(d);
  if (n < d.next_slot) {
    std::vector<DistributionPair> slots(n);
    const Value min = d.data[0].value;
    const Value max = d.data[d.next_slot - 1].value;
    const Value ev = d.get_expected_value();
    slots[0] = {0.0f, min};
    slots[1] = {0.0f, max};
    slots[2] = {0.0f, ev};
    int filled = 3;
    stable_sort(d.data, d.next_slot, by_density);
    for (long i = 0; i < d.next_slot && filled < n; i++) {
      const Value v = d.data[i].value;
      if (v != min && v != max && v != ev) slots[filled++] = {0.0f, v};
    }
    n = filled;
    stable_sort(slots.data(), n, by_value);
    reference_add_to_nearest_slots(d.data, d.next_slot, slots.data(), n);
    for (int j = 0; j < n; j++) d.data[j] = slots[j];
    d.num_storable_items = n;
    d.memory_allocated = n * static_cast<long>(sizeof(DistributionPair));
    d.next_slot = n;
  }
  d.unsorted_statistics_are_valid = 0;
  d.sorted_statistics_are_valid = 0;
  d.data_is_sorted = 1;
}

// The product in production order with its statistics, then compacted to five values.
template <class Rule>
void combine(Distribution& result, const Distribution& a, const Distribution& b, Rule rule) {
  result.delete_all();
  Density densities = 0.0f;
  Value values = 0.0f;
  Value weighted = 0.0f;
  for (long i = 0; i < a.next_slot; i++) {
    for (long j = 0; j < b.next_slot; j++) {
      const Density density = a.data[i].density * b.data[j].density;
      const Value value = rule(a.data[i].value, b.data[j].value);
      result.append(density, value);
      densities += density;
      values += value;
      weighted += value * density;
    }
  }
  result.density_sum = densities;
  result.value_sum = values;
  result.weighted_value_avg = weighted;
  result.unsorted_statistics_are_valid = 1;
  compact(result, DISTRIBUTION_STANDARD_NUMBER_OF_VALUES);
}

}  // namespace reference

// Bit for bit, but for the sign and payload of a NaN: of two NaN operands an addition
// keeps the one the compiler put first.
bool same_bits(float a, float b) { return (std::isnan(a) && std::isnan(b)) || memcmp(&a, &b, sizeof(float)) == 0; }
bool same_bits(const DistributionPair& a, const DistributionPair& b) {
  return same_bits(a.density, b.density) && same_bits(a.value, b.value);
}

// Every field, and the pairs up to `upto` (the pairs left behind past the length too).
::testing::AssertionResult same_distribution(const Distribution& got, const Distribution& want, long upto,
                                             bool storage) {
  if (got.next_slot != want.next_slot || got.data_is_sorted != want.data_is_sorted ||
      got.unsorted_statistics_are_valid != want.unsorted_statistics_are_valid ||
      got.sorted_statistics_are_valid != want.sorted_statistics_are_valid ||
      got.combined_under_sigmoid_and_multiplier_not_applied != want.combined_under_sigmoid_and_multiplier_not_applied ||
      !same_bits(got.weighted_value_avg, want.weighted_value_avg) || !same_bits(got.value_sum, want.value_sum) ||
      !same_bits(got.density_sum, want.density_sum) || !same_bits(got.value_min, want.value_min) ||
      !same_bits(got.value_max, want.value_max) || !same_bits(got.value_median, want.value_median))
    return ::testing::AssertionFailure() << "fields differ";
  if (storage && (got.num_storable_items != want.num_storable_items || got.memory_allocated != want.memory_allocated))
    return ::testing::AssertionFailure() << "capacity differs";
  for (long i = 0; i < upto; i++)
    if (!same_bits(got.data[i], want.data[i]))
      return ::testing::AssertionFailure() << "pair " << i << " differs: (" << got.data[i].density << " "
                                           << got.data[i].value << ") against (" << want.data[i].density << " "
                                           << want.data[i].value << ")";
  return ::testing::AssertionSuccess();
}

// Values and densities drawn from small sets, so that ties, zeros of both signs, equal
// densities and infinities come often; NaN now and then.
struct PairSource {
  std::mt19937 rng{1};
  float pick(const std::vector<float>& from, float spread) {
    std::uniform_int_distribution<size_t> at(0, from.size());
    const size_t k = at(rng);
    if (k < from.size()) return from[k];
    return std::uniform_real_distribution<float>(-spread, spread)(rng);
  }
  bool one_in(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng) == 0; }
  float value() {
    if (one_in(60)) return NAN;
    return pick({-INFINITY, INFINITY, -0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 2.0f, 3.0f, 3.0f, 4.5f, -1.0f, 10.0f, 1e30f,
                 1.5f, 2.5f, 0.1f, 0.2f, 0.3f},
                20.0f);
  }
  float density() {
    if (one_in(80)) return NAN;
    if (one_in(80)) return INFINITY;
    return pick({0.0f, -0.0f, 0.1f, 0.1f, 0.2f, 0.25f, 0.25f, 0.5f, 1.0f / 3, 1.0f / 7, 0.05f}, 1.0f);
  }
  std::vector<DistributionPair> pairs(long n) {
    std::vector<DistributionPair> out(n);
    for (DistributionPair& p : out) p = {density(), value()};
    return out;
  }
};

Distribution from_pairs(const std::vector<DistributionPair>& pairs) {
  Distribution d;
  for (const DistributionPair& p : pairs) d.append(p.density, p.value);
  return d;
}

}  // namespace

TEST(DistributionCompaction, EveryBitAsTheStepByStepAlgorithm) {
  PairSource source;
  for (int round = 0; round < 20000; round++) {
    const long length = 1 + round % 70;
    std::vector<DistributionPair> pairs = source.pairs(length);
    if (source.one_in(3)) {
      // Ascending and distinct, as a sorted distribution has them.
      std::sort(pairs.begin(), pairs.end(), [](const DistributionPair& a, const DistributionPair& b) {
        return std::isnan(b.value) ? !std::isnan(a.value) : a.value < b.value;
      });
    }
    for (int n = 3; n <= 7; n++) {
      Distribution got = from_pairs(pairs);
      Distribution want = from_pairs(pairs);
      if (n == 4) {
        // Statistics accumulated beforehand, as a combination leaves them.
        got.get_expected_value();
        want.get_expected_value();
      }
      got.compact_to_x_values(n);
      reference::compact(want, n);
      ASSERT_TRUE(same_distribution(got, want, got.num_storable_items, true)) << "round " << round << " n " << n;
    }
  }

  struct Rule {
    VORNA_QualityAF qaf;
    Value (*pair)(Value, Value);
  };
  const Rule rules[] = {
      {VORNA_SUM, [](Value a, Value b) { return a + b; }},
      {VORNA_MAX, [](Value a, Value b) { return (b > a) ? b : a; }},
      {VORNA_MIN, [](Value a, Value b) { return (b < a) ? b : a; }},
      {VORNA_ONLY_ONE, [](Value a, Value b) { return (a != 0.0f && b != 0.0f) ? 0.0f : a + b; }},
  };
  for (int round = 0; round < 20000; round++) {
    Distribution a = from_pairs(source.pairs(1 + round % 7));
    Distribution b = from_pairs(source.pairs(1 + (round / 7) % 9));
    // Mostly value-sorted operands, as compacted results are; some with a value twice.
    if (!source.one_in(4)) a.compact_to_x_values(3 + round % 4);
    if (!source.one_in(4)) b.compact_to_x_values(3 + round % 5);
    if (source.one_in(5) && b.length() > 1) b.data[1].value = b.data[0].value;
    for (const Rule& rule : rules) {
      Distribution got;
      got.combine(a, b, rule.qaf);
      Distribution want;
      reference::combine(want, a, b, rule.pair);
      const long produced = a.length() * b.length();
      const bool compacted = produced != got.length() || got.length() > DISTRIBUTION_STANDARD_NUMBER_OF_VALUES;
      ASSERT_TRUE(same_distribution(got, want, compacted ? got.length() : produced, false))
          << "round " << round << " qaf " << rule.qaf;
      // Over its own operand, kept from an earlier result.
      Distribution over = a;
      over.combine(b, rule.qaf);
      ASSERT_TRUE(same_distribution(over, want, want.length(), false)) << "round " << round << " qaf " << rule.qaf;
    }
    Distribution got;
    got.subtract_durations(a, b);
    Distribution want;
    reference::combine(want, a, b, [](Value x, Value y) { return x - y; });
    ASSERT_TRUE(same_distribution(got, want, got.length(), false)) << "round " << round;
  }
}

TEST(DistributionDensities, RedistributeTheMassAtZero) {
  Distribution d = make({{0.2f, 0}, {0.4f, 5}, {0.4f, 10}});
  d.redistribute_density_for_zero_values_to_others();
  EXPECT_EQ(pairs_of(d), "(0.50 5.00)(0.50 10.00)");
  EXPECT_EQ(d.get_probability_value_is_zero(), 0.0f);

  const std::string message =
      "Error, distribution class asked to redistribute densities for zeros when there aren't any non-zero values "
      "in the distribution.  Original distribution left unchanged.\nThe distribution is: ";
  Distribution zeros = make({{1.0f, 0}});
  testing::internal::CaptureStderr();
  zeros.redistribute_density_for_zero_values_to_others();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), message + "(1.00 0.00)\n");
  EXPECT_EQ(pairs_of(zeros), "(1.00 0.00)");

  // Non-zero values without density: nothing to share the mass with.
  Distribution massless = make({{1.0f, 0}, {0.0f, 3}});
  testing::internal::CaptureStderr();
  massless.redistribute_density_for_zero_values_to_others();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), message + "(1.00 0.00)(0.00 3.00)\n");
  EXPECT_EQ(pairs_of(massless), "(1.00 0.00)(0.00 3.00)");
}

TEST(DistributionDensities, ReduceTotalScalesToTheShare) {
  Distribution whole = make({{0.25f, 1}, {0.75f, 2}});
  EXPECT_EQ(whole.get_density_sum(), 1.0f);
  whole.reduce_total_density_to_x_percent(0.5f);
  EXPECT_EQ(pairs_of(whole), "(0.12 1.00)(0.38 2.00)");
  EXPECT_EQ(whole.get_density_sum(), 0.5f);

  // Slightly short: scaled by (2 - s) first, then by the share.
  Distribution short_sum = make({{0.5f, 1}, {0.495f, 2}});
  testing::internal::CaptureStderr();
  short_sum.reduce_total_density_to_x_percent(0.5f);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_NEAR(short_sum.data[0].density, 0.25125f, 1e-6f);
  EXPECT_NEAR(short_sum.data[1].density, 0.2487375f, 1e-6f);

  // Slightly over, within the notice's bound: the same correction, silently.
  Distribution over = make({{0.55f, 1}, {0.5f, 2}});
  testing::internal::CaptureStderr();
  over.reduce_total_density_to_x_percent(1.0f);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_NEAR(over.data[0].density, 0.5225f, 1e-6f);

  // Far over: dividing by the sum keeps the densities positive and whole.
  Distribution far = make({{0.75f, 1}, {0.75f, 2}});
  testing::internal::CaptureStderr();
  far.reduce_total_density_to_x_percent(0.5f);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n\nNotice ** Distribution::reduce_total adjusted the density of a distribution by -0.5000000000 "
            "percent.\nThe distribution before operation was: (0.75 1.00)(0.75 2.00)\n");
  EXPECT_EQ(far.data[0].density, 0.25f);
  EXPECT_EQ(far.data[1].density, 0.25f);

  Distribution low = make({{0.5f, 1}, {0.48f, 2}});
  EXPECT_DEATH(low.reduce_total_density_to_x_percent(0.5f),
               HasSubstr(fatal_text("Distribution::reduce_total only works w/100% initial densities.\n"
                                    "The density is 0.980000, the distribution is:\n(0.50 1.00)(0.48 2.00)\n")));
}

TEST(DistributionMerges, MergeAndConcatenate) {
  Distribution a = make({{0.5f, 1}});
  Distribution b = make({{0.25f, 2}, {0.25f, 1}});
  a.get_value_min();
  a.merge_with_this(b);
  EXPECT_EQ(pairs_of(a), "(0.50 1.00)(0.25 2.00)(0.25 1.00)");
  EXPECT_EQ(a.data_is_sorted, 0);
  EXPECT_EQ(a.get_value_max(), 2.0f);
  EXPECT_DEATH(a.merge_with_this(a), HasSubstr(fatal_text("Cannot merge a distribution with itself.\n")));

  Distribution c;
  c.append(1.0f, 9);
  Distribution* ds[] = {&b, &a};
  c.merge_into_this(ds, 2);
  EXPECT_EQ(pairs_of(c), "(0.25 2.00)(0.25 1.00)(0.75 1.00)(0.25 2.00)");
  Distribution* with_self[] = {&b, &c};
  EXPECT_DEATH(c.merge_into_this(with_self, 2), HasSubstr(fatal_text("Cannot merge a distribution with itself.\n")));
}

TEST(DistributionMerges, WeightAndMergeOutcomes) {
  Distribution a = make({{1.0f, 10}});
  Distribution b = make({{1.0f, 20}});
  Distribution* ds[] = {&a, &b};
  float weights[] = {0.25f, 0.75f};
  Distribution r;
  r.append(1.0f, 99);
  r.weight_and_merge_multiple_distributions_into_this(ds, weights, 2);
  EXPECT_EQ(pairs_of(r), "(0.25 10.00)(0.75 20.00)");

  // Thirds as the task-structure text writes them pass as they pass the reader.
  Distribution thirds = make({{0.3333f, 1}, {0.6666f, 2}});
  Distribution* ds2[] = {&thirds, &a};
  float halves[] = {0.5f, 0.5f};
  r.weight_and_merge_multiple_distributions_into_this(ds2, halves, 2);
  EXPECT_EQ(pairs_of(r), "(0.17 1.00)(0.33 2.00)(0.50 10.00)");

  Distribution short_sum = make({{0.9f, 5}});
  Distribution* ds3[] = {&a, &short_sum};
  EXPECT_DEATH(r.weight_and_merge_multiple_distributions_into_this(ds3, weights, 2),
               HasSubstr(fatal_text("Error, distribution::weight_and_merge only works w/100% initial densities.\n"
                                    "The sum is 0.900000\nIndex 1\n(0.90 5.00)\n")));
  Distribution* ds4[] = {&a, &r};
  EXPECT_DEATH(r.weight_and_merge_multiple_distributions_into_this(ds4, weights, 2),
               HasSubstr(fatal_text("Error, cannot merge a distribution with itself.\n")));
}

TEST(DistributionBias, BiasAndSampling) {
  Distribution bias = make({{0.5f, 1}, {0.5f, -1}});
  Distribution d;
  d.bias_single_value_using_input_distribution(10, 2, bias);
  EXPECT_EQ(pairs_of(d), "(0.50 8.00)(0.50 12.00)");
  Distribution full = make({{1.0f, 1}});
  d.bias_values_in_relation_to_x_using_input_distribution(BIAS_TOWARD_X, 0, 0.5f, full);
  EXPECT_EQ(pairs_of(d), "(0.50 4.00)(0.50 6.00)");
  d.bias_values_in_relation_to_x_using_input_distribution(BIAS_AWAY_FROM_X, 0, 0.5f, full);
  EXPECT_EQ(pairs_of(d), "(0.50 6.00)(0.50 9.00)");

  Distribution partial = make({{0.5f, 1}});
  testing::internal::CaptureStderr();
  d.bias_single_value_using_input_distribution(1, 1, partial);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Warning, bias input called with a source distribution whose densities do not sum to 100%\n"
            "The distribution is:(0.50 1.00)\nExecution continues...\n"
            "Warning, bias produced a resultant distribtuion whose\ndensities do not sum to 100%\n");

  Distribution empty;
  EXPECT_EQ(empty.sample_from_distribution(), 0.0f);
  Distribution two = make({{0.5f, 1}, {0.5f, 2}});
  int seen[3] = {0, 0, 0};
  for (int i = 0; i < 200; i++) {
    Value v = two.sample_from_distribution();
    ASSERT_TRUE(v == 1.0f || v == 2.0f);
    seen[static_cast<int>(v)]++;
  }
  EXPECT_GT(seen[1], 50);
  EXPECT_GT(seen[2], 50);
}
