// The Java library's allocator: every live block is kept in a hash table of headers, the
// bytes outstanding are counted, and everything still allocated after a run can be freed
// at once. The library's global allocation operators forward to the one process-wide
// instance; tests build small instances of their own.
//
// The state is plain data with no destructor, so releases that come during the
// library's exit-time destruction still find a working tracker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class TrackingAllocator {
 public:
  explicit constexpr TrackingAllocator(std::size_t bucket_count) : buckets(bucket_count) {}

  // A block of `size` bytes, 16-byte aligned, recorded in the table (made on first use);
  // null when the system has no memory or the size cannot be represented with its header.
  void* allocate(std::size_t size) noexcept;
  // A null block prints "WARNING: delete encountered 0x0" on standard output. A block in
  // the table is unlinked and its size no longer counted; one taken before the last
  // setup_hash is not in it and is freed without touching the count.
  void release(void* block) noexcept;

  // A fresh, empty table; the blocks of the old one are forgotten, not freed.
  void setup_hash() noexcept;
  // The table freed (its blocks forgotten) and the count back to 0.
  void destroy_hash() noexcept;
  // Every block in the table freed; the count is 0 afterwards.
  void flush_hash() noexcept;
  // The bytes asked for by the blocks in the table.
  std::size_t nonfree_store() const noexcept { return outstanding; }
  // Each non-empty bucket with its blocks' addresses and sizes.
  void print_hash(FILE* out = stdout) const;

 private:
  struct Header {
    Header* next;
    std::size_t size;
  };
  static_assert(sizeof(Header) == 16, "the header keeps the 16-byte alignment of the system's blocks");

  // The bucket of a caller's address.
  Header** bucket_of(std::uintptr_t address) const noexcept;

  std::size_t buckets;
  Header** table = nullptr;
  std::size_t outstanding = 0;
};

// The library's table: a prime count of heads keeps chains short for heaps of many MB.
constexpr std::size_t LIBRARY_TRACKER_BUCKETS = 343051;
// A run that leaves more than this many bytes outstanding is followed by a flush.
constexpr std::size_t LIBRARY_TRACKER_FLUSH_THRESHOLD = 500000;

extern constinit TrackingAllocator library_tracker;
