// How the program ends: the fatal stop, the exit on error and their test hook.
#pragma once

#include <cstdarg>

enum class StopKind {
  FATAL_STOP,   // message, both streams flushed, the two closing lines, then abort
  EXIT_STATUS,  // exit with a status (error_exit, exit_or_abort, the ib_* wrappers)
};

// Called just before the process would end. A test or fuzz build may install one that
// throws or long-jumps to take control back; if it returns, the process ends as usual.
using StopHook = void (*)(StopKind kind, int status);
StopHook set_stop_hook(StopHook hook);

// The fatal stop: the caller has already written its message to the error stream.
[[noreturn]] void fatal_stop();
// The same with the message formatted onto the error stream first.
[[noreturn]] void fatal_stop(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void fatal_stop_v(const char* format, va_list args);

// Writes the message with "%s" to stderr, flushes it and exits with the status.
[[noreturn]] void error_exit(const char* msg, int status);
// Exit with status 1, no message.
[[noreturn]] void exit_or_abort();
// perror(msg), flush, exit 1.
[[noreturn]] void perror_exit(const char* msg);
// Every exit on error ends here, so the hook sees it.
[[noreturn]] void exit_with_status(int status);
// Aborts that mark a broken promise of a caller (list bounds, the allocator) bypass the hook.
[[noreturn]] void abort_on_broken_promise();
