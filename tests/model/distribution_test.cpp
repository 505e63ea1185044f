// The distribution record: growth, statistics and their caches, queries, density
// checks, value edits and the exact text forms that later output files reuse.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "model/distribution.h"
#include "model/distribution_test_support.h"
#include "model/printed_text.h"

using ::testing::HasSubstr;
using distribution_test::fatal_text;
using distribution_test::make;
using distribution_test::pairs_of;

TEST(DistributionStorage, NewStateGrowthAndCopies) {
  Distribution d;
  EXPECT_EQ(d.length(), 0);
  EXPECT_EQ(d.current_size(), 5);
  EXPECT_EQ(d.memory_used(), 96);
  EXPECT_EQ(d.get_value_min(), -9999.0f);
  EXPECT_EQ(d.get_expected_value(), -9999.0f);
  EXPECT_EQ(d.get_value_by_percentile(0.5f), 0.0f);
  for (int i = 0; i < 6; i++) d.append(0.1f, i);
  EXPECT_EQ(d.current_size(), 7);
  d.reallocate_data(3);  // never shrinks
  d.reallocate_data(12);  // 7 + (5 rounded up to 6)
  EXPECT_EQ(d.current_size(), 13);
  EXPECT_EQ(d.get(5)->value, 5.0f);

  Distribution copy;
  copy.duplicate(d);
  d.get(0)->value = 99;
  EXPECT_EQ(copy.get(0)->value, 0.0f);
  copy.duplicate(copy);  // must not free the pairs it is about to read
  EXPECT_EQ(copy.length(), 6);
  Distribution* fresh = copy.duplicate();
  EXPECT_EQ(pairs_of(*fresh), pairs_of(copy));
  delete fresh;
  d.delete_all();
  EXPECT_EQ(d.length() + d.current_size(), 5);
}

TEST(DistributionStorage, ReplaceRemoveAndAddressForms) {
  Distribution d = make({{0.5f, 2}, {0.5f, 4}});
  d.replace_distribution_with_its_expected_value();
  EXPECT_EQ(pairs_of(d), "(1.00 3.00)");
  d.set_to_100_percent_zero_value();
  EXPECT_EQ(pairs_of(d), "(1.00 0.00)");
  *d.append_via_address() = {0.25f, 8};
  *d.get_address(6) = {0.5f, 9};
  EXPECT_EQ(d.length(), 7);
  EXPECT_EQ(d.current_size(), 7);
  d.remove(0);
  EXPECT_EQ(d.get(0)->value, 8.0f);
  EXPECT_EQ(d.get(5)->value, 9.0f);
}

TEST(DistributionStorageDeathTest, IndexErrorsStop) {
  Distribution d = make({{1.0f, 1}});
  const std::string beyond = fatal_text("Error: Request for distrib. pair beyond what has been stored.");
  const std::string remove_beyond = fatal_text("Request to remove item beyond next_slot index.");
  EXPECT_DEATH(d.get(1), HasSubstr(beyond));
  EXPECT_DEATH(d[-1], HasSubstr(beyond));
  EXPECT_DEATH(d.remove(1), HasSubstr(remove_beyond));
  EXPECT_DEATH(d.remove(-1), HasSubstr(remove_beyond));
}

