#include "foundation/socket_utilities.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "foundation/fatal_stop.h"
#include "foundation/system_wrappers.h"

namespace ibutil {

namespace {
[[noreturn]] void fail(int socket, const char* format, const char* label) {
  perror(format_with_path(format, label).c_str());
  if (socket >= 0) close(socket);
  exit_with_status(1);
}

long receive_into(int socket, char* buffer, long size, sockaddr_in* from, const char* label) {
  // One byte stays free for the terminating zero.
  size_t room = size > 1 ? static_cast<size_t>(size - 1) : 0;
  ssize_t got;
  if (from != nullptr) {
    socklen_t length = sizeof *from;
    got = recvfrom(socket, buffer, room, 0, reinterpret_cast<sockaddr*>(from), &length);
  } else {
    got = recv(socket, buffer, room, 0);
  }
  if (got < 0) fail(socket, "%s Error receiving message.", label);
  if (size > 0) buffer[got] = '\0';
  return got;
}
}  // namespace

int ib_socket(const char* label) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) fail(-1, "%s Error creating socket.", label);
  return fd;
}

void ib_bind(int socket, const sockaddr_in& address, const char* label) {
  if (bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
    fail(socket, "%s Error binding socket.", label);
  }
}

void ib_connect(int socket, const sockaddr_in& address, const char* label) {
  if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
    fail(socket, "%s Error connecting socket.", label);
  }
}

long ib_send(int socket, const char* text, const char* label) {
  size_t length = strlen(text);
  ssize_t sent = send(socket, text, length, 0);
  if (sent < 0 || static_cast<size_t>(sent) != length) fail(socket, "%s Error sending message.", label);
  return sent;
}

long ib_sendto(int socket, const char* text, const sockaddr_in& address, const char* label) {
  size_t length = strlen(text);
  if (length > static_cast<size_t>(MAX_DATAGRAM_TEXT)) {
    fprintf(stderr, "%s Error, message > 8k.  Truncated.\n", label);
    length = MAX_DATAGRAM_TEXT - 1;
  }
  ssize_t sent = sendto(socket, text, length, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (sent < 0 || static_cast<size_t>(sent) != length) fail(socket, "%s Error sending message.", label);
  return sent;
}

long ib_recv(int socket, char* buffer, long size, const char* label) {
  return receive_into(socket, buffer, size, nullptr, label);
}

long ib_recvfrom(int socket, char* buffer, long size, sockaddr_in* from, const char* label) {
  sockaddr_in ignored;
  return receive_into(socket, buffer, size, from != nullptr ? from : &ignored, label);
}

void ib_close(int fd) {
  if (close(fd) < 0) {
    char text[64];
    snprintf(text, sizeof text, "Error closing fd %d.", fd);
    perror(text);
    exit_with_status(1);
  }
}

}  // namespace ibutil
