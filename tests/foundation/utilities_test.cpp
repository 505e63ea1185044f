#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/foundation_test_support.h"
#include "foundation/socket_utilities.h"
#include "foundation/text_and_file_utilities.h"

using foundation_test::Contains;
using foundation_test::Exactly;
using foundation_test::stderr_of;

namespace {

std::string write_temp_file(const std::string& name, const std::string& contents) {
  std::string path = testing::TempDir() + name;
  FILE* file = fopen(path.c_str(), "w");
  fwrite(contents.data(), 1, contents.size(), file);
  fclose(file);
  return path;
}

TEST(TextUtilitiesTest, InPlaceEdits) {
  char a[] = "line\n";
  EXPECT_STREQ(ibutil::remove_newline(a), "line");
  char a2[] = "no newline";
  EXPECT_STREQ(ibutil::remove_newline(a2), "no newline");
  char b[] = "a\nb\n";
  EXPECT_STREQ(ibutil::remove_all_newlines(b), "a b ");
  char c[] = "word  \t  ";
  EXPECT_STREQ(ibutil::remove_trailing_whitespace(c), "word  \t");
  char d[] = " \t a \t\n b\n\nc  \n";
  EXPECT_STREQ(ibutil::trim_and_single_space(d), "a b\nc");
  char d2[] = " \n\t ";
  EXPECT_STREQ(ibutil::trim_and_single_space(d2), "");
  char e[] = "\"\"quoted\"";
  EXPECT_STREQ(ibutil::strip_quotes(e), "quoted");
  char f[] = "a\\\"b\\\\";
  EXPECT_STREQ(ibutil::remove_escape_chars(f), "a\"b");
  char g[] = "MiXed 1";
  EXPECT_STREQ(ibutil::convert_to_lower(g), "mixed 1");
  EXPECT_STREQ(ibutil::convert_to_upper(g), "MIXED 1");
}

TEST(TextUtilitiesTest, LispStrings) {
  char room[16] = "say \"hi\"";
  EXPECT_STREQ(ibutil::make_into_lisp_string(room, sizeof room), "say \\\"hi\\\"");
  char tight[] = "\"x\"";  // needs 6 bytes, has 4
  EXPECT_EQ(stderr_of([&] { EXPECT_STREQ(ibutil::make_into_lisp_string(tight, sizeof tight), "\"x\""); }),
            "Error creating lisp string.  The array size of the\n"
            "original string is not great enough to hold the converted\n"
            "string.  Returning unmodified string to caller.\n");
  char exact[6] = "\"x\"";
  EXPECT_STREQ(ibutil::make_into_lisp_string(exact, sizeof exact), "\\\"x\\\"");
  char* fresh = ibutil::malloc_make_into_lisp_string("\"q\" and \"r\"");
  EXPECT_STREQ(fresh, "\\\"q\\\" and \\\"r\\\"");
  free(fresh);
}

TEST(TextUtilitiesTest, CopiesNeverReadPastTheText) {
  EXPECT_EQ(ibutil::strdupe(nullptr), nullptr);
  char* copy = ibutil::strdupe("text");
  EXPECT_STREQ(copy, "text");
  delete[] copy;
  // A 3-byte buffer without room to spare: asking for 10 characters must stop at the zero.
  static const char shorter[] = "ab";
  char* part = ibutil::strndup(shorter, 10);
  EXPECT_STREQ(part, "ab");
  delete[] part;
  part = ibutil::strndup("abcdef", 3);
  EXPECT_STREQ(part, "abc");
  delete[] part;
  char* lower = ibutil::convert_to_lower_return("ABC");
  char* upper = ibutil::convert_to_upper_return("abc");
  EXPECT_STREQ(lower, "abc");
  EXPECT_STREQ(upper, "ABC");
  delete[] lower;
  delete[] upper;
}

TEST(FileUtilitiesTest, ReadingKeepsRoomForTheZero) {
  std::string contents(150, 'x');
  contents[149] = 'y';
  std::string path = write_temp_file("utilities_read", contents);
  char exact_fit[150];
  EXPECT_EQ(ibutil::read_file_into_buffer(path.c_str(), exact_fit, sizeof exact_fit), 149);
  EXPECT_EQ(std::string(exact_fit), contents.substr(0, 149));
  char roomy[300];
  EXPECT_EQ(ibutil::read_file_into_buffer(path.c_str(), roomy, sizeof roomy), 150);
  EXPECT_EQ(std::string(roomy), contents);
  EXPECT_EQ(ibutil::file_size(path.c_str()), 150);
  EXPECT_EQ(ibutil::file_size("/nonexistent-dir/x"), 0);
  EXPECT_EQ(ibutil::read_file_into_buffer("/nonexistent-dir/x", roomy, sizeof roomy), -1);
  EXPECT_STREQ(roomy, "");
  remove(path.c_str());
}

TEST(FileUtilitiesTest, ErnoFormsCountInsteadOfExiting) {
  int errors = 0;
  std::string text = stderr_of([&] {
    EXPECT_EQ(ibutil::ib_fopen_erno("/nonexistent-dir/a", "r", errors), nullptr);
    EXPECT_EQ(ibutil::ib_creat_erno("/nonexistent-dir/b", 0600, errors), -1);
    EXPECT_EQ(ibutil::ib_open_erno("/nonexistent-dir/c", O_RDONLY, 0, errors), -1);
  });
  EXPECT_EQ(errors, 3);
  EXPECT_EQ(text,
            "Error, unable to open file /nonexistent-dir/a, aborting command: No such file or directory\n"
            "Error, unable to create file /nonexistent-dir/b, aborting command: No such file or directory\n"
            "Error, unable to open file /nonexistent-dir/c.: No such file or directory\n");
  std::string path = testing::TempDir() + "utilities_erno";
  int fd = ibutil::ib_creat_erno(path.c_str(), 0600, errors);
  EXPECT_GE(fd, 0);
  close(fd);
  FILE* file = ibutil::ib_fopen_erno(path.c_str(), "r", errors);
  EXPECT_NE(file, nullptr);
  fclose(file);
  EXPECT_EQ(errors, 3);
  remove(path.c_str());
}

TEST(FileUtilitiesTest, CatchersAreFreshPrivateFiles) {
  int errors = 0;
  std::string out_path, err_path;
  int out = ibutil::make_stdout_catcher(errors, &out_path);
  int out_again = ibutil::make_stdout_catcher(errors);
  int err = ibutil::make_stderr_catcher(errors, &err_path);
  ASSERT_GE(out, 0);
  ASSERT_GE(err, 0);
  EXPECT_GE(out_again, 0);
  EXPECT_EQ(errors, 0);
  EXPECT_EQ(out_path.rfind("/tmp/ib.stdout_catch", 0), 0u);
  EXPECT_EQ(err_path.rfind("/tmp/ib.stderr_catch", 0), 0u);
  EXPECT_EQ(out_path.size(), strlen("/tmp/ib.stdout_catch") + 6);
  struct stat info;
  ASSERT_EQ(stat(out_path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  close(out);
  close(out_again);
  close(err);
  remove(out_path.c_str());
  remove(err_path.c_str());
}

TEST(FileUtilitiesDeathTest, StandardStreamRedirection) {
  std::string path = testing::TempDir() + "utilities_redirect";
  // In a child, so that this program's own stdout stays where it was.
  EXPECT_EXIT(
      {
        int errors = 0;
        if (ibutil::assign_std_stream_to_file(1, path.c_str(), errors) != 0) _exit(2);
        printf("caught");
        fflush(stdout);
        int bad_errors = 0;
        ibutil::assign_std_stream_to_open_file(1, 999, bad_errors);
        _exit(bad_errors == 1 ? 0 : 3);
      },
      testing::ExitedWithCode(0), Exactly("Error re-assigning stdout to a file.\nError: Bad file descriptor\n"));
  char buffer[32];
  EXPECT_EQ(ibutil::read_file_into_buffer(path.c_str(), buffer, sizeof buffer), 6);
  EXPECT_STREQ(buffer, "caught");
  int errors = 0;
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(ibutil::assign_std_stream_to_file(1, "/nonexistent-dir/x", errors), -1); }),
            "Error re-assigning stdout to a file.\nError: No such file or directory\n");
  EXPECT_EQ(errors, 1);
  remove(path.c_str());
}

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A bound loopback socket on a port the system picks.
int bound_socket(sockaddr_in& address) {
  int fd = ibutil::ib_socket("test");
  address = loopback(0);
  ibutil::ib_bind(fd, address, "test");
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return fd;
}

