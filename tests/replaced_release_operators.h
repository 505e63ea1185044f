// The release forms for a test program that replaces the global allocation operators
// with malloc blocks. Include it in one file of the program only.
#pragma once

#include <cstdlib>
#include <new>

// The replacements hand out malloc blocks and free them again, which g++ takes for a
// mismatch when it sees both ends.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, std::size_t) noexcept { free(block); }
void operator delete[](void* block, std::size_t) noexcept { free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { free(block); }
