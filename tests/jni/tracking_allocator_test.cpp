// The tracker's table through small and full-size instances of its own (the test
// program keeps the runtime's operators); the sanitizers check every offset and free.
#include "jni/tracking_allocator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Tracker : public testing::TestWithParam<std::size_t> {
 protected:
  // One bucket chains every block; the library's count spreads them.
  TrackingAllocator tracker{GetParam()};

  void SetUp() override { tracker.setup_hash(); }
  // The state has no destructor by design; what a test leaves goes here.
  void TearDown() override {
    tracker.flush_hash();
    tracker.destroy_hash();
  }

  void* filled(std::size_t size) {
    void* block = tracker.allocate(size);
    EXPECT_NE(block, nullptr);
    if (block != nullptr) memset(block, 0xab, size);
    return block;
  }
};

INSTANTIATE_TEST_SUITE_P(Buckets, Tracker, testing::Values(std::size_t{1}, std::size_t{2}, LIBRARY_TRACKER_BUCKETS),
                         [](const testing::TestParamInfo<std::size_t>& info) {
                           return std::to_string(info.param);
                         });

TEST_P(Tracker, CountsTheBytesAskedForUntilReleasedOrFlushed) {
  void* first = filled(10);
  filled(20);
  EXPECT_EQ(tracker.nonfree_store(), 30u);
  tracker.release(first);
  EXPECT_EQ(tracker.nonfree_store(), 20u);
  tracker.flush_hash();
  EXPECT_EQ(tracker.nonfree_store(), 0u);
  // A flushed table takes new blocks as before.
  tracker.release(filled(7));
  EXPECT_EQ(tracker.nonfree_store(), 0u);
}

TEST_P(Tracker, ReleasingAnyBlockOfAChainLeavesTheOthersTracked) {
  // Blocks are pushed at the head: with one bucket, the last taken heads the chain.
  struct Case {
    const char* which;
    int released;
  } cases[] = {{"tail", 0}, {"middle", 1}, {"head", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.which);
    std::vector<void*> blocks = {filled(100), filled(200), filled(300)};
    tracker.release(blocks[c.released]);
    EXPECT_EQ(tracker.nonfree_store(), 600u - 100u * (c.released + 1));
    // Each other block is still found: releasing it takes its size off the count.
    std::size_t left = tracker.nonfree_store();
    int other = (c.released + 1) % 3;
    tracker.release(blocks[other]);
    EXPECT_EQ(tracker.nonfree_store(), left - 100u * (other + 1));
    // The last one goes with the flush.
    tracker.flush_hash();
    EXPECT_EQ(tracker.nonfree_store(), 0u);
  }
}

TEST_P(Tracker, BlockTakenBeforeASetupIsFreedWithoutTouchingTheCount) {
  void* forgotten = filled(64);
  tracker.setup_hash();
  EXPECT_EQ(tracker.nonfree_store(), 0u);
  void* kept = filled(8);
  tracker.release(forgotten);
  EXPECT_EQ(tracker.nonfree_store(), 8u);
  tracker.release(kept);
  EXPECT_EQ(tracker.nonfree_store(), 0u);
  // Forgotten blocks are not the flush's either: it frees only what the new table holds.
  void* forgotten_first = filled(5);
  void* forgotten_second = filled(6);
  tracker.setup_hash();
  tracker.flush_hash();
  tracker.release(forgotten_first);
  tracker.release(forgotten_second);
  EXPECT_EQ(tracker.nonfree_store(), 0u);
}

TEST_P(Tracker, SizesThatCannotHoldTheHeaderFailAndCountNothing) {
  filled(1);
  for (std::size_t size : {SIZE_MAX, SIZE_MAX - 15}) {
    EXPECT_EQ(tracker.allocate(size), nullptr) << size;
  }
  EXPECT_EQ(tracker.nonfree_store(), 1u);
}

TEST_P(Tracker, EveryBlockIsAlignedForAnyFundamentalType) {
  for (std::size_t size : {0, 1, 7, 15, 16, 17, 1000}) {
    void* block = filled(size);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u) << size;
  }
}

TEST_P(Tracker, TableIsMadeByTheFirstAllocationWithoutASetup) {
  tracker.destroy_hash();
  filled(3);
  EXPECT_EQ(tracker.nonfree_store(), 3u);
}

TEST(TrackerMessages, NullReleaseWarnsOnStandardOutputAndPrintShowsEachBlock) {
  TrackingAllocator tracker{1};
  tracker.setup_hash();
  fflush(stdout);
  testing::internal::CaptureStdout();
  tracker.release(nullptr);
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "WARNING: delete encountered 0x0\n");

  void* block = tracker.allocate(12);
  FILE* out = tmpfile();
  tracker.print_hash(out);
  rewind(out);
  char text[256] = {};
  size_t length = fread(text, 1, sizeof text - 1, out);
  fclose(out);
  char expected[256];
  snprintf(expected, sizeof expected, "0: \n  [%p] (12)\n", block);
  EXPECT_EQ(std::string(text, length), expected);
  tracker.flush_hash();
  tracker.destroy_hash();
}

}  // namespace
