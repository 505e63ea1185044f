// Running out of memory inside the standard library ends a run as a failed tagged
// allocation does. This program replaces the global throwing allocation operators so that
// they fail on demand (the nothrow forms, which the tagged allocations use, never fail
// here), so it is kept apart from the other tests.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#include "driver/scheduling_run.h"
#include "replaced_release_operators.h"
#include "shared_test_support.h"

namespace {
// The throwing allocation of this number fails, and every one after it (0: none is
// counted or fails).
long failing_from = 0;
long throwing_allocations = 0;

void* allocate(std::size_t size) { return malloc(size != 0 ? size : 1); }
}  // namespace

void* operator new(std::size_t size) {
  if (failing_from > 0 && ++throwing_allocations >= failing_from) throw std::bad_alloc();
  void* block = allocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }

namespace {

// The throwing allocations one run makes, counted in a child so that the run leaves this
// process as it found it.
long throwing_allocations_of_a_run(char** argv, const std::string& count_file) {
  fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    if (freopen("/dev/null", "w", stdout) == nullptr || freopen("/dev/null", "w", stderr) == nullptr) _exit(126);
    failing_from = std::numeric_limits<long>::max();
    scheduling_run(3, argv);
    long counted = throwing_allocations;
    failing_from = 0;
    shared_test::write_file(count_file, std::to_string(counted));
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return std::stol("0" + shared_test::read_file(count_file));
}

// Wherever in the run the standard library runs out, the run ends with the tagged line
// (naming the step as far as the run knows it) and the abort: never with an uncaught
// throw, a destructor's complaint or a misread input.
TEST(RunAllocationDeathTest, AThrowingAllocationThatFailsAnywhereEndsLikeATaggedOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  shared_test::ScratchDir dir;
  std::string input = dir.with_file(
      "two.tvorna", shared_test::read_file(shared_test::source_dir() + "/tests/driver/runs/two_methods/two.tvorna"));
  std::string prefix = dir.file("out");
  std::string program = "vela";
  char* argv[] = {program.data(), input.data(), prefix.data(), nullptr};
  long total = throwing_allocations_of_a_run(argv, dir.file("count"));
  ASSERT_GT(total, 100);
  for (long from = 1; from <= total; from += total / 40 + 1) {
    EXPECT_EXIT(
        {
          failing_from = from;
          scheduling_run(3, argv);
        },
        testing::KilledBySignal(SIGABRT), "Error - NEW operator - memory allocation failure: [A-Za-z_:~]+\n$")
        << "failing from throwing allocation " << from << " of " << total;
  }
}

}  // namespace
