// Task structures read from text in memory, as the Java library reads them: the
// scanner's refill over the text, and whole reads written back against the files' echoes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "language/vorna_io.h"
#include "language/vorna_scanner.h"
#include "vorna_io_test_support.h"

using namespace vorna_io_test;

namespace {

void expect_no_text_attached() {
  EXPECT_EQ(flex_from_string, 0);
  EXPECT_EQ(flex_string_input, nullptr);
  EXPECT_EQ(flex_string_input_len, 0);
  EXPECT_EQ(yy_string_ptr, nullptr);
}

// The model read from the text, written back as the echo program writes it.
std::string read_from_string_and_write(const std::string& text, std::string* err = nullptr) {
  ScratchDir dir;
  {
    ModelRead model(ModelRead::FromString{}, text);
    model.write(dir.file("out"));
    if (err != nullptr) *err = model.err;
  }
  expect_no_text_attached();
  return read_file(dir.file("out"));
}

// The checked-in echo of the file, with the analyzer flag a string read presets.
std::string expected_echo(const std::string& name) {
  std::string text = read_file(files_dir() + "/" + name + ".tvorna");
  std::string echo = read_file(files_dir() + "/" + name + ".tvorna.echo");
  if (text.find("use_advanced_analysis") == std::string::npos) {
    const std::string off = "(use_advanced_analysis 0)";
    size_t at = echo.find(off);
    EXPECT_NE(at, std::string::npos) << name;
    if (at != std::string::npos) echo.replace(at, off.size(), "(use_advanced_analysis 1)");
  }
  return echo;
}

TEST(StringInput, RefillHandsOverEveryCharacterInPiecesOfTheAskedSize) {
  const char* text = "ab)";
  flex_string_input = text;
  flex_string_input_len = 3;
  yy_string_ptr = text;
  flex_from_string = 1;
  char buffer[4];
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(string_yyinput(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "ab");
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(string_yyinput(buffer, 2), 1);
  EXPECT_EQ(std::string(buffer, 2), std::string(")\0", 2));
  EXPECT_EQ(string_yyinput(buffer, 2), 0);
  vorna_scanner_reset();
  expect_no_text_attached();
}

TEST(StringInput, EachExampleReadsAsItsFileWithTheAdvancedAnalyzerOnUnlessTheTextSetsIt) {
  for (const std::string& name : example_files) {
    SCOPED_TRACE(name);
    std::string text = read_file(files_dir() + "/" + name + ".tvorna");
    std::string expected = expected_echo(name);
    EXPECT_EQ(read_from_string_and_write(text), expected);
    // The last character counts: a text that ends in its closing parenthesis is whole.
    size_t last = text.find_last_not_of(" \t\n");
    ASSERT_EQ(text[last], ')');
    EXPECT_EQ(read_from_string_and_write(text.substr(0, last + 1)), expected);
  }
}

TEST(StringInput, ReadsAgainAndAfterOrBeforeAFileReadGiveTheSame) {
  const std::string path = files_dir() + "/basic.tvorna";
  const std::string text = read_file(path);
  const std::string first = read_from_string_and_write(text);
  {
    ModelRead from_file(path);
    EXPECT_EQ(from_file.control.use_advanced_cbranch_analyzer, 0);
  }
  EXPECT_EQ(read_from_string_and_write(text), first);
  EXPECT_EQ(read_from_string_and_write(text), first);
  // The next file read scans its own file, not the rest of the text.
  ScratchDir dir;
  {
    ModelRead from_file(files_dir() + "/minimal.tvorna");
    from_file.write(dir.file("out"));
  }
  EXPECT_EQ(read_file(dir.file("out")), read_file(files_dir() + "/minimal.tvorna.echo"));
}

TEST(StringInput, ReadsWithTheParserStorageReleasedBetweenThemGiveTheSame) {
  // The library frees everything a run left; the parser makes its storage afresh. The
  // sanitizer build sees a release that loses storage or leaves a pointer to freed storage.
  const std::string text = read_file(files_dir() + "/attributes_and_times.tvorna");
  release_vorna_parser_storage();
  const std::string first = read_from_string_and_write(text);
  for (int run = 0; run < 3; run++) {
    release_vorna_parser_storage();
    EXPECT_EQ(read_from_string_and_write(text), first);
  }
  release_vorna_parser_storage();
}

TEST(StringInput, SyntaxErrorNamesTheStringAndLeavesNoTextAttached) {
  const std::string text = "(spec_agent (label A))\n(spec_agent label B)\n";
  StopHook previous = set_stop_hook(throw_on_stop);
  AgentIDList agents;
  TaskList groups;
  CommitmentList commitments;
  ResourceList resources;
  ScheduleCriteriaBundle criteria;
  ControlParameterBundle control;
  VornaIO io;
  bool stopped = false;
  testing::internal::CaptureStderr();
  try {
    io.read_vorna_task_structures_from_string(text.c_str(), agents, groups, commitments, criteria, resources,
                                              control);
  } catch (const Stopped&) {
    stopped = true;
  }
  std::string err = testing::internal::GetCapturedStderr();
  set_stop_hook(previous);
  EXPECT_TRUE(stopped);
  EXPECT_TRUE(contains(err, "Vorna error:  parse error at line 2 of file from string.\n")) << err;
  expect_no_text_attached();
  groups.delete_list(0);
  io.discard_abandoned_read();
  agents.delete_list(1);
  reset_vorna_parser_state();
}

}  // namespace
