#include "jni/tracking_allocator.h"

#include <cstdint>
#include <cstdlib>

constinit TrackingAllocator library_tracker{LIBRARY_TRACKER_BUCKETS};

TrackingAllocator::Header** TrackingAllocator::bucket_of(std::uintptr_t address) const noexcept {
  return &table[address % buckets];
}

void* TrackingAllocator::allocate(std::size_t size) noexcept {
  if (size > SIZE_MAX - sizeof(Header)) return nullptr;
  if (table == nullptr) {
    table = static_cast<Header**>(calloc(buckets, sizeof(Header*)));
    if (table == nullptr) return nullptr;
  }
  Header* header = static_cast<Header*>(malloc(sizeof(Header) + size));
  if (header == nullptr) return nullptr;
  void* block = header + 1;
  Header** head = bucket_of(reinterpret_cast<std::uintptr_t>(block));
  header->size = size;
  header->next = *head;
  *head = header;
  outstanding += size;
  return block;
}

void TrackingAllocator::release(void* block) noexcept {
  if (block == nullptr) {
    printf("WARNING: delete encountered 0x0\n");
    return;
  }
  Header* header = static_cast<Header*>(block) - 1;
  if (table != nullptr) {
    for (Header** link = bucket_of(reinterpret_cast<std::uintptr_t>(block)); *link != nullptr; link = &(*link)->next) {
      if (*link == header) {
        *link = header->next;
        outstanding -= header->size;
        break;
      }
    }
  }
  free(header);
}

void TrackingAllocator::destroy_hash() noexcept {
  free(table);
  table = nullptr;
  outstanding = 0;
}

void TrackingAllocator::setup_hash() noexcept {
  destroy_hash();
  // A table that cannot be made now is made by the next allocation, or that one fails.
  table = static_cast<Header**>(calloc(buckets, sizeof(Header*)));
}

void TrackingAllocator::flush_hash() noexcept {
  if (table == nullptr) return;
  for (std::size_t bucket = 0; bucket < buckets; bucket++) {
    Header* header = table[bucket];
    while (header != nullptr) {
      Header* next = header->next;
      free(header);
      header = next;
    }
    table[bucket] = nullptr;
  }
  outstanding = 0;
}

void TrackingAllocator::print_hash(FILE* out) const {
  if (table == nullptr) return;
  for (std::size_t bucket = 0; bucket < buckets; bucket++) {
    if (table[bucket] == nullptr) continue;
    fprintf(out, "%zu: \n", bucket);
    for (Header* header = table[bucket]; header != nullptr; header = header->next)
      fprintf(out, "  [%p] (%zu)\n", static_cast<void*>(header + 1), header->size);
  }
}
