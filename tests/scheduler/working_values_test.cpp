// Working quality, cost and duration: each accumulation function, weighting, commitment
// quality, the memo, and the what-if pair.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "language/vorna_io_test_support.h"
#include "scheduler/method_rating_support.h"
#include "scheduler_test_support.h"

using scheduler_test::AGENT_A;
using scheduler_test::group;
using scheduler_test::method;
using scheduler_test::task;

namespace {

std::string pairs(Distribution& d) { return vorna_io_test::pairs(d); }

// Finished methods are pinned to their outcome, so their parent folds known values.
std::string finished(const std::string& label, const std::string& super, float q, float d, float c, float at) {
  return method(label, super, q, d, c, "(start_time 0) (finish_time " + std::to_string(at) + ")");
}

class WorkingValues : public scheduler_test::PreparedRound {
 protected:
  void recompute() {
    scheduler->global_working_change_counter++;
    scheduler->calculate_working_qdc_for_task_or_method_and_all_subs(scheduler->dp_to_meta_root, 0);
  }
  // m waits under an effect from a, done at 0, and under a sequence-sum task S, whose
  // quality depends on the end of the schedule; more_subs and more_forms add to G.
  void prepare_effect_over_sequence(const std::string& more_subs = "", const std::string& more_forms = "");
};

TEST_F(WorkingValues, EachAccumulationFunctionFoldsTheChildrenInOrder) {
  // m1 (q 10, d 2, c 1, done at 2) and m2 (q 20, d 3, c 2, done at 5) under P.
  struct Case {
    const char* name;
    std::string qaf;
    std::string children;
    float end_of_schedule;
    const char* quality;
    const char* cost;
    const char* duration;
  };
  std::string both = finished("m1", "P", 10, 2, 1, 2) + finished("m2", "P", 20, 3, 2, 5);
  std::string one_of_four = finished("m1", "P", 10, 2, 1, 2) + method("u1", "P", 1, 1, 0) +
                            method("u2", "P", 1, 1, 0) + method("u3", "P", 1, 1, 0);
  const char* certain_30 = "{ (1.000000 30.000000) }";
  Case cases[] = {
      {"sum", "q_sum", both, 0, certain_30, "{ (1.000000 3.000000) }", "{ (1.000000 5.000000) }"},
      {"max", "q_max", both, 0, "{ (1.000000 20.000000) }", "{ (1.000000 3.000000) }", "{ (1.000000 5.000000) }"},
      {"min", "q_min", both, 0, "{ (1.000000 10.000000) }", "{ (1.000000 3.000000) }", "{ (1.000000 5.000000) }"},
      {"sum of all", "q_sum_all", both, 0, certain_30, "{ (1.000000 3.000000) }", "{ (1.000000 5.000000) }"},
      // Both children contributing: no quality from exactly one.
      {"exactly one", "q_exactly_one", both, 0, "{ (1.000000 0.000000) }", "{ (1.000000 3.000000) }",
       "{ (1.000000 5.000000) }"},
      // 1 of 4 children contributes: the multiplier at 0.25 is 0.5.
      {"sigmoid", "q_sigmoid (sigmoid_distribution 0.1 0 0.5 0.25 1 1)", one_of_four, 0,
       "{ (1.000000 5.000000) }", "{ (1.000000 1.000000) }", "{ (1.000000 2.000000) }"},
      // The last subtask's quality, whatever the others have.
      {"sequence", "q_seq", finished("m1", "P", 10, 2, 1, 2) + finished("m3", "P", 4, 3, 2, 5), 0,
       "{ (1.000000 4.000000) }", "{ (1.000000 3.000000) }", "{ (1.000000 5.000000) }"},
      {"sequence sum, the last done after the end", "q_seq_sum", both, 4, "{ (1.000000 0.000000) }",
       "{ (1.000000 3.000000) }", "{ (1.000000 5.000000) }"},
      {"sequence sum, both done by the end", "q_seq_sum", both, 5, certain_30, "{ (1.000000 3.000000) }",
       "{ (1.000000 5.000000) }"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string children = c.children;
    std::string subs = c.name == std::string("sigmoid") ? "m1 u1 u2 u3" : (c.qaf == "q_seq" ? "m1 m3" : "m1 m2");
    prepare(std::string(AGENT_A) + group("G", "P", "q_sum") + task("P", "G", subs, c.qaf) + children);
    scheduler->end_of_the_current_working_schedule = c.end_of_schedule;
    recompute();
    DecisionPoint* p = node("P");
    EXPECT_EQ(pairs(p->working_quality), c.quality);
    EXPECT_EQ(pairs(p->working_cost), c.cost);
    EXPECT_EQ(pairs(p->working_duration), c.duration);
    TearDown();
    SetUp();
  }
}

TEST_F(WorkingValues, WeightingCommitmentQualityAndTheMemo) {
  prepare(std::string(AGENT_A) + group("G", "P W", "q_sum") + task("P", "G", "m", "q_sum") +
          task("W", "G", "w1 w2", "q_sum", "(spec_attributes (weighting_factor 0.5))") +
          "(spec_method (label m) (agent A) (supertasks P) (start_time 0) (finish_time 3) (outcomes " +
          scheduler_test::outcome("5 0.5 20 0.5", "3 1", "0 1") + "))\n" + finished("w1", "W", 10, 1, 0, 1) +
          finished("w2", "W", 20, 1, 0, 2));
  // A weighting of 0.5 halves every quality value.
  EXPECT_EQ(pairs(node("W")->working_quality), "{ (1.000000 15.000000) }");

  // A satisfied commitment of minimum quality 10 adds its quality to the values of at least 10.
  DecisionPoint* p = node("P");
  LocalCommitment satisfied, violated;
  for (LocalCommitment* c : {&satisfied, &violated}) {
    c->type = DEADLINE_COMMITMENT_TYPE;
    c->minimum_quality = 10.0f;
    c->quality_for_commitment_satisfaction.replace_with(1.0f, 3.0f);
    p->commitments.append(c);
  }
  satisfied.status = COMMITMENT_SATISFIED;
  violated.status = COMMITMENT_VIOLATED;
  scheduler->global_working_change_counter++;
  scheduler->calculate_working_qdc_for_task_or_method_and_all_subs(p, 1);
  EXPECT_EQ(pairs(p->working_quality), "{ (0.500000 5.000000) (0.500000 23.000000) }");
  p->commitments.empty_list();

  // Two calls in one generation compute once; a new generation computes again.
  recompute();
  node("w1")->working_quality.replace_with(1.0f, 30.0f);
  scheduler->calculate_working_qdc_for_task_or_method_and_all_subs(node("W"), 0);
  EXPECT_EQ(pairs(node("W")->working_quality), "{ (1.000000 15.000000) }");
  recompute();
  EXPECT_EQ(pairs(node("W")->working_quality), "{ (1.000000 25.000000) }");
}

TEST_F(WorkingValues, WhatIfAndUndoLeaveEverythingAsTheyFoundIt) {
  prepare(std::string(AGENT_A) + group("G", "P", "q_sum") + task("P", "G", "done m", "q_min") +
          finished("done", "P", 10, 2, 1, 2) + method("m", "P", 6, 3, 2) +
          "(spec_consumable_resource (label fuel) (agent A) (state 10) (depleted_at 0))\n"
          "(spec_uses (label U) (agent A) (from m) (to fuel) (consumes 4 1))\n");
  DecisionPoint* m = node("m");
  DecisionPoint* p = node("P");
  DecisionPoint* g = node("G");
  EXPECT_EQ(pairs(g->working_quality), "{ (1.000000 0.000000) }");

  // A change elsewhere leaves every node here one generation behind; the what-if still
  // reaches the task group.
  scheduler->global_working_change_counter++;
  ResourceList saved;
  scheduler->see_what_happens_if_we_add_method_x_to_schedule(m, saved);
  EXPECT_EQ(pairs(p->working_quality), "{ (1.000000 6.000000) }");
  EXPECT_EQ(pairs(g->working_quality), "{ (1.000000 6.000000) }");
  EXPECT_EQ(scheduler->working_resources.get("fuel")->state, 6.0f);
  scheduler->undo_see_what_happens_if_we_add_method_x_to_schedule(m, saved);
  for (DecisionPoint* n : {m, p, g}) {
    EXPECT_EQ(pairs(n->working_quality), "{ (1.000000 0.000000) }");
    EXPECT_EQ(n->time_task_or_method_gets_quality, UNSET_TIME);
  }
  EXPECT_EQ(scheduler->working_resources.get("fuel")->state, 10.0f);
  saved.delete_list(1);

  // Placing m, the last of P's children, as the schedule builder does: P and G take its
  // finish time, not that of the child done before.
  scheduler->global_working_change_counter++;
  m->working_quality.duplicate(m->combined_outcomes->quality);
  m->working_duration.duplicate(m->combined_outcomes->duration);
  m->working_cost.duplicate(m->combined_outcomes->cost);
  m->take_working_values_as_base();
  scheduler->calculate_working_qdc_for_task_or_method_and_all_subs(g, 0);
  m->working_values_are_locked = 1;
  m->time_task_or_method_gets_quality = 7.0f;
  scheduler->global_working_change_counter++;
  scheduler->calculate_working_qdc_for_task_or_method_and_all_subs(g, 0);
  m->check_supers_for_newly_acquired_quality(7.0f);
  EXPECT_EQ(p->time_task_or_method_gets_quality, 7.0f);
  EXPECT_EQ(g->time_task_or_method_gets_quality, 7.0f);
}

}  // namespace

namespace {

// Every pair of the distribution, exactly.
std::string exact(Distribution& d) {
  std::string out;
  for (long i = 0; i < d.length(); i++) {
    char text[64];
    snprintf(text, sizeof text, "(%a %a)", d.get(i)->density, d.get(i)->value);
    out += text;
  }
  return out;
}

std::string exact_values(DecisionPoint* dp) {
  return exact(dp->working_quality) + " " + exact(dp->working_cost) + " " + exact(dp->working_duration);
}

TEST_F(WorkingValues, RecomputingAgainGivesExactlyWhatRecomputingOnceGave) {
  // m waits unplaced under two effects whose sources are done with uncertain quality.
  const std::string powers = "(quality_power 0.5 1) (duration_power 0.3 1) (cost_power 0.3 1) (delay 0 1)";
  prepare(std::string(AGENT_A) + group("G", "a b m", "q_sum") + method("a", "G", 5, 1, 1) +
          method("b", "G", 5, 1, 1) + method("m", "G", 6, 3, 2) +
          "(spec_facilitates (label F) (agent A) (from a) (from_outcome o) (to m) " + powers + ")\n" +
          "(spec_hinders (label H) (agent A) (from b) (from_outcome o) (to m) " + powers + ")\n");
  for (const char* id : {"a", "b"}) {
    DecisionPoint* source = node(id);
    source->working_quality.delete_all();
    source->working_quality.append(0.1f, 0.0f);
    source->working_quality.append(0.9f, 5.0f);
    source->take_working_values_as_base();
    source->working_values_are_locked = 1;
    source->time_task_or_method_gets_quality = 0.0f;
  }
  recompute();
  std::string once = exact_values(node("m"));
  std::string meta_once = exact_values(scheduler->dp_to_meta_root);
  recompute();
  EXPECT_EQ(exact_values(node("m")), once);
  EXPECT_EQ(exact_values(scheduler->dp_to_meta_root), meta_once);
  recompute();
  EXPECT_EQ(exact_values(node("m")), once);
  EXPECT_EQ(exact_values(scheduler->dp_to_meta_root), meta_once);
}

TEST_F(WorkingValues, AWhatIfGivesTheMethodBackExactlyWhatItHeld) {
  // r stands in for another agent's promise (quality 7 at 0) and enables n.
  prepare(std::string(AGENT_A) + group("G", "r n", "q_sum_all") + method("r", "G", 3, 9, 4) +
          method("n", "G", 10, 3, 0) + "(spec_enables (label RN) (agent A) (from r) (from_outcome o) (to n) (delay 0 1))\n" +
          "(spec_nonlocal_commitment (label R) (task r) (from_agent B) (to_agent A) (quality_distribution 7 1) "
          "(time_distribution 0 1))\n");
  DecisionPoint* meta = scheduler->dp_to_meta_root;
  scheduler->reset_all_dp_variables_prior_to_scheduling(meta, meta);
  std::string notes;
  scheduler->update_expectations_to_reflect_any_non_local_commitments(0.0f, notes);
  DecisionPoint* r = node("r");
  ASSERT_EQ(r->working_values_are_locked, 1);
  const std::string promised = exact_values(r);
  EXPECT_EQ(r->time_task_or_method_gets_quality, 0.0f);

  // The undo also gives the base back with the versions it had, so that whatever kept it
  // then holds again (the undo's recomputation steps the node's working values anew);
  // nested what-ifs, made twice over the entries the first left, each give back their own.
  auto versions_of = [](DecisionPoint* node) {
    return std::vector<unsigned long long>{node->base_quality.version(), node->base_cost.version(),
                                           node->base_duration.version()};
  };
  DecisionPoint* n = node("n");
  const std::string n_values = exact_values(n);
  const std::vector<unsigned long long> r_versions = versions_of(r), n_versions = versions_of(n);
  for (int round = 0; round < 2; round++) {
    ResourceList saved, inner;
    scheduler->see_what_happens_if_we_add_method_x_to_schedule(r, saved);
    scheduler->see_what_happens_if_we_add_method_x_to_schedule(n, inner);
    EXPECT_NE(versions_of(n), n_versions);
    scheduler->undo_see_what_happens_if_we_add_method_x_to_schedule(n, inner);
    scheduler->undo_see_what_happens_if_we_add_method_x_to_schedule(r, saved);
    saved.delete_list(1);
    inner.delete_list(1);
    EXPECT_EQ(exact_values(r), promised) << "round " << round;
    EXPECT_EQ(exact_values(n), n_values) << "round " << round;
    EXPECT_EQ(versions_of(r), r_versions) << "round " << round;
    EXPECT_EQ(versions_of(n), n_versions) << "round " << round;
  }
  EXPECT_EQ(r->time_task_or_method_gets_quality, 0.0f);

  // Rated while it waits (its what-ifs lend it its own outcome), r keeps the promise, so n,
  // which it enables, can go at once; r's stand-in takes no time: 10 + 7, done at 3.
  Schedule schedule;
  Alternative plan;
  plan.method_list.append(task_named("r"));
  plan.method_list.append(task_named("n"));
  schedule.alt_schedule_is_for = &plan;
  scheduler->rate_method(schedule, static_cast<Method*>(task_named("r")));
  EXPECT_EQ(exact_values(r), promised);
  EXPECT_EQ(r->time_task_or_method_gets_quality, 0.0f);
  plan.method_list.delete_list(0);

  int monitor = 0;
  testing::internal::CaptureStderr();
  scheduler->create_schedules_for_task_group_using_alternatives(meta, monitor, scheduler->criteria_bundle);
  testing::internal::GetCapturedStderr();
  Schedule* best = nullptr;
  for (long i = 0; i < scheduler->good_schedules.length(); i++) {
    Schedule* s = scheduler->good_schedules.get(i);
    if (best == nullptr || s->quality.get_expected_value() > best->quality.get_expected_value()) best = s;
  }
  ASSERT_NE(best, nullptr);
  ASSERT_EQ(best->timeline_schedule.length(), 2);
  EXPECT_EQ(best->timeline_schedule.get(0L)->method_id, "n");
  EXPECT_EQ(best->timeline_schedule.get(1L)->method_id, "r");
  EXPECT_EQ(best->quality.get_expected_value(), 17.0f);
  EXPECT_EQ(best->timeline_schedule.get(1L)->finish_time_distribution.get_expected_value(), 3.0f);
}

}  // namespace

void WorkingValues::prepare_effect_over_sequence(const std::string& more_subs, const std::string& more_forms) {
  const std::string powers = "(quality_power 0.5 1) (duration_power 0.3 1) (cost_power 0.3 1) (delay 0 1)";
  prepare(std::string(AGENT_A) + group("G", "a S" + more_subs, "q_sum") + method("a", "G", 5, 1, 1) +
          task("S", "G", "m n", "q_seq_sum") + method("m", "S", 6, 3, 2) + finished("n", "S", 4, 1, 1, 4) +
          more_forms + "(spec_facilitates (label F) (agent A) (from a) (from_outcome o) (to m) " + powers + ")\n");
  DecisionPoint* a = node("a");
  a->working_values_are_locked = 1;
  a->time_task_or_method_gets_quality = 0.0f;
}

TEST_F(WorkingValues, TheStepMemoGivesWhatRecomputingGivesAndCountsTheSameCombines) {
  prepare_effect_over_sequence();
  DecisionPoint* a = node("a");
  DecisionPoint* m = node("m");
  m->working_quality.replace_with(1.0f, 6.0f);
  m->take_working_values_as_base();
  m->time_task_or_method_gets_quality = 3.0f;
  WorkingStepMemo memo;
  // Each change is recomputed once with the memo and once without; both leave the same
  // values and count the same combines.
  auto both_ways = [&](const char* what) {
    long start = Distribution::report_total_number_of_combine_operations();
    scheduler->working_step_memo = &memo;
    recompute();
    scheduler->working_step_memo = nullptr;
    long with_memo = Distribution::report_total_number_of_combine_operations() - start;
    std::string memo_m = exact_values(m), memo_root = exact_values(scheduler->dp_to_meta_root);
    recompute();
    long without = Distribution::report_total_number_of_combine_operations() - start - with_memo;
    EXPECT_EQ(exact_values(m), memo_m) << what;
    EXPECT_EQ(exact_values(scheduler->dp_to_meta_root), memo_root) << what;
    EXPECT_EQ(with_memo, without) << what;
  };
  scheduler->end_of_the_current_working_schedule = 2.0f;
  both_ways("first");
  both_ways("nothing changed");
  a->working_quality.replace_with(1.0f, 8.0f);
  both_ways("the effect's source changed");
  scheduler->end_of_the_current_working_schedule = 5.0f;
  both_ways("the end of the schedule moved");
  m->working_quality.replace_with(1.0f, 9.0f);
  m->take_working_values_as_base();
  both_ways("the method's base changed");
}

namespace {

// Every node's values, their flags and its quality time, exactly, read in place (a pair
// read through get() loses the flags).
std::string every_node(DecisionPoint* root) {
  DecisionPointList nodes;
  root->list_all_descendants(nodes);
  std::string out;
  for (long i = 0; i < nodes.length(); i++) {
    DecisionPoint* n = nodes.get(i);
    out += n->of_task;
    for (const Distribution* d : {&n->working_quality, &n->working_cost, &n->working_duration}) {
      out += " " + std::to_string(d->data_is_sorted);
      for (long k = 0; k < d->length(); k++) {
        char pair[64];
        snprintf(pair, sizeof pair, "(%a %a)", d->data[k].density, d->data[k].value);
        out += pair;
      }
    }
    char time[32];
    snprintf(time, sizeof time, " %a\n", n->time_task_or_method_gets_quality);
    out += time;
  }
  nodes.empty_list();
  return out;
}

TEST_F(WorkingValues, TheCommitmentWhatIfStepsOnlyWhatTheCommitmentsCanReadAndCountsAsTheFullOne) {
  // a and b wait under P beside d, done at 2; x waits under X.
  prepare(std::string(AGENT_A) + group("G", "P X", "q_sum_all") + task("P", "G", "a b d", "q_max") +
          method("a", "P", 6, 3, 2) + method("b", "P", 4, 2, 1) + finished("d", "P", 5, 2, 1, 2) +
          task("X", "G", "x", "q_min") + method("x", "X", 3, 1, 1));
  DecisionPoint* meta = scheduler->dp_to_meta_root;
  scheduler->reset_all_dp_variables_prior_to_scheduling(meta, meta);
  Method* a = static_cast<Method*>(task_named("a"));
  DecisionPoint* p = node("P");
  DecisionPoint* g = node("G");
  Schedule schedule;
  // Within a round of ratings, as the schedule builder rates.
  scheduler->waiting_memo_stamp = ++scheduler->waiting_memo_stamps_used;
  long counts[4];
  auto full_what_if = [&]() {
    ResourceList saved;
    scheduler->see_what_happens_if_we_add_method_x_to_schedule(node("a"), saved);
    scheduler->tabulate_newly_violated_and_satisfied_local_commitments(schedule, counts[0], counts[1], counts[2],
                                                                       counts[3]);
    scheduler->undo_see_what_happens_if_we_add_method_x_to_schedule(node("a"), saved);
    saved.delete_list(1);
  };
  // The commitment what-if and the full one leave every node as it was, count the same
  // combines and find the same commitments.
  auto both_ways = [&](const char* what) {
    std::string before = every_node(meta);
    long start = Distribution::report_total_number_of_combine_operations();
    long found[4];
    scheduler->determine_effect_on_commitments_of_adding_method_to_schedule(schedule, a, found[0], found[1],
                                                                            found[2], found[3]);
    long shortened = Distribution::report_total_number_of_combine_operations() - start;
    EXPECT_EQ(every_node(meta), before) << what;
    full_what_if();
    EXPECT_EQ(Distribution::report_total_number_of_combine_operations() - start - shortened, shortened) << what;
    EXPECT_EQ(every_node(meta), before) << what;
    for (int k = 0; k < 4; k++) EXPECT_EQ(found[k], counts[k]) << what << " " << k;
  };
  both_ways("no commitment");

  // Nothing reads P or G: their steps are left out, so a value no step gives stays.
  g->working_quality.replace_with(1.0f, 99.0f);
  long found[4];
  scheduler->determine_effect_on_commitments_of_adding_method_to_schedule(schedule, a, found[0], found[1], found[2],
                                                                          found[3]);
  EXPECT_EQ(pairs(g->working_quality), "{ (1.000000 99.000000) }");

  // An undetermined commitment on P: P is stepped with a done (6 of at least 5.5 meets
  // it) and given back its 5; G still is not stepped.
  LocalCommitment on_p;
  on_p.type = DO_COMMITMENT_TYPE;
  on_p.minimum_quality = 5.5f;
  on_p.importance = 1;
  on_p.dps_for_tasks->append(p);
  schedule.undetermined_local_commitments.append(&on_p);
  scheduler->determine_effect_on_commitments_of_adding_method_to_schedule(schedule, a, found[0], found[1], found[2],
                                                                          found[3]);
  EXPECT_EQ(found[2], 1);
  EXPECT_EQ(pairs(p->working_quality), "{ (1.000000 5.000000) }");
  EXPECT_EQ(pairs(g->working_quality), "{ (1.000000 99.000000) }");
  scheduler->global_working_change_counter++;
  scheduler->calculate_working_qdc_for_task_or_method_and_all_subs(meta, 0);
  both_ways("a commitment on P");
  schedule.undetermined_local_commitments.empty_list();
  on_p.dps_for_tasks->empty_list();
}

}  // namespace

namespace {
// Every field of the distribution and every pair of its array, as a copy carries them on.
std::string whole(const Distribution& d) {
  char text[160];
  snprintf(text, sizeof text, "[%ld %ld %d %d %d %d %a %a %a %a %a %a]", d.next_slot, d.num_storable_items,
           d.data_is_sorted, d.combined_under_sigmoid_and_multiplier_not_applied, d.unsorted_statistics_are_valid,
           d.sorted_statistics_are_valid, d.weighted_value_avg, d.value_sum, d.density_sum, d.value_min, d.value_max,
           d.value_median);
  std::string out = text;
  for (long i = 0; i < d.num_storable_items; i++) {
    snprintf(text, sizeof text, "(%a %a)", d.data[i].density, d.data[i].value);
    out += text;
  }
  return out;
}

std::string whole_values(const DecisionPoint* dp) {
  char time[32];
  snprintf(time, sizeof time, " %a", dp->time_task_or_method_gets_quality);
  return whole(dp->working_quality) + " " + whole(dp->working_cost) + " " + whole(dp->working_duration) + time;
}
}  // namespace

TEST_F(WorkingValues, SkippedStepsLeaveEveryFieldAsMakingThemWouldThroughPassesAndReaders) {
  // P has one child, k, whose cost and duration it copies whole.
  prepare_effect_over_sequence(" P", task("P", "G", "k", "q_max") + method("k", "P", 3, 2, 1));
  DecisionPoint* a = node("a");
  DecisionPoint* k = node("k");
  DecisionPoint* p = node("P");
  k->working_quality.replace_with(1.0f, 3.0f);
  k->take_working_values_as_base();
  const char* ids[] = {"a", "m", "n", "S", "k", "P", "G"};
  std::vector<DecisionPoint*> nodes;
  for (const char* id : ids) nodes.push_back(node(id));
  nodes.push_back(scheduler->dp_to_meta_root);
  auto state = [&nodes]() {
    std::string out;
    for (DecisionPoint* dp : nodes) out += whole_values(dp) + "\n";
    return out;
  };
  // Each pass is one of a memo, with the records of all the passes before; then the tree
  // is recomputed without it. Both leave every field the same and count the same combines.
  WorkingStepMemo memo(false);
  auto with_memo = [&]() {
    scheduler->working_step_memo = &memo;
    memo.begin_pass();
    recompute();
    scheduler->working_step_memo = nullptr;
  };
  auto both_ways = [&](const char* what) {
    long start = Distribution::report_total_number_of_combine_operations();
    with_memo();
    long with = Distribution::report_total_number_of_combine_operations() - start;
    std::string after_memo = state();
    recompute();
    EXPECT_EQ(state(), after_memo) << what;
    EXPECT_EQ(Distribution::report_total_number_of_combine_operations() - start - with, with) << what;
  };
  scheduler->end_of_the_current_working_schedule = 2.0f;
  // A placed method's step caches the statistics of the base it has just copied: from
  // then on its steps copy them too.
  recompute();
  both_ways("first");
  both_ways("nothing changed");
  k->working_cost.get_value_median();
  k->working_duration.get_value_median();
  both_ways("a reader sorted the only child's cost and duration");
  p->working_quality.get_value_median();
  p->working_cost.get_value_median();
  both_ways("a reader sorted the parent's own values");
  a->working_quality.replace_with(1.0f, 8.0f);
  both_ways("the effect's source changed");
  scheduler->end_of_the_current_working_schedule = 5.0f;
  both_ways("the end of the schedule passed the sequence's last child");
  k->working_quality.replace_with(1.0f, 4.0f);
  k->working_duration.replace_with(1.0f, 3.0f);
  k->take_working_values_as_base();
  with_memo();
  both_ways("the only child's base changed, and its first step cached the base's statistics");
  both_ways("nothing changed again");
}

TEST_F(WorkingValues, ASubtreeNothingWroteToSinceASettledVisitIsLeftAsItsStepsWouldLeaveIt) {
  // P and Q hang beside the sequence; the effect on m reads a, which is locked.
  prepare_effect_over_sequence(" P Q", task("P", "G", "k l", "q_max") + method("k", "P", 3, 2, 1) +
                                           method("l", "P", 2, 1, 1) + task("Q", "G", "r", "q_min") +
                                           method("r", "Q", 4, 1, 1));
  const char* ids[] = {"a", "m", "n", "S", "k", "l", "P", "r", "Q", "G"};
  std::vector<DecisionPoint*> nodes;
  for (const char* id : ids) nodes.push_back(node(id));
  nodes.push_back(scheduler->dp_to_meta_root);
  for (const char* id : {"k", "l", "r"}) {
    node(id)->working_quality.replace_with(1.0f, 2.0f);
    node(id)->take_working_values_as_base();
  }
  auto state = [&nodes]() {
    std::string out;
    for (DecisionPoint* dp : nodes) out += whole_values(dp) + "\n";
    return out;
  };
  scheduler->number_the_shape_of_the_tree();
  WorkingStepMemo& memo = scheduler->what_if_step_memo;
  auto with_memo = [&]() {
    scheduler->working_step_memo = &memo;
    memo.begin_pass();
    recompute();
    scheduler->working_step_memo = nullptr;
  };
  // A visit under the what-ifs' memo keeps what it found; after `change`, the next one
  // leaves what nothing wrote to since. Recomputing the long way from there must give the
  // same values and count the same combines.
  auto after = [&](const char* what, const std::function<void()>& change) {
    with_memo();
    change();
    long start = Distribution::report_total_number_of_combine_operations();
    with_memo();
    long with = Distribution::report_total_number_of_combine_operations() - start;
    std::string left = state();
    recompute();
    EXPECT_EQ(state(), left) << what;
    EXPECT_EQ(Distribution::report_total_number_of_combine_operations() - start - with, with) << what;
  };
  scheduler->end_of_the_current_working_schedule = 2.0f;
  recompute();
  after("nothing changed", [] {});
  after("a reader sorted a child's values", [&] { node("k")->working_duration.get_value_median(); });
  after("a child's base changed", [&] {
    node("l")->working_quality.replace_with(1.0f, 5.0f);
    node("l")->take_working_values_as_base();
  });
  after("the locked source changed", [&] { node("a")->working_quality.replace_with(1.0f, 8.0f); });
  after("the locked source's time moved", [&] {
    node("a")->time_task_or_method_gets_quality = 3.0f;
    node("a")->note_write();
  });
  after("a method was locked", [&] {
    node("r")->working_values_are_locked = 1;
    node("r")->note_write();
  });
  after("the end of the schedule passed the sequence's last child", [&] {
    scheduler->end_of_the_current_working_schedule = 5.0f;
  });
  after("the end moved where no step reads it", [&] { scheduler->end_of_the_current_working_schedule = 6.0f; });
}

namespace {
// m1 done at 4 under P, m2 done at 2 under Q, both under G: every task node's time cleared,
// as before a recomputation that sets them.
class AncestorTimesRound : public WorkingValues {
 protected:
  void SetUp() override {
    WorkingValues::SetUp();
    prepare(std::string(AGENT_A) + group("G", "P Q", "q_sum") + task("P", "G", "m1", "q_max") +
            task("Q", "G", "m2", "q_max") + finished("m1", "P", 10, 2, 1, 4) + finished("m2", "Q", 20, 2, 1, 2));
    for (const char* id : {"G", "P", "Q"}) node(id)->time_task_or_method_gets_quality = UNSET_TIME;
  }
  Method* method_named(const char* id) { return static_cast<Method*>(node(id)->task_or_method); }
};
}  // namespace

TEST_F(AncestorTimesRound, GivesBackTheTimesARecomputationSetAboveTheMethodAndNoOthers) {
  {
    method_rating::AncestorTimes times(*scheduler, method_named("m1"));
    recompute();
    EXPECT_EQ(node("P")->time_task_or_method_gets_quality, 4.0f);
    EXPECT_EQ(node("Q")->time_task_or_method_gets_quality, 2.0f);
    times.give_back();
  }
  EXPECT_EQ(node("P")->time_task_or_method_gets_quality, UNSET_TIME);
  EXPECT_EQ(node("G")->time_task_or_method_gets_quality, UNSET_TIME);
  // Q is no ancestor of m1: it keeps what the recomputation gave it.
  EXPECT_EQ(node("Q")->time_task_or_method_gets_quality, 2.0f);

  // One inside another: the outer one gives back the times set within the inner one too.
  node("Q")->time_task_or_method_gets_quality = UNSET_TIME;
  {
    method_rating::AncestorTimes outer(*scheduler, method_named("m2"));
    {
      method_rating::AncestorTimes inner(*scheduler, method_named("m1"));
      recompute();
      inner.give_back();
    }
    EXPECT_EQ(node("Q")->time_task_or_method_gets_quality, 2.0f);
    outer.give_back();
  }
  for (const char* id : {"G", "P", "Q"}) EXPECT_EQ(node(id)->time_task_or_method_gets_quality, UNSET_TIME) << id;
  EXPECT_EQ(scheduler->quality_time_log, nullptr);
}

namespace {
// Three pairs of quality, duration and cost from `base` (no quality when it is 0), so
// that every combine of a fold compacts.
void give_uncertain_values(DecisionPoint* dp, float base) {
  dp->working_quality.delete_all();
  dp->working_cost.delete_all();
  dp->working_duration.delete_all();
  for (float share : {0.2f, 0.5f, 0.3f}) {
    dp->working_quality.append(share, base * (1.0f + share));
    dp->working_cost.append(share, base + share);
    dp->working_duration.append(share, 2.0f + base * share);
  }
}
}  // namespace

TEST_F(WorkingValues, AResumedFoldLeavesEveryFieldAsTheFullFoldThroughChangesOfAnyChild) {
  const char* functions[] = {"q_sum", "q_max", "q_seq", "q_sigmoid (sigmoid_distribution 0.1 0 0.5 0.25 1 1)"};
  const long n = 5;
  for (const char* qaf : functions) {
    SCOPED_TRACE(qaf);
    std::string methods;
    for (long i = 1; i <= n; i++) methods += method("m" + std::to_string(i), "P", 1, 1, 1);
    prepare(std::string(AGENT_A) + group("G", "P", "q_sum") + task("P", "G", "m1 m2 m3 m4 m5", qaf) + methods);
    DecisionPoint* p = node("P");
    std::vector<DecisionPoint*> children;
    for (long i = 0; i < p->subs.length(); i++) children.push_back(p->subs.get(i));
    ASSERT_EQ(static_cast<long>(children.size()), n);
    // The middle child has no quality at first: the sigmoid counts it once it has.
    for (long i = 0; i < n; i++) give_uncertain_values(children[i], i == 2 ? 0.0f : 1.0f + i);
    const long per_child = std::string(qaf) == "q_seq" ? 2 : 3;
    // Folds resuming from the kept folds, then in full with nothing kept: every field the
    // same and the same combines counted, only those from `changed` on really made.
    auto both_ways = [&](const char* what, long changed) {
      const long total_before = Distribution::report_total_number_of_combine_operations();
      const long real_before = Distribution::report_number_of_real_combine_operations();
      scheduler->calculate_working_qdc_for_task(p);
      const long total = Distribution::report_total_number_of_combine_operations() - total_before;
      const long real = Distribution::report_number_of_real_combine_operations() - real_before;
      const std::string resumed = whole_values(p);
      TaskFoldMemo kept = std::move(p->fold_memo);
      p->fold_memo = TaskFoldMemo();
      const long full_before = Distribution::report_total_number_of_combine_operations();
      scheduler->calculate_working_qdc_for_task(p);
      p->fold_memo = std::move(kept);
      EXPECT_EQ(whole_values(p), resumed) << what;
      EXPECT_EQ(Distribution::report_total_number_of_combine_operations() - full_before, total) << what;
      EXPECT_EQ(total, (n - 1) * per_child) << what;
      EXPECT_EQ(real, (n - std::max(changed, 1L)) * per_child) << what;
    };
    both_ways("the first fold", 0);
    both_ways("nothing changed", n);
    give_uncertain_values(children[2], 3.5f);
    both_ways("the middle child gains quality", 2);
    give_uncertain_values(children[n - 1], 0.5f);
    both_ways("the last child changed", n - 1);
    give_uncertain_values(children[n - 1], 1.0f + n - 1);
    both_ways("the last child changed back, as after a what-if", n);
    give_uncertain_values(children[1], 0.25f);
    both_ways("a second child changed", 1);
    give_uncertain_values(children[1], 2.0f);
    both_ways("the second child changed back", n);
    give_uncertain_values(children[0], 2.5f);
    both_ways("the first child changed", 0);
    // The first child is copied whole, statistics and all; the others are read by pairs.
    children[0]->working_quality.get_expected_value();
    both_ways("a reader cached the first child's statistics", 0);
    children[3]->working_cost.get_expected_value();
    both_ways("a reader cached a later child's statistics", n);
    children[3]->working_duration.delete_all();
    children[3]->working_duration.append(0.3f, 2.9f);
    children[3]->working_duration.append(0.7f, 2.1f);
    children[3]->working_duration.get_value_median();
    both_ways("a reader sorted a later child's changed duration", 3);
    // The next function's structure alone.
    TearDown();
    SetUp();
  }
}
