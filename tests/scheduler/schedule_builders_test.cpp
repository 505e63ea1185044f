// The builders: greedy builds element by element, the loop's stop rules, the exhaustive
// orderings, placing and refusing a method, the tree reset with executed methods, and the
// quality satisfied commitments add.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "foundation/fatal_stop.h"
#include "foundation/foundation_test_support.h"
#include "language/vorna_io_test_support.h"
#include "model/distribution_test_support.h"
#include "scheduler_test_support.h"

using distribution_test::pairs_of;
using foundation_test::stderr_of;
using scheduler_test::AGENT_A;
using scheduler_test::group;
using scheduler_test::method;
using testing::HasSubstr;

namespace {

// Each element as "id start-finish", the times read as expected values.
std::string timeline_of(Schedule& s) {
  std::string out;
  for (long i = 0; i < s.timeline_schedule.length(); i++) {
    ScheduleElement* e = s.timeline_schedule.get(i);
    char text[160];
    snprintf(text, sizeof text, "%s%s %g-%g", out.empty() ? "" : ", ", e->method_id.c_str(),
             e->start_time_distribution.get_expected_value(), e->finish_time_distribution.get_expected_value());
    out += text;
  }
  return out;
}

// The ids of the timeline, one after the other.
std::string ids_of(Schedule& s) {
  std::string out;
  for (long i = 0; i < s.timeline_schedule.length(); i++) out += s.timeline_schedule.get(i)->method_id;
  return out;
}

class Builders : public scheduler_test::PreparedRound {
 protected:
  void TearDown() override {
    alt.method_list.delete_list(0);
    PreparedRound::TearDown();
  }
  // An alternative of these methods, in this order.
  Alternative* planned(const std::vector<const char*>& ids) {
    alt.method_list.delete_list(0);
    for (const char* id : ids) alt.method_list.append(task_named(id));
    alt.of_task = "plan";
    return &alt;
  }
  // The loop's reset, then the greedy build of those methods.
  Schedule* build(const std::vector<const char*>& ids) {
    DecisionPoint* meta = scheduler->dp_to_meta_root;
    scheduler->reset_all_dp_variables_prior_to_scheduling(meta, meta);
    Schedule* s = nullptr;
    err = stderr_of([&] { s = scheduler->heuristically_build_schedule_for_given_alternative(meta, planned(ids)); });
    return s;
  }
  Alternative alt;
};

const std::string HAS_GROUP = std::string(AGENT_A);

TEST_F(Builders, GreedyBuildsPlaceEachElementInTime) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<const char*> plan;
    const char* expected;
  };
  const std::string enabling = group("G", "E M F", "q_sum") + method("E", "G", 10, 2, 0) + method("M", "G", 5, 1, 0) +
                               method("F", "G", 5, 2, 0) +
                               "(spec_enables (label EM) (agent A) (from E) (from_outcome o) (to M) (delay 3 1))\n";
  Case cases[] = {
      {"the better quality first, back to back",
       group("G", "a b", "q_sum") + method("a", "G", 5, 3, 0) + method("b", "G", 10, 2, 0), {"a", "b"},
       "b 0-2, a 2-5"},
      {"twins: the later in the plan first",
       group("G", "a b", "q_sum") + method("a", "G", 5, 2, 0) + method("b", "G", 5, 2, 0), {"a", "b"},
       "b 0-2, a 2-4"},
      // Number 0 went to the slack the rating tried.
      {"waiting for the earliest start", group("G", "m", "q_sum") + method("m", "G", 5, 2, 0, "(earliest_start_time 4)"),
       {"m"}, "Slack_MyTime_1 0-4, m 4-6"},
      // M waits for E's result until 5; F fills the time between.
      {"an enabler, a filler, then the enabled", enabling, {"E", "M", "F"}, "E 0-2, F 2-4, Slack_MyTime_2 4-5, M 5-6"},
      // The promise of r arrives at 1, before a may start at 3.
      {"another agent's method due earlier",
       group("G", "a r", "q_sum") + method("a", "G", 5, 2, 0, "(earliest_start_time 3)") +
           method("r", "G", 5, 2, 0, "(method_is_non_local)") +
           "(spec_nonlocal_commitment (label R) (task r) (from_agent B) (to_agent A) (quality_distribution 7 1) "
           "(time_distribution 1 1))\n",
       {"a", "r"}, "Slack_MyTime_1 0-1, r 1-1, Slack_MyTime_3 1-3, a 3-5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prepare(HAS_GROUP + c.text);
    Schedule* s = build(c.plan);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(timeline_of(*s), c.expected);
    EXPECT_EQ(s->id, "SCHEDULE_plan");
    EXPECT_EQ(scheduler->good_schedules.get(scheduler->good_schedules.length() - 1), s);
    TearDown();
    SetUp();
  }
}

