#include "model/resource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <locale>
#include <string>

#include "model/effect_test_support.h"
#include "model/task.h"

using namespace effect_test;

namespace {

float above(float x) { return std::nextafterf(x, std::numeric_limits<float>::infinity()); }

ConsumableResource consumable(float state, float depleted_at, float overloaded_at = DEFAULT_OVERLOADED_AT) {
  ConsumableResource r;
  r.id = "fuel";
  r.depleted_at = depleted_at;
  r.overloaded_at = overloaded_at;
  r.state = state;
  return r;
}

}  // namespace

TEST(ResourceState, SettersMarkAndTheBadStateTest) {
  ConsumableResource r = consumable(5.0f, 2.0f, 10.0f);
  EXPECT_EQ(r.resource_is_depleted_or_overproduced(), 0);
  r.set_resource_status(1.0f);
  EXPECT_EQ(r.state, -1.0f);
  EXPECT_EQ(r.resource_is_depleted_or_overproduced(), 1);
  r.set_resource_status(12.0f);
  EXPECT_EQ(r.state, 11.0f);
  EXPECT_EQ(r.resource_is_depleted_or_overproduced(), 1);
  r.set_resource_status(4.0f);
  r.set_resource_depleted_at(6.0f);
  EXPECT_EQ(r.state, -1.0f);

  // No upper mark: nothing is too much, and the level is left alone.
  ConsumableResource open = consumable(0.0f, 0.0f, NO_UPPER_MARK);
  open.set_resource_status(1e6f);
  open.produce_resource(5.0f, 2.0f, nullptr);
  EXPECT_EQ(open.state, 1e6f + 10.0f);
  EXPECT_EQ(open.resource_is_depleted_or_overproduced(), 0);
  open.consume_resource(10.0f);
  EXPECT_EQ(open.state, 1e6f);
}

TEST(ResourceState, ConsumeBelowTheLowerMark) {
  Method m;
  ConsumableResource r = consumable(10.0f, 0.0f);
  EXPECT_EQ(r.consume_resource(4.0f, 3.0f, &m), -1.0f);
  EXPECT_EQ(r.method_that_put_the_resource_into_a_bad_state, &m);
  EXPECT_FLOAT_EQ(r.number_of_time_units_resource_is_in_bad_state, 0.5f);  // 3 - 10 / 4
  EXPECT_EQ(r.produce_resource(1.0f), 1.0f);                              // from 0
  // The units count from the lower mark: 10 - 2 x 3 = 4 is (5 - 4) / 2 = 0.5 units below 5.
  ConsumableResource marked = consumable(10.0f, 5.0f);
  marked.consume_resource(2.0f, 3.0f, &m);
  EXPECT_FLOAT_EQ(marked.number_of_time_units_resource_is_in_bad_state, 0.5f);
  ConsumableResource at_mark = consumable(5.0f, 5.0f);
  at_mark.consume_resource(2.0f, 3.0f, &m);
  EXPECT_FLOAT_EQ(at_mark.number_of_time_units_resource_is_in_bad_state, 3.0f);
}

TEST(ResourceState, ProduceAboveTheUpperMarkHoldsTheMarkPlusOne) {
  Method m;
  ConsumableResource r = consumable(19.0f, 0.0f, 20.0f);
  r.produce_resource(2.0f, 1.0f, &m);
  EXPECT_EQ(r.state, 21.0f);
  EXPECT_EQ(r.method_that_put_the_resource_into_a_bad_state, &m);
  EXPECT_FLOAT_EQ(r.number_of_time_units_resource_is_in_bad_state, 0.5f);  // 1 - (20 - 19) / 2
  EXPECT_EQ(r.consume_resource(1.0f), 19.0f);                             // from 20
  // Mark + 1 wherever that sum is above the mark in float; from 2^24 on it is the mark
  // itself, and the next float above the mark keeps the resource over-produced.
  const float two_23 = 8388608.0f, two_24 = 16777216.0f, two_25 = 33554432.0f;
  struct Case {
    float mark, marked;
  } cases[] = {{0.5f, 1.5f}, {20.0f, 21.0f}, {two_23 - 1.0f, two_23}, {two_23, two_23 + 1.0f},
               {two_24, above(two_24)}, {two_25, above(two_25)}};
  for (const Case& c : cases) {
    ConsumableResource big = consumable(c.mark, 0.0f, c.mark);
    big.produce_resource(c.mark);
    EXPECT_EQ(big.state, c.marked) << "mark " << c.mark;
    EXPECT_EQ(big.resource_is_depleted_or_overproduced(), 1) << "mark " << c.mark;
    EXPECT_EQ(big.consume_resource(c.mark), 0.0f) << "from the mark " << c.mark;
  }
  // Only the flag (or a whole unit above the mark) starts a consume from the mark; a
  // level put back just above it is consumed from where it stands.
  ConsumableResource put_back = consumable(20.0f, 0.0f, 20.0f);
  put_back.putback_resource(0.5f);
  EXPECT_EQ(put_back.consume_resource(1.0f), 19.5f);
  put_back.putback_resource(3.0f);
  EXPECT_EQ(put_back.consume_resource(1.0f), 19.0f);
}