TEST(DistributionStatistics, WorkedExamplesAndSpecifiers) {
  Distribution d = make({{0.3f, 10}, {0.3f, 20}, {0.4f, 30}});
  EXPECT_EQ(d.get_value_sum(), 60.0f);
  EXPECT_FLOAT_EQ(d.get_density_sum(), 1.0f);
  EXPECT_EQ(d.get_value_by_percentile(0.9f), 30.0f);
  EXPECT_EQ(d.get_value_by_percentile(0.3f), 10.0f);
  EXPECT_EQ(d.get_value_by_percentile(0.0f), -9999.0f);
  struct Case {
    ValueSpecifier s;
    Value expected;
  };
  for (Case c : {Case{-2.0f, 21.0f}, Case{-1.0f, 10.0f}, Case{0.0f, 30.0f}, Case{0.5f, 20.0f}, Case{0.75f, 30.0f},
                 Case{0.6f, 20.0f}})
    EXPECT_FLOAT_EQ(d.get_specified_value(c.s), c.expected) << "specifier " << c.s;

  Distribution short_mass = make({{0.2f, 5}, {0.2f, 7}});
  EXPECT_EQ(short_mass.get_value_median(), -9999.0f);
  EXPECT_FLOAT_EQ(short_mass.get_expected_value(), 2.4f);

  testing::internal::CaptureStderr();
  EXPECT_EQ(d.get_value_by_percentile(1.5f), -9999.0f);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Warning, \aask to get a percentile > 100%\nReturning -9999 value to caller.\n");
}

TEST(DistributionStatistics, RoundingShortfallAtTheTopGivesTheLargestValue) {
  Distribution twelfths;  // twelve densities of 1/12 sum to 0.99999988 in float
  for (int i = 1; i <= 12; i++) twelfths.append(1.0f / 12, i);
  ASSERT_LT(twelfths.sum_all_densities(), 1.0f);
  EXPECT_EQ(twelfths.get_value_by_percentile(1.0f), 12.0f);
  Distribution partial = make({{0.5f, 1}, {0.4f, 2}});
  EXPECT_EQ(partial.get_value_by_percentile(1.0f), -9999.0f);
  // The median walk has the same allowance.
  Distribution just_short = make({{0.25f, 1}, {0.249999f, 2}});
  EXPECT_EQ(just_short.get_value_median(), 2.0f);
}

TEST(DistributionStatistics, CachesAndTheFlagsWritersClear) {
  Distribution d = make({{0.5f, 3}, {0.2f, 1}, {0.3f, 3}});
  EXPECT_FLOAT_EQ(d.get_expected_value(), 2.6f);
  EXPECT_EQ(pairs_of(d), "(0.50 3.00)(0.20 1.00)(0.30 3.00)");  // unsorted statistics keep the order
  EXPECT_EQ(d.get_value_max(), 3.0f);
  EXPECT_EQ(pairs_of(d), "(0.20 1.00)(0.80 3.00)");  // sorted ones sort and merge in place
  EXPECT_EQ(d.unsorted_statistics_are_valid + d.sorted_statistics_are_valid + d.data_is_sorted, 3);

  d.multiply_all_values_by(2);
  EXPECT_EQ(d.unsorted_statistics_are_valid + d.sorted_statistics_are_valid, 0);
  EXPECT_EQ(d.data_is_sorted, 1);
  EXPECT_EQ(d.get_value_max(), 6.0f);
  d.add_constant_to_all_values(1);
  EXPECT_EQ(d.data_is_sorted, 1);
  EXPECT_EQ(d.get_value_min(), 3.0f);
  d.multiply_all_values_by(-1);  // reverses the order
  EXPECT_EQ(d.data_is_sorted, 0);
  EXPECT_EQ(d.get_value_min(), -7.0f);
  EXPECT_EQ(pairs_of(d), "(0.80 -7.00)(0.20 -3.00)");

  d.get(0);  // even a read through get clears all three
  EXPECT_EQ(d.unsorted_statistics_are_valid + d.sorted_statistics_are_valid + d.data_is_sorted, 0);
  EXPECT_FLOAT_EQ(d.get_expected_value(), -6.2f);
  d.get_value_min();
  d.remove(1);
  d.remove(0);
  EXPECT_EQ(d.sorted_statistics_are_valid + d.data_is_sorted, 2);
  // Emptied by other means: the last cached values stay.
  EXPECT_FLOAT_EQ(d.get_expected_value(), -6.2f);
  EXPECT_EQ(d.get_value_min(), -7.0f);
}

