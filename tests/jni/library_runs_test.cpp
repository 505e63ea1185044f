// The library's two runs against the program: the in-memory run's text beside vela's file,
// and the library driver's files, wording and descriptors.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <regex>
#include <string>

#include "foundation/foundation_test_support.h"
#include "jni/in_memory_run.h"
#include "jni/library_driver.h"
#include "scheduler/library_mode.h"
#include "scheduler/scheduler.h"
#include "shared_test_support.h"

namespace {

using shared_test::read_file;
using shared_test::ScratchDir;

std::string minimal() { return read_file(shared_test::source_dir() + "/tests/language/files/minimal.tvorna"); }

// minimal.tvorna with its method's quality, or a start after the execution clock.
std::string minimal_with(const std::string& from, const std::string& to) {
  std::string text = minimal();
  size_t at = text.find(from);
  text.replace(at, from.size(), to);
  return text;
}
std::string with_slack() { return minimal_with("(supertasks G)", "(supertasks G) (earliest_start_time 10)"); }

struct Text {
  std::unique_ptr<char[]> chars;
  bool null() const { return chars == nullptr; }
  std::string str() const { return chars.get(); }
};

Text in_memory(const std::string& vorna, char pruning = 'p') {
  return Text{std::unique_ptr<char[]>(vela_java::jni_client(15, pruning, 50, 100, 0, vorna.c_str()))};
}

std::string slack_block_pattern() {
  return "\t    \\(Slack_MyTime_[0-9]+\n(\t        \\((start_time|finish_time|quality|cost|duration)_distribution [^\n]*\\)\n){5}"
         "\t    \\)\n";
}

// The library driver's run in mode on arguments, stderr captured.
std::string library_main(std::vector<std::string> args, bool library_mode = true) {
  args.insert(args.begin(), "vela");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  vela_library_mode = library_mode;
  std::string err = foundation_test::stderr_of([&] {
    int status = vela_java::main(static_cast<int>(args.size()), argv.data());
    fprintf(stderr, "[status %d]\n", status);
  });
  vela_library_mode = false;
  return err;
}

int open_descriptors() {
  int count = 0;
  DIR* folder = opendir("/proc/self/fd");
  while (readdir(folder) != nullptr) count++;
  closedir(folder);
  return count;
}

TEST(InMemoryRun, ReturnsTheProgramsScheduleFileForAPlainTextAndTheSlackItLeavesOut) {
  ScratchDir dir;
  std::string input = dir.with_file("in.tvorna", minimal());
  shared_test::ProgramRun run = shared_test::run_program({shared_test::binary_dir() + "/vela", input, dir.file("out")});
  ASSERT_EQ(run.status, 0) << run.err;
  Text text = in_memory(minimal());
  ASSERT_FALSE(text.null());
  EXPECT_EQ(text.str(), read_file(dir.file("out.tvorna_schedules")));
  EXPECT_NE(text.str().find("(rating 0.000000)"), std::string::npos);

  std::string slack_input = dir.with_file("slack.tvorna", with_slack());
  run = shared_test::run_program({shared_test::binary_dir() + "/vela", slack_input, dir.file("slack")});
  Text slack = in_memory(with_slack());
  ASSERT_FALSE(slack.null());
  EXPECT_TRUE(std::regex_search(slack.str(), std::regex(slack_block_pattern()))) << slack.str();
  EXPECT_EQ(read_file(dir.file("slack.tvorna_schedules")).find("Slack_MyTime_"), std::string::npos);
}

TEST(InMemoryRun, ReturnsNullWithoutAUsableScheduleAndNamesTheAnalysisItChose) {
  EXPECT_TRUE(in_memory(minimal_with("(quality_distribution 10 1)", "(quality_distribution 0 1)")).null());
  struct Case {
    std::string text;
    const char* analysis;
  };
  for (const Case& c : {Case{minimal(), "Using advanced analysis? 1.\n"},
                        Case{minimal() + "(spec_attributes (use_advanced_analysis 0))\n", "Using advanced analysis? 0.\n"}}) {
    std::string err = foundation_test::stderr_of([&] { in_memory(c.text); });
    EXPECT_NE(err.find(c.analysis), std::string::npos) << err;
    EXPECT_NE(err.find("\nReading t-vorna input string.\n"), std::string::npos);
    EXPECT_EQ(err.find("lines read"), std::string::npos);
  }
  Scheduler::silent = 1;
  std::string quiet = foundation_test::stderr_of([&] { in_memory(minimal()); });
  Scheduler::silent = 0;
  EXPECT_EQ(quiet.find("Using advanced analysis?"), std::string::npos) << quiet;
  EXPECT_EQ(quiet.find("Returning exit condition"), std::string::npos);
}

TEST(LibraryDriver, ReturnsWithTheLibrarysFilesAndWording) {
  ScratchDir dir;
  std::string input = dir.with_file("slack.tvorna", with_slack());
  std::string prefix = dir.file("run");
  std::string err = library_main({input, prefix});
  EXPECT_NE(err.find("\nReturning exit condition 0 to caller.\n[status 0]\n"), std::string::npos) << err;
  EXPECT_LT(err.find("\nBuild Statistics:\n"), err.find("Total run time"));
  EXPECT_FALSE(std::filesystem::exists(prefix + ".tvorna_used_for_scheduling"));
  for (const char* empty :
       {"alternatives.stavo", "alternatives.jmp", "schedules.stavo", "schedules.jmp", "observed_schedule_min_max"}) {
    EXPECT_TRUE(std::filesystem::exists(prefix + "." + empty)) << empty;
    EXPECT_EQ(read_file(prefix + "." + empty), "") << empty;
  }
  EXPECT_TRUE(std::regex_search(read_file(prefix + ".tvorna_schedules"), std::regex(slack_block_pattern())));
  EXPECT_NE(read_file(prefix + ".schedules_for_people").find("Slack_MyTime_"), std::string::npos);

  std::string commitments = shared_test::source_dir() + "/examples/commitments_and_criteria.tvorna";
  library_main({commitments, prefix});
  std::string people = read_file(prefix + ".schedules_for_people");
  EXPECT_NE(people, "");
  for (const char* program_only : {"**(non-local)", "Of existing commitments", "Of proposed commitments"})
    EXPECT_EQ(people.find(program_only), std::string::npos) << program_only;

  err = library_main({"15", "p", "50", "100", "0", input, prefix, "1"});
  EXPECT_NE(err.find("\aWarning, command line parameter setting for analysis approach overiding the setting in "
                     "tvorna file.\n"),
            std::string::npos)
      << err;
}

TEST(LibraryDriver, LeavesNoDescriptorOpenRunAfterRun) {
  ScratchDir dir;
  std::string input = dir.with_file("in.tvorna", minimal());
  library_main({input, dir.file("run")});
  int before = open_descriptors();
  for (int run = 0; run < 50; run++) library_main({input, dir.file("run")});
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