TEST_F(Builders, NotesOfAGreedyBuild) {
  std::string late = "(spec_method (label m) (agent A) (supertasks G) (deadline 4) (outcomes " +
                     scheduler_test::outcome("10 1", "2 0.75 6 0.25", "0 1") + "))\n";
  prepare(HAS_GROUP + group("G", "m z", "q_sum") + late + method("z", "G", 0, 1, 0));
  Schedule* s = build({"m", "z"});
  ASSERT_EQ(s->timeline_schedule.length(), 1);
  // One finish in four is after the deadline.
  EXPECT_EQ(pairs_of(s->timeline_schedule.get(0L)->quality), "(0.25 0.00)(0.75 10.00)");
  // The last pass rated only z; the plan heads its notes.
  EXPECT_EQ(s->annotations_from_last_method_rating_run,
            "\tMethods attempted to schedule: \tm z \n"
            "\tMethod z was unschedule-able because FAILED_DUE_TO_ZERO_INITIAL_QUALITY.\n");
  EXPECT_EQ(s->annotations, "\tBefore adding in commitment value schedule's quality was (0.25 0.00)(0.75 10.00)\n");
}

TEST_F(Builders, ASequenceOutOfOrderIsRatedOnceMore) {
  prepare(HAS_GROUP + group("G", "a b", "q_seq_sum") + method("a", "G", 5, 1, 0) + method("b", "G", 5, 1, 0));
  Schedule schedule;
  schedule.cost.replace_with(1.0f, 0.0f);
  schedule.alt_schedule_is_for = planned({"b", "a"});
  TaskList waiting;
  waiting.append(task_named("b"));
  waiting.append(task_named("a"));
  Method* chosen = scheduler->get_method_with_higest_rating(schedule, waiting);
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->id, "a");
  EXPECT_EQ(node("b")->method_rating, -5.0f);
  std::string notes = schedule.annotations_from_last_method_rating_run;
  const std::string again = "\tIterated for seq-sum checking.\n";
  EXPECT_EQ(notes.find(again), notes.rfind(again));
  EXPECT_NE(notes.find(again), std::string::npos);
  waiting.delete_list(0);
}

class Loop : public Builders {
 protected:
  std::string run(int target) {
    scheduler->set_max_num_schedules(target);
    int monitor = 0;
    return stderr_of([&] {
      scheduler->create_schedules_for_task_group_using_alternatives(scheduler->dp_to_meta_root, monitor,
                                                                    scheduler->criteria_bundle);
    });
  }
  // A fresh round from another text.
  void again(const std::string& text) {
    TearDown();
    SetUp();
    prepare(text);
  }
  long scheduled() {
    long n = 0;
    for (long i = 0; i < root_alternatives().length(); i++) n += root_alternatives().get(i)->already_been_scheduled;
    return n;
  }
};

const char* const WARNING = "\nDue to a large percentage of poor schedules,\ngoing over the specified target # of schedules.\n\n";

