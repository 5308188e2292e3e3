// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdTCPClient: a TCP connection that makes its own outgoing connect.
//
// The client resolves Host() to every address it has (IPv4 and IPv6) and tries them in the
// resolver's order, each bound to BoundIP() (empty = any) on a system-chosen port and connected
// to Port() within the connect limit; the first that connects is used; with the intercept enabled
// the intercept is attached (for TLS: the handshake) once the TCP connection stands. Used on one
// thread, like its base.
#pragma once

#include <optional>
#include <string>

#include "http/proxy/proxy_server.h"
#include "http/socket/socket_stack.h"
#include "http/socket/tcp_connection.h"

namespace pixhaul {

enum class TSocksAuthentication { saNoAuthentication, saUsernamePassword };
enum class TSocksVersion { svNoSocks, svSocks4, svSocks4A, svSocks5 };

// SOCKS settings; kept and copied, never acted on (connections are always direct).
struct TSocksInfo {
  TSocksAuthentication Authentication = TSocksAuthentication::saNoAuthentication;
  std::string Host;
  std::string Password;
  int Port = 0;
  std::string UserID;
  TSocksVersion Version = TSocksVersion::svNoSocks;
};

class TIdTCPClient : public TIdTCPConnection {
 public:
  using TNotifyEvent = TIdTCPConnection::TNotifyEvent;

  TIdTCPClient() = default;

  const std::string& BoundIP() const { return boundIp_; }
  void SetBoundIP(const std::string& value) { boundIp_ = value; }
  const std::string& Host() const { return host_; }
  void SetHost(const std::string& value) { host_ = value; }
  int Port() const { return port_; }
  void SetPort(int value) { port_ = value; }
  bool UseNagle() const { return useNagle_; }
  void SetUseNagle(bool value) { useNagle_ = value; }
  const TSocksInfo& SocksInfo() const { return socksInfo_; }
  void SetSocksInfo(const TSocksInfo& value) { socksInfo_ = value; }
  TNotifyEvent OnConnected;

  // The proxy the connection goes through; none (the default) connects direct. With one,
  // ConnectToPeer connects to the proxy instead and opens a tunnel to Host():Port() (HTTP
  // CONNECT, or SOCKS5 for the socks kinds) before the intercept attaches, so TLS runs end to
  // end and names Host().
  const std::optional<ProxyServer>& TunnelProxy() const { return tunnelProxy_; }
  void SetTunnelProxy(std::optional<ProxyServer> proxy) { tunnelProxy_ = std::move(proxy); }

  // Connects to Host():Port(). Raises EIdAlreadyConnected while a socket is open,
  // EIdInvalidSocket, EIdCouldNotBindSocket, EIdSocketError (lookup 11001, refused 10061,
  // timed out 10060, ...). A failure before the TCP connection stands leaves the connection
  // closed; a failure of the intercept's attach propagates with the socket left open, except
  // EIdReadTimeout (a handshake that went silent or trickled), which closes it first. Once the
  // read guard's deadline has passed, or when it ends the connect, raises EIdReadTimeout.
  // Through a proxy, a refused tunnel raises what http/proxy/tunnel.h says, the connection
  // closed.
  virtual void ConnectToPeer();

 private:
  // Connects the allocated socket within ConnectTimeoutMs() and the read guard's deadline.
  void ConnectWithinLimits(TIdSocketHandle& socket);
  // Allocates, binds and connects `socket` to one address of the host.
  void ConnectToAddress(TIdSocketHandle& socket, const TIdResolvedAddress& address, int port);
  // CloseConnection, ignoring what it raises.
  void CloseQuietly();

  std::string boundIp_;
  std::string host_;
  int port_ = 0;
  bool useNagle_ = true;
  TSocksInfo socksInfo_;
  std::optional<ProxyServer> tunnelProxy_;
};

}  // namespace pixhaul
