#include <csignal>
#include <cstdlib>

#include "driver/scheduling_run.h"

int main(int argc, char** argv) {
  // A file-size limit then fails the write, which is checked and reported like a full
  // disk, instead of killing the program without a word. The Java host keeps its own.
  signal(SIGXFSZ, SIG_IGN);
  exit(scheduling_run(argc, argv));
}
