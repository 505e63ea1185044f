// Combining distributions is the innermost step of scheduling: each combination may
// allocate its product array, nothing else (the compacted pairs go back into it). Making
// alternatives combines them by the hundred per node and drops most: the dropped ones'
// storage serves the next node. This program
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
#include "scheduler/scheduler_test_support.h"

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

std::string pairs_of(Distribution& d) {
  std::string text;
  for (long i = 0; i < d.length(); i++)
    text += "(" + std::to_string(d.data[i].density) + " " + std::to_string(d.data[i].value) + ")";
  return text;
}

std::string methods_of(Alternative* alt) {
  std::string text;
  for (long k = 0; k < alt->method_list.length(); k++) text += (k > 0 ? " " : "") + alt->method_list.get(k)->id;
  return text;
}

class GenerationAllocations : public scheduler_test::PreparedRound {};

TEST_F(GenerationAllocations, DroppedCandidatesServeTheNextNodeAndTheKeptComeOutWhole) {
  using scheduler_test::method;
  using scheduler_test::task;
  // Eight min nodes over two max tasks of ten methods each: 100 candidates a node, 10
  // kept; the group copies the 80 kept ones and keeps 20. Method s is under both tasks of
  // the first node and the best there, so its pair (s once) is kept.
  std::string text = std::string(scheduler_test::AGENT_A);
  std::string nodes, forms;
  for (int k = 0; k < 8; k++) {
    std::string n = "N" + std::to_string(k), a = "A" + std::to_string(k), b = "B" + std::to_string(k);
    nodes += " " + n;
    forms += task(n, "G", a + " " + b, "q_min");
    std::string a_subs = k == 0 ? "s" : "", b_subs = k == 0 ? "s" : "";
    for (int i = 0; i < 10; i++) {
      std::string am = a + "m" + std::to_string(i), bm = b + "m" + std::to_string(i);
      a_subs += " " + am;
      b_subs += " " + bm;
      forms += method(am, a, static_cast<float>(1 + (i * 7 + k) % 10), static_cast<float>(1 + i % 4),
                      static_cast<float>(i % 3));
      forms += method(bm, b, static_cast<float>(1 + (i * 3 + k) % 10), static_cast<float>(2 + i % 3),
                      static_cast<float>(i % 2));
    }
    forms += task(a, n, a_subs, "q_max") + task(b, n, b_subs, "q_max");
  }
  forms += method("s", "A0 B0", 100, 1, 0);
  read(text + scheduler_test::group("G", nodes, "q_max") + forms);
  build_trees();
  Scheduler& s = *scheduler;
  DecisionPoint* meta = s.dp_to_meta_root;
  s.copy_commitments_for_this_agent_to_proper_lists_for_scheduling();
  meta->gather_methods_for_task_record_at_all_dp_subs_too();
  s.link_commitments_to_decision_points();
  s.calculate_working_qdc_for_task_or_method_and_all_subs(meta, 0);
  int monitor = 0;
  s.create_alternatives_for_all_methods(meta, monitor);
  long before = s.num_alternatives_created;
  long made_allocations = allocations_of([&] { s.create_alternatives_for_task_and_all_subs(meta, monitor); });
  long candidates = s.num_alternatives_created - before;
  ASSERT_GT(candidates, 800);
  // A new candidate takes up to nine blocks (itself, its method list's ends, six arrays)
  // and a kept one its methods; a reused one takes none. Most of the first node's
  // candidates are new, most of the others' reused.
  EXPECT_LT(made_allocations, 5 * candidates);

  // What the first node kept is what making every candidate whole gives, name for name.
  AlternativeList& kept = node("N0")->alternatives;
  ASSERT_EQ(kept.length(), 10);
  AlternativeList whole;
  // In the node's own order of its children.
  DecisionPoint* members[] = {node("N0")->subs.get(0L), node("N0")->subs.get(1L)};
  s.create_cross_product_alternatives_from_a_set_of_dps(node("N0"), whole, members, 2, "min", 0, 0);
  ASSERT_EQ(whole.length(), 100);
  bool pair_of_s_kept = false;
  for (long i = 0; i < kept.length(); i++) {
    Alternative* alt = kept.get(i);
    SCOPED_TRACE(alt->of_task);
    Alternative* same = whole.get(alt->of_task);
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(methods_of(alt), methods_of(same));
    pair_of_s_kept = pair_of_s_kept || methods_of(alt) == "s";
    for (auto part : {&Alternative::quality, &Alternative::cost, &Alternative::duration,
                      &Alternative::potential_quality, &Alternative::potential_cost,
                      &Alternative::potential_duration})
      EXPECT_EQ(pairs_of(alt->*part), pairs_of(same->*part));
    EXPECT_EQ(alt->of_dp, node("N0"));
  }
  EXPECT_TRUE(pair_of_s_kept);
  whole.delete_list(1);
  // The group's copies carry its own name and their node's methods.
  ASSERT_EQ(node("G")->alternatives.length(), 20);
  for (long i = 0; i < node("G")->alternatives.length(); i++) {
    Alternative* copy = node("G")->alternatives.get(i);
    EXPECT_EQ(copy->of_task, "G");
    EXPECT_EQ(copy->method_list.length(), methods_of(copy) == "s" ? 1 : 2);
  }
}

}  // namespace
