#include "foundation/fatal_stop.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {
StopHook current_hook = nullptr;

void call_hook(StopKind kind, int status) {
  if (current_hook != nullptr) current_hook(kind, status);
}
}  // namespace

StopHook set_stop_hook(StopHook hook) {
  StopHook previous = current_hook;
  current_hook = hook;
  return previous;
}

void fatal_stop() {
  std::cerr.flush();
  fflush(stdout);
  fflush(stderr);
  fprintf(stderr, "\n\a**Unrecoverable Error**\n");
  fprintf(stderr, "**Scheduling operation terminated**\n");
  fflush(stderr);
  call_hook(StopKind::FATAL_STOP, 134);
  abort();
}

void fatal_stop_v(const char* format, va_list args) {
  vfprintf(stderr, format, args);
  fatal_stop();
}

void fatal_stop(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fatal_stop_v(format, args);
}

void exit_with_status(int status) {
  std::cerr.flush();
  fflush(stderr);
  call_hook(StopKind::EXIT_STATUS, status);
  exit(status);
}

void error_exit(const char* msg, int status) {
  fprintf(stderr, "%s", msg);
  fflush(stderr);
  exit_with_status(status);
}

void exit_or_abort() { exit_with_status(1); }

void perror_exit(const char* msg) {
  perror(msg);
  fflush(stderr);
  exit_with_status(1);
}

void abort_on_broken_promise() {
  std::cerr.flush();
  fflush(stderr);
  abort();
}
