// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdConnectionIntercept: a hook a TCP connection tells of connect, receive, send and close,
// and that may take over receiving and sending altogether (the TLS layer is one).
//
// The connection does not own its intercept. When an intercept is destroyed first, it tells
// every connection that registered for it (AddFreeNotification), and those behave as if their
// Intercept had been set to none. An intercept and its connections are used on one thread.
//
// ReceiveThrough and SendThrough follow the socket-result convention: a positive count, 0 for a
// peer that closed, -1 for a failure whose number is the calling thread's TIdStack::LastError().
//
// An intercept that receives (HandlesReceive) takes its bytes from the socket itself, so the
// connection cannot see them arrive: such an intercept counts the bytes it takes off the wire
// into ReadGuard() and waits for the socket no longer than ReadGuard().WaitLimitMs() allows,
// failing a read that runs out of time with error 10060 (the connection then raises "Read timed
// out.").
//
// Tests: tests/http/socket/tcp_connection_test.cpp.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "http/socket/read_rate_guard.h"

namespace pixhaul {

class TIdConnectionIntercept;
class TIdSocketHandle;

// Something that must forget an intercept when the intercept is destroyed.
class TIdInterceptUser {
 public:
  virtual void InterceptDestroyed(TIdConnectionIntercept* intercept) = 0;

 protected:
  ~TIdInterceptUser() = default;
};

class TIdConnectionIntercept {
 public:
  using ConnectEvent = std::function<void(TIdConnectionIntercept& sender, TIdSocketHandle& socket)>;

  TIdConnectionIntercept();
  virtual ~TIdConnectionIntercept();
  TIdConnectionIntercept(const TIdConnectionIntercept&) = delete;
  TIdConnectionIntercept& operator=(const TIdConnectionIntercept&) = delete;

  TIdSocketHandle* AttachedSocket() const { return attachedSocket_; }
  bool HandlesReceive() const { return handlesReceive_; }
  bool HandlesSend() const { return handlesSend_; }
  ConnectEvent OnConnect;

  // Remembers the socket, then raises OnConnect if assigned.
  virtual void AttachToSocket(TIdSocketHandle* socket);
  virtual void AfterReceive(const char* bytes, int count);
  virtual void AfterSend(const char* bytes, int count);
  // Forgets the socket.
  virtual void DetachFromSocket();
  virtual int ReceiveThrough(char* bytes, int capacity);
  virtual int SendThrough(const char* bytes, int count);
  // Bytes already held by the intercept that a ReceiveThrough would return without touching
  // the socket; the connection's readiness wait does not wait while this is above 0.
  virtual int PendingBytes() const { return 0; }

  // The host name (or dotted address) the connection is reaching; TIdTCPClient::ConnectToPeer
  // sets it before AttachToSocket. The TLS intercept names it to the server.
  const std::string& PeerHostName() const { return peerHostName_; }
  void SetPeerHostName(const std::string& host) { peerHostName_ = host; }

  // The time limits of the reads the intercept makes for its connection; TIdTCPClient::
  // ConnectToPeer hands over the connection's own guard (not owned; it outlives the attachment)
  // before AttachToSocket. Without one the intercept keeps a guard of its own with the
  // process-wide default read time limit.
  TIdReadRateGuard& ReadGuard() { return readGuard_ != nullptr ? *readGuard_ : ownReadGuard_; }
  void SetReadGuard(TIdReadRateGuard* guard) { readGuard_ = guard; }
  // Forgets `guard` if it is the one handed over (its connection is going away).
  void ReleaseReadGuard(const TIdReadRateGuard* guard) {
    if (readGuard_ == guard) readGuard_ = nullptr;
  }

  void AddFreeNotification(TIdInterceptUser* user);
  void RemoveFreeNotification(TIdInterceptUser* user);

 protected:
  void SetHandlesReceive(bool value) { handlesReceive_ = value; }
  void SetHandlesSend(bool value) { handlesSend_ = value; }

 private:
  TIdSocketHandle* attachedSocket_ = nullptr;
  bool handlesReceive_ = false;
  bool handlesSend_ = false;
  std::vector<TIdInterceptUser*> users_;
  std::string peerHostName_;
  TIdReadRateGuard* readGuard_ = nullptr;
  TIdReadRateGuard ownReadGuard_;
};

}  // namespace pixhaul