TEST(SocketUtilitiesTest, DatagramsOverLoopback) {
  sockaddr_in receiver_address;
  int receiver = bound_socket(receiver_address);
  int sender = ibutil::ib_socket("sender");
  ibutil::ib_connect(sender, receiver_address, "sender");
  EXPECT_EQ(ibutil::ib_send(sender, "hello", "sender"), 5);
  char buffer[64];
  EXPECT_EQ(ibutil::ib_recv(receiver, buffer, sizeof buffer, "receiver"), 5);
  EXPECT_STREQ(buffer, "hello");

  // Data that fills the buffer is cut one short, for the terminating zero.
  EXPECT_EQ(ibutil::ib_sendto(sender, "0123456789", receiver_address, "sender"), 10);
  char small[8];
  sockaddr_in from;
  EXPECT_EQ(ibutil::ib_recvfrom(receiver, small, sizeof small, &from, "receiver"), 7);
  EXPECT_STREQ(small, "0123456");
  EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));

  std::string big(9000, 'b');
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(ibutil::ib_sendto(sender, big.c_str(), receiver_address, "big"), 7999); }),
            "big Error, message > 8k.  Truncated.\n");
  std::string received(9000, '\0');
  EXPECT_EQ(ibutil::ib_recv(receiver, received.data(), received.size(), "receiver"), 7999);
  EXPECT_EQ(big.size(), 9000u);  // the caller's text is left whole
  ibutil::ib_close(sender);
  ibutil::ib_close(receiver);
}

TEST(SocketUtilitiesDeathTest, FailuresNameTheLabelAndExitOne) {
  sockaddr_in taken;
  int holder = bound_socket(taken);
  EXPECT_EXIT(
      {
        int fd = ibutil::ib_socket("second");
        ibutil::ib_bind(fd, taken, "second");
      },
      testing::ExitedWithCode(1), Exactly("second Error binding socket.: Address already in use\n"));
  EXPECT_EXIT(ibutil::ib_close(999), testing::ExitedWithCode(1), Exactly("Error closing fd 999.: Bad file descriptor\n"));
  EXPECT_EXIT(
      {
        char buffer[8];
        ibutil::ib_recv(999, buffer, sizeof buffer, "lost");
      },
      testing::ExitedWithCode(1), Exactly("lost Error receiving message.: Bad file descriptor\n"));
  EXPECT_EXIT(ibutil::ib_send(999, "x", "lost"), testing::ExitedWithCode(1),
              Exactly("lost Error sending message.: Bad file descriptor\n"));
  ibutil::ib_close(holder);
}

}  // namespace
