// What a print operation writes, as a string.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

inline std::string printed_text(const std::function<void(FILE*)>& write) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  write(stream);
  fclose(stream);
  std::string text(buffer, size);
  free(buffer);
  return text;
}
