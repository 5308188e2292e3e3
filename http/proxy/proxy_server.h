// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// ProxyServer: a proxy a connection can go through, read from a proxy address written as curl
// writes one: [scheme://][user[:password]@]host[:port][/].
//
// The schemes spoken are http (an HTTP proxy; also when no scheme is written), socks5 (SOCKS5,
// the client resolves the name) and socks5h (SOCKS5, the proxy resolves it); the port is 1080
// when none is written, as with curl. User and password are percent-decoded. Pure values and
// functions; any thread.
//
// Tests: tests/http/proxy/proxy_choice_test.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pixhaul {

enum class ProxyKind { kHttp, kSocks5, kSocks5h };

inline constexpr int kDefaultProxyPort = 1080;

struct ProxyServer {
  ProxyKind kind = ProxyKind::kHttp;
  std::string host;  // an IPv6 literal keeps its brackets
  int port = kDefaultProxyPort;
  std::string user;
  std::string password;

  bool operator==(const ProxyServer&) const = default;
};

// The proxy `address` names; none when it is not one this client speaks (another scheme such
// as https:// or socks4://, no host, a port that is not 1 to 65535).
std::optional<ProxyServer> ParseProxyAddress(std::string_view address);

// The proxy written back as an address without its password ("socks5h://ann@p:1080"): for
// comparing routes and for messages.
std::string ProxyDisplayAddress(const ProxyServer& proxy);

}  // namespace pixhaul
