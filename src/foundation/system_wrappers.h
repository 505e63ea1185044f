// Wrappers that end the program on failure (the ib_ prefix), the once-per-process
// leak notice and the small numeric helpers every subsystem uses.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

void* ib_malloc(int size);
FILE* ib_fopen(const char* path, const char* mode);
// Removes a file; a missing file (or a name no file can have) is no error. A file that stays ends the program as a
// failed open does: perror("Error, unable to remove file PATH, aborting command"), status 1.
void ib_unlink_if_present(const char* path);
// Ends the program as a failed open of the path would (its message, "File name too long",
// status 1) when the path or its last name is longer than its folder allows. A folder
// whose limits cannot be read is left for the open to report.
void ib_refuse_name_too_long(const char* path);
// Flushes the stream; true when that or an earlier write failed. errno then tells why
// (EIO when the failure left no reason behind).
bool written_stream_failed(FILE* file);
// Closes a file that was written: a write that failed, now or earlier, ends the program
// as a failed open does, with perror("Error, unable to write file PATH, aborting command")
// and status 1, so a full disk never passes for success.
void ib_fclose(FILE* file, const char* path);
// The same check for a file that stays open: flushed and checked.
void ib_fflush(FILE* file, const char* path);
pid_t ib_fork();
// Starts "/bin/sh -c COMMAND" in a child that does nothing but exec the shell, so it is
// safe inside a multi-threaded host and leaves the caller's signal handling alone.
// Returns the child (the caller reaps it), or -1 when the shell could not be started. A
// process that cannot be created is ib_fork's failure: its message and status 1.
pid_t ib_spawn_shell(const char* command);
int ib_creat(const char* path, mode_t mode);
int ib_open(const char* path, int flags, mode_t mode);
int ib_pipe(int* fds);
// Seconds since the epoch, with microseconds: the run's timings.
double wall_clock_seconds();
// printf into a string of whatever length the text needs.
std::string formatted_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A message format with one "%s" filled in with a path, as the wrappers pass it to perror.
std::string format_with_path(const char* format, const char* path);

// A flag that lets a notice or reminder be printed once per process. Every living flag
// is registered (from construction to destruction), so tests can start over with
// reset_once_only_flags().
class OnceOnlyFlag {
 public:
  OnceOnlyFlag();
  ~OnceOnlyFlag();
  OnceOnlyFlag(const OnceOnlyFlag&) = delete;
  OnceOnlyFlag& operator=(const OnceOnlyFlag&) = delete;
  // True the first time it is asked (until the next reset).
  bool first_time();
  bool already_done() const { return done; }
  void reset() { done = false; }

 private:
  friend void reset_once_only_flags();
  bool done = false;
  // The registry is a chain through the flags themselves: it allocates nothing and needs
  // no construction, so flags made at load in any order find it ready.
  OnceOnlyFlag* previous_flag = nullptr;
  OnceOnlyFlag* next_flag = nullptr;
};
void reset_once_only_flags();

// The known-leak notice; each caller guards it with its own OnceOnlyFlag.
void print_leak_warning(FILE* stream, const char* class_name);

// The first k in 0..n-1 with random()/2147483647.0 < (k+1)/n gives low + k; the largest
// draw of random() gives high.
int random_number_between_inclusive(int low, int high);
// The same choice for a given draw of random() (0 .. 2147483647), low <= high.
int number_between_inclusive_for_draw(long draw, int low, int high);
// Out of the int range the nearer end of the range; NaN gives 0.
int ceiling(float x);
unsigned ib_integer_power(unsigned base, int exp);
void print_divider_line(FILE* stream, int n, char c);
