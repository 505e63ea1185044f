// Commitments while a schedule is built: the timeline's next start and finish-if-added,
// the status of each kind at its boundaries, several links, recording, linking's rules
// and the reset every build starts from.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "foundation/foundation_test_support.h"
#include "language/vorna_io_test_support.h"
#include "scheduler_test_support.h"

using scheduler_test::AGENT_A;
using scheduler_test::group;
using scheduler_test::method;
using testing::HasSubstr;

namespace {

std::string pairs(Distribution& d) { return vorna_io_test::pairs(d); }

Distribution dist(std::initializer_list<std::pair<float, float>> ps) {
  Distribution d;
  for (auto [p, v] : ps) d.append(p, v);
  return d;
}

TEST(ScheduleTimeline, NextStartAndFinishIfAddedAlongOneChain) {
  Schedule s;
  auto add = [&](Distribution d, float cpu, const char* start, const char* finish, float slack) {
    Distribution st, fin, dur;
    float left = -1;
    int overlaps = 0;
    s.get_distributions_and_slack_left_if_method_added_to_schedule(d, cpu, st, fin, dur, left, overlaps);
    EXPECT_EQ(pairs(st), start);
    EXPECT_EQ(pairs(fin), finish);
    EXPECT_EQ(left, slack);
    EXPECT_EQ(s.get_expected_finish_time_if_method_added_to_schedule(d, cpu), fin.get_expected_value());
    return std::tuple{std::move(st), std::move(fin)};
  };
  auto append = [&](std::tuple<Distribution, Distribution> times, float unused) {
    auto* e = new ScheduleElement;
    e->start_time_distribution.duplicate(std::get<0>(times));
    e->finish_time_distribution.duplicate(std::get<1>(times));
    e->unused_cpu_time = unused;
    s.timeline_schedule.add(e);
  };
  EXPECT_EQ(s.get_next_expected_start_time(), 0.0f);
  append(add(dist({{0.5f, 2}, {0.5f, 4}}), 1.0f, "{ (1.000000 0.000000) }", "{ (0.500000 2.000000) (0.500000 4.000000) }",
             0.0f),
         0.0f);
  EXPECT_EQ(s.get_next_expected_start_time(), 3.0f);
  append(add(dist({{1, 3}}), 0.5f, "{ (0.500000 2.000000) (0.500000 4.000000) }",
             "{ (0.500000 5.000000) (0.500000 7.000000) }", 1.5f),
         1.5f);
  // The free time at the end of the last element: the next start is that element's start.
  EXPECT_EQ(s.get_next_expected_start_time(), 3.0f);
  EXPECT_EQ(s.get_earlest_possible_next_start_time(), 3.0f);
  add(dist({{1, 2}}), 1.0f, "{ (0.500000 2.000000) (0.500000 4.000000) }", "{ (0.500000 5.500000) (0.500000 7.500000) }",
      0.0f);
  add(dist({{1, 1}}), 1.0f, "{ (0.500000 2.000000) (0.500000 4.000000) }", "{ (0.500000 5.000000) (0.500000 7.000000) }",
      0.5f);
}

class CommitmentTracking : public scheduler_test::ScheduleUnderConstruction {
 protected:
  // m (quality q, duration d) as its node would read now.
  void give_m(float q, float d) {
    node("m")->working_quality.replace_with(1.0f, q);
    node("m")->working_duration.replace_with(1.0f, d);
  }
  LocalCommitment* local(CommitmentType type, float minimum = 0) {
    auto* c = new LocalCommitment;
    c->type = type;
    c->minimum_quality = minimum;
    c->dps_for_tasks->add(node("m"));
    made.append(c);
    return c;
  }
  void TearDown() override {
    made.delete_list(1);
    ScheduleUnderConstruction::TearDown();
  }
  CommitmentList made;
};

const std::string ONE_METHOD = std::string(AGENT_A) + group("G", "m n", "q_sum") + method("m", "G", 4, 2, 0) +
                               method("n", "G", 4, 2, 0);

TEST_F(CommitmentTracking, EachKindAtItsBoundaries) {
  struct Case {
    const char* name;
    CommitmentType type;
    float a, b;  // deadline, or earliest start, or the interval
    float next_start, q, d;
    CommitmentStatus expected;
  };
  Case cases[] = {
      {"finishing at the deadline", DEADLINE_COMMITMENT_TYPE, 10, 0, 8, 4, 2, COMMITMENT_SATISFIED},
      {"finishing after it", DEADLINE_COMMITMENT_TYPE, 10, 0, 8.5f, 4, 2, COMMITMENT_VIOLATED},
      {"no quality yet, minimum 0", DO_COMMITMENT_TYPE, 0, 0, 0, 0, 0, COMMITMENT_UNDETERMINED},
      {"started before the earliest start", EARLIEST_START_TIME_COMMITMENT_TYPE, 3, 0, 2, 0, 2, COMMITMENT_VIOLATED},
      {"done from the earliest start", EARLIEST_START_TIME_COMMITMENT_TYPE, 3, 0, 3, 4, 2, COMMITMENT_SATISFIED},
      {"ending exactly at the interval", DONT_COMMITMENT_TYPE, 5, 8, 3, 4, 2, COMMITMENT_SATISFIED},
      {"starting exactly at its end", DONT_COMMITMENT_TYPE, 5, 8, 8, 4, 2, COMMITMENT_SATISFIED},
      {"ending inside it", DONT_COMMITMENT_TYPE, 5, 8, 4, 4, 2, COMMITMENT_VIOLATED},
      {"spanning it", DONT_COMMITMENT_TYPE, 5, 8, 4, 4, 4, COMMITMENT_VIOLATED},
      {"not done", DONT_COMMITMENT_TYPE, 5, 8, 6, 0, 2, COMMITMENT_UNDETERMINED},
  };
  prepare_schedule(ONE_METHOD, {"m"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LocalCommitment* com = local(c.type);
    com->deadline = c.a;
    com->earliest_start_time = c.a;
    com->dont_interval_start = c.a;
    com->dont_interval_end = c.b;
    schedule->start_time_to_schedule_for = c.next_start;
    give_m(c.q, c.d);
    EXPECT_EQ(scheduler->check_commitment_status(*schedule, com), c.expected);
  }
}

TEST_F(CommitmentTracking, SeveralLinksMergeAndRecordingMovesAndCounts) {
  prepare_schedule(ONE_METHOD, {"m"});
  LocalCommitment* both = local(DEADLINE_COMMITMENT_TYPE, 1);
  both->deadline = 3;
  both->dps_for_tasks->add(node("n"));
  give_m(4, 2);
  EXPECT_EQ(scheduler->check_commitment_status(*schedule, both), COMMITMENT_SATISFIED);  // n undetermined
  node("n")->working_duration.replace_with(1.0f, 5);
  testing::internal::CaptureStderr();
  EXPECT_EQ(scheduler->check_commitment_status(*schedule, both), COMMITMENT_VIOLATED);
  EXPECT_THAT(testing::internal::GetCapturedStderr(),
              HasSubstr("Warning, a commitment that is linked to multiple tasks is both satisfied and violated at this "
                        "point in the schedule. The semantics for mutiple links in this context are unclear.  "
                        "Considering it violated.  The details follow:\n"));

  LocalCommitment* done = local(DO_COMMITMENT_TYPE, 1);
  LocalCommitment* open = local(DO_COMMITMENT_TYPE, 9);
  done->existing_or_proposed = COMMITMENT_IS_EXISTING;
  for (Commitment* c : {static_cast<Commitment*>(both), static_cast<Commitment*>(done), static_cast<Commitment*>(open)})
    schedule->undetermined_local_commitments.append(c);
  long satisfied = 7, violated = 7;
  testing::internal::CaptureStderr();
  for (int i = 0; i < 2; i++) scheduler->record_newly_satisfied_and_violated_local_commitments(*schedule, satisfied, violated, 6);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(satisfied + violated, 0);
  EXPECT_EQ(schedule->undetermined_local_commitments.length(), 1);
  EXPECT_EQ(schedule->violated_local_commitments.get(0L), both);
  EXPECT_EQ(schedule->satisfied_local_commitments.get(0L), done);
  EXPECT_EQ(done->status, COMMITMENT_SATISFIED);
  EXPECT_EQ(done->satisfaction_time, 6.0f);
  EXPECT_EQ(schedule->num_existing_local_commitments_satisfied + schedule->num_proposed_local_commitments_violated +
                schedule->num_satisfied_local_commitments + schedule->num_violated_local_commitments,
            4);
}

TEST_F(CommitmentTracking, LinkingReshapesTheStructure) {
  prepare_schedule(std::string(AGENT_A) + group("G", "m n done", "q_sum") + method("m", "G", 4, 2, 0) +
                       method("n", "G", 4, 2, 0, "(deadline 20)") +
                       method("done", "G", 3, 1, 0, "(start_time 0) (finish_time 1)") +
                       "(spec_enables (label E) (agent A) (from m) (from_outcome o) (to n) (delay 1 1))\n"
                       "(spec_nonlocal_commitment (label R) (task m) (from_agent B) (to_agent A) "
                       "(quality_distribution 7 1) (time_distribution 5 1))\n"
                       "(spec_nonlocal_commitment (label P) (task DONE) (from_agent B) (to_agent A) "
                       "(quality_distribution 7 1) (time_distribution 5 1))\n"
                       "(spec_commitment (label H) (type est_and_dl_and_do) (task n) (importance 1) (minimum_quality 0) "
                       "(earliest_start_time 2) (deadline 12) (time_satisfied -9))\n"
                       "(spec_commitment (label S) (type est_and_dl_and_do) (task n) (importance 2) (minimum_quality 0) "
                       "(earliest_start_time 4) (deadline 10) (time_satisfied -9))\n",
                   {"m", "n"});
  Method* m = method_named("m");
  ASSERT_EQ(m->outcomes.length(), 1);
  Outcome* promised = m->outcomes.get(0L);
  EXPECT_EQ(promised->probability, 1.0f);
  EXPECT_EQ(m->earliest_start_time, 5.0f);  // from the arrival distribution
  EXPECT_EQ(m->affects_actually->get(0L)->outcome_from_if_applicable, promised);
  EXPECT_EQ(node("m")->affects_actually->get(0L)->outcome_from_if_applicable, promised);
  EXPECT_EQ(pairs(node("m")->combined_outcomes->quality), "{ (1.000000 7.000000) }");
  // A method that already ran keeps its result.
  EXPECT_EQ(pairs(method_named("done")->outcomes.get(0L)->quality), "{ (1.000000 3.000000) }");
  // Only the hard commitment tightens n.
  EXPECT_EQ(method_named("n")->deadline, 12.0f);
  EXPECT_EQ(method_named("n")->earliest_start_time, 2.0f);
  EXPECT_EQ(node("n")->commitments.length(), 2);

  // m placed with its promised result: the enabling reaches n at 6.
  place("m", 5);
  schedule->start_time_to_schedule_for = 6;
  EXPECT_EQ(scheduler->enforce_enables(*schedule, method_named("n"), node("n"), 1), 1.0f);
}

TEST_F(CommitmentTracking, HardDontPushesAreGivenBackWithTheStatusAtEachBuild) {
  prepare_schedule(ONE_METHOD +
                       "(spec_commitment (label D) (type dont) (task m) (importance 1) (minimum_quality 0) "
                       "(earliest_start_time -9) (deadline -9) (dont_interval_start 5) (dont_interval_end 8) "
                       "(time_satisfied -9))\n",
                   {"m"});
  Method* m = method_named("m");
  float original = m->earliest_start_time;
  TaskList methods;
  methods.append(m);
  // Duration 2 fits before the interval from 3, not from 3.5.
  scheduler->check_remaining_methods_for_hard_dont_commitments_who_now_need_earliest_start_time_set(methods, 3);
  EXPECT_EQ(m->earliest_start_time, original);
  scheduler->check_remaining_methods_for_hard_dont_commitments_who_now_need_earliest_start_time_set(methods, 3.5f);
  EXPECT_EQ(m->earliest_start_time, 8.0f);
  methods.delete_list(0);

  LocalCommitment* d = scheduler->all_local_commitments.get(0L)->as_local();
  d->status = COMMITMENT_SATISFIED;
  d->satisfaction_time = 4;
  scheduler->reset_commitment_state_for_a_new_schedule();
  EXPECT_EQ(m->earliest_start_time, original);
  EXPECT_EQ(d->status, COMMITMENT_UNDETERMINED);
  EXPECT_EQ(d->satisfaction_time, UNSET_TIME);
}

// A greedy build of the planned methods from the loop's reset, its notes swallowed.
Schedule* build_planned(Scheduler& s, Alternative& plan) {
  DecisionPoint* meta = s.dp_to_meta_root;
  s.reset_all_dp_variables_prior_to_scheduling(meta, meta);
  Schedule* built = nullptr;
  foundation_test::stderr_of([&] { built = s.heuristically_build_schedule_for_given_alternative(meta, &plan); });
  return built;
}

// T's two methods, 4 each, one after the other; T needs both to reach 8.
std::string two_halves(float second_duration, const std::string& commitment) {
  return std::string(AGENT_A) + group("G", "T", "q_sum") + scheduler_test::task("T", "G", "a b", "q_sum_all") +
         method("a", "T", 5, 4, 0) + method("b", "T", 5, second_duration, 0) + commitment;
}

TEST_F(CommitmentTracking, ADeadlineIsJudgedWhenTheTasksLastMethodIsDone) {
  const std::string deadline =
      "(spec_commitment (label C) (type deadline) (task T) (importance 2) (minimum_quality 8) "
      "(earliest_start_time -9) (deadline 10) (time_satisfied -9))\n";
  struct Case {
    const char* name;
    float second_duration;
    int satisfied;
  };
  // In both, T's own quality time is before the deadline: it got quality from its first method.
  Case cases[] = {{"done at 8", 4, 1}, {"done at 12", 8, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prepare_schedule(two_halves(c.second_duration, deadline), {"a", "b"});
    Schedule* s = build_planned(*scheduler, *alt);
    ASSERT_EQ(s->timeline_schedule.length(), 2);
    EXPECT_LT(node("T")->time_task_or_method_gets_quality, 10.0f);
    EXPECT_EQ(s->num_satisfied_local_commitments, c.satisfied);
    EXPECT_EQ(s->num_violated_local_commitments, 1 - c.satisfied);
    EXPECT_EQ(s->num_proposed_local_commitments_violated, 1 - c.satisfied);
    TearDown();
    SetUp();
  }
}

TEST_F(CommitmentTracking, ADontWhoseTaskWasLeftUndoneIsKeptAtTheEnd) {
  const std::string text =
      std::string(AGENT_A) + group("G", "a T", "q_sum") + method("a", "G", 5, 3, 0) +
      scheduler_test::task("T", "G", "b", "q_max") + method("b", "T", 5, 2, 0) +
      "(spec_commitment (label D) (type dont) (task T) (importance 2) (minimum_quality 0) (earliest_start_time -9) "
      "(deadline -9) (dont_interval_start 2) (dont_interval_end 6) (time_satisfied -9))\n"
      "(spec_commitment (label L) (type deadline) (task T) (importance 2) (minimum_quality 1) "
      "(earliest_start_time -9) (deadline 10) (time_satisfied -9))\n";
  prepare_schedule(text, {"a"});
  CommitmentList& all = scheduler->all_local_commitments;
  LocalCommitment* dont = all.get(all.get(0L)->commitment_id == "D" ? 0L : 1L)->as_local();
  Schedule* s = build_planned(*scheduler, *alt);
  ASSERT_EQ(s->timeline_schedule.length(), 1);
  ASSERT_EQ(s->satisfied_local_commitments.length(), 1);
  EXPECT_EQ(s->satisfied_local_commitments.get(0L), dont);
  EXPECT_EQ(dont->status, COMMITMENT_SATISFIED);
  EXPECT_EQ(dont->satisfaction_time, 3.0f);  // where a ends
  EXPECT_EQ(s->num_satisfied_local_commitments, 1);
  EXPECT_EQ(s->num_proposed_local_commitments_satisfied, 1);
  // Any other kind still counts as violated.
  ASSERT_EQ(s->violated_local_commitments.length(), 1);
  EXPECT_EQ(s->violated_local_commitments.get(0L)->commitment_id, "L");
  EXPECT_EQ(s->num_violated_local_commitments, 1);
  EXPECT_EQ(s->num_proposed_local_commitments_violated, 1);
  TearDown();
  SetUp();

  // A method of the task in the timeline, though the task holds no quality: the DONT is
  // left to the usual rule.
  prepare_schedule(text, {"a", "b"});
  auto* placed = new ScheduleElement;
  placed->method_id = "b";
  placed->method_to_execute = method_named("b");
  placed->finish_time_distribution.replace_with(1.0f, 4.0f);
  schedule->timeline_schedule.add(placed);
  scheduler->count_dont_commitments_kept_by_leaving_their_tasks_undone(*schedule);
  EXPECT_EQ(schedule->undetermined_local_commitments.length(), 2);
  EXPECT_EQ(schedule->num_satisfied_local_commitments, 0);
}

TEST_F(CommitmentTracking, FatalLinksStopWithTheirMessages) {
  // The reader refuses both; a commitment renamed after reading reaches the linking.
  struct Case {
    const char* form;
    const char* renamed_to;
    const char* message;
  };
  Case cases[] = {
      {"(spec_nonlocal_commitment (label R) (task m) (from_agent B) (to_agent A) (quality_distribution 7 1) "
       "(time_distribution 5 1))\n",
       "G", "Error, nlc tied to a non-method!\n"},
      {"(spec_commitment (label D) (type do) (task m) (importance 1) (minimum_quality 0) (earliest_start_time -9) "
       "(deadline -9) (time_satisfied -9))\n",
       "nowhere", "Error, a commitment for this agent is associated with an unknown task.\n"},
  };
  for (const Case& c : cases) {
    read(ONE_METHOD + c.form);
    build_trees();
    scheduler->copy_commitments_for_this_agent_to_proper_lists_for_scheduling();
    Commitment* com = scheduler->all_known_commitments_for_all_agents.get(0L);
    *static_cast<std::string*>(com->task_ids.get(0L)) = c.renamed_to;
    EXPECT_EXIT(scheduler->link_commitments_to_decision_points(), testing::ExitedWithCode(1), HasSubstr(c.message));
    TearDown();
    SetUp();
  }
}

}  // namespace
