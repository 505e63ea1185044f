// Alternatives and their generation: set comparison, copies, the candidate order and ids
// of each route, the cap, deadlines, the subtask warning and sequences without a last.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "language/vorna_io_test_support.h"
#include "scheduler_test_support.h"

using scheduler_test::AGENT_A;
using scheduler_test::group;
using scheduler_test::method;
using scheduler_test::task;
using testing::HasSubstr;

namespace {

std::string pairs(Distribution& d) { return vorna_io_test::pairs(d); }

Alternative* alternative_of(std::vector<BasicTask*> methods) {
  Alternative* a = new Alternative;
  for (BasicTask* m : methods) a->method_list.add(m);
  return a;
}

// "m1 m2": the methods of one alternative.
std::string listing_of(Alternative* alt) {
  std::string line;
  for (long k = 0; k < alt->method_list.length(); k++)
    line += (k > 0 ? " " : "") + alt->method_list.get(k)->id;
  return line;
}

// "id: m1 m2" per alternative.
std::vector<std::string> listing(AlternativeList& list) {
  std::vector<std::string> out;
  for (long i = 0; i < list.length(); i++) {
    std::string line = list.get(i)->of_task + ":";
    for (long k = 0; k < list.get(i)->method_list.length(); k++) line += " " + list.get(i)->method_list.get(k)->id;
    out.push_back(line);
  }
  return out;
}

TEST(Alternatives, SetsCompareByMembersAndCopiesAppend) {
  Method m1, m2, m3;
  m1.id = "m1";
  m2.id = "m2";
  m3.id = "m3";
  AlternativeList list;
  list.add(alternative_of({&m2, &m1}));
  Alternative* pair = alternative_of({&m1, &m2});
  Alternative* triple = alternative_of({&m1, &m2, &m3});
  EXPECT_EQ(list.alt_exists(pair), 1);
  EXPECT_EQ(list.alt_exists(triple), 0);

  // duplicate appends the methods and leaves the probabilities unset.
  pair->prob_expected_q_or_better = 0.5f;
  pair->quality.append(1.0f, 7.0f);
  pair->of_task = "P";
  Alternative copy;
  copy.method_list.add(&m3);
  copy.duplicate(*pair);
  EXPECT_EQ(copy.method_list.length(), 3);
  EXPECT_EQ(copy.of_task, "P");
  EXPECT_EQ(copy.prob_expected_q_or_better, -1.0f);
  copy.duplicate(copy);
  EXPECT_EQ(copy.method_list.length(), 3);

  // A list copy comes out reversed; a list given itself stays whole.
  list.add(triple);
  list.get(0L)->of_task = "first";
  list.get(1L)->of_task = "second";
  AlternativeList copied;
  EXPECT_EQ(copied.duplicate(list), 2);
  EXPECT_EQ(copied.get(0L)->of_task, "second");
  EXPECT_EQ(copied.get(1L)->of_task, "first");
  EXPECT_EQ(copied.duplicate(copied), 2);

  copy.rating = 0.5f;
  copy.cost.append(1.0f, 2.0f);
  copy.duration.append(1.0f, 3.5f);
  char* text = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&text, &size);
  copy.small_print(f);
  fclose(f);
  EXPECT_STREQ(text, "Alternative P, rating 0.50, q 7, c 2, d 3.500000\n");
  free(text);

  delete pair;
  copied.delete_list(1);
  list.delete_list(1);
}

class Generation : public scheduler_test::PreparedRound {};

