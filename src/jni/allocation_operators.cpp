// The global allocation operators of the Java library: every form the code may call goes
// through the library's tracker, so that a flush after a run frees all it left. Linked
// only into the shared library, with the C++ runtime linked in statically and only the
// native methods exported; otherwise the host's runtime would allocate around the tracker
// and hand it blocks it never made. The aligned forms stay the runtime's: nothing in the
// system is over-aligned.
#include <cstddef>
#include <new>

#include "foundation/tagged_new.h"
#include "jni/tracking_allocator.h"

namespace {

void* allocate_or_abort(std::size_t size) {
  void* block = library_tracker.allocate(size);
  // The tagged operators allocate through the nothrow forms and print their own tag.
  if (block == nullptr) report_allocation_failure(nullptr);
  return block;
}

}  // namespace

void* operator new(std::size_t size) { return allocate_or_abort(size); }
void* operator new[](std::size_t size) { return allocate_or_abort(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return library_tracker.allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return library_tracker.allocate(size); }

void operator delete(void* block) noexcept { library_tracker.release(block); }
void operator delete[](void* block) noexcept { library_tracker.release(block); }
void operator delete(void* block, std::size_t) noexcept { library_tracker.release(block); }
void operator delete[](void* block, std::size_t) noexcept { library_tracker.release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { library_tracker.release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { library_tracker.release(block); }
