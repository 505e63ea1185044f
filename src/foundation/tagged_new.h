// Allocation that names its site: when memory runs out the tag is printed and the
// program aborts. Objects so allocated are freed with the ordinary delete.
//
// The operators allocate through the global nothrow operator new, so a build that
// replaces the global operators (the Java library's tracking allocator) sees every
// tagged allocation and every release without any change here.
#pragma once

#include <cstddef>

void* operator new(std::size_t size, const char* tag);
void* operator new[](std::size_t size, const char* tag);
// Called only when a constructor throws during a tagged new.
void operator delete(void* block, const char* tag) noexcept;
void operator delete[](void* block, const char* tag) noexcept;

// Writes "Error - NEW operator - memory allocation failure: <tag>" and aborts.
[[noreturn]] void report_allocation_failure(const char* tag);
