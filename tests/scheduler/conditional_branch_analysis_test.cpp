// The conditional-branch analysis on rounds read from texts, over schedules whose
// timelines name the methods in order.
#include "scheduler/conditional_branch_analysis.h"

#include <string>
#include <vector>

#include "scheduler_test_support.h"

namespace {

using scheduler_test::AGENT_A;
using scheduler_test::group;
using scheduler_test::method;
using scheduler_test::outcome;

// A method with one outcome of the given distributions and cost 0.
std::string uncertain(const std::string& label, const std::string& quality, const std::string& duration,
                      const std::string& extra = "") {
  return "(spec_method (label " + label + ") (agent A) (supertasks G) " + extra + " (outcomes " +
         outcome(quality, duration, "0 1") + "))\n";
}

std::string pairs(Distribution& d) {
  std::string text;
  d.print_to_string(text);
  return text;
}

class Analysis : public scheduler_test::PreparedRound {
 protected:
  void TearDown() override {
    schedules.clear();
    PreparedRound::TearDown();
  }

  // A schedule of the methods in this order, as the analyzer reads it.
  Schedule* schedule_of(std::initializer_list<const char*> ids) {
    auto s = std::make_unique<Schedule>();
    for (const char* id : ids) {
      auto* e = new ScheduleElement;
      e->method_id = id;
      e->method_to_execute = static_cast<Method*>(task_named(id));
      s->timeline_schedule.add(e);
    }
    s->quality.append(1.0f, 7.0f);
    schedules.push_back(std::move(s));
    return schedules.back().get();
  }

  int analyse(Schedule* s) { return analyse_with(analyzer, s); }
  int analyse_with(CBranchAnalyzer& by, Schedule* s) {
    testing::internal::CaptureStderr();
    int done = by.compute_schedules_statistics(scheduler, s);
    err = testing::internal::GetCapturedStderr();
    return done;
  }

  // "id probability" of each leaf, in list order.
  std::vector<std::string> leaves() {
    std::vector<std::string> out;
    for (long i = 0; i < analyzer.final_nodes.length(); i++) {
      char p[32];
      snprintf(p, sizeof p, " %.2f", analyzer.final_nodes.get(i)->prob_of_this_branch);
      out.push_back(analyzer.final_nodes.get(i)->for_task + p);
    }
    return out;
  }