TEST(DistributionQueries, ProbabilitiesAndDominance) {
  Distribution d = make({{0.1f, 0}, {0.2f, 2}, {0.3f, 4}, {0.4f, 6}});
  EXPECT_FLOAT_EQ(d.get_probability_value_is_zero(), 0.1f);
  EXPECT_FLOAT_EQ(d.get_probability_value_is_x(4), 0.3f);
  EXPECT_FLOAT_EQ(d.get_probability_value_is_gt_or_equal_to_x(4), 0.7f);
  EXPECT_FLOAT_EQ(d.get_probability_value_is_gt_x(4), 0.4f);
  EXPECT_FLOAT_EQ(d.get_probability_value_is_lt_or_equal_to_x(4), 0.6f);
  EXPECT_FLOAT_EQ(d.get_probability_value_is_lt_x(4), 0.3f);
  EXPECT_EQ(d.some_values_are_gt_zero(), 1);
  EXPECT_EQ(d.get_least_value_gt_zero(), 2.0f);
  Distribution none = make({{0.5f, 0}, {0.5f, -1}});
  EXPECT_EQ(none.some_values_are_gt_zero(), 0);
  EXPECT_EQ(none.get_least_value_gt_zero(), 0.0f);

  Distribution one = make({{1.0f, 5}});
  Distribution two = make({{0.5f, 5}, {0.5f, 4}});
  EXPECT_EQ(one.probability_that_this_dominates_d2(two), 0.5f);
  EXPECT_EQ(two.probability_that_this_dominates_d2(one), 0.0f);
}

TEST(DistributionQueries, DensityThresholdIncludesItsBounds) {
  struct Case {
    std::vector<float> densities;
    float t;
    int accepted;
  };
  const Case cases[] = {
      {{0.5f, 0.495f}, 0.01f, 1}, {{0.5f, 0.505f}, 0.01f, 1},       {{0.5f, 0.48f}, 0.01f, 0},
      {{0.5f, 0.52f}, 0.01f, 0},  {{0.5f, 0.25f}, 0.25f, 1},         {{1.0f, 0.25f}, 0.25f, 1},
      {{0.5f, 0.49f}, 0.01f, 1},  {{0.3333f, 0.6666f}, 0.0001f, 1},
  };
  for (const Case& c : cases) {
    Distribution d;
    for (float x : c.densities) d.append(x, 1);
    EXPECT_EQ(d.densities_sum_to_100_with_threshold(c.t), c.accepted) << d.sum_all_densities() << " " << c.t;
  }
}

TEST(DistributionEdits, ZeroAndNegativeValueEdits) {
  Distribution d = make({{0.2f, 0}, {0.3f, -3}, {0.5f, 2}});
  d.set_any_zero_values_to_x(2);
  EXPECT_EQ(pairs_of(d), "(0.30 -3.00)(0.70 2.00)");
  d.set_any_negative_values_to_zero();
  EXPECT_EQ(pairs_of(d), "(0.30 0.00)(0.70 2.00)");
  d.set_any_negative_values_to_x(5);
  EXPECT_EQ(pairs_of(d), "(0.30 0.00)(0.70 2.00)");

  EXPECT_FLOAT_EQ(d.get_expected_value(), 1.4f);
  d.replace_zeros_with_value(2);
  d.make_sure_all_values_over_significance_threshold();
  EXPECT_EQ(pairs_of(d), "(0.30 2.00)(0.70 2.00)");
  EXPECT_FLOAT_EQ(d.get_expected_value(), 2.0f);  // not the stale 1.4
}

