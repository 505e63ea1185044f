#include "model/commitment.h"

#include <gtest/gtest.h>

#include "model/printed_text.h"
#include "scheduler/decision_point.h"

namespace {

LocalCommitment* local_commitment(CommitmentType type, const char* task) {
  LocalCommitment* c = new LocalCommitment;
  c->type = type;
  c->agent_id = "Agent";
  c->add_task_id(task);
  return c;
}

std::string printout(Commitment& c) {
  return printed_text([&](FILE* f) { c.print_by_invoking_appropriate_child_classes_print(f); });
}

}  // namespace

TEST(Commitment, IdsCountFromZeroAcrossKinds) {
  reset_commitment_creation_counter();
  LocalCommitment a;
  NonLocalCommitment b;
  EXPECT_EQ(a.commitment_id, "Commitment_0");
  EXPECT_EQ(b.commitment_id, "Commitment_1");
}

TEST(Commitment, TypeTextsAndKinds) {
  Commitment c;
  const struct {
    int type;
    const char* text;
    int local, non_local;
  } table[] = {
      {-9, "empty commitment type", 0, 0},
      {1, "LocalCommitment: deadline commitment type", 1, 0},
      {2, "LocalCommitment: earliest start time commitment type", 1, 0},
      {3, "LocalCommitment: do commitment type", 1, 0},
      {4, "NonLocalCommitment", 0, 1},
      {5, "LocalCommitment: dont commitment type", 1, 0},
      {6, "LocalCommitment: est, deadline, and do commitment type", 1, 0},
      {7, nullptr, 0, 0},
  };
  for (const auto& row : table) {
    c.type = static_cast<CommitmentType>(row.type);
    EXPECT_STREQ(c.type_to_string(), row.text) << row.type;
    EXPECT_EQ(c.commitment_is_local_type(), row.local) << row.type;
    EXPECT_EQ(c.commitment_is_non_local_type(), row.non_local) << row.type;
  }
  // A type without a text prints "(null)" rather than handing a null pointer to "%s".
  EXPECT_EQ(printout(c), "Commitment for agent qwerty__empty_no_id and tasks: \n\tDP pointers not yet set.\n\t(null)\n");
}

TEST(Commitment, BasePrintNamesTasksThroughTheirDecisionPoints) {
  Commitment c;
  c.add_task_id("T1");
  c.add_task_id("T2");
  c.type = DO_COMMITMENT_TYPE;
  DecisionPoint dp1;
  dp1.of_task = "T1";
  DecisionPoint dp2;
  dp2.of_task = "T2";
  c.dps_for_tasks->append(&dp1);
  c.dps_for_tasks->append(&dp2);
  EXPECT_EQ(printed_text([&](FILE* f) { c.print(f); }),
            "Commitment for agent qwerty__empty_no_id and tasks: T1 T2 \n"
            "\tTask id via pointer is T1.\n"
            "\tTask id via pointer is T2.\n"
            "\tLocalCommitment: do commitment type\n");
  // The decision points are the scheduler's: destroying the commitment leaves them.
}

TEST(Commitment, LocalPrintWritesTimesAsWholeNumbers) {
  LocalCommitment* c = local_commitment(DEADLINE_COMMITMENT_TYPE, "Root");
  c->deadline = 42.0f;
  c->earliest_start_time = 3.9f;
  c->importance = 1;
  c->status = COMMITMENT_SATISFIED;
  EXPECT_EQ(printout(*c),
            "Commitment for agent Agent and tasks: Root \n"
            "\tDP pointers not yet set.\n"
            "\tLocalCommitment: deadline commitment type\n"
            "\tSatisfaction Time -9\n"
            "\tNegotiability -9.000000\n"
            "\tUtility -9.000000\n"
            "\tImportance 1\n"
            "\tStatus satisfied.\n"
            "\tExistingOrProposed proposed\n"
            "\tCommitmentType 1\n"
            "\tDeadline 42\n"
            "\tEarliest Start Time 3\n"
            "\tDont Interval Start -9\n"
            "\tDont Interval End -9\n"
            "\tMin. Quality 0.000000\n"
            "\tQaulity for commitment satisfaction: (1.00 0.00)\n");
  c->status = static_cast<CommitmentStatus>(7);
  c->existing_or_proposed = COMMITMENT_IS_EXISTING;
  EXPECT_NE(printout(*c).find("\tStatus **error**.\n\tExistingOrProposed existing\n"), std::string::npos);
  delete c;
}

TEST(Commitment, NonLocalPrint) {
  NonLocalCommitment c;
  c.type = NON_LOCAL_COMMITMENT_TYPE;
  c.agent_id = "Bob";
  c.add_task_id("Remote");
  c.expected_arrival_time = 12.7f;
  c.been_updated = 1;
  c.quality.append(1.0f, 8.0f);
  c.arrival_time.append(0.5f, 10.0f);
  EXPECT_EQ(printout(c),
            "Commitment for agent Bob and tasks: Remote \n"
            "\tDP pointers not yet set.\n"
            "\tNonLocalCommitment\n"
            "\tExpected arrival time: 12\n"
            "\tBeen updated? true\n"
            "\tQuality (1.00 8.00)\n"
            "\tExpected Arrival Time 12 with distribution:(0.50 10.00)\n");
}

