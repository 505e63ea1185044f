// The scheduler object: mode texts and the quiet flag, resets that keep the task groups,
// the commitment filter; and the client data packet and the envelope record.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "scheduler/client_data_packet.h"
#include "scheduler/envelope.h"
#include "scheduler_test_support.h"

using scheduler_test::AGENT_A;
using scheduler_test::group;
using scheduler_test::method;
using testing::HasSubstr;

namespace {

template <class Print>
std::string printed(Print print) {
  char* text = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&text, &size);
  print(f);
  fclose(f);
  std::string out(text, size);
  free(text);
  return out;
}

TEST(SchedulerModes, EachModeSaysItselfUnlessQuiet) {
  testing::internal::CaptureStderr();
  Scheduler s;
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Scheduling via standard heuristics.\n");
  struct Case {
    MethodSchedulingModes mode;
    const char* text;
    int pruning_off;
  };
  Case cases[] = {
      {ScheduleMethodsExhaustively,
       "\n\nWARNING - exhaustive method scheduling mode does NOT currently work with \ndelays on nles.  This mode is "
       "experimental and has not been\nthoroughly tested.\nIn true exhaustive mode.\n\n\nScheduling in pure "
       "exhaustive mode.\n",
       1},
      {ScheduleMethodsHeuristically, "Scheduling via standard heuristics.\n", 0},
      {ScheduleMethodsExhaustively_via_Alternatives, "Scheduling via alternatives but doing so exhaustively.\n", 1},
      {ScheduleMethodsExhaustively_via_Pruned_Alternatives,
       "Scheduling via alternatives but doing so exhaustively for a pruned set of alternatives.\n", 0},
      {UndefinedSchedulingMode, "", 0},
  };
  for (const Case& c : cases) {
    for (int quiet = 0; quiet < 2; quiet++) {
      SCOPED_TRACE(std::to_string(c.mode) + (quiet ? " quiet" : ""));
      s.turn_on_pruning_of_alternatives();
      Scheduler::silent = quiet;
      testing::internal::CaptureStderr();
      s.set_method_scheduling_mode(c.mode);
      std::string out = testing::internal::GetCapturedStderr();
      Scheduler::silent = 0;
      EXPECT_EQ(out, quiet ? "" : c.text);
      EXPECT_EQ(s.method_scheduling_mode, c.mode);
      EXPECT_EQ(s.turn_off_alternative_pruning, c.pruning_off);
    }
  }
  // A bare soft reset frees the meta root and node it replaces (the leak check sees it).
  s.scheduler_soft_reset();
  s.scheduler_soft_reset();
}

class SchedulerRound : public scheduler_test::PreparedRound {};

TEST_F(SchedulerRound, ResetsKeepTheTaskGroupsAndTheMetaRootsFunction) {
  prepare(std::string(AGENT_A) + group("G", "m", "q_sum") + method("m", "G", 1, 1, 0));
  scheduler->achieve_quality_for_all_task_groups();
  scheduler->delete_all();
  EXPECT_EQ(scheduler->meta_root->qaf, VORNA_MIN);
  EXPECT_EQ(scheduler->meta_root->subtasks.length(), 0);
  EXPECT_EQ(node("m"), nullptr);
  ASSERT_EQ(task_groups.length(), 1);
  EXPECT_EQ(task_groups.get(0L)->subtasks.get(0L)->id, "m");
  // A second round on the same groups, then destruction (in TearDown) leaves them too.
  int monitor = 0;
  scheduler->add_new_task_group(static_cast<TaskGroup*>(task_groups.get(0L)), monitor);
  build_trees();
  generate();
  EXPECT_EQ(root_alternatives().length(), 1);
  EXPECT_EQ(scheduler->meta_root->subtasks.length(), 1);
}

TEST_F(SchedulerRound, OnlyThisAgentsCommitmentsAreSortedIn) {
  auto commitment = [](const std::string& label, const std::string& agent) {
    return "(spec_commitment (label " + label + ") (type deadline) " + agent +
           " (task m) (importance 1) (minimum_quality 0) (earliest_start_time -9) (deadline 10) (time_satisfied -9))\n";
  };
  prepare(std::string(AGENT_A) + "(spec_agent (label B))\n" + group("G", "m", "q_sum") + method("m", "G", 1, 1, 0) +
          commitment("Mine", "(agent A)") + commitment("Theirs", "(agent B)") + commitment("Anyone", "") +
          "(spec_nonlocal_commitment (label Remote) (task m) (from_agent B) (to_agent A) (quality_distribution 4 1) "
          "(time_distribution 20 1))\n");
  std::string local;
  for (long i = 0; i < scheduler->all_local_commitments.length(); i++)
    local += scheduler->all_local_commitments.get(i)->agent_id + " ";
  EXPECT_EQ(scheduler->all_local_commitments.length(), 2);
  EXPECT_THAT(local, HasSubstr("A "));
  EXPECT_THAT(local, HasSubstr("kov_did_not_emit_an_agent_field_assume_for_this_agent "));
  EXPECT_EQ(scheduler->all_non_local_commitments.length(), 1);

  Commitment odd;
  odd.agent_id = "A";
  odd.type = static_cast<CommitmentType>(42);
  scheduler->all_known_commitments_for_all_agents.append(&odd);
  EXPECT_EXIT(scheduler->copy_commitments_for_this_agent_to_proper_lists_for_scheduling(), testing::ExitedWithCode(1),
              "Undefined commitment encountered by the scheduler");
  scheduler->all_known_commitments_for_all_agents.remove(&odd, 0);
}

TEST(ClientDataPacket, PrintsItsHeaderProbabilitiesAndATruncatedLabel) {
  ClientDataPacket empty("Alternative");
  EXPECT_EQ(printed([&](FILE* f) { empty.print(f); }), "ClientDataPacket:\n\tContains 0 items.\n");

  AlternativeList list;
  Alternative* a = new Alternative;
  a->quality.append(1.0f, 2.0f);
  a->potential_quality.append(1.0f, 4.0f);
  a->cost.append(1.0f, 1.0f);
  a->duration.append(1.0f, 3.0f);
  a->prob_expected_q_or_better = 0.25f;
  list.add(a);
  ClientDataPacket* packet = list.store_alt_data_for_outside_client();
  EXPECT_THAT(printed([&](FILE* f) { packet->print(f); }),
              HasSubstr("\tType: Alternative  Data (min, e, max, c, c as 100, pe):\n"
                        "\t\tquality: 2.00 2.00 2.00 0.25 25.00 4.00\n"));
  delete packet;
  list.delete_list(1);

  ClientDataPacket long_label(std::string(300, 'x').c_str(), 2);
  EXPECT_EQ(std::string(long_label.label), std::string(255, 'x'));
  long_label.allocate_space(1);
  EXPECT_EQ(long_label.num_in_packet, 1);

  EXPECT_EQ(printed([](FILE* f) { Envelope().print(f); }), "Envelope: min -1.00, middle 0.00, max 99999.00\n");
}

}  // namespace
