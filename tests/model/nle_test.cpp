#include "model/nle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "model/effect_test_support.h"
#include "model/outcome.h"
#include "model/task.h"
#include "scheduler/decision_point.h"

using namespace effect_test;

namespace {

void set_powers(NLE& e, const Pairs& q, const Pairs& c, const Pairs& d) {
  fill(e.quality_power_uncertainty, q);
  fill(e.cost_power_uncertainty, c);
  fill(e.duration_power_uncertainty, d);
}

void half_powers(NLE& e) { set_powers(e, {{1.0f, 0.5f}}, {{1.0f, 0.5f}}, {{1.0f, 0.5f}}); }

// A source method mirrored by a decision point that got quality at 10, and a target.
class NLEWorkingPath : public ::testing::Test {
 protected:
  void SetUp() override {
    source->id = "source";
    target->id = "target";
    source->set_dp_of_task(&source_dp);
    source_dp.time_task_or_method_gets_quality = 10.0f;
  }
  void TearDown() override {
    delete source;
    delete target;
  }
  void link(NLE& e) {
    e.from = source;
    e.to = target;
  }

  Method* source = new Method;
  Method* target = new Method;
  DecisionPoint source_dp;
  DistributionBundle b;
};

}  // namespace

TEST(NLEConstruction, IdsTypesAndDuplicates) {
  reset_nle_creation_counter();
  UnBoundedFacilitates f;
  UnBoundedHinders h;
  BoundedFacilitates bf;
  Enables en;
  Disables dis;
  EXPECT_EQ(f.nle_id, "facilitates_0");
  EXPECT_EQ(h.nle_id, "hinders_0");
  EXPECT_EQ(bf.nle_id, "bounded_facilitates_0");
  EXPECT_EQ(en.nle_id, "enables_0");
  EXPECT_EQ(dis.nle_id, "disables_0");
  EXPECT_STREQ(f.type_to_string(), "facilitates");
  EXPECT_STREQ(h.type_to_string(), "hinders");
  EXPECT_STREQ(bf.type_to_string(), "bounded_facilitates");
  EXPECT_STREQ(dis.type_to_string(), "disables");
  expect_pairs(en.cost_power_expected_value, {{1.0f, 1.0f}});

  // A copy keeps its kind, mode and bounds, and owns its own powers.
  bf.nle_id = "boost";
  half_powers(bf);
  bf.quality_upper_bounds = 40.0f;
  bf.switch_to_mode(SCHEDULE_USING_EXPECTED_VALUE_ONLY);
  NLE* copy = bf.duplicate();
  ASSERT_NE(dynamic_cast<BoundedFacilitates*>(copy), nullptr);
  EXPECT_EQ(copy->nle_id, "boost_0");
  EXPECT_EQ(copy->quality_power, &copy->quality_power_expected_value);
  EXPECT_EQ(static_cast<BoundedFacilitates*>(copy)->quality_upper_bounds, 40.0f);
  bf.quality_power_uncertainty.data[0].value = 9.0f;
  EXPECT_EQ(copy->quality_power_uncertainty.data[0].value, 0.5f);
  NLE* hinders_copy = h.duplicate();
  EXPECT_NE(dynamic_cast<UnBoundedHinders*>(hinders_copy), nullptr);
  EXPECT_EQ(hinders_copy->nle_id, "hinders_0_0");
  delete copy;
  delete hinders_copy;
}

TEST(NLEMode, ExpectedValueCopiesAreRebuiltOnEachSwitch) {
  UnBoundedFacilitates f;
  set_powers(f, {{0.5f, 0.2f}, {0.5f, 0.6f}}, {{1.0f, 0.5f}}, {});
  f.switch_to_mode(SCHEDULE_USING_EXPECTED_VALUE_ONLY);
  expect_pairs(*f.quality_power, {{1.0f, 0.4f}});
  EXPECT_EQ(f.duration_power->length(), 0);  // empty stays empty, not the statistic of nothing
  fill(f.quality_power_uncertainty, {{1.0f, 0.8f}});
  f.switch_to_mode(SCHEDULE_USING_EXPECTED_VALUE_ONLY);
  expect_pairs(*f.quality_power, {{1.0f, 0.8f}});
  f.switch_to_mode(SCHEDULE_USING_UNCERTAINTY);
  EXPECT_EQ(f.quality_power, &f.quality_power_uncertainty);
}

