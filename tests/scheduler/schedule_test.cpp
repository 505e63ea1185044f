// Schedules: slack and placement on the timeline, bookkeeping, sameness and copies, the
// rating and its order, the hard-commitment emphasis, repairs and reschedule envelopes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/foundation_test_support.h"
#include "language/vorna_io_test_support.h"
#include "model/distribution_test_support.h"
#include "scheduler_test_support.h"

using distribution_test::make;
using foundation_test::Contains;
using foundation_test::stderr_of;
using distribution_test::pairs_of;
using scheduler_test::AGENT_A;
using scheduler_test::group;
using scheduler_test::method;
using scheduler_test::task;

namespace {

ScheduleElement* element(const std::string& id, Distribution finish, Distribution cost) {
  ScheduleElement* e = new ScheduleElement;
  e->method_id = id;
  e->finish_time_distribution = finish;
  e->cost = cost;
  e->quality.replace_with(1.0f, 1.0f);
  return e;
}

std::vector<std::string> ids_of(Schedule& s) {
  std::vector<std::string> out;
  for (long i = 0; i < s.timeline_schedule.length(); i++) out.push_back(s.timeline_schedule.get(i)->method_id);
  return out;
}

// A schedule of method elements with these ids, each finishing at 1.
Schedule* timeline_of(std::vector<std::string> ids, float quality = 1.0f) {
  Schedule* s = new Schedule;
  s->cost.replace_with(1.0f, 0.0f);
  for (const std::string& id : ids) s->add_completed_element_to_schedule(element(id, make({{1, 1}}), make({{1, 0}})));
  s->quality.replace_with(1.0f, quality);
  return s;
}

class Timeline : public ::testing::Test {
 protected:
  void SetUp() override { reset_schedule_element_creation_counter(); }
};

TEST_F(Timeline, SlackReachesTheDesiredFinishAndAlwaysEnds) {
  struct Case {
    const char* name;
    Distribution start;  // the finish of the element before; empty: none
    bool empty_start;
    float desired;
    float specifier;
    const char* duration;
  };
  Case cases[] = {
      {"the ceiling of the gap", make({{1, 1}}), false, 3.2f, -2.0f, "(1.00 3.00)"},
      {"a target before the start", make({{1, 1}}), false, 0.5f, -2.0f, "(1.00 0.00)"},
      {"five half-unit steps for half a density", make({{0.5f, 1}}), false, 3.2f, -2.0f, "(1.00 5.50)"},
      {"a gap beyond the int range, from the start time", Distribution(), false, 3.0e9f, -2.0f,
       "(1.00 3000000000.00)"},
      {"an empty start distribution", Distribution(), true, 5.0f, -2.0f, "(1.00 0.00)"},
      // The median of densities below one half is never reached: the steps cannot raise it.
      {"an unreachable median", make({{0.3f, 1}}), false, 3.2f, 0.5f, "(1.00 10003.00)"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Schedule s;
    s.schedule_with.d = c.specifier;
    s.cost.replace_with(1.0f, 0.0f);
    if (c.start.length() > 0 || c.empty_start) s.add_completed_element_to_schedule(element("m", c.start, make({{1, 0}})));
    s.add_slack_time_element(c.desired);
    ScheduleElement* slack = s.timeline_schedule.get(s.timeline_schedule.length() - 1);
    EXPECT_EQ(pairs_of(slack->duration), c.duration);
    EXPECT_EQ(slack->element_is_slack_element, 1);
    EXPECT_EQ(pairs_of(slack->cost) + pairs_of(slack->quality), "(1.00 0.00)(1.00 0.00)");
  }
  EXPECT_EQ(Schedule_Element_Creation_Counter, 6);
}

TEST_F(Timeline, PlacementCarriesCostAndFinishAndTrailingSlackComesOff) {
  Schedule s;
  s.set_start_time_to_schedule_for(2.0f);
  s.cost.replace_with(1.0f, 0.5f);
  s.add_slack_time_element(4.0f);
  s.add_completed_element_to_schedule(element("m1", make({{1, 6}}), make({{1, 2}})));
  s.add_slack_time_element(8.0f);
  s.add_completed_element_to_schedule(element("m2", make({{1, 9}}), make({{0.5f, 1}, {0.5f, 3}})));
  s.add_slack_time_element(12.0f);
  s.add_slack_time_element(15.0f);
  ScheduleElementList& t = s.timeline_schedule;
  EXPECT_EQ(pairs_of(t.get(0L)->start_time_distribution) + pairs_of(t.get(0L)->finish_time_distribution),
            "(1.00 2.00)(1.00 4.00)");
  EXPECT_EQ(pairs_of(t.get(2L)->start_time_distribution) + pairs_of(t.get(2L)->duration), "(1.00 6.00)(1.00 2.00)");
  EXPECT_EQ(pairs_of(t.get(5L)->start_time_distribution), "(1.00 12.00)");
  s.remove_any_trailing_slack_time_elements();
  EXPECT_EQ(ids_of(s), (std::vector<std::string>{"Slack_MyTime_0", "m1", "Slack_MyTime_1", "m2"}));
  // Slack adds no cost and moves no finish: both stay those of the last method.
  EXPECT_EQ(pairs_of(s.cost), "(0.50 3.50)(0.50 5.50)");
  EXPECT_EQ(pairs_of(t.get(1L)->total_schedule_cost_to_end_of_this_method), "(1.00 2.50)");
  EXPECT_EQ(pairs_of(s.finish_time), "(1.00 9.00)");

  Schedule all_slack;
  all_slack.add_slack_time_element(3.0f);
  all_slack.add_slack_time_element(5.0f);
  all_slack.remove_any_trailing_slack_time_elements();
  EXPECT_EQ(all_slack.timeline_schedule.length(), 0);
  all_slack.schedule_is_complete_do_final_bookkeeping();
  EXPECT_EQ(pairs_of(all_slack.quality) + pairs_of(all_slack.cost) + pairs_of(all_slack.finish_time),
            "(1.00 0.00)(1.00 0.00)(1.00 0.00)");
  EXPECT_EQ(all_slack.prob_expected_q_or_better + all_slack.prob_expected_c_or_better +
                all_slack.prob_expected_d_or_better,
            3.0f);
}

TEST(ScheduleRecords, SamenessComparesIdsPositionByPosition) {
  struct Case {
    std::vector<std::string> a, b;
    int same;
  };
  Case cases[] = {{{"a", "bc"}, {"ab", "c"}, 0},
                  {{"a", "bc"}, {"a", "bc"}, 1},
                  {{"a"}, {"a", "b"}, 0},
                  {{}, {}, 1}};
  for (const Case& c : cases) {
    Schedule* a = timeline_of(c.a);
    Schedule* b = timeline_of(c.b);
    EXPECT_EQ(a->this_is_the_same(b), c.same);
    delete a;
    delete b;
  }
  ScheduleList list;
  EXPECT_EQ(list.append_if_not_already_in_list(timeline_of({"a", "bc"})), 0);
  EXPECT_EQ(list.append_if_not_already_in_list(timeline_of({"ab", "c"}, 0.0f)), 1);
  Schedule* again = timeline_of({"ab", "c"});
  EXPECT_EQ(list.append_if_not_already_in_list(again), -1);
  delete again;
  EXPECT_EQ(list.number_with_non_zero_q(), 1);
  list.delete_list(1);
}

// The operations the building steps do not call yet share this test.
TEST(ScheduleRecords, CopiesBookkeepingAndOpenCommitments) {
  Schedule* s = timeline_of({"m1", "m2"});
  s->id = "S";
  s->rating = 0.25f;
  s->annotations = "note";
  s->finish_time = make({{0.5f, 2}, {0.5f, 6}});
  s->cost = make({{1, 3}});
  s->quality = make({{0.25f, 0}, {0.75f, 8}});
  s->schedule_is_complete_do_final_bookkeeping();
  EXPECT_FLOAT_EQ(s->prob_expected_q_or_better, 0.75f);
  EXPECT_FLOAT_EQ(s->prob_expected_d_or_better, 0.5f);
  EXPECT_FLOAT_EQ(s->prob_expected_c_or_better, 1.0f);

  LocalCommitment existing, proposed;
  existing.existing_or_proposed = COMMITMENT_IS_EXISTING;
  s->undetermined_local_commitments.add(&existing);
  s->undetermined_local_commitments.add(&proposed);
  s->violated_local_commitments.add(&proposed);
  s->all_undetermined_are_now_violated();
  EXPECT_EQ(s->undetermined_local_commitments.length(), 0);
  EXPECT_EQ(s->num_violated_local_commitments, 3);
  EXPECT_EQ(s->num_existing_local_commitments_violated * 10 + s->num_proposed_local_commitments_violated, 11);

  Schedule* copy = s->duplicate_schedule_but_not_supporting_data_structures();
  EXPECT_EQ(ids_of(*copy), ids_of(*s));
  EXPECT_EQ(copy->id + copy->annotations, "Snote");
  EXPECT_EQ(copy->created_through_simple_copy_has_no_supporting_structures, 1);
  EXPECT_EQ(copy->violated_local_commitments.length(), 0);
  EXPECT_EQ(pairs_of(copy->quality) + pairs_of(copy->timeline_schedule.get(1L)->total_schedule_cost_to_end_of_this_method),
            "(0.25 0.00)(0.75 8.00)(1.00 0.00)");

  Schedule empty;
  empty.timeline_schedule.add(element("m", make({{1, 1}}), make({{1, 0}})));
  EXPECT_THAT(stderr_of([&] { empty.schedule_is_complete_do_final_bookkeeping(); }),
              Contains({"Warning, schedule_is_complete_do_final_bookkeeping was called for a schedule that is missing "
                        "at least one of its q,c, or d distributions.  This is probably because "
                        "calc_sched_overall_quality_from_working_qualities_of_dps needs to be called first and "
                        "hasn't been.\n"}));
  ScheduleList one;
  one.append(copy);
  ScheduleList other, none;
  other.append(timeline_of({"x"}));
  other.duplicate(none);
  EXPECT_EQ(other.length(), 0);
  EXPECT_DEATH(other.duplicate(one), "Error, schedule duplicate is not complete\\.\n");
  EXPECT_DEATH(s->timeline_schedule.get(0L)->duplicate(*copy->timeline_schedule.get(0L)),
               "Error, schedule element duplicate is not done\\.\n");
  s->undetermined_local_commitments.empty_list();
  delete s;
  one.delete_list(1);
}

}  // namespace

namespace {

Schedule* rated(const std::string& id, Distribution q, float c, float d) {
  Schedule* s = new Schedule;
  s->id = id;
  s->quality = q;
  s->cost.replace_with(1.0f, c);
  s->finish_time.replace_with(1.0f, d);
  return s;
}

std::vector<std::string> order_of(ScheduleList& list) {
  std::vector<std::string> out;
  for (long i = 0; i < list.length(); i++) out.push_back(list.get(i)->id);
  return out;
}

TEST(ScheduleRating, BanksAtTheirStrictBoundariesAndBestFirst) {
  ScheduleCriteriaBundle cb;
  cb.goodness_quality_slider = 1.0f;
  cb.threshold_quality_slider = cb.threshold_cost_slider = cb.threshold_duration_slider = 1.0f;
  cb.quality_threshold = 10.0f;
  cb.cost_limit = 5.0f;
  cb.duration_limit = 10.0f;
  cb.duration_limit_plus_range = 0.5f;  // L2 = 15
  cb.total_points_in_goodness_bank = 1.0f;
  cb.total_points_in_threshold_bank = 3.0f;
  cb.meta_goodness_slider = cb.meta_threshold_slider = 1.0f;
  ScheduleSettingBundle setting;
  ScheduleList list;
  // Quality at the threshold and cost at the limit earn nothing; a finish at the limit the full share.
  list.append(rated("S1", make({{1, 10}}), 5, 10));
  // A finish at L2 earns nothing.
  list.append(rated("S2", make({{1, 20}}), 4, 15));
  list.append(rated("S3", make({{1, 0}}), 1, 1));
  // Expected quality 15 reached with probability one half; finish 12: (15-12)/(15-10) of a share.
  list.append(rated("S4", make({{0.5f, 10}, {0.5f, 20}}), 6, 12));
  list.rate_schedules_and_sort(cb, setting);
  EXPECT_EQ(order_of(list), (std::vector<std::string>{"S2", "S4", "S1", "S3"}));
  EXPECT_NEAR(list.get(0L)->rating, 1.0f + 2.0f / 3.0f, 1e-6);
  EXPECT_NEAR(list.get(1L)->rating, 0.5f + 1.0f / 3.0f + 0.2f, 1e-6);
  EXPECT_NEAR(list.get(2L)->rating, 1.0f / 3.0f, 1e-6);
  EXPECT_EQ(list.get(3L)->rating, -1.0f);
  EXPECT_EQ(list.get(3L)->prob_expected_q_or_better + list.get(3L)->prob_expected_d_or_better, -2.0f);
  EXPECT_EQ(list.get(1L)->prob_expected_q_or_better, 0.5f);
  MinMaxBundle& m = list.observed_min_max;
  EXPECT_EQ((std::vector<float>{m.minq, m.maxq, m.mind, m.maxd, m.minc, m.maxc, m.uminq, m.umaxq, m.umind, m.umaxd,
                                m.uminc, m.umaxc}),
            (std::vector<float>{10, 20, 10, 15, 4, 6, 0.5f, 1, 1, 1, 1, 1}));
  list.delete_list(1);

  // A duration share above 1.0 is cut to 1.0.
  ScheduleCriteriaBundle heavy;
  heavy.threshold_duration_slider = 6.0f;
  heavy.duration_limit = 10.0f;
  heavy.total_points_in_threshold_bank = 3.0f;
  heavy.meta_threshold_slider = 1.0f;
  list.append(rated("S", make({{1, 1}}), 1, 5));
  list.rate_schedules_and_sort(heavy, setting);
  EXPECT_EQ(list.get(0L)->rating, 1.0f);
  list.delete_list(1);
}

TEST(ScheduleRating, TiesKeepTheExchangeSortsOrder) {
  ScheduleList list;
  float ratings[] = {1.0f, 1.0f, 2.0f};
  const char* names[] = {"one", "one'", "two"};
  for (int i = 0; i < 3; i++) {
    list.append(rated(names[i], make({{1, 1}}), 0, 0));
    list.get(static_cast<long>(i))->rating = ratings[i];
  }
  list.sort_list_via_func(ScheduleList::schedule_func_to_sort_by_rating);
  EXPECT_EQ(order_of(list), (std::vector<std::string>{"two", "one'", "one"}));
  list.delete_list(1);
}

class Reweighting : public ::testing::Test {
 protected:
  void TearDown() override {
    for (long i = 0; i < s.good_schedules.length(); i++) s.good_schedules.get(i)->satisfied_local_commitments.empty_list();
  }
  // A schedule with that rating, satisfying commitments of these importances.
  void add(const std::string& id, float rating, std::vector<Importance> importances) {
    Schedule* schedule = rated(id, make({{1, 1}}), 0, 0);
    schedule->rating = rating;
    for (Importance importance : importances) {
      LocalCommitment* c = &commitments[used++];
      c->type = DEADLINE_COMMITMENT_TYPE;
      c->importance = importance;
      schedule->satisfied_local_commitments.add(c);
    }
    s.good_schedules.append(schedule);
  }
  std::vector<float> ratings() {
    std::vector<float> out;
    for (long i = 0; i < s.good_schedules.length(); i++) out.push_back(s.good_schedules.get(i)->rating);
    return out;
  }

