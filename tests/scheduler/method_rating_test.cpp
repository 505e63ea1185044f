// Method rating: the weights, the failure codes with their notes and lasting effects, the
// orders the preference scores give, and a rating leaving the round as it found it.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "scheduler/method_rating_codes.h"
#include "scheduler_test_support.h"

using scheduler_test::AGENT_A;
using scheduler_test::group;
using scheduler_test::method;
using scheduler_test::task;

namespace {

std::string effect(const std::string& form, const std::string& from, const std::string& to,
                   const std::string& delay = "0 1", const std::string& powers = "") {
  // Tasks (upper case) have no outcomes to name.
  std::string outcome = isupper(from[0]) ? "" : " (from_outcome o)";
  return "(spec_" + form + " (label " + from + to + ") (agent A) (from " + from + ")" + outcome + " (to " + to + ") " +
         powers + " (delay " + delay + "))\n";
}
const char* const FACILITATION = "(quality_power 0.5 1) (duration_power 0 1) (cost_power 0 1)";

class MethodRating : public scheduler_test::ScheduleUnderConstruction {};

TEST_F(MethodRating, WeightsAndAPlainMethodRating) {
  prepare_schedule(std::string(AGENT_A) + group("G", "m", "q_sum") + method("m", "G", 10, 2, 1), {"m"});
  EXPECT_EQ(scheduler->scale_local_method_rating(1.0f, 2.9f), 190.0000153f);
  EXPECT_EQ(scheduler->scale_local_method_rating(0.5f, 4.0f), 5000.0f);
  EXPECT_EQ(scheduler->scale_local_method_rating(1.0f, 1.0f), 10.0f);
  EXPECT_EQ(rate("m"), 100000.0f);
  scheduler->highest_possible_quality_in_list_of_candidate_tasks = 20.0f;
  EXPECT_EQ(rate("m"), 100000.5f);
  EXPECT_EQ(schedule->annotations_from_last_method_rating_run, "");
}

TEST_F(MethodRating, EachFailureCodeAtItsBoundaryWithItsNoteAndLastingEffect) {
  struct Case {
    const char* name;
    std::string text;
    float next_start;
    float rating;
    float earliest;  // left on the node; -99 when not checked
  };
  std::string base = std::string(AGENT_A) + group("G", "src m", "q_sum");
  std::string src = method("src", "G", 5, 1, 0);
  std::string fuel = "(spec_consumable_resource (label fuel) (agent A) (state 2) (depleted_at 0))\n"
                     "(spec_uses (label U) (agent A) (from m) (to fuel) (consumes 4 1))\n"
                     "(spec_limits (label L) (agent A) (from fuel) (to m) (quality_power 1 1) (duration_power 0 1)"
                     " (cost_power 0 1) (resource_model duration_independent))\n";
  Case cases[] = {
      {"zero quality", base + src + method("m", "G", 0, 1, 0), 0, FAILED_DUE_TO_ZERO_INITIAL_QUALITY, -99},
      {"enabler without quality", base + src + method("m", "G", 4, 1, 0) + effect("enables", "src", "m"), 0,
       FAILED_ENFORCE_ENABLES_DUE_TO_QUALITY, UNSET_TIME},
      {"enabler striking after next start", base + src + method("m", "G", 4, 1, 0) + effect("enables", "src", "m", "3 1"),
       4.9f, FAILED_ENFORCE_ENABLES_DUE_TO_DELAY, 5},
      {"enabler striking at next start", base + src + method("m", "G", 4, 1, 0) + effect("enables", "src", "m", "3 1"), 5,
       100000, 0},
      {"deadline missed with probability 0.76",
       base + src + "(spec_method (label m) (agent A) (supertasks G) (deadline 3) (outcomes " +
           scheduler_test::outcome("4 1", "1 0.24 5 0.76", "0 1") + "))\n",
       0, FAILED_ENFORCE_HARD_DEADLINES, -99},
      // Passes, finishing (at 4 expected) in the last quarter before its deadline.
      {"deadline missed with probability 0.75",
       base + src + "(spec_method (label m) (agent A) (supertasks G) (deadline 3) (outcomes " +
           scheduler_test::outcome("4 1", "1 0.25 5 0.75", "0 1") + "))\n",
       0, 110000, -99},
      {"too early", base + src + method("m", "G", 4, 1, 0, "(earliest_start_time 4)"), 3.5f,
       FAILED_ENFORCE_EARLIEST_START_TIME, 4},
      {"at the earliest start", base + src + method("m", "G", 4, 1, 0, "(earliest_start_time 4)"), 4, 100000, 4},
      {"out of fuel", base + src + method("m", "G", 4, 1, 0) + fuel, 0, FAILED_DUE_TO_LACK_OF_RESOURCES, -99},
      {"later in a sequence", std::string(AGENT_A) + group("G", "S", "q_sum") + task("S", "G", "src m", "q_seq") +
           method("src", "S", 5, 1, 0) + method("m", "S", 4, 1, 0), 0,
       FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX, -99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prepare_schedule(c.text, {"src", "m"});
    if (std::string(c.name).find("striking") != std::string::npos) place("src", 2);
    schedule->start_time_to_schedule_for = c.next_start;
    scheduler->end_of_the_current_working_schedule = c.next_start;
    EXPECT_EQ(rate("m"), c.rating);
    const char* label = method_rating_label(c.rating);
    EXPECT_EQ(schedule->annotations_from_last_method_rating_run,
              c.rating < 0 ? std::string("\tMethod m was unschedule-able because ") + label + ".\n" : "");
    if (c.earliest != -99) {
      EXPECT_EQ(node("m")->earliest_method_may_be_scheduled, c.earliest);
    }
    if (std::string(c.name).find("enabler") != std::string::npos) {
      EXPECT_EQ(node("src")->is_enabler_in_current_schedule, 1);
    }
    EXPECT_EQ(scheduler->working_resources.length() ? scheduler->working_resources.get(0L)->state : 2.0f, 2.0f);
    TearDown();
    SetUp();
  }
}

TEST_F(MethodRating, DisablersThatHaveStruckLockTheMethodFromThreeQuarters) {
  struct Case {
    float first, second, rating;
  };
  for (Case c : {Case{0.5f, 0.25f, FAILED_ENFORCE_DISABLES}, Case{0.5f, 0.2f, 100000}}) {
    prepare_schedule(std::string(AGENT_A) + group("G", "d1 d2 m", "q_sum") + method("d1", "G", 5, 1, 0) +
                         method("d2", "G", 5, 1, 0) + method("m", "G", 4, 1, 0) + effect("disables", "d1", "m") +
                         effect("disables", "d2", "m", "1 1"),
                     {"m"});
    schedule->start_time_to_schedule_for = 3;
    for (auto [id, p] : {std::pair{"d1", c.first}, std::pair{"d2", c.second}}) {
      node(id)->working_quality.delete_all();
      node(id)->working_quality.append(1 - p, 0);
      node(id)->working_quality.append(p, 5);
      node(id)->take_working_quality_as_base();
      node(id)->time_task_or_method_gets_quality = 2;  // d2 strikes exactly at next start
    }
    EXPECT_EQ(rate("m"), c.rating);
    EXPECT_EQ(node("m")->working_values_are_locked, c.rating < 0 ? 1 : 0);
    TearDown();
    SetUp();
  }
}

// Within a round the builder keeps what each node knows of its waiting methods: a method
// locked by a disabler during the round no longer holds back the sequence after it.
TEST_F(MethodRating, ASequenceSeesAMethodLockedEarlierInTheSameRound) {
  for (bool in_a_round : {false, true}) {
    prepare_schedule(std::string(AGENT_A) + group("G", "d S", "q_sum") + task("S", "G", "a b", "q_seq") +
                         method("d", "G", 5, 1, 0) + method("a", "S", 4, 1, 0) + method("b", "S", 4, 1, 0) +
                         effect("disables", "d", "a"),
                     {"a", "b"});
    schedule->start_time_to_schedule_for = 3;
    place("d", 2);
    if (in_a_round) scheduler->waiting_memo_stamp = ++scheduler->waiting_memo_stamps_used;
    EXPECT_EQ(rate("b"), FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX) << in_a_round;
    EXPECT_EQ(rate("a"), FAILED_ENFORCE_DISABLES) << in_a_round;
    EXPECT_GT(rate("b"), 0.0f) << in_a_round;
    scheduler->waiting_memo_stamp = 0;
    TearDown();
    SetUp();
  }
}

// Within a round a rating keeps what it found of the path above each node (the what-if's
// walk, the sequences above): rating every method of a chain twice in one round, the
// second time from the deepest up, gives what the same ratings give outside a round.
TEST_F(MethodRating, AChainRatesInARoundAsOutsideOne) {
  // a beside T1 under G, b beside the sequence S under T1, c before T2 in S, d and e under
  // T2; the end of the schedule moved since S's last step, so a what-if through S steps it.
  std::string text = std::string(AGENT_A) + group("G", "a T1", "q_min") + task("T1", "G", "b S", "q_min") +
                     task("S", "T1", "c T2", "q_seq_sum") + task("T2", "S", "d e", "q_min") + method("a", "G", 4, 1, 0) +
                     method("b", "T1", 3, 1, 0) + method("c", "S", 5, 1, 0) + method("d", "T2", 2, 1, 0) +
                     method("e", "T2", 6, 1, 0);
  const char* ids[] = {"a", "b", "c", "d", "e"};
  auto ratings = [&](bool in_a_round, bool c_placed) {
    prepare_schedule(text, {"a", "b", "c", "d", "e"});
    if (c_placed) place("c", 1);
    scheduler->end_of_the_current_working_schedule = 7;
    if (in_a_round) scheduler->waiting_memo_stamp = ++scheduler->waiting_memo_stamps_used;
    std::string out;
    for (int pass = 0; pass < 2; pass++) {
      for (int k = 0; k < 5; k++) {
        const char* id = ids[pass == 0 ? k : 4 - k];
        long combines = Distribution::report_total_number_of_combine_operations();
        out += std::string(id) + " " + std::to_string(rate(id)) + " " +
               std::to_string(Distribution::report_total_number_of_combine_operations() - combines);
        for (const char* above : {"G", "T1", "S", "T2"})
          out += " " + std::to_string(node(above)->time_task_or_method_gets_quality);
        out += "\n";
      }
    }
    scheduler->waiting_memo_stamp = 0;
    TearDown();
    SetUp();
    return out;
  };
  for (bool c_placed : {false, true}) {
    std::string outside = ratings(false, c_placed);
    EXPECT_EQ(ratings(true, c_placed), outside) << c_placed;
    // d waits behind c in the sequence until c is placed.
    bool d_refused = outside.find("d " + std::to_string(FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX)) == 0 ||
                     outside.find("\nd " + std::to_string(FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX)) !=
                         std::string::npos;
    EXPECT_EQ(d_refused, !c_placed) << outside;
  }
}

// A greedy build keeps what ratings read of the structure (a method's path up, a subtask's
// place under a sequence) for all its rounds: rounds of ratings, one method placed after
// each, give what the same ratings give with nothing kept, beside a subtask shared by two
// sequences at different places and a sequence over a subtree.
TEST_F(MethodRating, SequencesRateInABuildAsOutsideOne) {
  std::string text = std::string(AGENT_A) + group("G", "S1 S2 S3", "q_sum") + task("S1", "G", "a T", "q_seq") +
                     task("S2", "G", "T b", "q_seq_sum") + task("T", "S1 S2", "t", "q_max") +
                     task("S3", "G", "c U", "q_seq_max") + task("U", "S3", "d e", "q_min") + method("a", "S1", 4, 1, 0) +
                     method("b", "S2", 3, 1, 0) + method("t", "T", 5, 1, 0) + method("c", "S3", 2, 1, 0) +
                     method("d", "U", 6, 1, 0) + method("e", "U", 1, 1, 0);
  const char* ids[] = {"a", "b", "t", "c", "d", "e"};
  const char* order[] = {"c", "a", "e", "t", "d"};
  auto ratings = [&](bool kept) {
    prepare_schedule(text, {"a", "b", "t", "c", "d", "e"});
    if (kept) scheduler->structure_memo_stamp = ++scheduler->waiting_memo_stamps_used;
    std::string out;
    for (const char* placed : order) {
      if (kept) scheduler->waiting_memo_stamp = ++scheduler->waiting_memo_stamps_used;
      for (int pass = 0; pass < 2; pass++) {
        for (int k = 0; k < 6; k++) {
          const char* id = ids[pass == 0 ? k : 5 - k];
          out += std::string(id) + " " + std::to_string(rate(id)) + "\n";
        }
      }
      scheduler->waiting_memo_stamp = 0;
      place(placed, 1);
    }
    scheduler->structure_memo_stamp = 0;
    TearDown();
    SetUp();
    return out;
  };
  std::string outside = ratings(false);
  EXPECT_EQ(ratings(true), outside);
  // Before c is placed, d waits behind it.
  EXPECT_NE(outside.find("d " + std::to_string(FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX)), std::string::npos);
}

// A build's later rounds keep more: a subtree whose methods are all placed stays done, and
// a method a disabler locked in an earlier round, refused again, leaves the round's memos
// standing. Rounds of ratings, one method placed after each, give what the same ratings
// give with nothing kept, beside a sequence over a subtree and one behind the locked method.
TEST_F(MethodRating, ABuildsLaterRoundsRateAsOutsideOne) {
  std::string text = std::string(AGENT_A) + group("G", "d S1 S2", "q_sum") + task("S1", "G", "U c", "q_seq") +
                     task("U", "S1", "e f", "q_min") + task("S2", "G", "a b", "q_seq_min") + method("d", "G", 5, 1, 0) +
                     method("e", "U", 6, 1, 0) + method("f", "U", 1, 1, 0) + method("c", "S1", 2, 1, 0) +
                     method("a", "S2", 4, 1, 0) + method("b", "S2", 3, 1, 0) + effect("disables", "d", "a");
  const char* ids[] = {"d", "e", "f", "c", "a", "b"};
  const char* order[] = {"d", "e", "f", "b", "c"};
  auto ratings = [&](bool kept) {
    prepare_schedule(text, {"d", "e", "f", "c", "a", "b"});
    schedule->start_time_to_schedule_for = 3;
    if (kept) scheduler->structure_memo_stamp = ++scheduler->waiting_memo_stamps_used;
    std::string out;
    long rounds_kept = 0;
    for (const char* placed : order) {
      if (kept) scheduler->waiting_memo_stamp = ++scheduler->waiting_memo_stamps_used;
      long stamp = scheduler->waiting_memo_stamp;
      bool was_locked = node("a")->working_values_are_locked == 1;
      for (int pass = 0; pass < 2; pass++) {
        for (int k = 0; k < 6; k++) {
          const char* id = ids[pass == 0 ? k : 5 - k];
          out += std::string(id) + " " + std::to_string(rate(id)) + "\n";
        }
      }
      if (kept && was_locked) {
        EXPECT_EQ(scheduler->waiting_memo_stamp, stamp) << placed;
        rounds_kept++;
      }
      scheduler->waiting_memo_stamp = 0;
      place(placed, 2);
    }
    scheduler->structure_memo_stamp = 0;
    TearDown();
    SetUp();
    if (kept) {
      EXPECT_GT(rounds_kept, 0);
    }
    return out;
  };
  std::string outside = ratings(false);
  EXPECT_EQ(ratings(true), outside);
  // The disabler locks a; c waits behind U until e and f are placed.
  EXPECT_NE(outside.find("a " + std::to_string(FAILED_ENFORCE_DISABLES)), std::string::npos);
  EXPECT_NE(outside.find("c " + std::to_string(FAILED_ENFORCE_SEQ_OR_SEQ_SUM_OR_SEQ_MIN_OR_SEQ_MAX)), std::string::npos);
  EXPECT_NE(outside.find("c 1"), std::string::npos) << outside;
}

TEST_F(MethodRating, ScoresOrderTheCandidates) {
  // One pending disabler of m among one planned method; n facilitates f.
  prepare_schedule(std::string(AGENT_A) + group("G", "d m n f", "q_sum") + method("d", "G", 5, 1, 0) +
                       method("m", "G", 4, 1, 0) + method("n", "G", 4, 1, 0) + method("f", "G", 4, 1, 0) +
                       effect("disables", "d", "m") + effect("facilitates", "n", "f", "0 1", FACILITATION),
                   {"m"});
  EXPECT_EQ(scheduler->prefer_disablees(*schedule, method_named("m"), node("m"), 0), 1000.0f);
  alt->method_list.append(method_named("f"));
  // n facilitates planned f (n = 2: 2 / 3 of 100); f waits for its facilitator.
  EXPECT_FLOAT_EQ(scheduler->prefer_facilitators(*schedule, method_named("n"), node("n"), 0), 66.66667f);
  EXPECT_EQ(scheduler->delay_facilitatees(*schedule, method_named("f"), node("f"), 160), 160.0f);
  alt->method_list.append(method_named("n"));
  EXPECT_EQ(scheduler->delay_facilitatees(*schedule, method_named("f"), node("f"), 60), 0.0f);
  EXPECT_GT(rate("n"), rate("f"));
  EXPECT_EQ(node("n")->time_task_or_method_gets_quality, UNSET_TIME);

  Method* m = method_named("m");
  m->perform_earlier_if_possible = m->perform_later_if_possible = m->preference_is_strong = 1;
  EXPECT_EQ(scheduler->prefer_later_if_desired(*schedule, m, node("m"),
                                               scheduler->prefer_earlier_if_desired(*schedule, m, node("m"), 500)),
            500.0f);
  for (auto [deadline, expected] : {std::pair{100.0f, 105000.0f}, std::pair{12.0f, 110000.0f}}) {
    m->deadline = deadline;
    schedule->start_time_to_schedule_for = 9;  // finishing at 10
    EXPECT_EQ(scheduler->prefer_earlier_deadlines(*schedule, m, node("m"), 100000), expected);
  }
}

TEST_F(MethodRating, TheCommitmentScoreWeighsEachKindOfChange) {
  struct Case {
    const char* importance;
    const char* type;
    const char* deadline;
    float expected;
  };
  // Existing satisfied, existing violated (floored), what-if satisfied, what-if violated.
  Case cases[] = {
      {"0", "do", "-9", 2000.0f},
      {"0", "deadline", "1", 0.0f},
      {"-1", "do", "-9", 1100.0f},
      {"-1", "deadline", "1", 809.99998f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.importance) + c.type);
    prepare_schedule(std::string(AGENT_A) + group("G", "m", "q_sum") + method("m", "G", 4, 2, 0) +
                         "(spec_commitment (label c) (type " + c.type + ") (task m) (importance " + c.importance +
                         ") (minimum_quality 1) (earliest_start_time -9) (deadline " + c.deadline +
                         ") (time_satisfied -9))\n",
                     {"m"});
    float r = scheduler->prefer_satisfying_and_avoid_violating_commitments(*schedule, method_named("m"), node("m"),
                                                                           c.expected == 0.0f ? 9000.0f : 1000.0f);
    EXPECT_FLOAT_EQ(r, c.expected);
    TearDown();
    SetUp();
  }
}

TEST_F(MethodRating, TheQualityGainIsReadAtTheMetaNode) {
  prepare_schedule(std::string(AGENT_A) + group("G", "m n", "q_sum") + method("m", "G", 10, 2, 0) +
                       method("n", "G", 5, 1, 0),
                   {"m", "n"});
  DecisionPoint* meta = scheduler->dp_to_meta_root;
  auto rating_with_m = [&](float rating) {
    testing::internal::CaptureStdout();
    float r = scheduler->prefer_increased_quality(*schedule, method_named("m"), node("m"), rating);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Method is m\n"), std::string::npos);
    return r;
  };
  // Nothing yet: any quality is a gain of 1.0.
  EXPECT_EQ(rating_with_m(1.0f), 2.0f);
  EXPECT_EQ(meta->working_quality.get_expected_value(), 0.0f);
  // n placed, as the builder does, recomputing its task group only: 5 to 15 is a gain of 2.
  schedule->cost.replace_with(1.0f, 0.0f);
  scheduler->add_method_to_schedule(*schedule, method_named("n"));
  EXPECT_EQ(rating_with_m(0.0f), 3.0f);
  EXPECT_EQ(meta->working_quality.get_expected_value(), 5.0f);
}

TEST_F(MethodRating, ARatingLeavesTheRoundAsItFoundItButForItsLastingEffects) {
  // m, under T, gives T quality; T facilitates planned n; m uses fuel and satisfies a commitment.
  prepare_schedule(std::string(AGENT_A) + group("G", "T n", "q_sum") + task("T", "G", "m", "q_max") +
                       method("m", "T", 4, 2, 1) + method("n", "G", 4, 1, 0) +
                       effect("facilitates", "T", "n", "0 1", FACILITATION) +
                       "(spec_consumable_resource (label fuel) (agent A) (state 10) (depleted_at 0))\n"
                       "(spec_uses (label U) (agent A) (from m) (to fuel) (consumes 4 1))\n"
                       "(spec_commitment (label c) (type do) (task m) (importance 0) (minimum_quality 1)"
                       " (earliest_start_time -9) (deadline -9) (time_satisfied -9))\n",
                   {"m", "n"});
  std::vector<DecisionPoint*> nodes{scheduler->dp_to_meta_root, node("G"), node("T"), node("m"), node("n")};
  auto snapshot = [&] {
    std::string s = std::to_string(scheduler->global_working_change_counter);
    for (DecisionPoint* dp : nodes) {
      for (Distribution* d : {&dp->working_quality, &dp->working_duration, &dp->working_cost}) d->print_to_string(s);
      s += std::to_string(dp->time_task_or_method_gets_quality);
    }
    return s + std::to_string(scheduler->working_resources.get("fuel")->state);
  };
  std::string before = snapshot();
  // The score alone lends T a quality time and gives it back (its resource use is the
  // rating's to undo).
  EXPECT_GT(scheduler->prefer_facilitators(*schedule, method_named("m"), node("m"), 0), 0.0f);
  EXPECT_EQ(node("T")->time_task_or_method_gets_quality, UNSET_TIME);
  scheduler->working_resources.get("fuel")->state = 10;
  EXPECT_GT(rate("m"), 100000.0f);
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(node("m")->earliest_method_may_be_scheduled, 0.0f);
}

TEST_F(MethodRating, TheResourceTestOfAMethodAloneCountsAndLeavesWhatTheLoanWould) {
  // m and z read nothing but their own values; z promises nothing itself, but another agent
  // promised quality for it; u uses fuel.
  prepare_schedule(std::string(AGENT_A) + group("G", "m z u", "q_sum") + method("m", "G", 10, 2, 1) +
                       method("z", "G", 0, 2, 1) + method("u", "G", 3, 1, 0) +
                       "(spec_consumable_resource (label fuel) (agent A) (state 10) (depleted_at 0))\n"
                       "(spec_uses (label U) (agent A) (from u) (to fuel) (consumes 4 1))\n",
                   {"m", "z", "u"});
  node("z")->communicated_quality.replace_with(1.0f, 5.0f);
  scheduler->global_working_change_counter++;
  scheduler->calculate_working_qdc_for_task_or_method_and_all_subs(scheduler->dp_to_meta_root, 0);
  const int counter = scheduler->global_working_change_counter;
  struct Case {
    const char* id;
    int stamp;  // 0: as the round left it
    int locked;
    float rating;
    long combines;
    bool resources_alone;
  };
  const float lacking = FAILED_DUE_TO_LACK_OF_RESOURCES;
  const Case cases[] = {
      {"m", 0, 0, 7.0f, 2, true},
      {"z", 0, 0, 7.0f, 2, true},
      // Already current at the loan's generation: the lent outcome is read unrecomputed.
      {"z", counter + 1, 0, lacking, 1, true},
      {"z", 0, 1, lacking, 0, true},
      {"u", 0, 0, 7.0f, 2, false},
  };
  for (const Case& c : cases) {
    DecisionPoint* dp = node(c.id);
    if (c.stamp != 0) dp->working_change_counter = c.stamp;
    dp->working_values_are_locked = c.locked;
    std::string held;
    for (Distribution* d : {&dp->working_quality, &dp->working_duration, &dp->working_cost, &dp->base_quality})
      d->print_to_string(held);
    scheduler->rating_step_left_resources = false;
    const long before = Distribution::report_total_number_of_combine_operations();
    EXPECT_EQ(scheduler->check_for_hard_resource_disablement(*schedule, method_named(c.id), dp, 7.0f), c.rating)
        << c.id << c.stamp << c.locked;
    EXPECT_EQ(Distribution::report_total_number_of_combine_operations() - before, c.combines) << c.id;
    EXPECT_EQ(scheduler->rating_step_left_resources, c.resources_alone) << c.id;
    EXPECT_EQ(scheduler->global_working_change_counter, counter);
    std::string after;
    for (Distribution* d : {&dp->working_quality, &dp->working_duration, &dp->working_cost, &dp->base_quality})
      d->print_to_string(after);
    EXPECT_EQ(after, held) << c.id;
    if (!c.locked) {
      EXPECT_EQ(dp->working_change_counter, counter) << c.id;
    }
    dp->working_values_are_locked = 0;
    scheduler->working_resources.get("fuel")->state = 10;
  }
}

}  // namespace
