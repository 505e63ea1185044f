#include "foundation/foundation_test_support.h"

namespace {
// Death tests re-run the test program instead of forking a copy of it, which the
// sanitizers and the out-of-memory test (options passed through the environment) need.
// Set from an environment because the flag is only safe to touch once the test
// library's own statics exist.
class ThreadsafeDeathTests : public testing::Environment {
 public:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

[[maybe_unused]] testing::Environment* const threadsafe_death_tests =
    testing::AddGlobalTestEnvironment(new ThreadsafeDeathTests);
}  // namespace