TEST_F(Loop, StopsWhenOutOfAlternativesAtTheTargetOrAtFourTimesIt) {
  // Three methods without quality give seven alternatives and only empty schedules.
  prepare(HAS_GROUP + group("G", "a b c", "q_sum") + method("a", "G", 0, 1, 0) + method("b", "G", 0, 1, 0) +
          method("c", "G", 0, 1, 0));
  ASSERT_GE(root_alternatives().length(), 5);
  EXPECT_EQ(run(1), std::string("Building schedule #1\n") + WARNING +
                        "Building schedule #2\nBuilding schedule #3\nBuilding schedule #4\n"
                        "Built num_schedules * multiple_for_zero_q to make\n");
  EXPECT_EQ(scheduled(), 4);
  EXPECT_EQ(scheduler->good_schedules.number_with_non_zero_q(), 0);

  again(HAS_GROUP + group("G", "a b", "q_sum") + method("a", "G", 5, 1, 0) + method("b", "G", 6, 1, 0));
  long n = root_alternatives().length();
  std::string all = run(-1);
  EXPECT_EQ(scheduled(), n);
  EXPECT_EQ(scheduler->good_schedules.length(), n);
  EXPECT_THAT(all, testing::EndsWith("Building schedule #" + std::to_string(n) + "\nExit cond is best_alt == NULL\n"));
  EXPECT_EQ(all.find("Due to"), std::string::npos);

  again(HAS_GROUP + group("G", "a b", "q_sum") + method("a", "G", 5, 1, 0) + method("b", "G", 6, 1, 0));
  EXPECT_EQ(run(1), "Building schedule #1\nBuilt num_schedules to make\n");

  root_alternatives().delete_list(1);
  scheduler->good_schedules.delete_list(1);
  EXPECT_EQ(run(3), "Building schedule #0\nExit cond is best_alt == NULL\n");

  again(HAS_GROUP + group("G", "a b", "q_sum") + method("a", "G", 5, 1, 0) + method("b", "G", 6, 1, 0));
  Scheduler::silent = 1;
  EXPECT_EQ(run(1), "");
  Scheduler::silent = 0;

  scheduler->method_scheduling_mode = ScheduleMethodsExhaustively;
  EXPECT_DEATH(scheduler->build_schedule_for_given_alternative(scheduler->dp_to_meta_root, planned({"a"})),
               "Error, mode was ScheduleMethodsExhaustively but alternative mechanism was used.\n");
}

class Exhaustive : public Builders {
 protected:
  std::vector<std::string> built_ids() {
    std::vector<std::string> out;
    for (long i = 0; i < scheduler->good_schedules.length(); i++) out.push_back(ids_of(*scheduler->good_schedules.get(i)));
    return out;
  }
};

TEST_F(Exhaustive, ThePureModeBuildsEveryOrderingOfEverySubset) {
  scheduler_test::PreparedRound::read(HAS_GROUP + group("G", "a b c", "q_sum") + method("a", "G", 1, 1, 0) +
                                      method("b", "G", 2, 1, 0) + method("c", "G", 3, 1, 0));
  scheduler->set_method_scheduling_mode(ScheduleMethodsExhaustively);
  build_trees();
  generate();
  int monitor = 0;
  err = stderr_of([&] {
    scheduler->create_schedules_for_task_group_exhaustively(scheduler->dp_to_meta_root, monitor,
                                                            scheduler->criteria_bundle);
  });
  std::vector<std::string> names, sets;
  for (long i = 0; i < root_alternatives().length(); i++) {
    Alternative* a = root_alternatives().get(i);
    names.push_back(a->of_task);
    std::string ids;
    a->method_list.string_print_task_ids_on_one_line(ids);
    sets.push_back(ids);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"root_exhaustive_0", "root_exhaustive_1", "root_exhaustive_2",
                                             "root_exhaustive_3", "root_exhaustive_4", "root_exhaustive_5",
                                             "root_exhaustive_6"}));
  EXPECT_EQ(sets, (std::vector<std::string>{"c ", "b ", "b c ", "a ", "a c ", "a b ", "a b c "}));
  EXPECT_EQ(built_ids(), (std::vector<std::string>{"c", "b", "bc", "cb", "a", "ac", "ca", "ab", "ba", "abc", "acb",
                                                   "bac", "bca", "cab", "cba"}));
  EXPECT_EQ(scheduler->num_schedules_created, 15);
  EXPECT_THAT(err, HasSubstr("Building schedules, have built 15\n"));
  // No repairs in this mode.
  EXPECT_EQ(root_alternatives().length(), 7);
}

