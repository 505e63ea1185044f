#include "foundation/tagged_new.h"

#include <cstdio>
#include <new>

#include "foundation/fatal_stop.h"

void report_allocation_failure(const char* tag) {
  fprintf(stderr, "Error - NEW operator - memory allocation failure: %s\n", tag ? tag : "(null)");
  abort_on_broken_promise();
}

void* operator new(std::size_t size, const char* tag) {
  void* block = ::operator new(size, std::nothrow);
  if (block == nullptr) report_allocation_failure(tag);
  return block;
}

void* operator new[](std::size_t size, const char* tag) {
  void* block = ::operator new[](size, std::nothrow);
  if (block == nullptr) report_allocation_failure(tag);
  return block;
}

void operator delete(void* block, const char*) noexcept { ::operator delete(block); }
void operator delete[](void* block, const char*) noexcept { ::operator delete[](block); }
