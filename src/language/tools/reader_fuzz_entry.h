// One input through the reader and the writer, and the written text through both again,
// as the fuzz target and the corpus replay both run it. The designed stops of the reader
// (the fatal stops and exits that bad text leads to) come back here through a stop hook
// instead of ending the process.
#pragma once

#include <cstddef>
#include <cstdint>

// What became of one input.
enum class ReaderOutcome {
  READ_AND_WRITTEN,  // the text read, bound and written back
  FATAL_STOP,        // a designed fatal stop
  EXIT_STATUS,       // a designed exit with a status
};

// Reads the bytes as a task-structure text and, when they read, writes the model read to
// `scratch_file` (overwritten), reads that text and writes it again: the two written texts
// must be the same, else the process aborts with both. Frees everything, whatever the outcome.
ReaderOutcome read_one_input(const uint8_t* data, size_t size, const char* scratch_file);