TEST_F(Exhaustive, OrderingsLeaveOutExecutedMethodsAndDropEmptySchedules) {
  scheduler_test::PreparedRound::read(HAS_GROUP + group("G", "x a b z", "q_sum") +
                                      method("x", "G", 3, 1, 0, "(start_time 0) (finish_time 1)") +
                                      method("a", "G", 1, 1, 0) + method("b", "G", 2, 1, 0) + method("z", "G", 0, 1, 0));
  scheduler->set_method_scheduling_mode(ScheduleMethodsExhaustively_via_Alternatives);
  build_trees();
  generate();
  std::string x_before = pairs_of(node("x")->working_quality);
  err = stderr_of([&] {
    scheduler->exhaustively_build_schedules_for_given_alternative(scheduler->dp_to_meta_root,
                                                                  planned({"x", "a", "b"}), 0);
  });
  EXPECT_EQ(built_ids(), (std::vector<std::string>{"ab", "ba"}));
  EXPECT_EQ(pairs_of(node("x")->working_quality), x_before);
  EXPECT_EQ(node("x")->time_task_or_method_gets_quality, 1.0f);
  EXPECT_EQ(timeline_of(*scheduler->good_schedules.get(1L)), "b 0-1, a 1-2");

  // z can only be refused: its one ordering leaves nothing, but it was made.
  int made = scheduler->num_schedules_created;
  err = stderr_of([&] {
    scheduler->exhaustively_build_schedules_for_given_alternative(scheduler->dp_to_meta_root, planned({"z"}), 0);
  });
  EXPECT_EQ(scheduler->good_schedules.length(), 2);
  EXPECT_EQ(scheduler->num_schedules_created, made + 1);
}