TEST(NLEPairRules, EachRuleOnWorkedValues) {
  Distribution w, x, y;
  fill(w, {{0.5f, 0.5f}, {0.5f, 1.0f}});
  fill(x, {{1.0f, 10.0f}});
  apply_positive_rule(w, x, y);
  expect_pairs(y, {{0.5f, 15.0f}, {0.5f, 20.0f}});
  apply_product_rule(w, x, y);
  expect_pairs(y, {{0.5f, 5.0f}, {0.5f, 10.0f}});
  fill(x, {{0.5f, 10.0f}, {0.5f, 30.0f}});
  fill(w, {{1.0f, 0.5f}});
  apply_bounded_positive_rule(w, x, y, 20.0f);
  expect_pairs(y, {{0.5f, 15.0f}, {0.5f, 20.0f}});
  apply_bounded_negative_rule(w, x, y, 20.0f);
  expect_pairs(y, {{0.5f, 20.0f}, {0.5f, 25.0f}});
  // Results never go below 0: a power above 1, or a negative one.
  fill(w, {{1.0f, 1.5f}});
  apply_negative_rule(w, x, y);
  expect_pairs(y, {{1.0f, 0.0f}});
  fill(w, {{1.0f, -2.0f}});
  apply_positive_rule(w, x, y);
  expect_pairs(y, {{1.0f, 0.0f}});
  // An empty power is no effect.
  w.delete_all();
  apply_positive_rule(w, x, y);
  expect_pairs(y, {{0.5f, 10.0f}, {0.5f, 30.0f}});
}

TEST(NLEPotentialPath, RawPowersAndWhichKindsAct) {
  UnBoundedFacilitates f;
  half_powers(f);
  DistributionBundle b;
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  f.apply_nle_to(b, 1, SCHEDULE_USING_UNCERTAINTY, UNSET_TIME);
  expect_pairs(b.quality, {{1.0f, 15.0f}});
  expect_pairs(b.cost, {{1.0f, 2.0f}});
  expect_pairs(b.duration, {{1.0f, 4.0f}});
  // Expected-value mode: the power {0.2, 0.6} acts as 0.4.
  set_powers(f, {{0.5f, 0.2f}, {0.5f, 0.6f}}, {}, {});
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  f.apply_nle_to(b, 1, SCHEDULE_USING_EXPECTED_VALUE_ONLY, UNSET_TIME);
  expect_pairs(b.quality, {{1.0f, 14.0f}});
  // A hinders or a disables never acts on potentials; an enables multiplies by 1.
  UnBoundedHinders h;
  half_powers(h);
  Disables dis;
  Enables en;
  h.apply_nle_to(b, 1, SCHEDULE_USING_UNCERTAINTY, UNSET_TIME);
  dis.apply_nle_to(b, 1, SCHEDULE_USING_UNCERTAINTY, UNSET_TIME);
  en.apply_nle_to(b, 1, SCHEDULE_USING_UNCERTAINTY, UNSET_TIME);
  expect_pairs(b.quality, {{1.0f, 14.0f}});
  expect_pairs(b.cost, {{1.0f, 4.0f}});
}

TEST_F(NLEWorkingPath, FacilitatesScalesByTheDegreeOfSourceQuality) {
  UnBoundedFacilitates f;
  link(f);
  half_powers(f);
  fill(source_dp.working_quality, {{0.5f, 10.0f}, {0.5f, 20.0f}});
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  f.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 12.0f);
  expect_pairs(b.quality, {{0.5f, 12.5f}, {0.5f, 15.0f}});
  expect_pairs(b.cost, {{0.5f, 2.0f}, {0.5f, 3.0f}});

  // The zero-quality half of the source counts in both steps.
  fill(source_dp.working_quality, {{0.5f, 0.0f}, {0.5f, 20.0f}});
  DistributionBundle powers;
  Distribution q(source_dp.working_quality);
  f.consider_uncertainty_of_quality_in_from_task_in_nle_effect(powers, q);
  f.consider_degree_of_effects_by_examining_quality_of_from_task_in_nle(powers, q);
  powers.quality.sort_and_combine();
  expect_pairs(powers.quality, {{0.75f, 0.0f}, {0.25f, 0.5f}});
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  f.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 12.0f);
  expect_pairs(b.quality, {{0.75f, 10.0f}, {0.25f, 15.0f}});

  // A source whose best quality is 0 keeps the step-1 powers, all 0 here.
  fill(source_dp.working_quality, {{1.0f, 0.0f}});
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  f.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 12.0f);
  expect_pairs(b.quality, {{1.0f, 10.0f}});
}

