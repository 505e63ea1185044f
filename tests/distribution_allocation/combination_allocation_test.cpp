// Combining distributions is the innermost step of scheduling: each combination may
// allocate its product array, nothing else (the compacted pairs go back into it). This program
// replaces the global allocation operators to count the allocations (and to make one
// fail on demand), so it is kept apart from the other tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "model/distribution.h"
#include "model/nle.h"
#include "replaced_release_operators.h"

namespace {
bool counting = false;
long allocations = 0;
// A nothrow array allocation of this many bytes fails (0: none does).
std::size_t failing_array_size = 0;

void* allocate(std::size_t size) {
  if (counting) allocations++;
  return malloc(size != 0 ? size : 1);
}
}  // namespace

void* operator new(std::size_t size) {
  void* block = allocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (failing_array_size != 0 && size == failing_array_size) return nullptr;
  return allocate(size);
}

namespace {

Distribution five_values(float base) {
  Distribution d;
  for (int i = 0; i < 5; i++) d.append(0.2f, base + 3.0f * i);
  return d;
}

long allocations_of(const std::function<void()>& operation) {
  allocations = 0;
  counting = true;
  operation();
  counting = false;
  return allocations;
}

TEST(CombinationAllocations, EveryFormAllocatesAtMostTheProductArray) {
  Distribution a = five_values(1.0f);
  Distribution b = five_values(2.0f);
  struct Case {
    std::string name;
    std::function<void(Distribution& result)> operation;
    // An operand that is the result itself needs a fresh product array.
    bool over_operand = false;
  };
  const float commitment_threshold = 5.0f;
  std::vector<Case> cases = {
      {"sum", [&](Distribution& r) { r.combine(a, b, VORNA_SUM); }},
      {"max", [&](Distribution& r) { r.combine(&a, &b, VORNA_MAX); }},
      {"costs", [&](Distribution& r) { r.combine_costs(a, b); }},
      {"difference", [&](Distribution& r) { r.subtract_durations(a, b); }},
      {"commitment",
       [&](Distribution& r) {
         r.special_for_commitment_satisfaction_value_potential_computation__combine_via_sum_for_all_non_zero_values(
             a, b, commitment_threshold);
       }},
      {"with itself", [&](Distribution& r) { r.combine(r, r, VORNA_SUM); }, true},
      {"one-operand sum", [&](Distribution& r) { r.combine(b, VORNA_SUM); }, true},
      {"one-operand durations", [&](Distribution& r) { r.combine_durations(&b); }, true},
  };
  for (const Case& c : cases) {
    Distribution result = five_values(4.0f);
    EXPECT_LE(allocations_of([&] { c.operation(result); }), 1) << c.name;
    // A result that already has room for the product allocates nothing, even when it is
    // an operand: that product is made in scratch storage.
    result.reallocate_data(25);
    EXPECT_EQ(allocations_of([&] { c.operation(result); }), 0) << c.name;
  }
}

// Effects are applied in every method step: the application works in scratch storage,
// and making a distribution of compacted values allocates nothing either.
TEST(CombinationAllocations, ScratchDistributionsAndEffectApplicationsAllocateNothing) {
  EXPECT_EQ(allocations_of([] {
              Distribution d = five_values(1.0f);
              Distribution copy(d);
              DistributionBundle bundle;
              bundle.quality.duplicate(copy);
            }),
            0);
  // Five pairs of power over five of target: products of 25 pairs, in scratch storage.
  UnBoundedFacilitates effect;
  effect.quality_power_uncertainty = five_values(0.1f);
  effect.cost_power_uncertainty = five_values(0.2f);
  effect.duration_power_uncertainty = five_values(0.3f);
  DistributionBundle target;
  target.quality = five_values(1.0f);
  target.cost = five_values(2.0f);
  target.duration = five_values(3.0f);
  EXPECT_EQ(allocations_of([&] { effect.apply_nle_to(target, 1, SCHEDULE_USING_UNCERTAINTY, 0.0f); }), 0);
  EXPECT_EQ(target.quality.length(), 5);
}

TEST(CombinationAllocationsDeathTest, TheProductArrayIsTaggedAsTheDistributionsArray) {
  Distribution a = five_values(1.0f);
  Distribution b = five_values(2.0f);
  Distribution result;
  EXPECT_DEATH(
      {
        failing_array_size = 25 * sizeof(DistributionPair);
        result.combine(a, b, VORNA_SUM);
      },
      "Error - NEW operator - memory allocation failure: Distribution::Distribution\n");
}

}  // namespace