// Operations the round never calls: moving a method of a built schedule forward, the
// reduced rating that judges each move, and rating schedules against a client's bounds.
TEST_F(Builders, AMethodMovesForwardWhereItFitsAndClientBoundsRateSchedules) {
  prepare(HAS_GROUP + group("G", "a b E M L", "q_sum") + method("a", "G", 5, 3, 0) + method("b", "G", 10, 2, 0) +
          method("E", "G", 10, 2, 0) + method("M", "G", 5, 1, 0) +
          method("L", "G", 1, 1, 0, "(earliest_start_time 4)") +
          "(spec_enables (label EM) (agent A) (from E) (from_outcome o) (to M) (delay 0 1))\n");
  auto by_id = [this](const char* id) { return static_cast<Method*>(task_named(id)); };

  // The reduced rating: enables first, so M is refused before E, with or without delays.
  DecisionPoint* meta = scheduler->dp_to_meta_root;
  scheduler->reset_all_dp_variables_prior_to_scheduling(meta, meta);
  Schedule* empty = scheduler->begin_schedule_for_alternative(planned({"E", "M"}));
  for (int delays = 0; delays < 2; delays++) {
    SCOPED_TRACE(delays);
    EXPECT_EQ(scheduler->special_rate_method_for_contingency(*empty, by_id("E"), delays), 100000.0f);
    EXPECT_LT(scheduler->special_rate_method_for_contingency(*empty, by_id("M"), delays), 0.0f);
  }
  delete empty;

  // a moves to the front; the given schedule stays as it was.
  Schedule* s = build({"a", "b"});
  ASSERT_EQ(timeline_of(*s), "b 0-2, a 2-5");
  Schedule* moved = nullptr;
  err = stderr_of([&] { moved = scheduler->copy_schedule_and_move_method_forward(s, by_id("a"), 0); });
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(timeline_of(*moved), "a 0-3, b 3-5");
  EXPECT_EQ(moved->id, "Contingency_schedule_forSCHEDULE_plan");
  EXPECT_EQ(pairs_of(moved->quality), "(1.00 15.00)");
  EXPECT_EQ(timeline_of(*s), "b 0-2, a 2-5");
  delete moved;
  // M cannot come before its enabler, and there is no other place for it.
  s = build({"E", "M"});
  ASSERT_EQ(timeline_of(*s), "E 0-2, M 2-3");
  err = stderr_of([&] { moved = scheduler->copy_schedule_and_move_method_forward(s, by_id("M"), 1); });
  EXPECT_EQ(moved, nullptr);
  EXPECT_EXIT(scheduler->copy_schedule_and_move_method_forward(s, by_id("a"), 0), testing::ExitedWithCode(1),
              "Error, asked to move method but it is not in the scheudle\\.  The particulars are: \n");
  s = build({"L"});
  EXPECT_EXIT(scheduler->copy_schedule_and_move_method_forward(s, by_id("L"), 0), testing::ExitedWithCode(1),
              "Contingency on slack time methods not yet implemented\\.\n");

  // Client bounds: minimums above 0 count as 0, and a term outside [0, 1] earns nothing.
  ScheduleCriteriaBundle cb;
  cb.goodness_quality_slider = cb.goodness_duration_slider = 1.0f;
  cb.meta_goodness_slider = 1.0f;
  cb.total_up_slider_points();
  ScheduleList list;
  for (auto [id, q, d] : {std::tuple{"S1", 4.0f, 4.0f}, std::tuple{"S2", 12.0f, 6.0f}}) {
    Schedule* one = new Schedule;
    one->id = id;
    one->quality.replace_with(1.0f, q);
    one->cost.replace_with(1.0f, 0.0f);
    one->finish_time.replace_with(1.0f, d);
    list.append(one);
  }
  auto rate = [&](float maxq, float maxd) {
    MinMaxBundle bounds;
    bounds.minq = 5.0f;
    bounds.maxq = maxq;
    bounds.maxd = maxd;
    return stderr_of([&] { list.rate_schedules_and_sort(cb, scheduler->schedule_with, bounds); });
  };
  // S1: 4/16/2 + (8-4)/8/2; S2: 12/16/2 + (8-6)/8/2.
  EXPECT_EQ(rate(16.0f, 8.0f), "");
  EXPECT_EQ(list.get(0L)->id, "S2");
  EXPECT_EQ(list.get(0L)->rating, 0.5f);
  EXPECT_EQ(list.get(1L)->rating, 0.375f);
  // S2's quality term is 12/5/2.
  EXPECT_EQ(rate(5.0f, 8.0f), "Warning, client specified maxq for schedule rating is too low.\n");
  EXPECT_EQ(list.get(0L)->id, "S1");
  EXPECT_FLOAT_EQ(list.get(0L)->rating, 0.4f + 0.25f);
  EXPECT_EQ(list.get(1L)->rating, 0.125f);
  // S2 finishes after the given maximum: its quality term alone, 12/16/2.
  EXPECT_EQ(rate(16.0f, 5.0f), "Warning, client specified maxd for schedule rating is too low.\n");
  EXPECT_EQ(list.get(0L)->id, "S2");
  EXPECT_EQ(list.get(0L)->rating, 0.375f);
  EXPECT_FLOAT_EQ(list.get(1L)->rating, 0.125f + 0.1f);
  list.delete_list(1);
}

class Placement : public Builders {};

