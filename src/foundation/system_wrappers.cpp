#include "foundation/system_wrappers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "foundation/fatal_stop.h"

std::string format_with_path(const char* format, const char* path) {
  // Sized to the path, so that a long path is never cut from the message.
  int length = snprintf(nullptr, 0, format, path);
  std::string text(length > 0 ? length : 0, '\0');
  snprintf(text.data(), text.size() + 1, format, path);
  return text;
}

namespace {
[[noreturn]] void perror_path_and_exit(const char* format, const char* path) {
  perror(format_with_path(format, path).c_str());
  exit_with_status(1);
}

std::vector<OnceOnlyFlag*>& all_once_only_flags() {
  static std::vector<OnceOnlyFlag*> flags;
  return flags;
}
}  // namespace

void* ib_malloc(int size) {
  void* block = size > 0 ? malloc(size) : nullptr;
  if (block == nullptr) {
    perror("Malloc error");
    exit_with_status(1);
  }
  return block;
}

FILE* ib_fopen(const char* path, const char* mode) {
  FILE* file = fopen(path, mode);
  if (file == nullptr) perror_path_and_exit("Error, unable to open file %s, aborting command", path);
  return file;
}

pid_t ib_fork() {
  pid_t pid = fork();
  if (pid < 0) {
    perror("Error, unable to create process, command aborted");
    exit_with_status(1);
  }
  return pid;
}

int ib_creat(const char* path, mode_t mode) {
  int fd = creat(path, mode);
  if (fd < 0) perror_path_and_exit("Error, unable to create file %s, aborting command", path);
  return fd;
}

int ib_open(const char* path, int flags, mode_t mode) {
  int fd = open(path, flags, mode);
  if (fd < 0) perror_path_and_exit("Error, unable to open file %s.", path);
  return fd;
}

int ib_pipe(int* fds) {
  int result = pipe(fds);
  if (result < 0) {
    perror("Error, unable to create pipe.");
    exit_with_status(1);
  }
  return result;
}

OnceOnlyFlag::OnceOnlyFlag() { all_once_only_flags().push_back(this); }

bool OnceOnlyFlag::first_time() {
  if (done) return false;
  done = true;
  return true;
}

void reset_once_only_flags() {
  for (OnceOnlyFlag* flag : all_once_only_flags()) flag->reset();
}

void print_leak_warning(FILE* stream, const char* class_name) {
  std::cout.flush();
  std::cerr.flush();
  fflush(nullptr);
  fprintf(stream,
          "\nWarning - there is a memory leak in the list_delete function of %s class.  This is because "
          "ansi c does not support delete( (void *) ptr), i.e., you cannot delete void objects.  You, as a "
          "scheduler client, are not resposibile for this problem.  This message is simply to note that "
          "there are some known memory leaks in vela and to note the situations in which they occur.\n",
          class_name);
  fflush(nullptr);
}

int random_number_between_inclusive(int low, int high) {
  if (low > high) {
    fprintf(stderr, "Error, random number got a low of %d and a high of %d.\n", low, high);
    abort_on_broken_promise();
  }
  return number_between_inclusive_for_draw(random(), low, high);
}

int number_between_inclusive_for_draw(long draw, int low, int high) {
  double r = draw / 2147483647.0;
  long n = static_cast<long>(high) - low + 1;
  for (long k = 0; k < n; k++) {
    if (r < static_cast<double>(k + 1) / n) return static_cast<int>(low + k);
  }
  // random() gave its largest value, so r is exactly 1.0: the last number of the range.
  return high;
}

int ceiling(float x) {
  int whole = static_cast<int>(x);
  return (x - whole) > 0.0f ? whole + 1 : whole;
}

unsigned ib_integer_power(unsigned base, int exp) {
  unsigned result = 1;
  for (int i = 0; i < exp; i++) result *= base;
  return result;
}

void print_divider_line(FILE* stream, int n, char c) {
  for (int i = 0; i < n; i++) fputc(c, stream);
  fputc('\n', stream);
}
