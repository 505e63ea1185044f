#include "model/outcome.h"

#include <gtest/gtest.h>

#include "model/printed_text.h"

namespace {

// An outcome with one certain value in each dimension.
Outcome* certain_outcome(Density p, Value q, Value c, Value d) {
  Outcome* o = new Outcome;
  o->probability = p;
  o->quality.append(1.0f, q);
  o->cost.append(1.0f, c);
  o->duration.append(1.0f, d);
  return o;
}

}  // namespace

TEST(Outcome, IdsCountFromZeroAndDuplicateCopiesDeeply) {
  reset_outcome_creation_counter();
  Outcome* first = certain_outcome(0.4f, 10, 2, 3);
  Outcome second;
  EXPECT_EQ(first->outcome_id, "Outcome_0");
  EXPECT_EQ(second.outcome_id, "Outcome_1");

  second.duplicate(*first);
  EXPECT_EQ(second.outcome_id, "Outcome_0");
  EXPECT_EQ(second.get_density(), 0.4f);
  first->quality.get(0)->value = 99;
  EXPECT_EQ(second.quality.get(0)->value, 10.0f);
  delete first;

  second.quality.append(1.0f, 20);
  second.set_qdc_distributions_to_their_expected_values();
  ASSERT_EQ(second.quality.length(), 1);
  EXPECT_EQ(second.quality.get(0)->value, 30.0f);
}

TEST(Outcome, MergeWeightsEachDimensionByTheOutcomesProbabilities) {
  OutcomeList list;
  list.append(certain_outcome(0.3f, 10, 1, 5));
  list.append(certain_outcome(0.7f, 20, 2, 5));
  Outcome merged;
  merged.probability = 1.0f;
  std::string id = merged.outcome_id;
  merged.weight_and_merge_multiple_outcomes(list);
  EXPECT_EQ(printed_text([&](FILE* f) { merged.quality.print(f); }), "(0.30 10.00)(0.70 20.00)\n");
  EXPECT_EQ(printed_text([&](FILE* f) { merged.cost.print(f); }), "(0.30 1.00)(0.70 2.00)\n");
  EXPECT_EQ(printed_text([&](FILE* f) { merged.duration.print(f); }), "(1.00 5.00)\n");
  EXPECT_EQ(merged.probability, 1.0f);
  EXPECT_EQ(merged.outcome_id, id);

  // An empty list leaves the outcome as it is.
  OutcomeList empty;
  merged.weight_and_merge_multiple_outcomes(empty);
  EXPECT_EQ(merged.quality.length(), 2);
  list.delete_list(1);
}

// Densities the reader accepts (thirds to four places) must merge too.
TEST(Outcome, MergeAcceptsWhatTheReaderAccepts) {
  OutcomeList list;
  Outcome* o = certain_outcome(1.0f, 0, 1, 1);
  o->quality.replace_with(0.3333f, 5);
  o->quality.append(0.6666f, 10);
  list.append(o);
  Outcome merged;
  merged.weight_and_merge_multiple_outcomes(list);
  EXPECT_EQ(merged.quality.length(), 2);
  list.delete_list(1);
}

TEST(OutcomeDeathTest, MergeStopsOnQualityDensitiesShortOfOne) {
  auto merge = [] {
    OutcomeList list;
    Outcome* o = certain_outcome(1.0f, 0, 1, 1);
    o->quality.replace_with(0.9f, 5);
    list.append(o);
    Outcome merged;
    merged.weight_and_merge_multiple_outcomes(list);
  };
  EXPECT_DEATH(merge(),
               "Error, distribution::weight_and_merge only works w/100% initial densities\\.\n"
               "The sum is 0\\.900000\nIndex 0\n\\(0\\.90 5\\.00\\)\n"
               "\n\a\\*\\*Unrecoverable Error\\*\\*\n\\*\\*Scheduling operation terminated\\*\\*\n");
}

TEST(Outcome, Print) {
  Outcome* o = certain_outcome(0.25f, 10, 2, 3);
  o->outcome_id = "Outcome_7";
  o->quality.append(0.5f, 20);
  EXPECT_EQ(printed_text([&](FILE* f) { o->print(f); }),
            "Outcome: id = Outcome_7  p = 0.25\n"
            "\tQuality, expected value 20.000000, distribution: (1.00 10.00)(0.50 20.00)\n"
            "\tCost, expected value 2.000000, distribution: (1.00 2.00)\n"
            "\tDuration, expected value 3.000000, distribution: (1.00 3.00)\n");
  delete o;
}

TEST(OutcomeList, AppendsAtTheBackAndChecksProbabilitiesStrictly) {
  OutcomeList list;
  Outcome* a = certain_outcome(1.0f, 1, 1, 1);
  Outcome* b = certain_outcome(0.0f, 2, 2, 2);
  list.append(a);
  list.append(b);
  EXPECT_EQ(list[0L], a);
  EXPECT_EQ(list.get(1L), b);

  EXPECT_EQ(list.densities_sum_to_100_with_threshold(0.01f), 1);
  // A float sum equal to 1 - 0.01 lies on the bound and is rejected.
  a->probability = 1.0f - 0.01f;
  EXPECT_EQ(list.sum_all_densities(), 0.99f);
  EXPECT_EQ(list.densities_sum_to_100_with_threshold(0.01f), 0);
  a->probability = 1.0f + 0.01f;
  EXPECT_EQ(list.densities_sum_to_100_with_threshold(0.01f), 0);
  a->probability = 0.5f;
  b->probability = 0.495f;
  EXPECT_EQ(list.densities_sum_to_100_with_threshold(0.01f), 1);

  list.remove(0L, 1);
  EXPECT_EQ(list.get(0L), b);
  list.delete_list(1);
}

TEST(OutcomeListDeathTest, BadPositionAborts) {
  auto bad = [] {
    OutcomeList list;
    list.get(0L);
  };
  EXPECT_DEATH(bad(), "Msg: OutcomeList access function\\.");
}
