// The task-structure writer on models built in memory: the shapes and number forms the
// whole-file texts of the example files (reader_test.cpp) do not pin down alone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <locale>
#include <sstream>
#include <string>
#include <tuple>

#include "language/vorna_io.h"
#include "vorna_io_test_support.h"

using namespace vorna_io_test;

namespace {

// What the operation writes to the writer's file.
std::string written_by(VornaIO& io, const std::function<void()>& write) {
  char* buffer = nullptr;
  size_t size = 0;
  io.out = open_memstream(&buffer, &size);
  write();
  fclose(io.out);
  io.out = nullptr;
  std::string text(buffer, size);
  free(buffer);
  return text;
}

// A designed exit inside a death test ends the child at once, without the exit-time leak
// scan of a sanitizer build (the objects of the test are abandoned there).
void exit_at_once(StopKind kind, int status) {
  if (kind == StopKind::EXIT_STATUS) {
    fflush(nullptr);
    _exit(status);
  }
}

Outcome* new_outcome(const char* id, float probability, float quality) {
  Outcome* outcome = new ("test") Outcome;
  outcome->outcome_id = id;
  outcome->probability = probability;
  outcome->quality.append(1.0f, quality);
  outcome->duration.append(1.0f, 5.0f);
  outcome->cost.append(1.0f, 0.0f);
  return outcome;
}

Method* new_method(const char* id, BasicTask* super) {
  Method* method = new ("test") Method;
  method->id = id;
  method->owner_agent = "A";
  if (super != nullptr) {
    super->subtasks.append(method);
    method->supertasks.append(super);
  }
  return method;
}

}  // namespace

TEST(TaskStructureWriter, TaskGroupOverOneTaskIsSevenLines) {
  VornaIO io;
  TaskGroup* group = new ("test") TaskGroup;
  group->id = "G";
  group->owner_agent = "A";
  group->qaf = VORNA_SUM;
  Task* task = new ("test") Task;
  task->id = "T";
  group->subtasks.append(task);
  task->supertasks.append(group);
  EXPECT_EQ(written_by(io, [&] { io.write_task(group); }),
            "(spec_task_group\n\t(spec_attributes )\n\t(label G)\n\t(agent A)\n\t(subtasks T)\n\t(qaf q_sum)\n)\n\n");
  delete group;
}

TEST(TaskStructureWriter, MethodKeepsExactDensitiesAndSixDecimalsAfterThem) {
  VornaIO io;
  Method* method = new_method("M", nullptr);
  method->outcomes.append(new_outcome("quarter", 0.25f, 1.5f));
  method->outcomes.append(new_outcome("third", 0.3333f, 2.0f));
  method->outcomes.append(new_outcome("rest", 0.4167f, 3.0f));
  method->deadline = 12.75f;
  method->finish_time = 20.0f;
  EXPECT_EQ(written_by(io, [&] { io.write_task(method); }),
            "(spec_method\n\t(spec_attributes )\n\t(label M)\n\t(agent A)\n"
            "\t(outcomes\n"
            "\t\t(quarter\n\t\t   (density 0.25)\n"
            "\t\t   (quality_distribution 1.500000 1.000000)\n"
            "\t\t   (duration_distribution 5.000000 1.000000)\n"
            "\t\t   (cost_distribution 0.000000 1.000000)\n\t\t)\n"
            "\t\t(third\n\t\t   (density 0.3333)\n"
            "\t\t   (quality_distribution 2.000000 1.000000)\n"
            "\t\t   (duration_distribution 5.000000 1.000000)\n"
            "\t\t   (cost_distribution 0.000000 1.000000)\n\t\t)\n"
            "\t\t(rest\n\t\t   (density 0.4167)\n"
            "\t\t   (quality_distribution 3.000000 1.000000)\n"
            "\t\t   (duration_distribution 5.000000 1.000000)\n"
            "\t\t   (cost_distribution 0.000000 1.000000)\n\t\t)\n"
            "\t)\n"
            "\t(deadline 12.750000)\n"
            "\t(percentage_of_cpu_used 1.000000)\n"
            "\t(finish_time 20.000000)\n"
            ")\n\n");
  delete method;
}

TEST(TaskStructureWriter, DensityTextsAreShortestExactForms) {
  VornaIO io;
  for (auto [value, text] : std::initializer_list<std::pair<float, const char*>>{
           {1.0f, "1.0"}, {0.5f, "0.5"}, {0.25f, "0.25"}, {0.1f, "0.1"}, {0.0f, "0.0"}, {0.3333f, "0.3333"}}) {
    Outcome* outcome = new_outcome("o", value, 1.0f);
    std::string out = written_by(io, [&] { io.write_outcome(outcome); });
    EXPECT_NE(out.find(std::string("\t\t   (density ") + text + ")\n"), std::string::npos) << out;
    delete outcome;
  }
}

