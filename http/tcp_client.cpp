// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/tcp_client.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>

#include "http/proxy/tunnel.h"
#include "http/socket/connection_exceptions.h"
#include "http/socket/socket_error.h"
#include "http/socket/socket_stack.h"

namespace pixhaul {

void TIdTCPClient::ConnectWithinLimits(TIdSocketHandle& socket) {
  // A deadline of the reads (the end of a whole call's time) bounds the connect too.
  const TIdReadRateGuard& guard = ReadGuard();
  const int deadlineLeft = guard.DeadlineLeftMs();
  int limitMs = ConnectTimeoutMs();
  if (deadlineLeft != TIdReadRateGuard::kNoLimit && (limitMs < 0 || deadlineLeft < limitMs)) {
    limitMs = deadlineLeft;
  }
  if (guard.DeadlinePassed()) throw EIdReadTimeout();
  try {
    SharedStack().TestSocketResult(socket.ConnectRemote(socket.Family(), limitMs));
  } catch (const EIdSocketError& e) {
    if (e.LastError() == kWsaETimedOut && guard.DeadlinePassed()) throw EIdReadTimeout();
    throw;
  }
}

void TIdTCPClient::CloseQuietly() {
  // The first failure is the one to report; a failing close must not replace it.
  try {
    CloseConnection();
  } catch (...) {
  }
}

void TIdTCPClient::ConnectToAddress(TIdSocketHandle& socket, const TIdResolvedAddress& address,
                                    int port) {
  socket.Allocate(SOCK_STREAM, 0, address.family);
  socket.SetIP(boundIp_);
  socket.SetPort(0);
  socket.BindLocal();
  socket.SetRemote(address.ip, port);
  if (!useNagle_) {
    const int one = 1;
    socket.SetOption(IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  NotifyStatus(TIdStatus::hsConnecting, socket.RemoteIP());
  ConnectWithinLimits(socket);
  // Reads wait in poll with their own limit; these socket limits bound any blocking call
  // made on the socket itself (a send to a stalled peer).
  if (ReadTimeoutMs() > 0) {
    const timeval limit{ReadTimeoutMs() / 1000, (ReadTimeoutMs() % 1000) * 1000};
    socket.SetOption(SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    socket.SetOption(SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  }
}

void TIdTCPClient::ConnectToPeer() {
  TIdSocketHandle& socket = SocketHandle();
  if (socket.HandleAllocated()) throw EIdAlreadyConnected();
  ResetState();
  TIdStack& stack = SharedStack();
  // Through a proxy the connection goes to the proxy; the tunnel then reaches the host.
  const std::string& dialHost = tunnelProxy_ ? tunnelProxy_->host : host_;
  const int dialPort = tunnelProxy_ ? tunnelProxy_->port : port_;
  // The host also goes into a tunnel request and the TLS server name: check it even when
  // only the proxy's name is looked up.
  TIdStack::CheckHostText(host_);
  TIdStack::CheckHostText(dialHost);
  if (!TIdStack::IsDottedQuad(dialHost) && !TIdStack::IsIPv6Literal(dialHost)) {
    NotifyStatus(TIdStatus::hsResolving, dialHost);
  }
  std::vector<TIdResolvedAddress> addresses;
  try {
    addresses = stack.LookupHostAddresses(dialHost);
  } catch (...) {
    CloseQuietly();
    throw;
  }
  // Each address in the resolver's order gets the whole connect limit; the first that
  // connects is used, and when none does the last failure is the one reported.
  for (size_t i = 0; i < addresses.size(); ++i) {
    try {
      ConnectToAddress(socket, addresses[i], dialPort);
      break;
    } catch (const EIdSocketError&) {
      CloseQuietly();
      if (i + 1 == addresses.size() || ReadGuard().DeadlinePassed()) throw;
    } catch (...) {
      CloseQuietly();
      throw;
    }
  }
  if (tunnelProxy_) {
    // The tunnel is spoken in the clear; the intercept takes over only once it stands.
    const bool intercepted = InterceptEnabled();
    SetInterceptEnabled(false);
    try {
      if (tunnelProxy_->kind == ProxyKind::kHttp) {
        OpenHttpTunnel(*this, host_, port_, *tunnelProxy_);
      } else {
        OpenSocks5Tunnel(*this, host_, port_, *tunnelProxy_);
      }
    } catch (...) {
      CloseQuietly();
      SetInterceptEnabled(intercepted);
      throw;
    }
    SetInterceptEnabled(intercepted);
  }
  if (InterceptEnabled()) {
    Intercept()->SetPeerHostName(host_);
    // The handshake is a read of its own: its time limits start now, not at the connect.
    ReadGuard().Restart();
    Intercept()->SetReadGuard(&ReadGuard());
    try {
      Intercept()->AttachToSocket(&socket);
    } catch (const EIdReadTimeout&) {
      // Other failed attaches leave the socket to the caller's close; a peer that went silent
      // or trickles gets no more time, as for any other read.
      CloseConnection();
      throw;
    }
  }
  NotifyStatus(TIdStatus::hsConnected);
  if (OnConnected) OnConnected(*this);
}

}  // namespace pixhaul