TEST(ResourceState, RecoveryPutBackAndNonConsumables) {
  Method m;
  ConsumableResource r = consumable(10.0f, 0.0f);
  r.consume_resource(4.0f, 3.0f, &m);
  r.produce_resource(5.0f);
  r.consume_resource(1.0f, 1.0f, &m);  // fine before and after: the culprit goes
  EXPECT_EQ(r.method_that_put_the_resource_into_a_bad_state, nullptr);
  EXPECT_EQ(r.number_of_time_units_resource_is_in_bad_state, -1.0f);

  NonConsumableResource n;
  n.state = 1.0f;
  n.consume_resource(3.0f);
  EXPECT_EQ(n.state, -2.0f);  // never adjusted
  EXPECT_EQ(n.resource_is_depleted_or_overproduced(), 1);
  n.state = 2.0f;
  n.consume_resource(1.0f, 3.0f, &m);
  EXPECT_EQ(n.method_that_put_the_resource_into_a_bad_state, &m);
  EXPECT_EQ(n.putback_resource(1.0f, 3.0f, &m), 2.0f);  // fine again: the culprit goes
  EXPECT_EQ(n.method_that_put_the_resource_into_a_bad_state, nullptr);
  EXPECT_EQ(n.putback_resource(0.5f), 2.5f);
}

TEST(ResourceChecks, InitialStateAndAttributes) {
  EXPECT_EXIT(ConsumableResource("r", 1.0f, -1.0f), testing::ExitedWithCode(1), "^Error, depleted_at must be >= 0\n$");
  EXPECT_EXIT(ConsumableResource("r", 1.0f, 5.0f, 4.0f), testing::ExitedWithCode(1),
              "^Error, overloaded_at must be > depleted_at \n$");
  EXPECT_EXIT(ConsumableResource("r", -2.0f, 0.0f), testing::ExitedWithCode(1),
              "^Error, resources cannot be initialized with negative values.\n$");
  ConsumableResource equal("r", 5.0f, 5.0f, 5.0f);
  ConsumableResource open("r", 5.0f, 2.0f, NO_UPPER_MARK);
  ConsumableResource low("r", 1.0f, 2.0f);
  EXPECT_EQ(open.state, 5.0f);
  EXPECT_EQ(low.state, -1.0f);  // marked at once

  // The list never frees its texts: the test keeps them.
  std::string colour = "red", mark = "x 20", long_text = std::string(5000, 'w') + " 7";
  StringAssociationList attributes;
  attributes.add("colour", colour.data());
  attributes.add("overloaded_at", mark.data());
  testing::internal::CaptureStderr();
  equal.process_attributes_for_resource_models(attributes);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Got overloaded_at of 20.000000\n");
  EXPECT_EQ(equal.overloaded_at, 20.0f);
  attributes.add("overloaded_at", long_text.data());
  testing::internal::CaptureStderr();
  equal.process_attributes_for_resource_models(attributes);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(equal.overloaded_at, 7.0f);
  std::string failing[] = {"20", "", "x -3", "x y"};
  for (std::string& text : failing) {
    attributes.add("overloaded_at", text.data());
    EXPECT_EXIT(equal.process_attributes_for_resource_models(attributes), testing::ExitedWithCode(1),
                "\aError, negative overloaded_at or unable to parse attributes.\n$")
        << "text '" << text << "'";
  }
  attributes.delete_list(1);
}

namespace {
// A locale that reads and writes numbers with a decimal comma.
struct CommaPoint : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};
}  // namespace