TEST_F(Generation, EachRouteMakesItsCandidatesInOrder) {
  struct Case {
    const char* qaf;
    std::string a_methods;
    std::vector<std::string> expected;
  };
  std::string two_a = method("a1", "A", 1, 1, 0) + method("a2", "A", 2, 1, 0);
  Case cases[] = {
      // Subsets of (B, A): {A}, {B}, then {B, A} with A varying fastest; the copies under
      // the max tasks all carry their task's id.
      {"q_sum", two_a,
       {"G_sum_0: a1", "G_sum_1: a2", "G_sum_2: b1", "G_sum_3: b2", "G_sum_4: b3", "G_sum_5: b1 a1", "G_sum_6: b1 a2",
        "G_sum_7: b2 a1", "G_sum_8: b2 a2", "G_sum_9: b3 a1", "G_sum_10: b3 a2"}},
      {"q_min", two_a, {"G_min_0: b1 a1", "G_min_1: b1 a2", "G_min_2: b2 a1", "G_min_3: b2 a2", "G_min_4: b3 a1",
                        "G_min_5: b3 a2"}},
      // Copies, each put in front: the last one made stands first.
      {"q_max", two_a, {"G: a2", "G: a1", "G: b3", "G: b2", "G: b1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.qaf);
    prepare(std::string(AGENT_A) + group("G", "A B", c.qaf) + task("A", "G", "a1 a2", "q_max") +
            task("B", "G", "b1 b2 b3", "q_max") + c.a_methods + method("b1", "B", 1, 1, 0) +
            method("b2", "B", 2, 1, 0) + method("b3", "B", 3, 1, 0));
    EXPECT_EQ(listing(node("A")->alternatives), (std::vector<std::string>{"A: a1", "A: a2"}));
    EXPECT_EQ(listing(node("G")->alternatives), c.expected);
    TearDown();
    SetUp();
  }
}

TEST_F(Generation, TheCapKeepsAHundredAndCountsTheOneItDropped) {
  std::string text = std::string(AGENT_A) + group("G", "A B", "q_sum");
  std::string a_subs, b_subs;
  for (int i = 0; i < 10; i++) a_subs += " a" + std::to_string(i);
  for (int i = 0; i < 11; i++) b_subs += " b" + std::to_string(i);
  text += task("A", "G", a_subs, "q_max") + task("B", "G", b_subs, "q_max");
  for (int i = 0; i < 10; i++) text += method("a" + std::to_string(i), "A", 1, 1, 0);
  for (int i = 0; i < 11; i++) text += method("b" + std::to_string(i), "B", 1, 1, 0);
  read(text);
  scheduler->turn_off_pruning_of_alternatives();
  build_trees();
  generate();
  ASSERT_EQ(node("A")->alternatives.length(), 10);
  ASSERT_EQ(node("B")->alternatives.length(), 11);
  long before = scheduler->num_alternatives_created;
  AlternativeList candidates;
  DecisionPoint* members[] = {node("A"), node("B")};
  EXPECT_EQ(scheduler->create_cross_product_alternatives_from_a_set_of_dps(node("G"), candidates, members, 2, "cap",
                                                                          1, 100),
            100);
  EXPECT_EQ(candidates.length(), 100);
  EXPECT_EQ(scheduler->num_alternatives_created - before, 101);
  candidates.delete_list(1);
}

TEST_F(Generation, EveryCandidateIsTheFoldOfItsMembersFromTheFirst) {
  // Members of several alternatives (and of one), each of two outcomes: every candidate
  // of the cross product holds what folding its members from the first gives, to the bit,
  // and the count goes up by the combines those folds make.
  auto two_outcomes = [](const std::string& label, const std::string& super, int k) {
    std::string q1 = std::to_string(k + 1), q2 = std::to_string(2 * k + 3);
    std::string d1 = std::to_string(k % 3 + 1), d2 = std::to_string(k % 4 + 5);
    return "(spec_method (label " + label + ") (agent A) (supertasks " + super + ") (outcomes " +
           scheduler_test::outcome(q1 + " 1", d1 + " 1", "1 1", "o1", "0.4") +
           scheduler_test::outcome(q2 + " 1", d2 + " 1", std::to_string(k % 2) + " 1", "o2", "0.6") + "))\n";
  };
  const std::vector<std::vector<int>> shapes = {{3, 2, 3}, {2, 3, 2, 2}, {2, 1, 3, 1}, {1, 1, 2}};
  for (const char* qaf : {"q_min", "q_sum_all", "q_seq_max", "q_seq"}) {
    for (const std::vector<int>& sizes : shapes) {
      SCOPED_TRACE(std::string(qaf) + " over " + std::to_string(sizes.size()));
      std::string subs, text;
      int k = 0;
      for (size_t m = 0; m < sizes.size(); m++) {
        std::string name = "T" + std::to_string(m), methods;
        subs += " " + name;
        for (int j = 0; j < sizes[m]; j++, k++) {
          methods += " m" + std::to_string(k);
          text += two_outcomes("m" + std::to_string(k), name, k);
        }
        text += task(name, "G", methods, "q_max");
      }
      read(std::string(AGENT_A) + group("G", subs, qaf) + text);
      scheduler->turn_off_pruning_of_alternatives();
      build_trees();
      generate();
      std::vector<DecisionPoint*> members;
      long expected = 1;
      for (size_t m = 0; m < sizes.size(); m++) {
        members.push_back(node("T" + std::to_string(m)));
        expected *= sizes[m];
      }
      long before = Distribution::report_total_number_of_combine_operations();
      AlternativeList candidates;
      ASSERT_EQ(scheduler->create_cross_product_alternatives_from_a_set_of_dps(
                    node("G"), candidates, members.data(), static_cast<long>(members.size()), "fold", 0, 0),
                expected);
      bool sequence = std::string(qaf) == "q_seq";
      EXPECT_EQ(Distribution::report_total_number_of_combine_operations() - before,
                expected * static_cast<long>(members.size() - 1) * (sequence ? 4 : 6));
      VORNA_QualityAF f = node("G")->task_or_method->qaf;
      std::vector<long> at(sizes.size(), 0);
      for (long made = 0; made < expected; made++) {
        SCOPED_TRACE(made);
        Alternative fold;
        std::string methods;
        for (size_t m = 0; m < sizes.size(); m++) {
          Alternative* pick = members[m]->alternatives.get(at[m]);
          methods += (m > 0 ? " " : "") + pick->method_list.get(0L)->id;
          if (m == 0) {
            fold.duplicate(*pick);
            continue;
          }
          fold.cost.combine_costs(pick->cost);
          fold.duration.combine_durations(pick->duration);
          fold.potential_cost.combine_costs(pick->potential_cost);
          fold.potential_duration.combine_durations(pick->potential_duration);
          if (!sequence) {
            fold.quality.combine(pick->quality, f);
            fold.potential_quality.combine(pick->potential_quality, f);
          } else if (m + 1 == sizes.size()) {
            fold.quality.duplicate(pick->quality);
          }
        }
        // Candidates go in front: the one made first stands last.
        Alternative* made_one = candidates.get(expected - 1 - made);
        EXPECT_EQ(made_one->of_task, "G_fold_" + std::to_string(made));
        EXPECT_EQ(listing_of(made_one), methods);
        EXPECT_EQ(pairs(made_one->quality), pairs(fold.quality));
        EXPECT_EQ(pairs(made_one->cost), pairs(fold.cost));
        EXPECT_EQ(pairs(made_one->duration), pairs(fold.duration));
        EXPECT_EQ(pairs(made_one->potential_cost), pairs(fold.potential_cost));
        EXPECT_EQ(pairs(made_one->potential_duration), pairs(fold.potential_duration));
        EXPECT_EQ(made_one->duration.get_expected_value(), fold.duration.get_expected_value());
        EXPECT_EQ(made_one->quality.get_expected_value(), fold.quality.get_expected_value());
        for (long m = static_cast<long>(sizes.size()) - 1; m >= 0 && ++at[m] == sizes[m]; m--) at[m] = 0;
      }
      candidates.delete_list(1);
      TearDown();
      SetUp();
    }
  }
}

TEST_F(Generation, EqualOperandsAreCombinedOnceAndCountedEveryTime) {
  // Six methods under each of two max tasks, all of one cost and of two durations, each of
  // its own quality: the 36 candidates' costs and durations repeat. Every combine counts,
  // far fewer are made, and every candidate holds what folding it gives, to the bit.
  std::string text, a_subs, b_subs;
  for (int i = 0; i < 6; i++) {
    std::string a = "a" + std::to_string(i), b = "b" + std::to_string(i);
    a_subs += " " + a;
    b_subs += " " + b;
    text += method(a, "A", static_cast<float>(1 + i), static_cast<float>(1 + i % 2), 3) +
            method(b, "B", static_cast<float>(10 + i), static_cast<float>(2 + i % 2), 3);
  }
  for (const char* qaf : {"q_min", "q_sigmoid (sigmoid_distribution 0.1 0 0.5 5 1.2 10)"}) {
    SCOPED_TRACE(qaf);
    read(std::string(AGENT_A) + group("G", "A B", qaf) + task("A", "G", a_subs, "q_max") +
         task("B", "G", b_subs, "q_max") + text);
    scheduler->turn_off_pruning_of_alternatives();
    build_trees();
    generate();
    DecisionPoint* members[] = {node("G")->subs.get(0L), node("G")->subs.get(1L)};
    long counted = Distribution::report_total_number_of_combine_operations();
    long real = Distribution::report_number_of_real_combine_operations();
    AlternativeList candidates;
    ASSERT_EQ(scheduler->create_cross_product_alternatives_from_a_set_of_dps(node("G"), candidates, members, 2,
                                                                            "memo", 1, 36),
              36);
    EXPECT_EQ(Distribution::report_total_number_of_combine_operations() - counted, 36 * 6);
    EXPECT_LT(Distribution::report_number_of_real_combine_operations() - real, 36 * 6 / 2);
    VORNA_QualityAF f = node("G")->task_or_method->qaf;
    for (long made = 0; made < 36; made++) {
      SCOPED_TRACE(made);
      Alternative fold;
      fold.duplicate(*members[0]->alternatives.get(made / 6));
      Alternative* second = members[1]->alternatives.get(made % 6);
      fold.cost.combine_costs(second->cost);
      fold.duration.combine_durations(second->duration);
      fold.potential_cost.combine_costs(second->potential_cost);
      fold.potential_duration.combine_durations(second->potential_duration);
      fold.quality.combine(second->quality, f);
      fold.potential_quality.combine(second->potential_quality, f);
      if (f == VORNA_SIGMOID) {
        // Both members bring quality: the multiplier of all the subtasks.
        float multiplier = node("G")->task_or_method->calc_sigmoid_multiplier(1.0f);
        fold.quality.apply_sigmoid_multiple(multiplier);
        fold.potential_quality.apply_sigmoid_multiple(multiplier);
      }
      Alternative* made_one = candidates.get(35 - made);
      EXPECT_EQ(made_one->of_task, "G_memo_" + std::to_string(made));
      for (auto part : {&Alternative::cost, &Alternative::duration, &Alternative::potential_cost,
                        &Alternative::potential_duration}) {
        EXPECT_EQ(pairs(made_one->*part), pairs(fold.*part));
        EXPECT_EQ((made_one->*part).num_storable_items, (fold.*part).num_storable_items);
        EXPECT_EQ((made_one->*part).get_expected_value(), (fold.*part).get_expected_value());
      }
      EXPECT_EQ(pairs(made_one->quality), pairs(fold.quality));
      EXPECT_EQ(pairs(made_one->potential_quality), pairs(fold.potential_quality));
      EXPECT_EQ(made_one->quality.combined_under_sigmoid_and_multiplier_not_applied, 0);
    }
    candidates.delete_list(1);
    TearDown();
    SetUp();
  }
}

TEST_F(Generation, DeadlinesWarningsAndSequencesWithoutALastSubtask) {
  // A certain miss keeps a quarter of the quality; the task's own deadline degrades again.
  prepare(std::string(AGENT_A) + group("G", "P", "q_sum") + task("P", "G", "m", "q_max", "(deadline 3)") +
          method("m", "P", 10, 5, 0));
  EXPECT_EQ(pairs(node("m")->alternatives.get(0L)->quality), "{ (0.750000 0.000000) (0.250000 10.000000) }");
  EXPECT_EQ(pairs(node("m")->alternatives.get(0L)->potential_quality),
            "{ (0.750000 0.000000) (0.250000 10.000000) }");
  EXPECT_EQ(pairs(node("P")->alternatives.get(0L)->quality), "{ (0.937500 0.000000) (0.062500 10.000000) }");
  TearDown();
  SetUp();

  struct Case {
    long subtasks;
    bool warns;
  };
  for (Case c : {Case{12, false}, Case{13, true}}) {
    SCOPED_TRACE(c.subtasks);
    std::string subs, methods;
    for (long i = 0; i < c.subtasks; i++) {
      subs += " t" + std::to_string(i);
      methods += method("t" + std::to_string(i), "G", 1, 1, 0);
    }
    read(std::string(AGENT_A) + group("G", subs, "q_sum") + methods);
    scheduler->set_tg_prune_setting(1);
    testing::internal::CaptureStderr();
    build_trees();
    int monitor = 0;
    scheduler->create_alternatives_for_all_methods(scheduler->dp_to_meta_root, monitor);
    // Only the subset warning is wanted here, not the thousands of subsets.
    for (long i = 0; i < node("G")->subs.length(); i++) node("G")->subs.get(i)->alternatives.delete_list(1);
    scheduler->create_alternatives_sum(node("G"), monitor, "sum");
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.find("\aWarning, task G has 13 subtasks under a sum() qaf.\n") != std::string::npos, c.warns);
    if (c.warns) {
      EXPECT_THAT(out, HasSubstr("explostion is not currently\n"));
    }
    TearDown();
    SetUp();
  }

  // The last subtask has no method under it: the sequence gets no alternatives.
  prepare(std::string(AGENT_A) + group("G", "S", "q_sum") + task("S", "G", "m E", "q_seq") +
          "(spec_task (label E) (agent A) (supertasks S) (qaf q_sum))\n" + method("m", "S", 1, 1, 0));
  EXPECT_THAT(err, HasSubstr("Warning, task S gets no alternatives: its last subtask E has none.\n"));
  EXPECT_EQ(node("S")->alternatives.length(), 0);
}

// The memo of a node's combinations: a repeat is the first result to the bit and counts as
// made; operands that differ in one bit (0 and -0) are apart, a NaN finds itself; results
// survive the table's growth over many chunks, a cleared memo forgets them but reuses its
// storage, and past its bound it still combines without keeping.
TEST(Alternatives, CombineMemoFindsExactlyWhatItKept) {
  CombineMemo memo;
  long combined = 0;
  // The result of operands (a, b): one pair whose value names them.
  auto apply = [&](Distribution& target, float a, float b, int operation = CombineMemo::SUM_OF_COSTS_OR_DURATIONS) {
    Distribution d1, d2;
    d1.append(1.0f, a);
    d2.append(0.5f, b);
    d2.append(0.5f, b + 1.0f);
    memo.apply(target, d1, d2, operation, [&] {
      combined++;
      target.replace_with(1.0f, a * 1000.0f + b + static_cast<float>(operation));
      target.get_expected_value();
    });
  };
  auto value_of = [](Distribution& d) { return d.length() == 1 ? d.get(0)->value : -1.0f; };

  Distribution first, again;
  apply(first, 1.0f, 2.0f);
  long count = Distribution::report_total_number_of_combine_operations();
  apply(again, 1.0f, 2.0f);
  EXPECT_EQ(combined, 1);
  EXPECT_EQ(Distribution::report_total_number_of_combine_operations(), count + 1);
  EXPECT_EQ(again.unsorted_statistics_are_valid, 1);
  EXPECT_EQ(again.get_expected_value(), first.get_expected_value());
  EXPECT_EQ(pairs(again), pairs(first));
  // Another operation, a negative zero: new combinations. A NaN operand is found again.
  apply(again, 1.0f, 2.0f, VORNA_MAX);
  apply(again, 0.0f, 2.0f);
  apply(again, -0.0f, 2.0f);
  EXPECT_EQ(combined, 4);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  apply(again, nan, 2.0f);
  apply(again, nan, 2.0f);
  EXPECT_EQ(combined, 5);

  // Growth: every result stays found, with its own value.
  constexpr int MANY = 5000;
  for (int i = 0; i < MANY; i++) apply(again, static_cast<float>(i), 7.0f);
  long before = combined;
  bool all_found = true;
  for (int i = MANY - 1; i >= 0; i--) {
    apply(again, static_cast<float>(i), 7.0f);
    all_found = all_found && value_of(again) == static_cast<float>(i) * 1000.0f + 7.0f - 1.0f;
  }
  EXPECT_TRUE(all_found);
  EXPECT_EQ(combined, before);

  // Reuse: nothing kept before the clear is found after it, and new results are.
  memo.clear();
  EXPECT_EQ(memo.size(), 0);
  Distribution fresh;
  apply(fresh, 1.0f, 2.0f);
  EXPECT_EQ(combined, before + 1);
  apply(fresh, 3.0f, 7.0f, VORNA_MIN);
  apply(fresh, 3.0f, 7.0f, VORNA_MIN);
  EXPECT_EQ(combined, before + 2);
  EXPECT_EQ(value_of(fresh), 3007.0f + static_cast<float>(VORNA_MIN));

  // The target may be the first operand: the key is its value before the combination.
  Distribution self, other, copy;
  self.append(1.0f, 4.0f);
  other.append(1.0f, 5.0f);
  copy.duplicate(self);
  auto add_over_self = [&](Distribution& target, Distribution& d1) {
    memo.apply(target, d1, other, CombineMemo::SUM_OF_COSTS_OR_DURATIONS, [&] {
      combined++;
      target.combine_costs(d1, other);
    });
  };
  add_over_self(self, self);
  Distribution as_new;
  add_over_self(as_new, copy);
  EXPECT_EQ(pairs(as_new), pairs(self));
  EXPECT_EQ(combined, before + 3);

  // Past the bound: combined every time, nothing more kept.
  memo.clear();
  for (long i = 0; i <= CombineMemo::MAX_RESULTS; i++) apply(again, static_cast<float>(i), 9.0f);
  EXPECT_EQ(memo.size(), CombineMemo::MAX_RESULTS);
  before = combined;
  apply(again, static_cast<float>(CombineMemo::MAX_RESULTS), 9.0f);
  apply(again, 0.0f, 9.0f);
  EXPECT_EQ(combined, before + 1);
}

}  // namespace
