#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "foundation/fatal_stop.h"
#include "foundation/foundation_test_support.h"
#include "foundation/system_wrappers.h"
#include "foundation/tagged_new.h"

using foundation_test::Contains;
using foundation_test::Exactly;
using foundation_test::stderr_of;

namespace {

const char* const closing_lines = "\n\a**Unrecoverable Error**\n**Scheduling operation terminated**\n";

TEST(RandomNumberTest, FirstDrawsAfterSeedingWithOne) {
  srandom(1);
  // What glibc's generator gives from seed 1, mapped onto 0..999.
  const int expected[] = {840, 394, 783, 798, 911, 197, 335, 768};
  for (int value : expected) EXPECT_EQ(random_number_between_inclusive(0, 999), value);
}

TEST(RandomNumberTest, BoundariesOfTheDraw) {
  EXPECT_EQ(number_between_inclusive_for_draw(0, 0, 999), 0);
  EXPECT_EQ(number_between_inclusive_for_draw(2147483646, 0, 999), 999);
  // The largest draw maps to exactly 1.0, which no bin takes: it must still be in range.
  EXPECT_EQ(number_between_inclusive_for_draw(2147483647, 0, 999), 999);
  EXPECT_EQ(number_between_inclusive_for_draw(2147483647, -4, 7), 7);
  EXPECT_EQ(number_between_inclusive_for_draw(2147483647, 3, 3), 3);
  // Halfway: r = 0.5 is not below 1/2, so the second of two.
  EXPECT_EQ(number_between_inclusive_for_draw(1073741823, 10, 11), 10);
  EXPECT_EQ(number_between_inclusive_for_draw(1073741824, 10, 11), 11);
  srandom(7);
  for (int i = 0; i < 100; i++) EXPECT_EQ(random_number_between_inclusive(3, 3), 3);
}

TEST(RandomNumberDeathTest, LowAboveHighAborts) {
  EXPECT_EXIT(random_number_between_inclusive(5, 2), testing::KilledBySignal(SIGABRT),
              Exactly("Error, random number got a low of 5 and a high of 2.\n"));
}

TEST(NumbersTest, CeilingPowerAndDivider) {
  EXPECT_EQ(ceiling(2.0f), 2);
  EXPECT_EQ(ceiling(2.1f), 3);
  EXPECT_EQ(ceiling(0.0f), 0);
  EXPECT_EQ(ceiling(-1.5f), -1);
  EXPECT_EQ(ib_integer_power(3, 4), 81u);
  EXPECT_EQ(ib_integer_power(7, 0), 1u);
  EXPECT_EQ(ib_integer_power(7, -2), 1u);
  EXPECT_EQ(ib_integer_power(2, 32), 0u);  // unsigned arithmetic wraps
  EXPECT_EQ(foundation_test::written_to_stream([](FILE* f) { print_divider_line(f, 3, '='); }), "===\n");
}

TEST(FileWrappersTest, OpenAndCreateSucceed) {
  std::string path = testing::TempDir() + "wrapper_test_file";
  FILE* file = ib_fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  fputs("kept\n", file);
  ib_fflush(file, path.c_str());
  ib_fclose(file, path.c_str());
  int fd = ib_creat(path.c_str(), 0600);
  EXPECT_GE(fd, 0);
  close(fd);
  int pipe_ends[2];
  EXPECT_EQ(ib_pipe(pipe_ends), 0);
  close(pipe_ends[0]);
  close(pipe_ends[1]);
  void* block = ib_malloc(16);
  EXPECT_NE(block, nullptr);
  free(block);
  remove(path.c_str());
}

TEST(FileWrappersDeathTest, FailuresReportThroughPerrorAndExitOne) {
  EXPECT_EXIT(ib_fopen("/nonexistent-dir/out.txt", "w"), testing::ExitedWithCode(1),
              Exactly("Error, unable to open file /nonexistent-dir/out.txt, aborting command: "
                      "No such file or directory\n"));
  EXPECT_EXIT(ib_creat("/nonexistent-dir/out.txt", 0600), testing::ExitedWithCode(1),
              Exactly("Error, unable to create file /nonexistent-dir/out.txt, aborting command: "
                      "No such file or directory\n"));
  EXPECT_EXIT(ib_open("/nonexistent-dir/in.txt", O_RDONLY, 0), testing::ExitedWithCode(1),
              Exactly("Error, unable to open file /nonexistent-dir/in.txt.: No such file or directory\n"));
  EXPECT_EXIT(ib_malloc(0), testing::ExitedWithCode(1), Contains({"Malloc error: "}));
  // A write the device refuses is found when the file is closed, or flushed while open.
  auto write_to_full_device = [](void (*check)(FILE*, const char*)) {
    FILE* full = fopen("/dev/full", "w");
    fprintf(full, "schedule\n");
    check(full, "out.schedules");
  };
  std::string no_space = "Error, unable to write file out.schedules, aborting command: No space left on device\n";
  EXPECT_EXIT(write_to_full_device(ib_fclose), testing::ExitedWithCode(1), Exactly(no_space));
  EXPECT_EXIT(write_to_full_device(ib_fflush), testing::ExitedWithCode(1), Exactly(no_space));
  std::string long_path = "/nonexistent-dir/" + std::string(5000, 'p');
  EXPECT_EXIT(ib_fopen(long_path.c_str(), "r"), testing::ExitedWithCode(1),
              Contains({long_path + ", aborting command: "}));
}

TEST(FileWrappersTest, ForkGivesZeroToTheChild) {
  pid_t pid = ib_fork();
  if (pid == 0) _exit(7);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST(EndingDeathTest, ExitsAndTheFatalStop) {
  EXPECT_EXIT(error_exit("bad input\n", 3), testing::ExitedWithCode(3), Exactly("bad input\n"));
  EXPECT_EXIT(exit_or_abort(), testing::ExitedWithCode(1), Exactly(""));
  EXPECT_EXIT(
      {
        errno = ENOENT;
        perror_exit("gone");
      },
      testing::ExitedWithCode(1), Exactly("gone: No such file or directory\n"));
  EXPECT_EXIT(fatal_stop("Error, expected %ld combinations, got %ld!\n", 3L, 2L), testing::KilledBySignal(SIGABRT),
              Exactly(std::string("Error, expected 3 combinations, got 2!\n") + closing_lines));
  EXPECT_EXIT(fatal_stop(), testing::KilledBySignal(SIGABRT), Exactly(closing_lines));
}

struct StopSeen {
  StopKind kind;
  int status;
};

void throwing_hook(StopKind kind, int status) { throw StopSeen{kind, status}; }

TEST(StopHookTest, HookTakesControlBeforeTheProcessEnds) {
  StopHook previous = set_stop_hook(throwing_hook);
  std::string text = stderr_of([] {
    try {
      fatal_stop("broken\n");
    } catch (const StopSeen& seen) {
      EXPECT_EQ(seen.kind, StopKind::FATAL_STOP);
      EXPECT_EQ(seen.status, 134);
    }
    try {
      error_exit("leaving\n", 5);
    } catch (const StopSeen& seen) {
      EXPECT_EQ(seen.kind, StopKind::EXIT_STATUS);
      EXPECT_EQ(seen.status, 5);
    }
    try {
      ib_fopen("/nonexistent-dir/x", "r");
    } catch (const StopSeen& seen) {
      EXPECT_EQ(seen.status, 1);
    }
  });
  EXPECT_EQ(set_stop_hook(previous), throwing_hook);
  EXPECT_EQ(text, std::string("broken\n") + closing_lines +
                      "leaving\nError, unable to open file /nonexistent-dir/x, aborting command: "
                      "No such file or directory\n");
}

TEST(LeakNoticeTest, NoticeTextAndOnceOnlyFlags) {
  EXPECT_EQ(foundation_test::written_to_stream([](FILE* f) { print_leak_warning(f, "Sample"); }),
            "\nWarning - there is a memory leak in the list_delete function of Sample class.  This is because ansi "
            "c does not support delete( (void *) ptr), i.e., you cannot delete void objects.  You, as a scheduler "
            "client, are not resposibile for this problem.  This message is simply to note that there are some "
            "known memory leaks in vela and to note the situations in which they occur.\n");
  static OnceOnlyFlag flag;
  flag.reset();
  EXPECT_TRUE(flag.first_time());
  EXPECT_FALSE(flag.first_time());
  EXPECT_TRUE(flag.already_done());
  reset_once_only_flags();
  EXPECT_TRUE(flag.first_time());
}

TEST(LeakNoticeTest, AFlagThatIsGoneIsNoLongerReset) {
  // The flag lives in a buffer, so that a reset writing through a stale registration shows.
  alignas(OnceOnlyFlag) unsigned char buffer[sizeof(OnceOnlyFlag)];
  OnceOnlyFlag* flag = new (buffer) OnceOnlyFlag;
  EXPECT_TRUE(flag->first_time());
  flag->~OnceOnlyFlag();
  memset(buffer, 0x5a, sizeof buffer);
  reset_once_only_flags();
  for (unsigned char byte : buffer) EXPECT_EQ(byte, 0x5a);
}

// The out-of-memory path must print its line and abort, without the fatal stop's closing
// lines. Under the address sanitizer the allocator only returns null when told so; the
// death test's child is a fresh run of this program, so it takes the option from here.
class TaggedNewDeathTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* options = getenv("ASAN_OPTIONS");
    saved = options != nullptr ? options : "";
    had_options = options != nullptr;
    setenv("ASAN_OPTIONS", (saved + (saved.empty() ? "" : ":") + "allocator_may_return_null=1").c_str(), 1);
  }
  void TearDown() override {
    if (had_options) {
      setenv("ASAN_OPTIONS", saved.c_str(), 1);
    } else {
      unsetenv("ASAN_OPTIONS");
    }
  }
  std::string saved;
  bool had_options = false;
};

TEST_F(TaggedNewDeathTest, OutOfMemoryPrintsTheTagAndAborts) {
  volatile size_t huge = size_t{1} << 50;
  EXPECT_EXIT(
      {
        char* block = new ("Distribution::Distribution") char[huge];
        block[0] = 0;
      },
      testing::KilledBySignal(SIGABRT),
      Contains({"Error - NEW operator - memory allocation failure: Distribution::Distribution\n"},
               {"Unrecoverable", "terminated"}));
  struct Huge {
    char bytes[size_t{1} << 50];
  };
  EXPECT_EXIT(new ("List::insert") Huge, testing::KilledBySignal(SIGABRT),
              Contains({"Error - NEW operator - memory allocation failure: List::insert\n"}));
}

TEST(TaggedNewTest, AllocatesAndPairsWithPlainDelete) {
  int* value = new ("test::value") int(42);
  EXPECT_EQ(*value, 42);
  delete value;
  char* text = new ("test::text") char[8];
  text[7] = 0;
  delete[] text;
  // A throwing constructor gives the block back through the matching placement delete.
  struct Throws {
    Throws() { throw 1; }
  };
  EXPECT_THROW(new ("test::throws") Throws, int);
}

}  // namespace