TEST(ResourceChecks, TheUpperMarkAttributeIsReadInTheCLocaleWhateverTheGlobalLocale) {
  std::string texts[] = {"x 20.5", "x 0.25"};
  float expected[] = {20.5f, 0.25f};
  for (int i = 0; i < 2; i++) {
    ConsumableResource r = consumable(1.0f, 0.0f);
    StringAssociationList attributes;
    attributes.add("overloaded_at", texts[i].data());
    std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
    testing::internal::CaptureStderr();
    r.process_attributes_for_resource_models(attributes);
    testing::internal::GetCapturedStderr();
    std::locale::global(previous);
    EXPECT_EQ(r.overloaded_at, expected[i]) << texts[i];
    attributes.delete_list(1);
  }
}

TEST(ResourceListTest, DuplicateLookupAndPrune) {
  ResourceList list;
  Resource* a = new ConsumableResource;
  a->id = "fuel";
  a->owner_agent = "ann";
  a->state = 3.0f;
  Resource* b = new NonConsumableResource;
  b->id = "room";
  Resource* c = new ConsumableResource;
  c->id = "water";
  c->owner_agent = "bob";
  list.add(a);
  list.add(b);
  list.add(c);
  EXPECT_EQ(list.get(0L), c);
  EXPECT_EQ(list.get("fuel"), a);
  EXPECT_EQ(list.get("FUEL"), nullptr);
  Resource undefined;
  EXPECT_EXIT(undefined.create_new_instance_duplicate_and_return_it(), testing::ExitedWithCode(1),
              "^Resource attempting to duplicate an undefined resource type.\n$");

  // Each copy goes to the front, so the copy comes out reversed.
  ResourceList copies;
  copies.duplicate_list_into_this_and_copy_items(list, 1);
  copies.duplicate_list_into_this_and_copy_items(list, 1);
  copies.duplicate_list_into_this_and_copy_items(copies, 1);  // into itself: unchanged
  ASSERT_EQ(copies.length(), 3);
  EXPECT_EQ(copies.get(0L)->id, "fuel");
  EXPECT_EQ(copies.get(0L)->state, 3.0f);
  EXPECT_NE(copies.get(0L), a);
  EXPECT_EQ(copies.get(1L)->type, RESOURCE_NON_CONSUMABLE);
  copies.delete_list(1);

  list.prune_away_resources_not_owned_by_this_agent("ann");
  ASSERT_EQ(list.length(), 2);
  EXPECT_EQ(list.get(0L), b);
  list.delete_list(1);
}