TEST(TaskStructureWriter, SigmoidQafTakesThreeLinesAndNonLocalMethodsSayWhatTheyAre) {
  VornaIO io;
  Task* task = new ("test") Task;
  task->id = "S";
  task->owner_agent = "A";
  task->qaf = VORNA_SIGMOID;
  task->sigmoid_function_if_qaf_is_sigmoid.append(0.0f, 0.1f);
  task->sigmoid_function_if_qaf_is_sigmoid.append(5.0f, 1.5f);
  std::string text = written_by(io, [&] { io.write_task(task); });
  EXPECT_NE(text.find("\t(qaf q_sigmoid\n\t\t(sigmoid_distribution 0.100000 0.000000 1.500000 5.000000)\n\t)\n"),
            std::string::npos)
      << text;
  task->qaf = VORNA_EMPTY_QAF;
  EXPECT_NE(written_by(io, [&] { io.write_task(task); }).find("\t(qaf q_undefined)\n"), std::string::npos);
  delete task;

  Method* method = new_method("R", nullptr);
  method->method_is_local = 0;
  method->start_time = 1.0f;
  text = written_by(io, [&] { io.write_task(method); });
  EXPECT_NE(text.find("\t(percentage_of_cpu_used 1.000000)\n\t(start_time 1.000000)\n\t(method_is_non_local)\n)\n\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("(qaf"), std::string::npos);
  delete method;
}

TEST(TaskStructureWriter, ControlValuesAreWrittenOnlyWhenSet) {
  VornaIO io;
  ControlParameterBundle control;
  control.execution_clock_to_schedule_for = 2.5f;
  EXPECT_EQ(written_by(io, [&] { io.write_control_bundle(control); }),
            "(spec_attributes\n\t(time_to_schedule_for 2.500000)\n\t(cost_accrued 0.000000)\n"
            "\t(use_advanced_analysis 0)\n)\n\n");
  control.target_max_number_of_schedules = 3;
  control.prune_setting = 'p';
  control.scheduling_mode = ScheduleMethodsExhaustively_via_Alternatives;
  EXPECT_EQ(written_by(io, [&] { io.write_control_bundle(control); }),
            "(spec_attributes\n\t(time_to_schedule_for 2.500000)\n\t(cost_accrued 0.000000)\n"
            "\t(use_advanced_analysis 0)\n\t(target_max_number_of_schedules 3)\n\t(pruning_setting p)\n"
            "\t(scheduling_mode exhaustive_from_alternatives)\n)\n\n");
}

TEST(TaskStructureWriter, CriteriaKeepSixDecimalsAndTwoForTheDurationLimit) {
  VornaIO io;
  ScheduleCriteriaBundle criteria;
  criteria.label_for_tvorna = "k";
  criteria.goodness_quality_slider = 0.05f;
  criteria.duration_limit = 10.0f;
  std::string text = written_by(io, [&] { io.write_criteria_bundle(criteria); });
  EXPECT_EQ(text.rfind("(spec_evaluation_criteria\n\t(label k)\n\t(goodness_quality_slider 0.050000)\n", 0), 0u);
  EXPECT_NE(text.find("\t(cost_limit 0.000000)\n\t(duration_limit 10.00)\n\t(uncertainty_quality_slider"),
            std::string::npos);
  const std::string last = "\t(meta_uncertainty_threshold_slider 0.000000)\n)\n\n";
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
  criteria.duration_limit_plus_range = 0.5f;
  EXPECT_NE(written_by(io, [&] { io.write_criteria_bundle(criteria); }).find("\t(duration_limit 10.00 0.50)\n"),
            std::string::npos);
  // A range too small for two decimals would read back as none.
  criteria.duration_limit_plus_range = 0.004f;
  EXPECT_NE(written_by(io, [&] { io.write_criteria_bundle(criteria); }).find("\t(duration_limit 10.00)\n"),
            std::string::npos);
}

TEST(TaskStructureWriter, QafWordsForEveryFunction) {
  VornaIO io;
  Task task;
  const char* words[] = {"q_sum", "q_max", "q_min", "q_exactly_one", "q_sigmoid", "q_sum_all", "q_seq_sum", "q_seq",
                         "q_seq_min", "q_seq_max"};
  for (int qaf = VORNA_SUM; qaf <= VORNA_SEQ_MAX; qaf++) {
    task.qaf = static_cast<VORNA_QualityAF>(qaf);
    EXPECT_STREQ(io.qaf_to_string_for_io(&task), words[qaf - 1]);
  }
}

TEST(TaskStructureWriterDeathTest, FailuresStopWithTheirTexts) {
  EXPECT_DEATH(
      {
        VornaIO io;
        AgentIDList agents;
        TaskList groups;
        CommitmentList commitments;
        ScheduleCriteriaBundle criteria;
        ResourceList resources;
        ControlParameterBundle control;
        io.write_vorna_task_structures_and_commitments("/nonexistent/dir/out", agents, groups, commitments, criteria,
                                                       resources, control);
      },
      "Cannot open vorna output file /nonexistent/dir/out\n(.|\n)*\\*\\*Scheduling operation terminated\\*\\*");
  EXPECT_EXIT(
      {
        set_stop_hook(exit_at_once);
        VornaIO io;
        Commitment* odd = new ("test") Commitment;
        io.out = tmpfile();
        io.write_commitment(odd);
      },
      testing::ExitedWithCode(1), "^Cannot write an undefined commitment type.\n$");
  EXPECT_EXIT(
      {
        set_stop_hook(exit_at_once);
        VornaIO io;
        ResourceList resources;
        Resource* odd = new ("test") Resource;
        resources.add(odd);
        io.out = tmpfile();
        io.write_resources(resources);
      },
      testing::ExitedWithCode(1), "^Error, cannot write an untyped resource.\n$");
  EXPECT_EXIT(
      {
        set_stop_hook(exit_at_once);
        VornaIO io;
        Uses* odd = new ("test") Uses;
        odd->type = RNLE_UNDEFINED;
        std::ostringstream buffer;
        io.write_resource_nle(buffer, odd);
      },
      testing::ExitedWithCode(1), "^Error, cannot write an untyped resource.\n$");
}

TEST(TaskStructureWriter, TaskOfUndefinedTypeIsWrittenWithAWarning) {
  VornaIO io;
  Task task;
  task.task_type = VORNA_TASK_UNDEFINED;
  task.id = "X";
  testing::internal::CaptureStderr();
  std::string text = written_by(io, [&] { io.write_task(&task); });
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning, writing a task of undefined type.\n");
  EXPECT_EQ(text.substr(0, 26), "(spec_task_type_undefined\n");
}

TEST(TaskStructureWriter, NewFileIsCreatedWithModeRwRwR) {
  ScratchDir dir;
  std::string path = dir.file("out.tvorna");
  VornaIO io;
  AgentIDList agents;
  agents.append("A");
  TaskList groups;
  CommitmentList commitments;
  ScheduleCriteriaBundle criteria;
  ResourceList resources;
  ControlParameterBundle control;
  mode_t old_mask = umask(0);
  io.write_vorna_task_structures_and_commitments(path.c_str(), agents, groups, commitments, criteria, resources,
                                                 control);
  umask(old_mask);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0664u);
  std::string text = read_file(path);
  EXPECT_EQ(text.rfind("(spec_agent\n\t(label A))\n\n(spec_attributes\n", 0), 0u);
  agents.delete_list(1);
}

namespace {
struct CommaNumbers : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};
}  // namespace

TEST(TaskStructureWriter, NumbersStayInTheCLocale) {
  VornaIO io;
  Method* method = new_method("M", nullptr);
  method->outcomes.append(new_outcome("o", 0.25f, 1.5f));
  method->deadline = 12.75f;
  std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
  std::string text = written_by(io, [&] { io.write_task(method); });
  std::locale::global(previous);
  EXPECT_NE(text.find("(density 0.25)\n\t\t   (quality_distribution 1.500000 1.000000)"), std::string::npos) << text;
  EXPECT_NE(text.find("\t(deadline 12.750000)\n"), std::string::npos) << text;
  delete method;
}

// ---------------------------------------------------------------- written texts read back

namespace {

// Agent A, criteria with the four meta sliders given (goodness, threshold, uncertainty,
// uncertainty threshold), then the rest of the text.
std::string text_with(const std::string& meta, const std::string& rest) {
  std::istringstream sliders(meta);
  std::string g, t, u, ut;
  sliders >> g >> t >> u >> ut;
  return "(spec_agent (label A))\n"
         "(spec_evaluation_criteria (label k) (goodness_quality_slider 1) (goodness_cost_slider 0)\n"
         " (goodness_duration_slider 0) (threshold_quality_slider 0) (threshold_cost_slider 0)\n"
         " (threshold_duration_slider 0) (quality_threshold 0) (cost_limit 0) (duration_limit 0)\n"
         " (uncertainty_quality_slider 0) (uncertainty_cost_slider 0) (uncertainty_duration_slider 0)\n"
         " (threshold_certainty_quality_slider 0) (threshold_certainty_cost_slider 0)\n"
         " (threshold_certainty_duration_slider 0) (quality_certainty_threshold 0) (cost_certainty_threshold 0)\n"
         " (duration_certainty_threshold 0) (meta_goodness_slider " + g + ") (meta_threshold_slider " + t +
         ")\n (meta_uncertainty_slider " + u + ") (meta_uncertainty_threshold_slider " + ut + "))\n" + rest;
}

const char* const GROUP = "(spec_task_group (label G) (agent A) (subtasks M) (qaf q_sum))\n";

std::string method_under(const std::string& id, const std::string& supers, const std::string& extra = "") {
  return "(spec_method (label " + id + ") (agent A) (supertasks " + supers + ")" + extra +
         " (outcomes (o (density 1) (quality_distribution 1 1) (duration_distribution 1 1) "
         "(cost_distribution 0 1))))\n";
}

// The text through vorna-echo twice (see expect_written_text_reads_back).
std::string written_back(const std::string& text) {
  ScratchDir dir;
  return expect_written_text_reads_back(dir.with_file("in.tvorna", text));
}

}  // namespace

// Sliders normalised by the first read are written with six decimals; the second read
// must not normalise them again by the rounding of the sixth.
TEST(WrittenTextsReadBack, MetaSlidersOnceNormalisedStayAsWritten) {
  // The fifth cancel one another: their float sum is off by more than 1e-5.
  for (const char* meta :
       {"7 1 1 5", "0 9 1 7", "1 4 9 1", "0.3 0.3 0.3 0.1", "2367 -2365.18921 0.285714298 0", "0 0 0 0"}) {
    SCOPED_TRACE(meta);
    written_back(text_with(meta, GROUP + method_under("M", "G")));
  }
}

// Reading sets a node's child number from the last form that lists it; the forms of a
// node's parents are written so that the same parent comes last.
TEST(WrittenTextsReadBack, NodesUnderSeveralTasksKeepTheirChildNumbers) {
  const std::string under_two =
      "(spec_task_group (label G) (agent A) (subtasks T1 T2) (qaf q_sum))\n"
      "(spec_task (label T2) (agent A) (supertasks G) (subtasks X) (qaf q_max))\n"
      "(spec_task (label T1) (agent A) (supertasks G) (subtasks M X) (qaf q_seq))\n" +
      method_under("M", "T1") + method_under("X", "T1 T2");
  const std::string crossed =
      "(spec_task_group (label G) (agent A) (subtasks T1 T2 T3) (qaf q_sum))\n"
      "(spec_task (label T3) (agent A) (supertasks G) (subtasks Y X) (qaf q_max))\n"
      "(spec_task (label T1) (agent A) (supertasks G) (subtasks X Y) (qaf q_seq))\n"
      "(spec_task (label T2) (agent A) (supertasks G) (subtasks M X) (qaf q_min))\n" +
      method_under("M", "T2") + method_under("X", "T1 T2 T3") + method_under("Y", "T1 T3");
  // In pre-order the first would come after the second, and X (Y) would change number.
  for (auto [structure, first, second] : {std::tuple{under_two, "(label T2)", "(label T1)"},
                                          std::tuple{crossed, "(label T3)", "(label T1)"}}) {
    std::string written = written_back(text_with("1 0 0 0", structure));
    EXPECT_LT(written.find(first), written.find(second)) << written;
  }
}

// The attributes form refuses a negative time or cost and drops any pruning word but n
// and p; the parameters form carries what the first read took.
TEST(WrittenTextsReadBack, ControlValuesTheAttributesFormRefusesReadBack) {
  const std::string parameters = "(spec_misc_scheduler_parameters (label run) (time_to_schedule_for ";
  for (const std::string& control :
       {parameters + "-2.5) (cost_accrued 1) (use_advanced_analysis 1) (pruning_setting n))\n",
        parameters + "3) (cost_accrued -0.5) (use_advanced_analysis 0) (pruning_setting p))\n",
        parameters + "3) (cost_accrued 0) (use_advanced_analysis 0) (pruning_setting x_prune))\n",
        parameters + "-1) (cost_accrued 0) (use_advanced_analysis 0) (pruning_setting 7up))\n"
                     "(spec_attributes (target_max_number_of_schedules 4) (scheduling_mode heuristic))\n"}) {
    SCOPED_TRACE(control);
    written_back(text_with("1 0 0 0", GROUP + method_under("M", "G") + control));
  }
}

// "-0.000000" would read back as zero: an unset time would become a set one, and an
// earliest-start commitment with such a deadline a type error.
TEST(WrittenTextsReadBack, TinyNegativeValuesStayNegative) {
  std::string written = written_back(text_with(
      "1 0 0 0", GROUP + method_under("M", "G", " (deadline -0.0000003) (start_time -0.00000001)") +
                     "(spec_commitment (label C) (type earliest_start_time) (agent A) (task M) (importance 1)\n"
                     " (minimum_quality 0) (earliest_start_time 2) (deadline -0.0000001) (time_satisfied -1))\n"));
  for (const char* line : {"\t(deadline -0.0000003)\n", "\t(start_time -0.00000001)\n", "\t(deadline -0.0000001)\n"})
    EXPECT_NE(written.find(line), std::string::npos) << line << written;
}
