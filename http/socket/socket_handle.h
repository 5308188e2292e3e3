// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdSocketHandle: one stream socket (IPv4 or IPv6) with its local and remote address.
//
// The handle owns its file descriptor: `Release` (and the destructor) shut sending down and
// close it. It is used by one thread at a time, the thread of the connection that owns it.
// Calls that return a socket result (-1 on failure) leave the error number in the calling
// thread's last error (TIdStack::LastError); calls documented as raising throw EIdSocketError.
//
// Tests: tests/http/tcp_client_test.cpp.
#pragma once

#include <sys/socket.h>

#include <string>

namespace pixhaul {

class TIdSocketHandle {
 public:
  TIdSocketHandle() = default;
  ~TIdSocketHandle();
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

  // Closes any socket held, then creates a new one of `family` (close-on-exec, blocking).
  // Raises EIdInvalidSocket "Cannot allocate socket." when the system refuses.
  void Allocate(int type = SOCK_STREAM, int protocol = 0, int family = AF_INET);
  // Only while a socket is held: shuts sending down, closes it (results not tested), Clear.
  void Release(bool resetLocal = true);
  // Forgets the socket without closing it; clears the remote address and, if resetLocal, the
  // local one.
  void Clear(bool resetLocal = true);

  // Binds to IP() (empty = any) and Port(), then reads the local address back. Raises
  // EIdCouldNotBindSocket when the address is in use, EIdSocketError otherwise.
  void BindLocal();
  void SetRemote(const std::string& address, int port);
  // Connects to RemoteIP():RemotePort(), giving up after `timeoutMs` (negative: no limit) with
  // error 10060. On success reads back both addresses. Returns 0, or -1 with the thread's last
  // error set; the caller tests the result.
  int ConnectRemote(int family, int timeoutMs);

  // True when a receive would not block, within `timeoutMs` (-2: no limit). A failed wait reads
  // as not readable. Raises EIdConnClosedGracefully when no socket is held.
  bool IsReadable(int timeoutMs);
  // Socket results, untested: a count, 0 for a closed peer, -1 for a failure.
  int Receive(void* buffer, int length, int flags = 0);
  int Send(const void* buffer, int length, int flags = 0);
  // setsockopt, raising EIdSocketError on failure.
  void SetOption(int level, int option, const void* value, socklen_t length);

  int Handle() const { return handle_; }
  int Family() const { return family_; }
  bool HandleAllocated() const { return allocated_; }
  const std::string& IP() const { return ip_; }
  void SetIP(const std::string& ip) { ip_ = ip; }
  int Port() const { return port_; }
  void SetPort(int port) { port_ = port; }
  const std::string& RemoteIP() const { return remoteIp_; }
  int RemotePort() const { return remotePort_; }

 private:
  void ReadBackLocal();

  int handle_ = -1;
  int family_ = AF_INET;
  bool allocated_ = false;
  std::string ip_;
  int port_ = 0;
  std::string remoteIp_;
  int remotePort_ = 0;
};

// Holds what is written to a socket back in the kernel (TCP_CORK) for its lifetime, so that a
// request written one line per write leaves in full packets. With Nagle's algorithm on and a
// peer that delays its acknowledgements, each line after the first would otherwise wait for the
// acknowledgement of the one before: up to 40 ms per request on a kept-alive connection. When
// the cork ends, what it held is pushed out at once even with Nagle's algorithm on: uncorking
// alone still holds the last partial packet while anything sent before is unacknowledged (after
// a TLS handshake, the client's last flight), which such a peer acknowledges only 40 ms later.
// The bytes sent are the same; only their packets change. Failures to set the options are
// ignored, as the bytes go out either way.
class SocketCork {
 public:
  explicit SocketCork(TIdSocketHandle& socket);
  ~SocketCork();
  SocketCork(const SocketCork&) = delete;
  SocketCork& operator=(const SocketCork&) = delete;

 private:
  // The handle is asked each time: a send that failed may have closed it, and its descriptor
  // number may already belong to another connection.
  void Set(int option, int value);
  TIdSocketHandle& socket_;
  bool nagle_ = false;  // Nagle's algorithm is on for the socket
};

}  // namespace pixhaul