TEST_F(NLEWorkingPath, DelayTestDecidesWhetherTheEffectActs) {
  UnBoundedFacilitates f;
  link(f);
  set_powers(f, {{1.0f, 1.0f}}, {}, {});
  fill(f.propagation_delay, {{0.5f, 1.0f}, {0.5f, 3.0f}});
  fill(source_dp.working_quality, {{1.0f, 5.0f}});
  EXPECT_EQ(f.nle_delay_is_ok(12.0f), 1);  // 10 + 2 <= 12
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  f.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 11.9f);
  expect_pairs(b.quality, {{1.0f, 10.0f}});
  f.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 12.0f);
  expect_pairs(b.quality, {{1.0f, 20.0f}});
  // No delay given: it acts from the time the source has quality, not before.
  f.propagation_delay.delete_all();
  EXPECT_EQ(f.nle_delay_is_ok(10.0f), 1);
  EXPECT_EQ(f.nle_delay_is_ok(9.5f), 0);

  // The source has no quality yet: only an enables acts, and zeroes the quality.
  source_dp.time_task_or_method_gets_quality = UNSET_TIME;
  UnBoundedHinders h;
  link(h);
  half_powers(h);
  Disables dis;
  link(dis);
  Enables en;
  link(en);
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  f.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 100.0f);
  h.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 100.0f);
  dis.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 100.0f);
  expect_pairs(b.quality, {{1.0f, 10.0f}});
  en.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 100.0f);
  expect_pairs(b.quality, {{1.0f, 0.0f}});
  expect_pairs(b.duration, {{1.0f, 8.0f}});
}

TEST_F(NLEWorkingPath, HindersEnablesAndDisables) {
  UnBoundedHinders h;
  link(h);
  set_powers(h, {{1.0f, 0.5f}}, {{1.0f, 0.5f}}, {{1.0f, 1.0f}});
  fill(source_dp.working_quality, {{1.0f, 5.0f}});
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  h.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 10.0f);
  expect_pairs(b.quality, {{1.0f, 5.0f}});
  expect_pairs(b.cost, {{1.0f, 6.0f}});
  expect_pairs(b.duration, {{1.0f, 16.0f}});
  // A hinders of power 1.5 leaves quality 0, not -5.
  set_powers(h, {{1.0f, 1.5f}}, {{1.0f, 1.5f}}, {{1.0f, 1.5f}});
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  h.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 10.0f);
  expect_pairs(b.quality, {{1.0f, 0.0f}});
  expect_pairs(b.cost, {{1.0f, 10.0f}});

  // The source has quality with 0.75: enabled with 0.75, disabled with 0.75.
  fill(source_dp.working_quality, {{0.25f, 0.0f}, {0.75f, 5.0f}});
  Enables en;
  link(en);
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  en.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 10.0f);
  expect_pairs(b.quality, {{0.25f, 0.0f}, {0.75f, 10.0f}});
  Disables dis;
  link(dis);
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  dis.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 10.0f);
  expect_pairs(b.quality, {{0.75f, 0.0f}, {0.25f, 10.0f}});
  expect_pairs(b.cost, {{1.0f, 4.0f}});
}