TEST(DistributionText, PrintForms) {
  Distribution d = make({{0.333f, 10}, {0.667f, 20.126f}});
  EXPECT_EQ(printed_text([&](FILE* s) { d.print(s); }), "(0.33 10.00)(0.67 20.13)\n");
  std::string text = "q=";
  d.print_to_string(text);
  EXPECT_EQ(text, "q=(0.33 10.00)(0.67 20.13)");
  EXPECT_EQ(printed_text([&](FILE* s) {
              d.print(s, "Label: ");
              d.print(s, [](FILE* f, DistributionPair* p) { fprintf(f, "<%g>", p->value); });
            }),
            "Label: (0.3 10.0)(0.7 20.1)\n<10><20.126>");

  DistributionBundle bundle, copy;
  bundle.quality.append(1.0f, 3);
  bundle.cost.append(0.5f, 1);
  bundle.cost.append(0.5f, 2);
  copy.duplicate(bundle);
  bundle.quality.get(0)->value = 4;
  EXPECT_EQ(printed_text([&](FILE* s) { copy.print(s); }),
            "DistributionBundle:\n  Quality: (1.00 3.00)\n  Cost: (0.50 1.00)(0.50 2.00)\n  Duration: \n");
}

TEST(DistributionText, VornaFormIsValueThenDensityAndLeavesTheStreamFixed) {
  Distribution d = make({{0.5f, 10}, {0.5f, 20}});
  std::ostringstream out;
  out.setf(std::ios::scientific);
  out.precision(2);
  d.print_to_stream_in_t_vorna_format(out);
  out << " " << 3.0f;
  EXPECT_EQ(out.str(), " 10.00 0.50 20.00 0.50 3.00");

  Distribution read;
  read.set_distribution_from_string("0.25 4 0.75 8.5");
  EXPECT_EQ(pairs_of(read), "(0.25 4.00)(0.75 8.50)");
}

// The listings make their number texts themselves: they must be printf's and the
// stream's to the byte, and leave it to them wherever a locale or a flag says otherwise.
namespace {
struct CommaPoint : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};
}  // namespace

TEST(DistributionText, ListingsWriteWhatPrintfAndTheStreamWrite) {
  const float values[] = {0.125f,  0.375f, 0.005f, 2.675f,  -0.0f,    1e-40f,      1e38f,      -3.4e38f, 123456.789f,
                          0.995f, -1.005f, 1.0f,   1e-7f,   4.35e9f,  NAN,         -NAN,       INFINITY, -INFINITY};
  Distribution d;
  // More pairs than one block of text holds.
  for (int round = 0; round < 4; round++)
    for (float v : values) d.append(v, -v * static_cast<float>(round + 1));
  std::string expected;
  char pair[256];
  for (long i = 0; i < d.length(); i++) {
    snprintf(pair, sizeof pair, "(%.02f %.2f)", d.get(i)->density, d.get(i)->value);
    expected += pair;
  }
  EXPECT_EQ(printed_text([&](FILE* s) { d.print(s); }), expected + "\n");

  // As the stream writes each number, on streams set as the writers set them and on
  // others: a padded first blank, a sign, capitals, a comma for the point, no decimals.
  auto streamed = [&](std::ostream& out, bool by_distribution) {
    if (by_distribution) {
      d.print_to_stream_in_t_vorna_format(out);
      return;
    }
    out.unsetf(std::ios::scientific);
    out.setf(std::ios::fixed | std::ios::showpoint);
    for (long i = 0; i < d.length(); i++) out << " " << d.get(i)->value << " " << d.get(i)->density;
  };
  auto set_up = [](std::ostream& out, int variant) {
    out.imbue(std::locale::classic());
    out.precision(variant == 0 ? 6 : variant == 1 ? 2 : variant == 2 ? 9 : 6);
    if (variant == 3) out.width(5);
    if (variant == 4) out.setf(std::ios::showpos);
    if (variant == 5) out.setf(std::ios::uppercase);
    if (variant == 6) out.imbue(std::locale(std::locale::classic(), new CommaPoint));
    if (variant == 7) out.precision(0);
  };
  for (int variant = 0; variant < 8; variant++) {
    std::ostringstream made, written;
    set_up(made, variant);
    set_up(written, variant);
    streamed(made, true);
    streamed(written, false);
    made << " " << 1.5f;
    written << " " << 1.5f;
    EXPECT_EQ(made.str(), written.str()) << "variant " << variant;
  }

  // A process locale that writes a comma leaves the text to printf.
  if (setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
    std::string comma;
    for (long i = 0; i < d.length(); i++) {
      snprintf(pair, sizeof pair, "(%.02f %.2f)", d.get(i)->density, d.get(i)->value);
      comma += pair;
    }
    EXPECT_EQ(printed_text([&](FILE* s) { d.print(s); }), comma + "\n");
    setlocale(LC_NUMERIC, "C");
  }
}