TEST(Commitment, DispatchByTypeNeverMiscasts) {
  LocalCommitment c;
  c.type = NON_LOCAL_COMMITMENT_TYPE;
  EXPECT_EQ(c.as_non_local(), nullptr);
  EXPECT_EQ(c.as_local(), nullptr);
  EXPECT_EQ(printout(c), "Commitment for agent qwerty__empty_no_id and tasks: \n\tDP pointers not yet set.\n"
                         "\tNonLocalCommitment\n");
}

TEST(Commitment, OwnsItsTaskNamesWithoutTheReplicationWarning) {
  testing::internal::CaptureStderr();
  delete local_commitment(DO_COMMITMENT_TYPE, "A");
  // A name stored by value beside one given by pointer: both are freed (the leak
  // checker of the sanitizer build tells), and still without the warning.
  LocalCommitment* mixed = local_commitment(DO_COMMITMENT_TYPE, "B");
  mixed->task_ids.append(std::string("C"));
  delete mixed;
  EXPECT_EQ(testing::internal::GetCapturedStderr().find("added by replication"), std::string::npos);
}

TEST(CommitmentList, AddsAtFrontAndFindsByTaskNameIgnoringCase) {
  CommitmentList list;
  LocalCommitment* first = local_commitment(DEADLINE_COMMITMENT_TYPE, "Task_A");
  LocalCommitment* second = local_commitment(DO_COMMITMENT_TYPE, "Task_B");
  second->add_task_id("task_a");
  list.add(first);
  list.add(second);
  EXPECT_EQ(list[1L], first);
  EXPECT_EQ(list.get("TASK_A"), second);  // the first from the front naming it
  EXPECT_EQ(list.get(std::string("nothing")), nullptr);
  // The list prints the base part of each commitment only.
  EXPECT_EQ(printed_text([&](FILE* f) { list.print(f); }).find("Deadline"), std::string::npos);
  list.delete_list(1);
}

TEST(CommitmentList, FreesKnownKindsAndOnlyUnlinksTheEmptyType) {
  CommitmentList list;
  NonLocalCommitment* non_local = new NonLocalCommitment;
  non_local->type = NON_LOCAL_COMMITMENT_TYPE;
  LocalCommitment* empty = local_commitment(EMPTY_COMMITMENT_TYPE, "U");
  list.add(local_commitment(DONT_COMMITMENT_TYPE, "T"));
  list.add(non_local);
  list.add(empty);
  list.add(local_commitment(EST_DL_AND_DO_COMMITMENT_TYPE, "V"));
  EXPECT_EQ(list.remove(0L, 1), 1);
  list.delete_list(1);
  EXPECT_EQ(list.length(), 0);
  EXPECT_EQ(*empty->task_ids.get(0L), "U");  // still alive
  delete empty;
}

TEST(CommitmentList, SharedListsFreeTheCommitmentsOnce) {
  CommitmentList own;
  own.add(local_commitment(DEADLINE_COMMITMENT_TYPE, "A"));
  own.add(local_commitment(DO_COMMITMENT_TYPE, "B"));
  CommitmentList collected;
  LocalCommitment* only_collected = local_commitment(DO_COMMITMENT_TYPE, "C");
  collected.add(only_collected);
  EXPECT_EQ(collected.append_list_not_copy_items(&own), 3);
  EXPECT_EQ(collected.get("a"), own.get(1L));
  collected.delete_list(0);
  own.delete_list(1);
  delete only_collected;
}

TEST(DecisionPointList, AddsAtFrontFindsExactNamesAndPrints) {
  DecisionPointList list;
  DecisionPoint* a = new DecisionPoint;
  a->of_task = "Alpha";
  DecisionPoint* b = new DecisionPoint;
  b->of_task = "Beta";
  EXPECT_EQ(b->time_task_or_method_gets_quality, -9.0f);
  EXPECT_EQ(printed_text([&](FILE* f) { b->working_quality.print(f); }), "(1.00 0.00)\n");
  // A node only empties its neighbour lists when it is destroyed.
  a->subs.add(b);
  b->supers.add(a);
  list.add(a);
  list.add(b);
  EXPECT_EQ(list.get("Alpha"), a);
  EXPECT_EQ(list.get("alpha"), nullptr);
  EXPECT_EQ(printed_text([&](FILE* f) { list.print(f); }), "Dp points to task Beta\nDp points to task Alpha\n");
  list.delete_list(1);
}

TEST(CommitmentListDeathTest, BadPositionsAbortNamingTheList) {
  EXPECT_DEATH(CommitmentList().get(3L), "Msg: CommitmentList access function\\.");
  EXPECT_DEATH(DecisionPointList().get(-1L), "Msg: DecisionPointList access function\\.");
}
