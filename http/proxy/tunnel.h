// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Tunnels: turning a connection that stands to a proxy into a byte stream to `host`:`port`,
// over which the caller then speaks as if connected there (TLS with the host's own name
// included).
//
// Each runs on the connection's thread, on a connection just made to the proxy with nothing
// buffered, and reads under the connection's own limits (a silent or trickling proxy ends in
// EIdReadTimeout "Read timed out.", an endless line or head in EIdLimitExceeded). What a
// refusal raises is in proxy_exceptions.h; a proxy that closes raises EIdConnClosedGracefully.
// The caller closes the connection after a failure.
#pragma once

#include <string>

#include "http/proxy/proxy_server.h"
#include "http/socket/tcp_connection.h"

namespace pixhaul {

// HTTP CONNECT: "CONNECT host:port HTTP/1.1", its Host line, "Proxy-Authorization: Basic" when
// the proxy has a user, and the empty line; a 2xx reply opens the tunnel. Raises
// EIdProxyAuthenticationRequired for 407 and EIdProxyError with ProxyRefusedTunnelMessage of
// the status text for any other reply.
void OpenHttpTunnel(TIdTCPConnection& connection, const std::string& host, int port,
                    const ProxyServer& proxy);

// SOCKS5 (RFC 1928) CONNECT, offering no authentication, and user and password (RFC 1929) when
// the proxy has a user. With socks5 the name is resolved here (first address, raising
// EIdSocketError 11001 when it does not resolve) and its address sent; with socks5h the name
// itself. Raises EIdSocksError with SocksMessage of the reason when the proxy says no.
void OpenSocks5Tunnel(TIdTCPConnection& connection, const std::string& host, int port,
                      const ProxyServer& proxy);

}  // namespace pixhaul
