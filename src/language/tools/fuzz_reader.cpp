// libFuzzer target: arbitrary bytes as a task-structure text through the reader and the
// writer, and the written text through both again. Memory errors, undefined behaviour,
// hangs, the aborts of broken promises and a written text that is not a fixpoint of
// reading and writing are findings; the reader's designed stops are expected outcomes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "language/tools/reader_fuzz_entry.h"

namespace {
// The file each written text goes through, one per fuzzing process.
std::string scratch_file;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char name[] = "/tmp/vorna_fuzz_written_XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) {
    perror("vorna_reader_fuzzer: scratch file");
    abort();
  }
  close(fd);
  scratch_file = name;
  atexit([] { unlink(scratch_file.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  read_one_input(data, size, scratch_file.c_str());
  return 0;
}
