// Helpers shared by the foundation tests: stderr capture and matchers for the text a
// dying child wrote.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace foundation_test {

// The child's stderr must contain every text of `wanted` and none of `unwanted`.
class TextMatcher : public testing::MatcherInterface<const std::string&> {
 public:
  TextMatcher(std::vector<std::string> wanted, std::vector<std::string> unwanted)
      : wanted(std::move(wanted)), unwanted(std::move(unwanted)) {}
  bool MatchAndExplain(const std::string& text, testing::MatchResultListener*) const override {
    for (const std::string& w : wanted) {
      if (text.find(w) == std::string::npos) return false;
    }
    for (const std::string& u : unwanted) {
      if (text.find(u) != std::string::npos) return false;
    }
    return true;
  }
  void DescribeTo(std::ostream* os) const override {
    *os << "contains";
    for (const std::string& w : wanted) *os << " [" << w << "]";
    if (!unwanted.empty()) *os << " and not";
    for (const std::string& u : unwanted) *os << " [" << u << "]";
  }

 private:
  std::vector<std::string> wanted;
  std::vector<std::string> unwanted;
};

inline testing::Matcher<const std::string&> Contains(std::vector<std::string> wanted,
                                                     std::vector<std::string> unwanted = {}) {
  return testing::MakeMatcher(new TextMatcher(std::move(wanted), std::move(unwanted)));
}

inline testing::Matcher<const std::string&> Exactly(const std::string& text) { return testing::Eq(text); }

// Runs the statement with stderr captured and returns what it wrote.
template <class F>
std::string stderr_of(F&& statement) {
  fflush(stderr);
  testing::internal::CaptureStderr();
  statement();
  fflush(stderr);
  return testing::internal::GetCapturedStderr();
}

template <class F>
std::string stdout_of(F&& statement) {
  fflush(stdout);
  testing::internal::CaptureStdout();
  statement();
  fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// The text a print function writes to a stream, read back from a temporary file.
template <class F>
std::string written_to_stream(F&& print) {
  FILE* file = tmpfile();
  print(file);
  fflush(file);
  rewind(file);
  std::string text;
  char piece[256];
  size_t got;
  while ((got = fread(piece, 1, sizeof piece, file)) > 0) text.append(piece, got);
  fclose(file);
  return text;
}

}  // namespace foundation_test
