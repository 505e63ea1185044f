// Whole runs of vela, one per folder of tests/driver/runs: the folder's files are copied
// into a scratch folder and vela runs there with the folder's arguments. Afterwards every
// file in the scratch folder is one of the inputs, unchanged, or equals its copy under
// expected/, and stdout and stderr equal theirs with the timing numbers masked. A second
// run must give the same bytes.
//
// A case folder holds:
//   arguments     the arguments on one line; LONG_PREFIX stands for a 3,000-character prefix,
//                 EMPTY_ARGUMENT for an empty argument
//   status        the exit status (134: the fatal stop)
//   copy_in       optional: files of the source tree to copy in as well, one a line
//   fsize_limit   optional: the child's file-size limit in bytes (the program itself must
//                 keep the signal from ending it)
//   console_only  optional: only stdout, stderr and the status are compared
//   stdout_full   optional: standard output is the full device
//   unwritable_folder  optional: the scratch folder cannot be written (as root the run
//                 drops to the user nobody, who owns the folder and its files)
//   removed       optional: inputs the run removes (older outputs), one a line
//   expected/     stdout, stderr and every file the run leaves behind besides the inputs
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "driver/scheduling_run.h"
#include "shared_test_support.h"

namespace {

namespace fs = std::filesystem;
using shared_test::read_file;

const std::string LONG_PREFIX = std::string(2991, 'p') + "/too_long";

std::string runs_dir() { return VELA_DRIVER_RUNS_DIR; }
// Absolute: the runs start in a scratch folder.
std::string vela_program() { return fs::absolute(shared_test::binary_dir() + "/vela").string(); }

// The timing lines, whose numbers differ on every run.
constexpr const char* TIMING_STARTS[] = {
    "Time spent creating alternatives: ", "Time spent scheduling alternatives: ",
    "\tTime spent creating alternatives ", "\tTime spent creating schedules ",
    "\tTotal run time (including final sorting and i/o) "};

std::string masked(const std::string& text) {
  std::istringstream in(text);
  std::string out;
  std::string line;
  while (std::getline(in, line)) {
    for (const char* start : TIMING_STARTS) {
      std::string s = start;
      if (line.compare(0, s.size(), s) != 0) continue;
      size_t end = line.find_first_not_of("0123456789.", s.size());
      line = s + "<seconds>" + (end == std::string::npos ? "" : line.substr(end));
    }
    size_t at;
    while ((at = line.find(LONG_PREFIX)) != std::string::npos) line.replace(at, LONG_PREFIX.size(), "LONG_PREFIX");
    out += line;
    if (!in.eof()) out += "\n";
  }
  return out;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w == "LONG_PREFIX" ? LONG_PREFIX : w == "EMPTY_ARGUMENT" ? "" : w);
  return out;
}

std::map<std::string, std::string> files_in(const std::string& dir) {
  std::map<std::string, std::string> out;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file()) out[entry.path().filename().string()] = read_file(entry.path().string());
  return out;
}

struct Case {
  std::string name;
  std::vector<std::string> arguments;
  int status = 0;
  long fsize_limit = 0;
  bool console_only = false;
  bool unwritable_folder = false;
  bool stdout_full = false;
  std::map<std::string, std::string> inputs;
  std::set<std::string> removed;
  std::map<std::string, std::string> expected;
};

Case load(const std::string& name) {
  Case c;
  c.name = name;
  std::string dir = runs_dir() + "/" + name;
  for (auto& [file, text] : files_in(dir)) {
    if (file == "arguments")
      c.arguments = words(text);
    else if (file == "status")
      c.status = std::stoi(text);
    else if (file == "fsize_limit")
      c.fsize_limit = std::stol(text);
    else if (file == "console_only")
      c.console_only = true;
    else if (file == "unwritable_folder")
      c.unwritable_folder = true;
    else if (file == "stdout_full")
      c.stdout_full = true;
    else if (file == "removed")
      for (const std::string& gone : words(text)) c.removed.insert(gone);
    else if (file == "copy_in")
      for (const std::string& path : words(text))
        c.inputs[fs::path(path).filename().string()] = read_file(shared_test::source_dir() + "/" + path);
    else
      c.inputs[file] = text;
  }
  c.expected = files_in(dir + "/expected");
  return c;
}

struct Outcome {
  shared_test::ProgramRun run;
  std::map<std::string, std::string> files;
};

// Root may remove files from any folder, so a root run becomes this user.
struct UnprivilegedUser {
  uid_t uid = 65534;
  gid_t gid = 65534;
  UnprivilegedUser() {
    if (const passwd* nobody = getpwnam("nobody")) {
      uid = nobody->pw_uid;
      gid = nobody->pw_gid;
    }
  }
};

void make_unwritable(const std::string& folder) {
  if (geteuid() == 0) {
    UnprivilegedUser user;
    for (const auto& entry : fs::directory_iterator(folder))
      if (chown(entry.path().c_str(), user.uid, user.gid) != 0) ADD_FAILURE() << "chown " << entry.path();
    if (chown(folder.c_str(), user.uid, user.gid) != 0) ADD_FAILURE() << "chown " << folder;
  }
  chmod(folder.c_str(), 0555);
}

void drop_root_in_child() {
  if (geteuid() != 0) return;
  UnprivilegedUser user;
  if (setgroups(0, nullptr) != 0 || setgid(user.gid) != 0 || setuid(user.uid) != 0) _exit(125);
}

