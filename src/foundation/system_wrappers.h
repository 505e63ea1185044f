// Wrappers that end the program on failure (the ib_ prefix), the once-per-process
// leak notice and the small numeric helpers every subsystem uses.
#pragma once

#include <sys/types.h>

#include <cstdio>

void* ib_malloc(int size);
FILE* ib_fopen(const char* path, const char* mode);
pid_t ib_fork();
int ib_creat(const char* path, mode_t mode);
int ib_open(const char* path, int flags, mode_t mode);
int ib_pipe(int* fds);

// A flag that lets a notice or reminder be printed once per process. Every such flag
// registers itself, so tests can start over with reset_once_only_flags().
class OnceOnlyFlag {
 public:
  OnceOnlyFlag();
  // True the first time it is asked (until the next reset).
  bool first_time();
  bool already_done() const { return done; }
  void reset() { done = false; }

 private:
  bool done = false;
};
void reset_once_only_flags();

// The known-leak notice; each caller guards it with its own OnceOnlyFlag.
void print_leak_warning(FILE* stream, const char* class_name);

int random_number_between_inclusive(int low, int high);
int ceiling(float x);
unsigned ib_integer_power(unsigned base, int exp);
void print_divider_line(FILE* stream, int n, char c);
