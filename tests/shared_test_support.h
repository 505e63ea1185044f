// Helpers every test program may use: files read and written whole, a scratch folder per
// test, and whole runs of a program in a child process.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace shared_test {

inline std::string environment_or(const char* name, const char* fallback) {
  const char* value = getenv(name);
  return value != nullptr ? value : fallback;
}
inline std::string source_dir() { return environment_or("VELA_SOURCE_DIR", "."); }
inline std::string binary_dir() { return environment_or("VELA_BINARY_DIR", "."); }

inline std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
}

// A directory of its own for each test, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vela_test_XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    path = mkdtemp(name.data());
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
  // Writes the text into a file of that name and returns its path.
  std::string with_file(const std::string& name, const std::string& text) const {
    write_file(file(name), text);
    return file(name);
  }

  std::string path;
};

struct ProgramRun {
  // The exit status, or 128 plus the signal that ended the child (134: abort).
  int status = -1;
  std::string out;
  std::string err;
};

// in_child, when given, runs in the child just before the program starts (a folder to
// work in, limits, the environment).
inline ProgramRun run_program(const std::vector<std::string>& args, const std::function<void()>& in_child = {}) {
  ScratchDir streams;
  std::string out_path = streams.file("stdout");
  std::string err_path = streams.file("stderr");
  fflush(stdout);
  fflush(stderr);
  pid_t child = fork();
  if (child == 0) {
    if (freopen(out_path.c_str(), "w", stdout) == nullptr || freopen(err_path.c_str(), "w", stderr) == nullptr)
      _exit(127);
    if (in_child) in_child();
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int raw = 0;
  waitpid(child, &raw, 0);
  ProgramRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  run.out = read_file(out_path);
  run.err = read_file(err_path);
  return run;
}

// What the fatal stop writes last; a fatal run ends with it and status 134.
inline const char* const FATAL_LINES = "\n\a**Unrecoverable Error**\n**Scheduling operation terminated**\n";

}  // namespace shared_test
