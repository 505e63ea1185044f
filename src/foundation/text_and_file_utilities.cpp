#include "foundation/text_and_file_utilities.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "foundation/system_wrappers.h"
#include "foundation/tagged_new.h"

namespace ibutil {

namespace {
void count_failure(const char* format, const char* path, int& errors) {
  perror(format_with_path(format, path).c_str());
  errors++;
}

const char* std_stream_name(int std_stream) {
  switch (std_stream) {
    case 0: return "stdin";
    case 1: return "stdout";
    case 2: return "stderr";
    default: return "a stream";
  }
}

int make_catcher(const char* prefix, int& errors, std::string* path) {
  std::string name = std::string("/tmp/") + prefix + "XXXXXX";
  // mkstemp creates the file with mode 0600 under a name nobody can guess beforehand.
  int fd = mkstemp(name.data());
  if (fd < 0) {
    count_failure("Error, unable to create file %s, aborting command", name.c_str(), errors);
    return -1;
  }
  if (path != nullptr) *path = name;
  return fd;
}

char* new_text(size_t length, const char* tag) {
  char* text = new (tag) char[length + 1];
  text[length] = '\0';
  return text;
}

bool is_space_tab_or_newline(char c) { return c == ' ' || c == '\t' || c == '\n'; }
}  // namespace

int ib_creat_erno(const char* path, mode_t mode, int& errors) {
  int fd = creat(path, mode);
  if (fd < 0) count_failure("Error, unable to create file %s, aborting command", path, errors);
  return fd;
}

FILE* ib_fopen_erno(const char* path, const char* mode, int& errors) {
  FILE* file = fopen(path, mode);
  if (file == nullptr) count_failure("Error, unable to open file %s, aborting command", path, errors);
  return file;
}

int ib_open_erno(const char* path, int flags, mode_t mode, int& errors) {
  int fd = open(path, flags, mode);
  if (fd < 0) count_failure("Error, unable to open file %s.", path, errors);
  return fd;
}

namespace {
int count_reassign_failure(int std_stream, int& errors) {
  fprintf(stderr, "Error re-assigning %s to a file.\n", std_stream_name(std_stream));
  perror("Error");
  errors++;
  return -1;
}
}  // namespace

int assign_std_stream_to_open_file(int std_stream, int open_fd, int& errors) {
  // What the stream's buffers already hold belongs to the old destination.
  fflush(nullptr);
  if (dup2(open_fd, std_stream) < 0) return count_reassign_failure(std_stream, errors);
  return 0;
}

int assign_std_stream_to_file(int std_stream, const char* path, int& errors) {
  int fd = creat(path, 0644);
  if (fd < 0) return count_reassign_failure(std_stream, errors);
  int result = assign_std_stream_to_open_file(std_stream, fd, errors);
  close(fd);
  return result;
}

int make_stdout_catcher(int& errors, std::string* path) { return make_catcher("ib.stdout_catch", errors, path); }

int make_stderr_catcher(int& errors, std::string* path) { return make_catcher("ib.stderr_catch", errors, path); }

long read_file_into_buffer(const char* path, char* buffer, long size) {
  if (size > 0) buffer[0] = '\0';
  FILE* file = fopen(path, "r");
  if (file == nullptr) return -1;
  long total = 0;
  while (total < size - 1) {
    long piece = size - 1 - total < 64 ? size - 1 - total : 64;
    size_t got = fread(buffer + total, 1, piece, file);
    total += static_cast<long>(got);
    if (got == 0) break;
  }
  if (size > 0) buffer[total] = '\0';
  fclose(file);
  return total;
}

bool file_is_empty(FILE* f) {
  fseek(f, 0, SEEK_END);
  return ftell(f) == 0;
}

long file_size(const char* path) {
  FILE* file = fopen(path, "r");
  if (file == nullptr) return 0;
  char piece[64];
  long total = 0;
  size_t got;
  while ((got = fread(piece, 1, sizeof piece, file)) > 0) total += static_cast<long>(got);
  fclose(file);
  return total;
}

char* remove_newline(char* text) {
  size_t length = strlen(text);
  if (length > 0 && text[length - 1] == '\n') text[length - 1] = '\0';
  return text;
}

char* remove_all_newlines(char* text) {
  for (char* c = text; *c != '\0'; c++) {
    if (*c == '\n') *c = ' ';
  }
  return text;
}

char* remove_trailing_whitespace(char* text) {
  size_t length = strlen(text);
  while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
  return text;
}

char* trim_and_single_space(char* text) {
  const char* from = text;
  while (is_space_tab_or_newline(*from)) from++;
  char* to = text;
  while (*from != '\0') {
    if (is_space_tab_or_newline(*from)) {
      char first_of_run = *from;
      while (is_space_tab_or_newline(*from)) from++;
      // A run at the end is dropped, one inside keeps its first character.
      if (*from != '\0') *to++ = first_of_run;
    } else {
      *to++ = *from++;
    }
  }
  *to = '\0';
  return text;
}

char* strip_quotes(char* text) {
  size_t start = 0;
  while (text[start] == '"') start++;
  size_t length = strlen(text + start);
  memmove(text, text + start, length + 1);
  while (length > 0 && text[length - 1] == '"') text[--length] = '\0';
  return text;
}

char* make_into_lisp_string(char* text, long capacity) {
  size_t length = strlen(text);
  size_t quotes = 0;
  for (size_t i = 0; i < length; i++) quotes += text[i] == '"';
  if (static_cast<long>(length + quotes + 1) > capacity) {
    fprintf(stderr,
            "Error creating lisp string.  The array size of the\n"
            "original string is not great enough to hold the converted\n"
            "string.  Returning unmodified string to caller.\n");
    return text;
  }
  // Work from the back so every character moves only once.
  text[length + quotes] = '\0';
  for (size_t from = length, to = length + quotes; from > 0;) {
    char c = text[--from];
    text[--to] = c;
    if (c == '"') text[--to] = '\\';
  }
  return text;
}

char* malloc_make_into_lisp_string(const char* text) {
  size_t length = strlen(text);
  size_t quotes = 0;
  for (size_t i = 0; i < length; i++) quotes += text[i] == '"';
  char* result = static_cast<char*>(ib_malloc(static_cast<int>(length + quotes + 1)));
  char* to = result;
  for (const char* from = text; *from != '\0'; from++) {
    if (*from == '"') *to++ = '\\';
    *to++ = *from;
  }
  *to = '\0';
  return result;
}

char* remove_escape_chars(char* text) {
  char* to = text;
  for (const char* from = text; *from != '\0'; from++) {
    if (*from != '\\') *to++ = *from;
  }
  *to = '\0';
  return text;
}

char* strdupe(const char* text) {
  if (text == nullptr) return nullptr;
  size_t length = strlen(text);
  char* copy = new_text(length, "strdupe");
  memcpy(copy, text, length);
  return copy;
}

char* strndup(const char* text, size_t n) {
  if (text == nullptr) return nullptr;
  size_t length = strnlen(text, n);
  char* copy = new_text(length, "strndup");
  memcpy(copy, text, length);
  return copy;
}

char* convert_to_lower(char* text) {
  for (char* c = text; *c != '\0'; c++) *c = static_cast<char>(tolower(static_cast<unsigned char>(*c)));
  return text;
}

char* convert_to_upper(char* text) {
  for (char* c = text; *c != '\0'; c++) *c = static_cast<char>(toupper(static_cast<unsigned char>(*c)));
  return text;
}

char* convert_to_lower_return(const char* text) { return text != nullptr ? convert_to_lower(strdupe(text)) : nullptr; }

char* convert_to_upper_return(const char* text) { return text != nullptr ? convert_to_upper(strdupe(text)) : nullptr; }

}  // namespace ibutil
