#include "foundation/system_wrappers.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>

#include "foundation/fatal_stop.h"

std::string formatted_text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

// Sized to the path, so that a long path is never cut from the message.
std::string format_with_path(const char* format, const char* path) { return formatted_text(format, path); }

namespace {
[[noreturn]] void perror_path_and_exit(const char* format, const char* path) {
  perror(format_with_path(format, path).c_str());
  exit_with_status(1);
}

constexpr const char* OPEN_FAILURE = "Error, unable to open file %s, aborting command";

// Constant-initialised, so usable before any dynamic initialisation.
OnceOnlyFlag* newest_once_only_flag = nullptr;
std::mutex once_only_flags_mutex;
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
  if (file == nullptr) perror_path_and_exit(OPEN_FAILURE, path);
  // A folder opens for reading, and reading it fails later without a useful word.
  struct stat opened {};
  if (fstat(fileno(file), &opened) == 0 && S_ISDIR(opened.st_mode)) {
    fclose(file);
    errno = EISDIR;
    perror_path_and_exit(OPEN_FAILURE, path);
  }
  return file;
}

void ib_unlink_if_present(const char* path) {
  // A name that cannot be looked up (missing, too long, under no folder) holds nothing to
  // remove; opening it later reports why.
  struct stat found {};
  if (lstat(path, &found) != 0) return;
  if (unlink(path) != 0 && errno != ENOENT)
    perror_path_and_exit("Error, unable to remove file %s, aborting command", path);
}

void ib_refuse_name_too_long(const char* path) {
  std::string text = path;
  size_t slash = text.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : text.substr(0, slash);
  size_t name_length = slash == std::string::npos ? text.size() : text.size() - slash - 1;
  errno = 0;
  long name_max = pathconf(folder.c_str(), _PC_NAME_MAX);
  if (text.size() >= PATH_MAX || (name_max > 0 && name_length > static_cast<size_t>(name_max))) {
    errno = ENAMETOOLONG;
    perror_path_and_exit(OPEN_FAILURE, path);
  }
}

bool written_stream_failed(FILE* file) {
  errno = 0;
  bool failed = fflush(file) != 0;
  if (ferror(file) != 0) failed = true;
  if (failed && errno == 0) errno = EIO;
  return failed;
}

namespace {
constexpr const char* WRITE_FAILURE = "Error, unable to write file %s, aborting command";

[[noreturn]] void process_creation_failure() {
  perror("Error, unable to create process, command aborted");
  exit_with_status(1);
}
}  // namespace

void ib_fclose(FILE* file, const char* path) {
  bool failed = written_stream_failed(file);
  int reason = errno;
  if (fclose(file) != 0 && !failed) {
    failed = true;
    reason = errno;
  }
  if (failed) {
    errno = reason;
    perror_path_and_exit(WRITE_FAILURE, path);
  }
}

void ib_fflush(FILE* file, const char* path) {
  if (written_stream_failed(file)) perror_path_and_exit(WRITE_FAILURE, path);
}

double wall_clock_seconds() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_usec) / 1000000.0;
}

pid_t ib_fork() {
  pid_t pid = fork();
  if (pid < 0) process_creation_failure();
  return pid;
}

pid_t ib_spawn_shell(const char* command) {
  char shell_name[] = "sh";
  char option[] = "-c";
  std::string text = command != nullptr ? command : "";
  char* argv[] = {shell_name, option, text.data(), nullptr};
  pid_t pid = -1;
  int error = posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ);
  if (error == 0) return pid;
  // The spawn reports the exec's failure as its own; only these mean no process at all.
  if (error == EAGAIN || error == ENOMEM) {
    errno = error;
    process_creation_failure();
  }
  return -1;
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

OnceOnlyFlag::OnceOnlyFlag() {
  std::lock_guard<std::mutex> lock(once_only_flags_mutex);
  previous_flag = newest_once_only_flag;
  if (previous_flag != nullptr) previous_flag->next_flag = this;
  newest_once_only_flag = this;
}

OnceOnlyFlag::~OnceOnlyFlag() {
  std::lock_guard<std::mutex> lock(once_only_flags_mutex);
  if (previous_flag != nullptr) previous_flag->next_flag = next_flag;
  if (next_flag != nullptr) next_flag->previous_flag = previous_flag;
  if (newest_once_only_flag == this) newest_once_only_flag = previous_flag;
}

bool OnceOnlyFlag::first_time() {
  if (done) return false;
  done = true;
  return true;
}

void reset_once_only_flags() {
  std::lock_guard<std::mutex> lock(once_only_flags_mutex);
  for (OnceOnlyFlag* flag = newest_once_only_flag; flag != nullptr; flag = flag->previous_flag) flag->reset();
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
  // Out of range the conversion is undefined; the ends of the range stand in, NaN for 0.
  if (std::isnan(x)) return 0;
  if (x >= 2147483648.0f) return INT_MAX;
  if (x < -2147483648.0f) return INT_MIN;
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
