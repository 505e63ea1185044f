// libFuzzer target: arbitrary bytes as a task-structure text through the reader and the
// writer. Only memory errors, undefined behaviour, hangs and the aborts of broken
// promises are findings; the reader's designed stops are expected outcomes.
#include <cstddef>
#include <cstdint>

#include "language/tools/reader_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  read_one_input(data, size, "/dev/null");
  return 0;
}
