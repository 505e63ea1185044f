// File, stream and text helpers. The _erno forms report a failure like their ib_
// counterparts but count it in the caller's error counter instead of ending the program.
// They live in a namespace because strndup is also a C library name.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

namespace ibutil {

int ib_creat_erno(const char* path, mode_t mode, int& errors);
FILE* ib_fopen_erno(const char* path, const char* mode, int& errors);
int ib_open_erno(const char* path, int flags, mode_t mode, int& errors);

// Point a standard stream (0, 1 or 2) at a file, created or truncated, or at an open
// descriptor. Return 0, or -1 after counting the error.
int assign_std_stream_to_file(int std_stream, const char* path, int& errors);
int assign_std_stream_to_open_file(int std_stream, int open_fd, int& errors);

// A new file "/tmp/ib.stdout_catchXXXXXX" (resp. stderr), mode 0600, with an
// unpredictable name. Returns the open descriptor, or -1 after counting the error; the
// name is stored in *path when asked for.
int make_stdout_catcher(int& errors, std::string* path = nullptr);
int make_stderr_catcher(int& errors, std::string* path = nullptr);

// Reads at most size-1 bytes of the file, in pieces of at most 64, and terminates them
// with a zero. Returns the bytes read, or -1 (and an empty text) when the file cannot be
// opened.
long read_file_into_buffer(const char* path, char* buffer, long size);
// The number of bytes read from the file, 0 when it cannot be opened.
long file_size(const char* path);
// True when the open stream's file holds nothing yet. A stream opened for appending
// reports position 0 before its first write on some C libraries whatever the file holds,
// so this seeks to the end before asking.
bool file_is_empty(FILE* f);

// In-place edits; each returns its argument.
char* remove_newline(char* text);             // the newline that ends the text
char* remove_all_newlines(char* text);        // every newline becomes a blank
char* remove_trailing_whitespace(char* text); // trailing blanks
char* trim_and_single_space(char* text);
char* strip_quotes(char* text);
// Escapes every double quote with a backslash; capacity counts the terminating zero.
// When the result would not fit, the text is left as it is, with a message.
char* make_into_lisp_string(char* text, long capacity);
// The same into a new block from malloc (the caller frees it with free()).
char* malloc_make_into_lisp_string(const char* text);
char* remove_escape_chars(char* text);

// New copies, freed with delete[]; strdupe(null) is null.
char* strdupe(const char* text);
// At most the first n characters, never reading past the end of a shorter text.
char* strndup(const char* text, size_t n);

char* convert_to_lower(char* text);
char* convert_to_upper(char* text);
// New copies (delete[]).
char* convert_to_lower_return(const char* text);
char* convert_to_upper_return(const char* text);

}  // namespace ibutil
