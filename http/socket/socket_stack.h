// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdStack: the process's socket layer over POSIX sockets, IPv4 and IPv6.
//
// There is one stack per process, reached through SharedStack(). It lives from its first use to
// the end of the process, so no thread can ever use a stack that another thread destroyed; the
// count of live TIdComponent users (StackUserCount) is kept for observability only. Every
// method is safe from any thread. Methods that return socket results pass the system's result
// through (-1 on failure) and leave the mapped error number in the calling thread's last error
// (LastError); methods documented as raising throw EIdSocketError and friends.
//
// Error numbers are Windows Sockets numbers; ErrnoToSocketError (http/socket/socket_error.h) is the
// one place where an errno becomes such a number.
#pragma once

#include <sys/socket.h>

#include <functional>
#include <string>
#include <vector>

namespace pixhaul {

// One address a host name resolved to: AF_INET or AF_INET6 and its numeric text.
struct TIdResolvedAddress {
  int family = 0;
  std::string ip;
};
// Resolves a host name to its addresses in the order they are to be tried; empty when the name
// does not resolve.
using TIdHostResolver = std::function<std::vector<TIdResolvedAddress>(const std::string& host)>;

class TIdStack {
 public:
  TIdStack() = default;
  TIdStack(const TIdStack&) = delete;
  TIdStack& operator=(const TIdStack&) = delete;

  // --- Socket calls (results untested unless stated) ---
  int CreateSocket(int family, int type, int protocol);
  // Binds to `ip` (empty = any) and `port`; `family` AF_INET or AF_INET6 as the socket's.
  int Bind(int fd, int family, const std::string& ip, int port);
  // Connects to a numeric address of `family`; gives up after `timeoutMs` (negative: no limit) with
  // last error 10060. The socket is blocking again afterwards.
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
  // Every address of a host name, IPv4 and IPv6, in the resolver's order; raises
  // EIdSocketError 11001 when the lookup fails or finds none, or the name is not clean.
  std::vector<TIdResolvedAddress> HostAddresses(const std::string& host);
  // Replaces the system's resolver for every later lookup of a name (tests: names that resolve
  // to chosen addresses without touching the network); an empty one restores the system's.
  static void SetHostResolver(TIdHostResolver resolver);
  // Waits until a socket of `readList` is readable (`timeoutMs` -2: no limit). Afterwards the
  // list holds only the ready sockets. Returns the ready count, 0 on timeout, -1 on failure.
  // Raises EIdStackSetSizeExceeded for more than 64 sockets.
  int WaitReadable(std::vector<int>& readList, int timeoutMs);

  // --- Non-virtual helpers ---
  // "LOCALHOST" in any case: 127.0.0.1; a dotted address: unchanged; else HostByName.
  std::string LookupHostAddress(const std::string& host);
  // The addresses a connect to `host` tries, in order: an IPv6 literal (bracketed or not) as
  // it is, "LOCALHOST" and a dotted address as LookupHostAddress gives them, else HostAddresses.
  std::vector<TIdResolvedAddress> LookupHostAddresses(const std::string& host);
  static bool IsDottedQuad(const std::string& text);
  // False for a host that holds a control byte (below 0x20, or 0x7F) or a blank: no such name
  // is ever looked up (a NUL would cut it short) or written into a request.
  static bool IsCleanHostText(const std::string& text);
  // Raises EIdSocketError 11001, as an unknown host does, unless IsCleanHostText(host).
  static void CheckHostText(const std::string& host);
  // An IPv6 address, as written in an address ("[2001:db8::1]") or bare ("::1").
  static bool IsIPv6Literal(const std::string& text);
  // `host` without the brackets around an IPv6 literal.
  static std::string UnbracketedHost(const std::string& host);
  static std::string AddressToText(const unsigned char bytes[4]);
  // Raises EConvertError when a part is not an integer; keeps each part's low 8 bits.
  static void TextToAddress(const std::string& text, unsigned char bytes[4]);
  // A socket of `family`; raises EIdInvalidSocket "Cannot allocate socket." on failure.
  int NewSocket(int type, int protocol, int family = AF_INET);
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