  CBranchAnalyzer analyzer;
  std::vector<std::unique_ptr<Schedule>> schedules;
};

struct SplitCase {
  const char* name;
  std::string text;
  bool both;
  std::vector<std::string> leaves;
  const char* quality;
};

TEST_F(Analysis, SplitsOnFailureAndMergesTheLeavesByPathProbability) {
  const SplitCase cases[] = {
      {"a method failing one time in five",
       uncertain("a", "0 0.2 10 0.8", "1 1") + method("b", "G", 5, 1, 0),
       true,
       {"b.follows_success 0.80", "b.follows_failure 0.20"},
       "(0.20 5.00)(0.80 15.00)"},
      {"a method of certain quality zero",
       uncertain("a", "0 1", "1 1") + method("b", "G", 5, 1, 0),
       true,
       {"b.follows_failure 1.00"},
       "(1.00 5.00)"},
      {"a deadline missed with probability 0.3",
       uncertain("a", "10 1", "5 0.7 10 0.3", "(deadline 6)") + method("b", "G", 5, 1, 0),
       true,
       {"b.follows_success 0.70", "b.follows_failure 0.30"},
       "(0.30 5.00)(0.70 15.00)"},
      {"a chain that never splits",
       method("a", "G", 4, 1, 0) + method("b", "G", 6, 1, 0),
       true,
       {"b.follows_no_split 1.00"},
       "(1.00 10.00)"},
      {"one method", method("a", "G", 4, 1, 0) + method("b", "G", 6, 1, 0), false, {"a.start 1.00"}, "(1.00 4.00)"},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    prepare(std::string(AGENT_A) + group("G", "a b", "q_sum") + c.text);
    Schedule* s = c.both ? schedule_of({"a", "b"}) : schedule_of({"a"});
    ASSERT_EQ(analyse(s), 1);
    EXPECT_EQ(leaves(), c.leaves);
    EXPECT_EQ(pairs(s->quality), c.quality);
    // The builder's estimate is kept in the notes.
    EXPECT_NE(s->annotations.find("\tQ distribution computed using the standard (cheap) methods\n\t(1.00 7.00)"
                                  "\tExpected value 7.000000\n"),
              std::string::npos);
  }
}

// Each leaf holds the quality over every task group, not the last method's group alone:
// B's 5 counts on both paths whatever the order.
TEST_F(Analysis, LeavesHoldTheQualityOfAllTaskGroups) {
  prepare(std::string(AGENT_A) + group("G1", "A", "q_sum") + group("G2", "B", "q_sum") +
          "(spec_method (label A) (agent A) (supertasks G1) (outcomes " + outcome("0 0.2 10 0.8", "5 1", "0 1") +
          "))\n" + method("B", "G2", 5, 3, 0));
  Schedule* a_then_b = schedule_of({"A", "B"});
  ASSERT_EQ(analyse(a_then_b), 1);
  EXPECT_EQ(leaves(), (std::vector<std::string>{"B.follows_success 0.80", "B.follows_failure 0.20"}));
  EXPECT_EQ(pairs(a_then_b->quality), "(0.20 5.00)(0.80 15.00)");
  EXPECT_FLOAT_EQ(a_then_b->quality.get_expected_value(), 13.0f);
  Schedule* b_then_a = schedule_of({"B", "A"});
  ASSERT_EQ(analyse(b_then_a), 1);
  EXPECT_EQ(pairs(b_then_a->quality), "(0.20 5.00)(0.80 15.00)");
  Schedule* a_alone = schedule_of({"A"});
  ASSERT_EQ(analyse(a_alone), 1);
  EXPECT_EQ(pairs(a_alone->quality), "(0.20 0.00)(0.80 10.00)");
}

// The tree is recomputed without the value of kept commitments, so a schedule whose
// quality that value raised keeps its estimate; one it left alone is analysed.
TEST_F(Analysis, SchedulesRaisedByKeptCommitmentsKeepTheirEstimate) {
  prepare(std::string(AGENT_A) + group("G", "A B", "q_sum") + uncertain("A", "0 0.2 5 0.8", "5 1") +
          method("B", "G", 4, 3, 0) +
          "(spec_commitment (label C) (type deadline) (agent A) (task A) (importance 1) (minimum_quality 1) "
          "(earliest_start_time -9) (deadline 20) (time_satisfied -9) "
          "(spec_attributes (quality_for_commitment_satisfaction 3 1)))\n");
  Alternative plan;
  plan.of_task = "plan";
  auto built = [&](std::initializer_list<const char*> ids) {
    plan.method_list.delete_list(0);
    for (const char* id : ids) plan.method_list.append(task_named(id));
    DecisionPoint* meta = scheduler->dp_to_meta_root;
    scheduler->reset_all_dp_variables_prior_to_scheduling(meta, meta);
    testing::internal::CaptureStderr();
    Schedule* s = scheduler->heuristically_build_schedule_for_given_alternative(meta, &plan);
    testing::internal::GetCapturedStderr();
    return s;
  };
  Schedule* both = built({"A", "B"});
  ASSERT_EQ(pairs(both->quality), "(0.20 4.00)(0.80 12.00)");
  EXPECT_EQ(analyse(both), 0);
  EXPECT_NE(err.find("Warning, CBranchAnalyzer is trying to create the analysis tree for a schedule whose quality "
                     "includes the value of kept commitments."),
            std::string::npos);
  EXPECT_NE(err.find("Warning, due to the use of features unsupported by the advanced analyzer"), std::string::npos);
  EXPECT_EQ(pairs(both->quality), "(0.20 4.00)(0.80 12.00)");
  EXPECT_FLOAT_EQ(both->prob_expected_q_or_better, 0.8f);

  Schedule* a_alone = built({"A"});
  ASSERT_EQ(pairs(a_alone->quality), "(0.20 0.00)(0.80 8.00)");
  EXPECT_EQ(analyse(a_alone), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(pairs(a_alone->quality), "(0.20 0.00)(0.80 8.00)");

  Schedule* b_alone = built({"B"});
  EXPECT_EQ(analyse(b_alone), 1);
  EXPECT_EQ(pairs(b_alone->quality), "(1.00 4.00)");
  plan.method_list.delete_list(0);
}

TEST_F(Analysis, AFailingMethodThatConsumesWhatTheNextNeedsStillGivesBothBranches) {
  prepare(std::string(AGENT_A) + group("G", "a b", "q_sum") + uncertain("a", "0 0.5 10 0.5", "1 1") +
          method("b", "G", 5, 1, 0) +
          "(spec_consumable_resource (label fuel) (agent A) (state 5) (depleted_at 0) (overloaded_at 50))\n"
          "(spec_uses (label U1) (agent A) (from a) (to fuel) (consumes 5 1))\n"
          "(spec_uses (label U2) (agent A) (from b) (to fuel) (consumes 5 1))\n");
  Schedule* s = schedule_of({"a", "b"});
  ASSERT_EQ(analyse(s), 1);
  EXPECT_EQ(leaves(), (std::vector<std::string>{"b.follows_success 0.50", "b.follows_failure 0.50"}));
  EXPECT_FLOAT_EQ(s->quality.get_density_sum(), 1.0f);
}

TEST_F(Analysis, ASecondAnalysisKeepsOnlyItsOwnLeaves) {
  prepare(std::string(AGENT_A) + group("G", "a b", "q_sum") + uncertain("a", "0 0.2 10 0.8", "1 1") +
          method("b", "G", 5, 1, 0));
  ASSERT_EQ(analyse(schedule_of({"a", "b"})), 1);
  ASSERT_EQ(analyse(schedule_of({"b", "a"})), 1);
  EXPECT_EQ(leaves(), (std::vector<std::string>{"a.follows_no_split 1.00"}));
}

TEST_F(Analysis, RefusedSchedulesKeepTheirEstimateAndWarnOncePerProcess) {
  struct Refusal {
    const char* name;
    std::string text;
    bool outcomes_warning;
  };
  const Refusal cases[] = {
      {"two outcomes",
       group("G", "a", "q_sum") + "(spec_method (label a) (agent A) (supertasks G) (outcomes " + outcome("4 1", "1 1", "0 1", "x", "0.5") +
           outcome("6 1", "1 1", "0 1", "y", "0.5") + "))\n",
       true},
      {"a weighting factor of 0.5 above the method",
       "(spec_task_group (spec_attributes (weighting_factor 0.5)) (label G) (agent A) (subtasks a) (qaf q_sum))\n" +
           method("a", "G", 4, 1, 0),
       false},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    prepare(std::string(AGENT_A) + c.text);
    Schedule* first = schedule_of({"a"});
    EXPECT_EQ(analyse(first), 0);
    EXPECT_EQ(err.find("multiple outcomes") != std::string::npos, c.outcomes_warning);
    EXPECT_NE(err.find("Warning, due to the use of features unsupported by the advanced analyzer"), std::string::npos);
    EXPECT_EQ(pairs(first->quality), "(1.00 7.00)");
    EXPECT_EQ(first->annotations, "");
    EXPECT_EQ(analyse(schedule_of({"a"})), 0);
    EXPECT_EQ(err, "");
  }
}

// Thirteen methods that may fail make 2^12 leaves, the most analysed; fourteen keep the
// builder's estimate, with one warning per process.
TEST_F(Analysis, CapsTheTreeAt4096Leaves) {
  const int counts[] = {13, 14};
  for (int n : counts) {
    SCOPED_TRACE(n);
    TearDown();
    SetUp();
    std::string ids, methods;
    std::vector<std::string> order;
    for (int i = 0; i < n; i++) {
      order.push_back("m" + std::to_string(i));
      ids += order.back() + " ";
      methods += uncertain(order.back(), "0 0.5 1 0.5", "1 1");
    }
    prepare(std::string(AGENT_A) + group("G", ids, "q_sum_all") + methods);
    auto schedule = [&] {
      Schedule* s = schedule_of({});
      for (const std::string& id : order) {
        auto* e = new ScheduleElement;
        e->method_id = id;
        e->method_to_execute = static_cast<Method*>(task_named(id));
        s->timeline_schedule.add(e);
      }
      return s;
    };
    Schedule* s = schedule();
    if (n == 13) {
      EXPECT_EQ(analyse(s), 1);
      EXPECT_EQ(analyzer.final_nodes.length(), 4096);
      continue;
    }
    EXPECT_EQ(analyse(s), 0);
    EXPECT_NE(err.find("more than 4096 success/failure branches"), std::string::npos);
    EXPECT_EQ(pairs(s->quality), "(1.00 7.00)");
    EXPECT_EQ(s->annotations, "");
    EXPECT_EQ(analyse(schedule()), 0);
    EXPECT_EQ(err, "");
  }
}

// Three methods that may fail in a tree of five decision points: seven nodes, the first
// recomputing the tree twice and the others three times, 100 steps in all. One step fewer
// stops the walk: the estimate stays, the nodes are freed, the warning names the bound.
TEST_F(Analysis, StopsTheWalkPastItsBoundOnDecisionPointSteps) {
  prepare(std::string(AGENT_A) + group("G", "a b c", "q_sum_all") + uncertain("a", "0 0.5 1 0.5", "1 1") +
          uncertain("b", "0 0.5 1 0.5", "1 1") + uncertain("c", "0 0.5 1 0.5", "1 1"));
  CBranchAnalyzer at_the_bound(100);
  Schedule* analysed = schedule_of({"a", "b", "c"});
  EXPECT_EQ(analyse_with(at_the_bound, analysed), 1);
  EXPECT_EQ(at_the_bound.final_nodes.length(), 4);
  EXPECT_EQ(err, "");
  EXPECT_EQ(pairs(analysed->quality), "(0.12 0.00)(0.38 1.00)(0.38 2.00)(0.12 3.00)");
  // The leaves stand alone: the nodes above them were freed as the walk left them.
  for (long i = 0; i < at_the_bound.final_nodes.length(); i++) EXPECT_EQ(at_the_bound.final_nodes.get(i)->prev, nullptr);

  CBranchAnalyzer below(99);
  Schedule* refused = schedule_of({"a", "b", "c"});
  EXPECT_EQ(analyse_with(below, refused), 0);
  EXPECT_NE(err.find("Warning, a schedule has more than 99 decision-point steps to recompute; the advanced "
                     "analyzer\nkeeps its original estimate.\n"),
            std::string::npos);
  EXPECT_EQ(below.final_nodes.length(), 0);
  EXPECT_EQ(pairs(refused->quality), "(1.00 7.00)");
  EXPECT_EQ(refused->annotations, "");
  EXPECT_EQ(analyse_with(below, schedule_of({"a", "b", "c"})), 0);
  EXPECT_EQ(err, "");
}

// What the walk leaves in the tree, the counters taken from the analysis's first.
std::vector<std::string> tree_state(DecisionPoint* dp, int first_counter) {
  std::vector<std::string> out;
  std::vector<DecisionPoint*> pending{dp};
  while (!pending.empty()) {
    DecisionPoint* d = pending.back();
    pending.pop_back();
    char line[96];
    snprintf(line, sizeof line, " t %a counter %d locked %d", d->time_task_or_method_gets_quality,
             d->working_change_counter == 0 ? 0 : d->working_change_counter - first_counter,
             d->working_values_are_locked);
    out.push_back(d->of_task + line + pairs(d->working_quality) + pairs(d->working_cost) +
                  pairs(d->working_duration));
    for (long i = 0; i < d->subs.length(); i++) pending.push_back(d->subs.get(i));
  }
  return out;
}

// A subtree that reads nothing from outside and that the walk has not touched since its
// last recomputation is left as it is: the analysis gives the same quality, the same
// tree and the same count of combine operations as when every recomputation makes every
// step. Quiet subtrees that hold a placed method, a nested quiet task, a seq_sum or a
// deadline sit beside parts the shortcut must not take: an effect, a resource, a method
// under two parents.
TEST_F(Analysis, LeavesQuietSubtreesAsTheyAreUntilTheWalkTouchesThem) {
  using scheduler_test::task;
  const std::string fail = "0 0.3 6 0.7";
  const std::string beside = uncertain("a", fail, "2 1") + uncertain("b", "0 0.5 4 0.5", "1 1") +
                             method("c", "G", 3, 2, 1) + uncertain("d", fail, "3 1") + method("e", "G", 1, 1, 0);
  auto x_methods = [](const std::string& parent, int from, int to) {
    std::string text;
    for (int i = from; i <= to; i++) text += method("x" + std::to_string(i), parent, float(i), float(i % 3 + 1), 0);
    return text;
  };
  struct QuietCase {
    const char* name;
    std::string text;
    std::initializer_list<const char*> order;
  };
  const QuietCase cases[] = {
      {"a q_max task of methods, one of them placed after two splits",
       group("G", "a b c d e X", "q_sum_all") + beside + task("X", "G", "x1 x2 x3 x4 x5 x6", "q_max") +
           x_methods("X", 1, 6),
       {"a", "b", "x4", "c", "d", "e"}},
      {"nested quiet tasks, a seq_sum among them, and a placed method with a deadline",
       group("G", "a b c d e X", "q_sum_all") + beside + task("X", "G", "x1 x2 Y Z", "q_max") +
           task("Y", "X", "x3 x4 x5", "q_sum") + task("Z", "X", "x6 x7", "q_seq_sum") + x_methods("X", 1, 2) +
           x_methods("Y", 3, 5) + x_methods("Z", 6, 6) +
           "(spec_method (label x7) (agent A) (supertasks Z) (deadline 9) (outcomes " + outcome("5 1", "2 0.5 30 0.5", "0 1") +
           "))\n",
       {"a", "x7", "b", "x3", "c", "d", "e"}},
      {"an effect from a placed method into the q_max task, and a method that uses a resource",
       group("G", "a b c d e X W Q", "q_sum_all") + beside + task("X", "G", "x1 x2 x3 x4", "q_max") +
           x_methods("X", 1, 4) + task("Q", "G", "x8 x9", "q_max") + x_methods("Q", 8, 9) +
           task("W", "G", "x5 x6 x7", "q_min") + x_methods("W", 5, 7) +
           "(spec_facilitates (label F) (agent A) (from b) (to x2) (quality_power 0.5 1) (duration_power 0.2 1) "
           "(cost_power 0 1) (delay 0 1))\n"
           "(spec_consumable_resource (label fuel) (agent A) (state 10) (depleted_at 0) (overloaded_at 50))\n"
           "(spec_uses (label U) (agent A) (from x6) (to fuel) (consumes 4 1))\n",
       {"a", "x2", "b", "x6", "c", "d", "e"}},
      {"a method under two parents",
       group("G", "a b c d e X V Q", "q_sum_all") + beside + task("X", "G", "x1 x2 x3", "q_max") +
           task("Q", "G", "x8 x9", "q_max") + x_methods("Q", 8, 9) +
           task("V", "G", "x3 x4", "q_sum") + x_methods("X", 1, 2) +
           "(spec_method (label x3) (agent A) (supertasks X V) (outcomes " + outcome("0 0.5 3 0.5", "2 1", "0 1") +
           "))\n" + x_methods("V", 4, 4),
       {"a", "x3", "b", "c", "d", "e"}},
  };
  for (const QuietCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    prepare(std::string(AGENT_A) + c.text);
    ASSERT_EQ(err.find("rror"), std::string::npos) << err;
    std::vector<std::string> quality, notes, state;
    std::vector<std::vector<std::string>> leaf_lists;
    std::vector<long> combines;
    for (bool settle : {false, true}) {
      CBranchAnalyzer by(CBranchAnalyzer::MAX_DECISION_POINT_STEPS, settle);
      Schedule* s = schedule_of(c.order);
      int first_counter = scheduler->global_working_change_counter;
      long before = Distribution::report_total_number_of_combine_operations();
      ASSERT_EQ(analyse_with(by, s), 1);
      combines.push_back(Distribution::report_total_number_of_combine_operations() - before);
      quality.push_back(pairs(s->quality));
      notes.push_back(s->annotations);
      state.push_back("");
      for (const std::string& line : tree_state(scheduler->dp_to_meta_root, first_counter)) state.back() += line + "\n";
      std::vector<std::string> ids;
      for (long i = 0; i < by.final_nodes.length(); i++) ids.push_back(by.final_nodes.get(i)->for_task);
      leaf_lists.push_back(ids);
      EXPECT_EQ(by.quiet_subtrees_left_as_they_were > 0, settle);
    }
    EXPECT_EQ(quality[0], quality[1]);
    EXPECT_EQ(notes[0], notes[1]);
    EXPECT_EQ(state[0], state[1]);
    EXPECT_EQ(leaf_lists[0], leaf_lists[1]);
    EXPECT_EQ(combines[0], combines[1]);
    EXPECT_GT(leaf_lists[0].size(), 4u);
  }
}

}  // namespace