Outcome run_case(const Case& c) {
  shared_test::ScratchDir dir;
  for (const auto& [file, text] : c.inputs) shared_test::write_file(dir.file(file), text);
  if (c.unwritable_folder) make_unwritable(dir.path);
  std::vector<std::string> args = {vela_program()};
  args.insert(args.end(), c.arguments.begin(), c.arguments.end());
  // A run that ends before the closing lines abandons its model by design: no leak scan.
  bool reaches_the_end = c.expected.count("stderr") != 0 &&
                         c.expected.at("stderr").find("Scheduling operation concluded normally.") != std::string::npos;
  Outcome o;
  o.run = shared_test::run_program(args, [&] {
    if (c.unwritable_folder) drop_root_in_child();
    if (chdir(dir.path.c_str()) != 0) _exit(126);
    if (c.stdout_full && freopen("/dev/full", "w", stdout) == nullptr) _exit(126);
    if (!reaches_the_end) setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1:halt_on_error=1", 1);
    if (c.fsize_limit > 0) {
      signal(SIGXFSZ, SIG_DFL);
      rlimit limit{static_cast<rlim_t>(c.fsize_limit), static_cast<rlim_t>(c.fsize_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
  });
  o.run.out = masked(o.run.out);
  o.run.err = masked(o.run.err);
  o.files = files_in(dir.path);
  // Writable again, so that the folder can be removed.
  if (c.unwritable_folder) chmod(dir.path.c_str(), 0700);
  return o;
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(runs_dir()))
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class WholeRun : public ::testing::TestWithParam<std::string> {};

TEST_P(WholeRun, LeavesTheExpectedConsoleStatusAndFilesTwiceOver) {
  Case c = load(GetParam());
  Outcome first = run_case(c);
  EXPECT_EQ(first.run.status, c.status);
  EXPECT_EQ(first.run.out, c.expected["stdout"]);
  EXPECT_EQ(first.run.err, c.expected["stderr"]);
  if (!c.console_only) {
    for (const auto& [file, text] : first.files) {
      if (c.expected.count(file) != 0) {
        EXPECT_EQ(text, c.expected.at(file)) << file;
      } else if (c.inputs.count(file) != 0) {
        EXPECT_EQ(text, c.inputs.at(file)) << "input changed: " << file;
      } else {
        ADD_FAILURE() << "unexpected file " << file;
      }
    }
    for (const auto& [file, text] : c.expected) {
      if (file == "stdout" || file == "stderr") continue;
      EXPECT_EQ(first.files.count(file), 1u) << "missing " << file;
    }
    for (const auto& [file, text] : c.inputs)
      EXPECT_EQ(first.files.count(file), c.removed.count(file) != 0 ? 0u : 1u) << file;
  }
  Outcome second = run_case(c);
  EXPECT_EQ(second.run.status, first.run.status);
  EXPECT_EQ(second.run.out, first.run.out);
  EXPECT_EQ(second.run.err, first.run.err);
  EXPECT_EQ(second.files, first.files);
}

INSTANTIATE_TEST_SUITE_P(Cases, WholeRun, ::testing::ValuesIn(case_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Scheduling the echo of a run repeats the run: the echo carries everything read.
class RunOnItsOwnEcho : public ::testing::TestWithParam<std::string> {};

TEST_P(RunOnItsOwnEcho, GivesTheSameSchedulesTransferFormatAndDataFiles) {
  Case c = load(GetParam());
  std::string input = c.arguments.at(0);
  shared_test::ScratchDir dir;
  for (const auto& [file, text] : c.inputs) shared_test::write_file(dir.file(file), text);
  std::string vela = vela_program();
  auto in_dir = [&] {
    if (chdir(dir.path.c_str()) != 0) _exit(126);
  };
  ASSERT_EQ(shared_test::run_program({vela, input, "first"}, in_dir).status, c.status);
  ASSERT_EQ(shared_test::run_program({vela, "first.tvorna_used_for_scheduling", "again"}, in_dir).status, c.status);
  for (const char* name : {"tvorna_schedules", "tvorna_used_for_scheduling", "simple_schedule", "schedules.stavo",
                           "schedules.jmp", "alternatives.stavo", "alternatives.jmp", "schedules_for_people",
                           "observed_schedule_min_max"})
    EXPECT_EQ(read_file(dir.file(std::string("again.") + name)), read_file(dir.file(std::string("first.") + name)))
        << name;
}

INSTANTIATE_TEST_SUITE_P(Cases, RunOnItsOwnEcho,
                         ::testing::Values("two_methods", "example_quality_or_speed", "example_effects_and_resources",
                                           "example_commitments_and_criteria"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Every argument count but 2, 3 and 9 gives the usage and status 1, before anything is
// read or removed.
TEST(SchedulingRunDeathTest, AnyOtherArgumentCountPrintsTheUsageAndExitsOne) {
  char name[] = "vela";
  char word[] = "x";
  char* argv[11] = {name, word, word, word, word, word, word, word, word, word, word};
  for (int argc : {1, 4, 5, 6, 7, 8, 10, 11}) {
    EXPECT_EXIT(scheduling_run(argc, argv), testing::ExitedWithCode(1),
                "^Scheduling via standard heuristics.\n\n\nUsage Notes:\n")
        << argc;
  }
}

}  // namespace
