// Replays every file of the fuzz corpus through the fuzz target's entry, in name order,
// so that the normal test run catches a regression on any input the fuzzer ever kept.
// Usage: replay_corpus DIRECTORY. Exits 0 when every input ran to a designed outcome and
// every text that read was written as a fixpoint of reading and writing.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "language/tools/reader_fuzz_entry.h"
#include "language/vorna_scanner.h"

namespace {

// The input being replayed, named when a finding aborts the replay.
std::string current_input;

void name_the_input_that_aborted(int) {
  const char* lead = "\nreplay_corpus: the finding above came from ";
  if (write(STDERR_FILENO, lead, strlen(lead)) < 0 ||
      write(STDERR_FILENO, current_input.c_str(), current_input.size()) < 0 || write(STDERR_FILENO, "\n", 1) < 0)
    _exit(134);
  signal(SIGABRT, SIG_DFL);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: replay_corpus DIRECTORY\n");
    return 2;
  }
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty()) {
    fprintf(stderr, "replay_corpus: no inputs in %s\n", argv[1]);
    return 1;
  }
  // The stray characters the scanner echoes would bury the summary.
  FILE* echo = fopen("/dev/null", "w");
  if (echo != nullptr) vorna_scanner_set_echo_stream(echo);
  std::string scratch = (std::filesystem::temp_directory_path() / "vorna_replay_written_XXXXXX").string();
  int scratch_fd = mkstemp(scratch.data());
  if (scratch_fd < 0) {
    perror("replay_corpus: scratch file");
    return 1;
  }
  close(scratch_fd);
  signal(SIGABRT, name_the_input_that_aborted);
  long counts[3] = {0, 0, 0};
  for (const auto& path : inputs) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    current_input = path.string();
    ReaderOutcome outcome =
        read_one_input(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), scratch.c_str());
    counts[static_cast<int>(outcome)]++;
  }
  unlink(scratch.c_str());
  vorna_scanner_set_echo_stream(stdout);
  if (echo != nullptr) fclose(echo);
  fprintf(stdout, "replayed %zu inputs: %ld read and written, %ld fatal stops, %ld exits\n", inputs.size(),
          counts[0], counts[1], counts[2]);
  return 0;
}
