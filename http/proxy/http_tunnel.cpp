// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/ascii_text.h"
#include "framework/integer_text.h"
#include "http/base64.h"
#include "http/http_client.h"
#include "http/proxy/proxy_exceptions.h"
#include "http/proxy/tunnel.h"
#include "http/socket/socket_handle.h"

namespace pixhaul {

void OpenHttpTunnel(TIdTCPConnection& connection, const std::string& host, int port,
                    const ProxyServer& proxy) {
  const std::string authority = host + ":" + std::to_string(port);
  {
    const SocketCork cork(connection.SocketHandle());
    connection.WriteLine("CONNECT " + authority + " HTTP/1.1");
    connection.WriteLine("Host: " + authority);
    if (!proxy.user.empty()) {
      connection.WriteLine("Proxy-Authorization: Basic " +
                           EncodeBase64(proxy.user + ":" + proxy.password));
    }
    connection.WriteLine("");
  }
  const std::string statusLine = connection.ReadLine();
  const size_t blank = statusLine.find(' ');
  const std::string statusText =
      blank == std::string::npos ? std::string() : statusLine.substr(blank + 1);
  const std::optional<int64_t> code = ParseDecimal(statusText.substr(0, statusText.find(' ')));
  // The head is read whole either way, under the bound every reply head has; a tunnel's
  // bytes begin after it.
  size_t headBytes = statusLine.size() + 2;
  for (;;) {
    const std::string line = connection.ReadLine();
    if (line.empty()) break;
    headBytes += line.size() + 2;
    if (headBytes > kMaxReplyHeaderBytes) connection.FailLimit(kReplyHeaderTooLargeMessage);
  }
  if (code && *code / 100 == 2) return;
  if (code && *code == 407) throw EIdProxyAuthenticationRequired();
  throw EIdProxyError(ProxyRefusedTunnelMessage(
      TrimBlanks(statusText).empty() ? statusLine : std::string(TrimBlanks(statusText))));
}

}  // namespace pixhaul