TEST_F(NLEWorkingPath, BoundedFacilitatesTakesBoundsOnceFromTheTargetNode) {
  DecisionPoint target_dp;
  Outcome combined;
  certain_bundle(b, 20.0f, 8.0f, 6.0f);
  combined.quality.duplicate(b.quality);
  combined.cost.duplicate(b.cost);
  combined.duration.duplicate(b.duration);
  target_dp.combined_outcomes = &combined;
  target->set_dp_of_task(&target_dp);

  BoundedFacilitates bf;
  link(bf);
  half_powers(bf);
  bf.quality_multiplier_that_determines_bounds = 1.5f;
  bf.cost_divisor_that_determines_bounds = 2.0f;
  bf.duration_divisor_that_determines_bounds = 3.0f;
  certain_bundle(b, 10.0f, 8.0f, 1.0f);
  bf.apply_nle_to(b, 1, SCHEDULE_USING_UNCERTAINTY, UNSET_TIME);
  EXPECT_FLOAT_EQ(bf.quality_upper_bounds, 30.0f);
  EXPECT_FLOAT_EQ(bf.cost_lower_bounds, 4.0f);
  EXPECT_FLOAT_EQ(bf.duration_lower_bounds, 2.0f);
  expect_pairs(b.quality, {{1.0f, 20.0f}});   // halfway up to 30
  expect_pairs(b.cost, {{1.0f, 6.0f}});       // halfway down to 4
  expect_pairs(b.duration, {{1.0f, 2.0f}});   // already below: the bound
  // The bounds stay; a value above the upper bound yields the bound.
  fill(combined.quality, {{1.0f, 100.0f}});
  certain_bundle(b, 40.0f, 8.0f, 8.0f);
  bf.apply_nle_to(b, 1, SCHEDULE_USING_UNCERTAINTY, UNSET_TIME);
  expect_pairs(b.quality, {{1.0f, 30.0f}});

  // Working path: the powers conditioned on the source quality {10, 20} are {0.25, 0.5}.
  fill(source_dp.working_quality, {{0.5f, 10.0f}, {0.5f, 20.0f}});
  certain_bundle(b, 10.0f, 8.0f, 8.0f);
  bf.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 9.0f);  // before the source has quality
  expect_pairs(b.quality, {{1.0f, 10.0f}});
  bf.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 10.0f);
  expect_pairs(b.quality, {{0.5f, 15.0f}, {0.5f, 20.0f}});
  expect_pairs(b.cost, {{0.5f, 6.0f}, {0.5f, 7.0f}});
}

TEST_F(NLEWorkingPath, NoDecisionPointOrEmptySourceQualityIsNoEffect) {
  source->attributes.delete_list(0);  // the source is outside the scheduled tree
  UnBoundedFacilitates f;
  link(f);
  half_powers(f);
  Enables en;
  link(en);
  BoundedFacilitates bf;  // its target has no decision point either
  link(bf);
  half_powers(bf);
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  f.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 100.0f);
  bf.apply_nle_to(b, 1, SCHEDULE_USING_UNCERTAINTY, 100.0f);
  expect_pairs(b.quality, {{1.0f, 10.0f}});
  EXPECT_EQ(bf.have_received_initial_distributions, 0);
  en.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 100.0f);
  expect_pairs(b.quality, {{1.0f, 0.0f}});

  // In time, but the source's working quality is empty: the target keeps its quality.
  source->set_dp_of_task(&source_dp);
  source_dp.working_quality.delete_all();
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  f.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 100.0f);
  expect_pairs(b.quality, {{1.0f, 10.0f}});
  expect_pairs(b.cost, {{1.0f, 4.0f}});
  en.apply_nle_to(b, 0, SCHEDULE_USING_UNCERTAINTY, 100.0f);
  expect_pairs(b.quality, {{1.0f, 0.0f}});
}