TEST_F(Placement, ARefusedMethodLeavesOnlyItsSlackAndGivesBackWhatItTook) {
  prepare(HAS_GROUP + group("G", "m n", "q_sum") +
          method("m", "G", 5, 2, 3, "(earliest_start_time 4) (deadline 3)") + method("n", "G", 4, 1, 1) +
          "(spec_consumable_resource (label fuel) (agent A) (state 10) (depleted_at 0))\n"
          "(spec_uses (label U) (agent A) (from m) (to fuel) (consumes 4 1))\n");
  DecisionPoint* meta = scheduler->dp_to_meta_root;
  scheduler->reset_all_dp_variables_prior_to_scheduling(meta, meta);
  Schedule* s = scheduler->begin_schedule_for_alternative(planned({"m", "n"}));
  scheduler->good_schedules.append(s);
  node("m")->earliest_method_may_be_scheduled = 4;
  float fuel = scheduler->working_resources.get("fuel")->get_resource_status();
  scheduler->add_method_to_schedule(*s, static_cast<Method*>(task_named("m")));
  EXPECT_EQ(timeline_of(*s), "Slack_MyTime_0 0-4");
  EXPECT_EQ(scheduler->end_of_the_current_working_schedule, 4.0f);
  EXPECT_EQ(scheduler->working_resources.get("fuel")->get_resource_status(), fuel);
  DecisionPoint* m = node("m");
  EXPECT_EQ(m->working_values_are_locked, 1);
  for (Distribution* d : {&m->working_quality, &m->working_cost, &m->working_duration})
    EXPECT_EQ(pairs_of(*d), "(1.00 0.00)");
  EXPECT_EQ(pairs_of(node("G")->working_cost), "(1.00 0.00)");
  EXPECT_EQ(pairs_of(node("G")->working_duration), "(1.00 0.00)");
  EXPECT_THAT(s->annotations_from_last_method_rating_run,
              HasSubstr("\tMethod m was unschedule-able because it hit add_method with zero quality.  **If"));

  scheduler->add_method_to_schedule(*s, static_cast<Method*>(task_named("n")));
  EXPECT_EQ(timeline_of(*s), "Slack_MyTime_0 0-4, n 4-5");
  EXPECT_EQ(pairs_of(node("G")->working_cost), "(1.00 1.00)");
}

