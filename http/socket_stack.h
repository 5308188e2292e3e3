// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdStack: the process's socket layer over POSIX sockets (IPv4 only).
//
// There is one stack per process, reached through SharedStack(). It lives from its first use to
// the end of the process, so no thread can ever use a stack that another thread destroyed; the
// count of live TIdComponent users (StackUserCount) is kept for observability only. Every
// method is safe from any thread. Methods that return socket results pass the system's result
// through (-1 on failure) and leave the mapped error number in the calling thread's last error
// (LastError); methods documented as raising throw EIdSocketError and friends.
//
// Error numbers are Windows Sockets numbers; ErrnoToSocketError (http/socket_error.h) is the one
// place where an errno becomes such a number.
#pragma once

#include <sys/socket.h>

#include <string>
#include <vector>

namespace pixhaul {

class TIdStack {
 public:
  TIdStack() = default;
  TIdStack(const TIdStack&) = delete;
  TIdStack& operator=(const TIdStack&) = delete;

  // --- Socket calls (results untested unless stated) ---
  int CreateSocket(int family, int type, int protocol);
  // Binds to `ip` (empty = any) and `port`.
  int Bind(int fd, int family, const std::string& ip, int port);
  // Connects to a dotted address; gives up after `timeoutMs` (negative: no limit) with last
  // error 10060. The socket is blocking again afterwards.
  int Connect(int fd, int family, const std::string& ip, int port, int timeoutMs);
  int Recv(int fd, void* buffer, int length, int flags);
  // Never raises SIGPIPE: a send to a closed peer fails with error 10058.
  int Send(int fd, const void* buffer, int length, int flags);
  int SetSockOpt(int fd, int level, int option, const void* value, socklen_t length);
  int Shutdown(int fd, int how);
  int CloseSocket(int fd);
  // Local / remote address of a socket; raise EIdSocketError on failure.
  void GetSockName(int fd, std::string& ip, int& port);
  void GetPeerName(int fd, std::string& ip, int& port);
  // First IPv4 address of a host name; raises EIdSocketError 11001 when the lookup fails.
  std::string HostByName(const std::string& host);
  // Waits until a socket of `readList` is readable (`timeoutMs` -2: no limit). Afterwards the
  // list holds only the ready sockets. Returns the ready count, 0 on timeout, -1 on failure.
  // Raises EIdStackSetSizeExceeded for more than 64 sockets.
  int WaitReadable(std::vector<int>& readList, int timeoutMs);

  // --- Non-virtual helpers ---
  // "LOCALHOST" in any case: 127.0.0.1; a dotted address: unchanged; else HostByName.
  std::string LookupHostAddress(const std::string& host);
  static bool IsDottedQuad(const std::string& text);
  static std::string AddressToText(const unsigned char bytes[4]);
  // Raises EConvertError when a part is not an integer; keeps each part's low 8 bits.
  static void TextToAddress(const std::string& text, unsigned char bytes[4]);
  // A socket of family AF_INET; raises EIdInvalidSocket "Cannot allocate socket." on failure.
  int NewSocket(int type, int protocol);
  // False unless result is -1; true when the thread's last error is tolerated; raises
  // EIdSocketError for any other error.
  bool TestSocketResult(int result, const std::vector<int>& tolerated = {});
  [[noreturn]] static void ThrowSocketError(int number);
  static std::string SocketErrorText(int number);

  // The calling thread's last socket error number (0 when none was recorded).
  static int LastError();
  static void SetLastError(int number);
};

// The process's stack; created on first use, alive until the process ends.
TIdStack& SharedStack();
// Number of live TIdComponent objects. Register/Unregister are called by TIdComponent.
int StackUserCount();
void RegisterStackUser();
void UnregisterStackUser();

}  // namespace pixhaul