TEST_F(NLEWorkingPath, OutcomesWeightAndRepair) {
  UnBoundedFacilitates f;
  link(f);
  set_powers(f, {{1.0f, 0.5f}}, {}, {});
  f.weight_effect_according_to_outcome_liklihood(1.0f);
  expect_pairs(f.quality_power_uncertainty, {{1.0f, 0.5f}});
  f.weight_effect_according_to_outcome_liklihood(0.4f);
  expect_pairs(f.quality_power_uncertainty, {{0.4f, 0.5f}, {0.6f, 0.0f}});

  EXPECT_DEATH(f.enforce_proper_usage_of_outcomes(),
               regex_of("Error, no outcomes for the task.\nCannot continue.\n\n\a**Unrecoverable Error**\n"
                        "**Scheduling operation terminated**\n"));
  Outcome* first = new Outcome;
  first->outcome_id = "good";
  source->outcomes.append(first);
  testing::internal::CaptureStderr();
  f.enforce_proper_usage_of_outcomes();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(f.outcome_from_if_applicable, first);
  EXPECT_EQ(f.outcome_id_from_if_applicable, "good");
  EXPECT_EQ(err.find("Error, a nle from a method is not attached to an outcome.\n"
                     "All nles from methods must be associated with an outcome.\nThe NLE follows:\nNLE "),
            0u);
  // From a task that is not a method, the outcome is dropped.
  Task task;
  f.from = &task;
  testing::internal::CaptureStderr();
  f.enforce_proper_usage_of_outcomes();
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(f.outcome_from_if_applicable, nullptr);
  EXPECT_EQ(f.outcome_id_from_if_applicable, EMPTY_ID);
  EXPECT_NE(err.find("Processing continues -- ignoring the outcome attachment.\n"), std::string::npos);
}

TEST_F(NLEWorkingPath, PrintForms) {
  UnBoundedHinders h;
  link(h);
  h.nle_id = "slow";
  h.owner_agent = "ann";
  fill(h.propagation_delay, {{1.0f, 2.0f}});
  set_powers(h, {{1.0f, 0.5f}}, {}, {});
  testing::internal::CaptureStdout();
  h.print(stdout);
  Enables en;
  Outcome o;
  o.probability = 0.25f;
  en.outcome_from_if_applicable = &o;
  en.outcome_id_from_if_applicable = "o1";
  en.print(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  char head[256];
  snprintf(head, sizeof head,
           "NLE slow (agent ann) (address %ld) of type hinders from vorna method::source:outcome not specified "
           "(aka qwerty__empty_no_id) to vorna method::target\n"
           "Delay:(1.00 2.00)\nQuality power:(1.00 0.50)\nDuration power:\n",
           reinterpret_cast<long>(&h));
  EXPECT_EQ(out.find(head), 0u);
  EXPECT_NE(out.find("from not specified:outcome density_0.25 (aka o1) to not specified\nPropagation delay: \n"),
            std::string::npos);
}

TEST_F(NLEWorkingPath, ListAddsAtFrontAndSelectsBySourceOrTarget) {
  NLEList list;
  NLE* a = new UnBoundedFacilitates;
  NLE* b = new Enables;
  NLE* c = new Disables;
  link(*a);
  b->from = target;
  b->to = source;
  c->from = source;
  c->to = source;
  list.add(a);
  list.add(b);
  list.add(c);
  EXPECT_EQ(list.get(0L), c);
  NLEList* from_source = list.return_all_from("source");
  NLEList* to_source = list.return_all_to("source");
  NLEList* relating = list.return_all_relating_to("source");
  NLEList* none = list.return_all_from("SOURCE");  // ids compare exactly
  EXPECT_TRUE(from_source->length() == 2 && from_source->in_list(a) && from_source->in_list(c));
  EXPECT_TRUE(to_source->length() == 2 && to_source->in_list(b) && to_source->in_list(c));
  EXPECT_EQ(relating->length(), 4);  // c is both from and to
  EXPECT_EQ(none->length(), 0);
  for (NLEList* l : {from_source, to_source, relating, none}) {
    l->delete_list(0);
    delete l;
  }
  // Copies are added one by one at the front.
  NLEList copies;
  EXPECT_EQ(copies.append_list_and_copy_nles(list), 3);
  EXPECT_NE(dynamic_cast<UnBoundedFacilitates*>(copies.get(0L)), nullptr);
  copies.delete_list(1);
  list.delete_list(1);
}

TEST(NLEListTest, UntypedAccessIsRefused) {
  NLEList list;
  UnBoundedFacilitates f;
  EXPECT_DEATH(list.append(static_cast<void*>(&f)),
               "^Error, attempting to use a void\\* list access function when sub\nprohibits untyped access.\n$");
  EXPECT_DEATH(list.get(0L), "Msg: NLEList access function.");
}