TEST(ResourceEffects, UsesAndProducesChangeTheLevel) {
  Method m;
  ConsumableResource r = consumable(10.0f, 0.0f);
  ResourceNLEList list;
  Uses* uses = new Uses;
  uses->id = "u1";
  uses->from = &m;
  uses->consumes = 2.0f;
  Produces* produces = new Produces;
  produces->id = "p1";
  produces->from = &m;
  produces->produces = 1.5f;
  list.add(uses);
  list.add(produces);
  EXPECT_EQ(list.get("u1"), uses);
  uses->apply_rnle_to(&r, 3.0f, &m);
  EXPECT_EQ(r.state, 8.0f);  // once, whatever the duration
  uses->model_is_per_time_unit = 1;
  uses->apply_rnle_to(&r, 3.0f, &m);
  EXPECT_EQ(r.state, 2.0f);
  uses->restore_resource(&r, 3.0f, &m);
  EXPECT_EQ(r.state, 8.0f);
  produces->model_is_per_time_unit = 1;
  DistributionBundle b;
  certain_bundle(b, 1.0f, 2.0f, 3.0f);
  produces->apply_rnle_to(b, &r, 2.0f, &m);
  EXPECT_EQ(r.state, 11.0f);
  expect_pairs(b.quality, {{1.0f, 1.0f}});

  EXPECT_EXIT(uses->apply_rnle_to(nullptr, 1.0f, &m), testing::ExitedWithCode(1),
              "^Attempt to apply uses to a null resource or from a null task.\n$");
  produces->from = nullptr;
  EXPECT_EXIT(produces->apply_rnle_to(&r, 1.0f, &m), testing::ExitedWithCode(1),
              "^Attempt to apply produces to a null resource or from a null task.\n$");
  testing::internal::CaptureStderr();
  list.delete_list(1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Deleted a resource nle p1\nDeleted a resource nle u1\n");
}

TEST(ResourceEffects, LimitsWorsenMethodsWhileTheResourceIsBad) {
  Method m;
  Limits limits;
  limits.to = &m;
  fill(limits.quality_power, {{1.0f, 0.5f}});
  fill(limits.duration_power, {{1.0f, 0.5f}});
  fill(limits.cost_power, {{1.0f, 0.25f}});
  DistributionBundle b;
  ConsumableResource fine = consumable(10.0f, 0.0f);
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  limits.apply_rnle_to(b, &fine, 3.0f, &m);
  expect_pairs(b.quality, {{1.0f, 10.0f}});

  ConsumableResource bad = consumable(10.0f, 0.0f);
  bad.consume_resource(20.0f);
  limits.apply_rnle_to(b, &bad, 3.0f, &m);
  expect_pairs(b.quality, {{1.0f, 5.0f}});
  expect_pairs(b.duration, {{1.0f, 12.0f}});
  expect_pairs(b.cost, {{1.0f, 5.0f}});

  // Per time unit with a culprit: the powers scale by the units in bad state; over 3
  // units quality would go negative and stops at 0.
  limits.model_is_per_time_unit = 1;
  bad.method_that_put_the_resource_into_a_bad_state = &m;
  for (float units : {2.0f, 3.0f}) {
    bad.number_of_time_units_resource_is_in_bad_state = units;
    certain_bundle(b, 10.0f, 4.0f, 8.0f);
    limits.apply_rnle_to(b, &bad, 5.0f, &m);
    expect_pairs(b.quality, {{1.0f, 0.0f}});
    expect_pairs(b.duration, {{1.0f, 8.0f * (1.0f + 0.5f * units)}});
  }
  // Without a culprit the duration is the scale; left-over units give the warning.
  bad.method_that_put_the_resource_into_a_bad_state = nullptr;
  bad.number_of_time_units_resource_is_in_bad_state = -1.0f;
  certain_bundle(b, 10.0f, 4.0f, 8.0f);
  testing::internal::CaptureStderr();
  limits.apply_rnle_to(b, &bad, 1.0f, &m);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\aWarning, either there is an error in the per_time_unit resource computation\n"
            "or you are mixing duration_independent consumption with per_time_unit\n"
            "limits and the semantics of that model are unclear.\n"
            "The limits computation will not be correct.\n");
  expect_pairs(b.quality, {{1.0f, 5.0f}});

  EXPECT_EXIT(limits.apply_rnle_to(&bad, 1.0f, &m), testing::ExitedWithCode(1),
              regex_of("Error, limits resource nle called via the virtual void function\n"
                       "that does not require the distribution bundle parameter.  This \n"
                       "function cannot be used with the limits NLE as it requires that \n"
                       "parameter.  Please correct the code and recompile.\n") +
                  "$");
  EXPECT_EXIT(limits.apply_rnle_to(b, nullptr, 1.0f, &m), testing::ExitedWithCode(1),
              "^Attempt to apply limits to a null task or from a null resource.\n$");
}

TEST(ResourceEffects, PrintForms) {
  Method m;
  m.id = "drive";
  Uses uses;
  uses.id = "u";
  uses.owner_agent = "ann";
  uses.consumes = 2.0f;
  uses.from = &m;
  uses.to = "fuel";
  Limits limits;
  limits.id = "l";
  limits.from = "fuel";
  fill(limits.quality_power, {{1.0f, 0.5f}});
  ConsumableResource r = consumable(2.5f, 1.0f);
  r.owner_agent = "ann";
  testing::internal::CaptureStdout();
  uses.print(stdout);
  limits.print(stdout);
  r.print(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Uses resource nle:\n\tID u, agent id ann, client consumes 2.000000\n\tFrom task drive\n"
            "\tTo resource fuel\n"
            "Limits resource nle:\n\tid l\n\tagent id \n\tQuality power (1.00 0.50)\n\tCost power \n"
            "\tDuration power \n\tTask unknown or not yet bound\n\tFrom resource fuel\n"
            "fuel (owned by ann) has a current state of 2.500000 and a depletion point of 1.000000\n");
  EXPECT_STREQ(uses.type_to_string(), "Consumes");
  EXPECT_STREQ(limits.type_to_string(), "Limits");
}
