#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "driver/scheduling_run.h"
#include "foundation/system_wrappers.h"

int main(int argc, char** argv) {
  // A file-size limit then fails the write, which is checked and reported like a full
  // disk, instead of killing the program without a word. The Java host keeps its own.
  signal(SIGXFSZ, SIG_IGN);
  int status = scheduling_run(argc, argv);
  // A caller reading the banner must not take a lost banner for success.
  if (written_stream_failed(stdout)) {
    perror("Error, unable to write standard output, aborting command");
    status = 1;
  }
  exit(status);
}
