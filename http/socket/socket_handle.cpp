// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/socket/socket_handle.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

#include "http/socket/connection_exceptions.h"
#include "http/socket/socket_error.h"
#include "http/socket/socket_stack.h"

namespace pixhaul {

TIdSocketHandle::~TIdSocketHandle() { Release(true); }

void TIdSocketHandle::Allocate(int type, int protocol, int family) {
  Release(true);
  handle_ = SharedStack().NewSocket(type, protocol, family);
  family_ = family;
  allocated_ = true;
}

void TIdSocketHandle::Release(bool resetLocal) {
  if (!allocated_) return;
  allocated_ = false;
  TIdStack& stack = SharedStack();
  // Both results are deliberately ignored: the socket is gone either way.
  stack.Shutdown(handle_, SHUT_WR);
  stack.CloseSocket(handle_);
  Clear(resetLocal);
}

void TIdSocketHandle::Clear(bool resetLocal) {
  allocated_ = false;
  handle_ = -1;
  if (resetLocal) {
    ip_.clear();
    port_ = 0;
  }
  remoteIp_.clear();
  remotePort_ = 0;
}

void TIdSocketHandle::BindLocal() {
  TIdStack& stack = SharedStack();
  if (stack.TestSocketResult(stack.Bind(handle_, family_, ip_, port_), {kWsaEAddrInUse})) {
    throw EIdCouldNotBindSocket();
  }
  ReadBackLocal();
}

void TIdSocketHandle::SetRemote(const std::string& address, int port) {
  remoteIp_ = address;
  remotePort_ = port;
}

int TIdSocketHandle::ConnectRemote(int family, int timeoutMs) {
  TIdStack& stack = SharedStack();
  const int result = stack.Connect(handle_, family, remoteIp_, remotePort_, timeoutMs);
  if (result == 0) {
    ReadBackLocal();
    stack.GetPeerName(handle_, remoteIp_, remotePort_);
  }
  return result;
}

bool TIdSocketHandle::IsReadable(int timeoutMs) {
  if (!allocated_) throw EIdConnClosedGracefully();
  std::vector<int> readList{handle_};
  return SharedStack().WaitReadable(readList, timeoutMs) == 1;
}

int TIdSocketHandle::Receive(void* buffer, int length, int flags) {
  return SharedStack().Recv(handle_, buffer, length, flags);
}

int TIdSocketHandle::Send(const void* buffer, int length, int flags) {
  return SharedStack().Send(handle_, buffer, length, flags);
}

void TIdSocketHandle::SetOption(int level, int option, const void* value, socklen_t length) {
  TIdStack& stack = SharedStack();
  stack.TestSocketResult(stack.SetSockOpt(handle_, level, option, value, length));
}

void TIdSocketHandle::ReadBackLocal() { SharedStack().GetSockName(handle_, ip_, port_); }

SocketCork::SocketCork(TIdSocketHandle& socket) : socket_(socket) {
  if (socket_.HandleAllocated()) {
    int noDelay = 0;
    socklen_t length = sizeof noDelay;
    nagle_ = ::getsockopt(socket_.Handle(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &length) == 0 &&
             noDelay == 0;
  }
  Set(TCP_CORK, 1);
}

SocketCork::~SocketCork() {
  Set(TCP_CORK, 0);
  // Switching Nagle's algorithm off sends what is queued; it is switched back on for what
  // follows.
  if (nagle_) {
    Set(TCP_NODELAY, 1);
    Set(TCP_NODELAY, 0);
  }
}

void SocketCork::Set(int option, int value) {
  if (socket_.HandleAllocated()) {
    ::setsockopt(socket_.Handle(), IPPROTO_TCP, option, &value, sizeof value);
  }
}

}  // namespace pixhaul
