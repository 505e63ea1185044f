// Datagram-socket wrappers (Internet family) that end the program on failure. Every
// message starts with the caller's label, so the log says which connection failed.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>

namespace ibutil {

// Texts longer than this are cut to one byte less before ib_sendto sends them.
constexpr long MAX_DATAGRAM_TEXT = 8000;

int ib_socket(const char* label);
void ib_bind(int socket, const sockaddr_in& address, const char* label);
void ib_connect(int socket, const sockaddr_in& address, const char* label);
// Send the whole text (without its terminating zero) and return the bytes sent.
long ib_send(int socket, const char* text, const char* label);
long ib_sendto(int socket, const char* text, const sockaddr_in& address, const char* label);
// Receive at most size-1 bytes and terminate them with a zero; return the bytes received.
long ib_recv(int socket, char* buffer, long size, const char* label);
long ib_recvfrom(int socket, char* buffer, long size, sockaddr_in* from, const char* label);
void ib_close(int fd);

}  // namespace ibutil