TEST(DistributionTextDeathTest, BadTextStops) {
  Distribution d;
  EXPECT_DEATH(d.set_distribution_from_string(nullptr),
               HasSubstr(fatal_text("Distribution::set_distribution_from_string passed a null string.\n")));
  EXPECT_DEATH(d.set_distribution_from_string("1.5 3"),
               HasSubstr(fatal_text("Error, read a density from a string that is > 1.0\n")));
  EXPECT_DEATH(d.set_distribution_from_string("0.5 -3"),
               HasSubstr(fatal_text("Error, read a value from a string that is < 0\n")));
}

namespace {
// Every field and stored pair, as a reader could see them.
std::string state_of(const Distribution& d) {
  std::string s(reinterpret_cast<const char*>(&d.next_slot), sizeof(long) * 3);
  const int flags[] = {d.data_is_sorted, d.combined_under_sigmoid_and_multiplier_not_applied,
                       d.unsorted_statistics_are_valid, d.sorted_statistics_are_valid};
  const float caches[] = {d.weighted_value_avg, d.value_sum, d.density_sum, d.value_min, d.value_max, d.value_median};
  s.append(reinterpret_cast<const char*>(flags), sizeof flags);
  s.append(reinterpret_cast<const char*>(caches), sizeof caches);
  s.append(reinterpret_cast<const char*>(d.data), sizeof(DistributionPair) * d.num_storable_items);
  return s;
}
}  // namespace