  Scheduler s;
  LocalCommitment commitments[8];
  int used = 0;
};

TEST_F(Reweighting, HardCommitmentsRaiseOnlyTheSchedulesThatSatisfyTheMost) {
  add("A", 0.8f, {1});
  add("B", 0.6f, {1, 2});
  EXPECT_EQ(s.kludge_reweight_schedules_and_sort_based_on_hard_commitments()->id, "B");
  EXPECT_EQ(ratings(), (std::vector<float>{0.6f + 0.4f, 0.8f}));
  EXPECT_EQ(s.good_schedules.get(0L)->annotations + s.good_schedules.get(1L)->annotations,
            "\tRating pre commitment kludge 0.600000\n\tRating pre commitment kludge 0.800000\n");
}

TEST_F(Reweighting, AHugeRatingKeepsItsWholeNoteLine) {
  // 2^90, exact in float: its note is longer than any small fixed buffer.
  add("A", 1237940039285380274899124224.0f, {1});
  add("B", 1.0f, {});
  s.kludge_reweight_schedules_and_sort_based_on_hard_commitments();
  EXPECT_EQ(s.good_schedules.get(0L)->annotations + s.good_schedules.get(1L)->annotations,
            "\tRating pre commitment kludge 1237940039285380274899124224.000000\n"
            "\tRating pre commitment kludge 1.000000\n");
}

TEST_F(Reweighting, RegularAndWhatIfCommitmentsAddTenthsAndHundredthsOfABestOfZero) {
  add("A", 0.0f, {0, -1});
  add("B", 0.0f, {-1, -2});
  add("C", 0.0f, {});
  s.kludge_reweight_schedules_and_sort_based_on_hard_commitments();
  EXPECT_EQ(ratings(), (std::vector<float>{0.1f, 0.01f, 0.0f}));
  EXPECT_EQ(s.good_schedules.get(2L)->annotations, "\tRating pre commitment kludge 0.000000\n");
}

TEST_F(Reweighting, ANegativeBestStillRewardsTheHardSatisfyingSchedule) {
  add("A", -1.0f, {});
  add("B", -1.0f, {1});
  EXPECT_EQ(s.kludge_reweight_schedules_and_sort_based_on_hard_commitments()->id, "B");
  EXPECT_EQ(ratings(), (std::vector<float>{-0.5f, -1.0f}));
}

TEST_F(Reweighting, NothingSatisfiedChangesNothingAndNoSchedulesGiveNull) {
  EXPECT_EQ(s.kludge_reweight_schedules_and_sort_based_on_hard_commitments(), nullptr);
  add("A", 0.3f, {});
  add("B", 0.7f, {});
  EXPECT_EQ(s.kludge_reweight_schedules_and_sort_based_on_hard_commitments()->id, "A");
  EXPECT_EQ(ratings(), (std::vector<float>{0.3f, 0.7f}));
  EXPECT_EQ(s.good_schedules.get(0L)->annotations, "");
}

}  // namespace

namespace {

using scheduler_test::PreparedRound;

class Repairs : public PreparedRound {
 protected:
  // M in a SUM group beside a MAX task over E and F; E enables M.
  void SetUp() override {
    PreparedRound::SetUp();
    prepare(std::string(AGENT_A) + group("G", "M X", "q_sum") + task("X", "G", "E F", "q_max") +
            method("M", "G", 10, 2, 1) + method("E", "X", 5, 1, 1) + method("F", "X", 4, 1, 1) +
            "(spec_enables (label en) (agent A) (from E) (to M) (delay 0 1))\n");
  }
  Alternative* root_alternative_of(std::vector<std::string> methods) {
    for (long i = 0; i < root_alternatives().length(); i++) {
      Alternative* a = root_alternatives().get(i);
      std::vector<std::string> ids;
      for (long k = 0; k < a->method_list.length(); k++) ids.push_back(a->method_list.get(k)->id);
      if (ids == methods) return a;
    }
    return nullptr;
  }
};

TEST_F(Repairs, AnUnenabledMethodGetsItsEnablerAddedOnceAndDuplicatesAreCounted) {
  Alternative* mf = root_alternative_of({"F", "M"});
  ASSERT_NE(mf, nullptr);
  long before = root_alternatives().length();
  int created = scheduler->num_alternatives_created;
  scheduler->suggest_improvments_via_new_alternatives(nullptr, mf, scheduler->dp_to_meta_root);
  ASSERT_EQ(root_alternatives().length(), before + 1);
  Alternative* repair = root_alternatives().get(0L);
  EXPECT_EQ(repair->of_task, "meta_root_fix_unenabled_0");
  EXPECT_EQ(root_alternative_of({"F", "M", "E"}), repair);
  EXPECT_EQ(pairs_of(repair->quality), pairs_of(mf->quality));
  EXPECT_EQ(pairs_of(repair->cost) + pairs_of(repair->duration), "(1.00 3.00)(1.00 4.00)");
  EXPECT_EQ(repair->rating, -1.0f);
  // One candidate from the cross product, one repair.
  EXPECT_EQ(scheduler->num_alternatives_created, created + 2);

  // {M} proposes {M, E}, which is there already as {E, M}: dropped, but counted.
  Alternative* m = root_alternative_of({"M"});
  ASSERT_NE(m, nullptr);
  scheduler->enable_unenabled_methods(m, scheduler->dp_to_meta_root);
  EXPECT_EQ(root_alternatives().length(), before + 1);
  EXPECT_EQ(scheduler->num_alternatives_created, created + 4);
  // An enabler already in the alternative, or one with quality, is no source.
  scheduler->enable_unenabled_methods(repair, scheduler->dp_to_meta_root);
  node("E")->working_quality.replace_with(1.0f, 5.0f);
  scheduler->enable_unenabled_methods(mf, scheduler->dp_to_meta_root);
  EXPECT_EQ(scheduler->num_alternatives_created, created + 4);
}

class Envelopes : public PreparedRound {
 protected:
  // a under a SUM under a MAX under a MIN group; b alone in a SUM group; c in a SEQ group.
  void SetUp() override {
    PreparedRound::SetUp();
    prepare(std::string(AGENT_A) + group("G", "X", "q_min") + task("X", "G", "S", "q_max") +
            task("S", "X", "a", "q_sum") + method("a", "S", 1, 1, 1) + group("H", "b", "q_sum") +
            method("b", "H", 1, 1, 1) + group("K", "c", "q_seq") + method("c", "K", 1, 1, 1));
    scheduler->money_spent_thus_far = 1.5f;
    node("S")->working_quality = make({{0.5f, 0}, {0.5f, 8}});
    node("X")->working_quality = make({{1, 5}});
    node("G")->working_quality = make({{1, 7}});
    node("H")->working_quality = make({{1, 0}});
    node("b")->is_enabler_in_current_schedule = 1;
    schedule.cost.replace_with(1.0f, 0.0f);
    schedule.add_slack_time_element(1.0f);
    place("a", make({{0.5f, 2}, {0.5f, 6}}), 9, 2);
    place("b", make({{1, 0}}), 11, 3);
    place("c", make({{1, 1}}), 12, 1);
  }
  void place(const char* id, Distribution quality, float finish, float cost) {
    ScheduleElement* e = element(id, make({{1, finish}}), make({{1, cost}}));
    e->quality = quality;
    e->method_to_execute = static_cast<Method*>(task_named(id));
    e->dp_of_method = node(id);
    schedule.add_completed_element_to_schedule(e);
  }
  // quality min and max, cost max, finish max of each element
  std::vector<float> bounds() {
    std::vector<float> out;
    for (long i = 0; i < schedule.timeline_schedule.length(); i++) {
      ScheduleElement* e = schedule.timeline_schedule.get(i);
      for (float v : {e->quality_envelope.min, e->quality_envelope.max, e->aggregate_cost_envelope.max,
                      e->finish_time_envelope.max})
        out.push_back(v);
    }
    return out;
  }
  Schedule schedule;
};

TEST_F(Envelopes, AncestorsBoundEachMethodAndTheTogglesOverwrite) {
  EnvelopeToggleBundle on;
  scheduler->set_scheduler_envelope_toggles(on);
  std::string out = stderr_of([&] {
    scheduler->calculate_reschedule_envelopes_for_schedule(schedule);
    scheduler->calculate_reschedule_envelopes_for_schedule(schedule);
  });
  EXPECT_EQ(out, "Reminder: Rescheduling envelopes for SEQ qaf are disabled.\n");
  EXPECT_EQ(bounds(), (std::vector<float>{-1, 99999, 99999, 99999,  // slack: untouched
                                          7, 5, 3.5f, 9,            // SUM, then MAX caps at 5, then MIN raises to 7
                                          0.00001f, 99999, 6.5f, 11,  // an enabler with no bound above 0
                                          -1, 99999, 7.5f, 12}));

  EnvelopeToggleBundle off;
  off.q = off.d = off.c = 0;
  scheduler->set_scheduler_envelope_toggles(off);
  scheduler->calculate_reschedule_envelopes_for_schedule(schedule);
  std::vector<float> expected;
  for (float max_q : {99999.0f, 5.0f, 99999.0f, 99999.0f})
    for (float v : {-1.0f, max_q, 99999.0f, 99999.0f}) expected.push_back(v);
  EXPECT_EQ(bounds(), expected);
}

}  // namespace