TEST_F(Placement, TheRecomputationAfterTheFinishLeavesSettledSubtreesAsVisitingThemWould) {
  // A reads nothing the placement changes (its a2 reads b2, visited before it); B holds
  // the placed method; S is a sequence sum whose done child comes in time once b1 is done.
  const std::string powers = "(quality_power 0.5 1) (duration_power 0.3 1) (cost_power 0.3 1) (delay 0 1)";
  prepare(HAS_GROUP + group("G", "A B S", "q_sum") + scheduler_test::task("A", "G", "a1 a2", "q_max") +
          method("a1", "A", 5, 2, 1) + method("a2", "A", 3, 1, 1) + scheduler_test::task("B", "G", "b1 b2", "q_sum") +
          method("b1", "B", 4, 1, 1) + method("b2", "B", 6, 2, 1) + scheduler_test::task("S", "G", "s1", "q_seq_sum") +
          method("s1", "S", 2, 1, 1, "(start_time 0) (finish_time 0.5)") +
          "(spec_facilitates (label F) (agent A) (from b2) (from_outcome o) (to a2) " + powers + ")\n");
  DecisionPoint* meta = scheduler->dp_to_meta_root;
  scheduler->reset_all_dp_variables_prior_to_scheduling(meta, meta);
  Schedule* s = scheduler->begin_schedule_for_alternative(planned({"b1", "a1"}));
  scheduler->good_schedules.append(s);
  scheduler->add_method_to_schedule(*s, static_cast<Method*>(task_named("b1")));
  const Scheduler::PlacementLog& log = scheduler->placement_log;
  const MyTime end = scheduler->end_of_the_current_working_schedule;
  auto left = [&log, end](DecisionPoint* dp) {
    bool holds_placed = false;
    for (long at : log.placed_at) holds_placed |= at >= dp->placement_log_start && at < dp->placement_log_end;
    return dp->placement_log_pass == log.pass && dp->placement_log_settled && !holds_placed &&
           dp->placement_log_ends_from <= end && end < dp->placement_log_ends_to;
  };
  EXPECT_TRUE(left(node("A")));
  EXPECT_FALSE(left(node("B")));
  EXPECT_FALSE(left(node("S")));
  EXPECT_FALSE(left(node("G")));
  // What was left is marked as a visit marks it, and a recomputation without records
  // finds nothing to change and counts as many combines as the memo counts.
  for (const char* id : {"A", "a1", "a2"}) {
    EXPECT_EQ(node(id)->working_change_counter, scheduler->global_working_change_counter) << id;
    EXPECT_EQ(node(id)->end_at_last_step, scheduler->end_of_the_current_working_schedule) << id;
  }
  const char* ids[] = {"G", "A", "a1", "a2", "B", "b2", "S"};
  auto state = [&]() {
    std::string out;
    for (const char* id : ids) {
      DecisionPoint* dp = node(id);
      char time[32];
      snprintf(time, sizeof time, " %a ", dp->time_task_or_method_gets_quality);
      out += std::string(id) + time + pairs_of(dp->working_quality) + pairs_of(dp->working_cost) +
             pairs_of(dp->working_duration) + "\n";
    }
    return out;
  };
  const std::string placed = state();
  long start = Distribution::report_total_number_of_combine_operations();
  scheduler->global_working_change_counter++;
  scheduler->recalculate_trees_of_task(node("b1"));
  long with_records = Distribution::report_total_number_of_combine_operations() - start;
  scheduler->global_working_change_counter++;
  scheduler->calculate_working_qdc_for_task_or_method_and_all_subs(node("G"), 0);
  EXPECT_EQ(state(), placed);
  EXPECT_EQ(Distribution::report_total_number_of_combine_operations() - start - with_records, with_records);
}

TEST_F(Placement, CommitmentQualityRaisesTheElementOnceAndExecutedMethodsStayPinned) {
  prepare(HAS_GROUP + group("G", "m done", "q_sum") + method("m", "G", 10, 2, 0) +
          method("done", "G", 3, 1, 0, "(start_time 0) (finish_time 1)") +
          "(spec_commitment (label C) (type deadline) (task m) (importance 1) (minimum_quality 0) "
          "(earliest_start_time -9) (deadline 12) (time_satisfied -9))\n"
          "(spec_commitment (label K) (type deadline) (task done) (importance 1) (minimum_quality 0) "
          "(earliest_start_time -9) (deadline 12) (time_satisfied -9))\n");
  for (long i = 0; i < scheduler->all_local_commitments.length(); i++)
    scheduler->all_local_commitments.get(i)->as_local()->quality_for_commitment_satisfaction.replace_with(1.0f, 5.0f);
  for (int round = 0; round < 2; round++) {
    SCOPED_TRACE(round);
    Schedule* s = build({"m"});
    ASSERT_EQ(s->timeline_schedule.length(), 1);
    EXPECT_EQ(pairs_of(s->timeline_schedule.get(0L)->quality), "(1.00 15.00)");
    EXPECT_EQ(s->annotations_from_last_method_rating_run,
              "\tMethods attempted to schedule: \tm \n"
              "\tMethod m had quality increased due to commitment satisfaction.\n"
              "\t the element's q before was (1.00 10.00)\n");
    EXPECT_EQ(s->num_satisfied_local_commitments, 2);
    // The executed method's node is back at its pinned value after the next reset.
    DecisionPoint* meta = scheduler->dp_to_meta_root;
    scheduler->reset_all_dp_variables_prior_to_scheduling(meta, meta);
    EXPECT_EQ(pairs_of(node("done")->working_quality), "(1.00 3.00)");
    EXPECT_EQ(node("done")->time_task_or_method_gets_quality, 1.0f);
  }
}

}  // namespace