// The records of the scheduler's memos trust an unchanged version to mean unchanged
// values: every operation that changes anything must give a new one, a copy is never
// taken for its source, and only a state it had before gives a distribution an old one.
TEST(DistributionVersion, EveryChangeGivesANewVersionAndCopiesNeverShareOne) {
  using Op = void (*)(Distribution&);
  const Op operations[] = {
      [](Distribution& d) { d.get_expected_value(); },
      [](Distribution& d) { d.get_value_median(); },
      [](Distribution& d) { d.get_value_by_percentile(0.3f); },
      [](Distribution& d) { d.get_least_value_gt_zero(); },
      [](Distribution& d) { d.get_probability_value_is_gt_x(1.0f); },
      [](Distribution& d) { d.some_values_are_gt_zero(); },
      [](Distribution& d) { d.sum_all_densities(); },
      [](Distribution& d) {
        std::string text;
        d.print_to_string(text);
      },
      [](Distribution& d) { d.append(0.1f, 7.0f); },
      [](Distribution& d) {
        if (d.length() > 0) d.get(0);
      },
      [](Distribution& d) { d.get_address(9); },
      [](Distribution& d) { d.append_via_address()->value = 2.0f; },
      [](Distribution& d) {
        if (d.length() > 0) d.remove(0);
      },
      [](Distribution& d) { d.reallocate_data(40); },
      [](Distribution& d) { d.multiply_all_values_by(1.0f); },
      [](Distribution& d) { d.multiply_all_values_by(2.0f); },
      [](Distribution& d) { d.add_constant_to_all_values(0.5f); },
      [](Distribution& d) { d.replace_zeros_with_value(4.0f); },
      [](Distribution& d) { d.set_any_negative_values_to_zero(); },
      [](Distribution& d) { d.sort_and_combine(); },
      [](Distribution& d) { d.compact_to_x_values(3); },
      [](Distribution& d) {
        if (d.some_values_are_gt_zero()) d.redistribute_density_for_zero_values_to_others();
      },
      [](Distribution& d) { d.mark_combined_under_sigmoid(); },
      [](Distribution& d) {
        Distribution other = make({{0.5f, 1}, {0.5f, 2}});
        d.combine(other, VORNA_SUM);
      },
      [](Distribution& d) { d.combine(d, VORNA_MAX); },
      [](Distribution& d) {
        Distribution other = make({{1.0f, 3}});
        d.combine_costs(other);
      },
      [](Distribution& d) { d.subtract_durations(d); },
      [](Distribution& d) {
        Distribution other = make({{1.0f, 5}});
        d.merge_with_this(other);
      },
      [](Distribution& d) { d.duplicate(make({{1.0f, 5}})); },
      [](Distribution& d) { d.duplicate(d); },
      [](Distribution& d) { d.delete_all(); },
      [](Distribution& d) { d.set_to_100_percent_zero_value(); },
  };
  // Sequences of operations from a few starting points, each step checked.
  for (int start = 0; start < 3; start++) {
    for (size_t first = 0; first < std::size(operations); first++) {
      Distribution d = start == 0   ? make({{0.5f, 3}, {0.2f, 0}, {0.3f, 3}})
                       : start == 1 ? make({{1.0f, 0}})
                                    : make({{0.1f, 1}, {0.2f, 2}, {0.3f, 3}, {0.1f, 4}, {0.1f, 5}, {0.2f, 6}});
      for (size_t k = 0; k < std::size(operations); k++) {
        const Op op = operations[(first + k * 7) % std::size(operations)];
        // The combinations stop on an empty operand.
        if (d.length() == 0) d.append(0.5f, 1.0f);
        const std::string before = state_of(d);
        const unsigned long long version = d.version();
        op(d);
        if (state_of(d) != before) {
          EXPECT_NE(d.version(), version) << "start " << start << ", step " << k;
        }
        Distribution copy(d);
        EXPECT_NE(copy.version(), d.version());
        EXPECT_EQ(state_of(copy), state_of(d));
      }
    }
  }
  // Reads that change nothing keep the version.
  Distribution d = make({{0.5f, 3}, {0.5f, 1}});
  d.get_value_max();
  d.get_expected_value();
  const unsigned long long version = d.version();
  d.get_value_min();
  d.get_value_median();
  d.get_expected_value();
  d.get_probability_value_is_x(3.0f);
  d.sort_and_combine();
  EXPECT_EQ(d.version(), version);
  // A watched distribution leaves each new version with its watcher; a copy of it, or a
  // distribution it was copied onto, does not.
  unsigned long long stamp = 0;
  d.report_writes_to(&stamp);
  d.get_value_min();
  EXPECT_EQ(stamp, 0u);
  d.append(0.25f, 9.0f);
  EXPECT_EQ(stamp, d.version());
  Distribution copy(d);
  Distribution onto = make({{1.0f, 2}});
  onto = d;
  copy.append(0.5f, 1.0f);
  onto.delete_all();
  EXPECT_LT(stamp, copy.version());
  EXPECT_LT(stamp, onto.version());
  d.duplicate(copy);
  EXPECT_EQ(stamp, d.version());
  // Taken back to a state it was copied in, it has that state's version again (what was
  // kept of it then holds again), and its watcher is told of a write after the others.
  const unsigned long long kept_version = d.version();
  const std::string kept_state = state_of(d);
  Distribution kept(d);
  d.append(0.5f, 4.0f);
  d.sort_and_combine();
  d.reallocate_data(60);
  const unsigned long long after_writes = stamp;
  d.take_back(kept, kept_version);
  EXPECT_EQ(d.version(), kept_version);
  EXPECT_EQ(state_of(d), kept_state);
  EXPECT_GT(stamp, after_writes);
  // Unwritten since, it is left alone and nothing is told.
  const unsigned long long told = stamp;
  d.take_back(kept, kept_version);
  EXPECT_EQ(stamp, told);
  EXPECT_EQ(state_of(d), kept_state);
}
