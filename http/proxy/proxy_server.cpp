// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/proxy/proxy_server.h"

#include <algorithm>

#include "framework/ascii_text.h"
#include "framework/integer_text.h"

namespace pixhaul {

namespace {

std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && DigitValue(text[i + 1], 16) >= 0 &&
        DigitValue(text[i + 2], 16) >= 0) {
      decoded += static_cast<char>(DigitValue(text[i + 1], 16) * 16 + DigitValue(text[i + 2], 16));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

const char* SchemeOf(ProxyKind kind) {
  switch (kind) {
    case ProxyKind::kSocks5:
      return "socks5";
    case ProxyKind::kSocks5h:
      return "socks5h";
    case ProxyKind::kHttp:
      break;
  }
  return "http";
}

}  // namespace

std::optional<ProxyServer> ParseProxyAddress(std::string_view address) {
  ProxyServer proxy;
  const size_t separator = address.find("://");
  if (separator != std::string_view::npos) {
    const std::string scheme(address.substr(0, separator));
    if (SameText(scheme, "http")) {
      proxy.kind = ProxyKind::kHttp;
    } else if (SameText(scheme, "socks5")) {
      proxy.kind = ProxyKind::kSocks5;
    } else if (SameText(scheme, "socks5h")) {
      proxy.kind = ProxyKind::kSocks5h;
    } else {
      return std::nullopt;
    }
    address.remove_prefix(separator + 3);
  }
  std::string_view authority = address.substr(0, address.find_first_of("/?#"));
  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view userInfo = authority.substr(0, at);
    const size_t colon = userInfo.find(':');
    proxy.user = PercentDecoded(userInfo.substr(0, colon));
    if (colon != std::string_view::npos)
      proxy.password = PercentDecoded(userInfo.substr(colon + 1));
    authority.remove_prefix(at + 1);
  }
  const size_t hostEnd = authority.starts_with('[') ? authority.find(']') : std::string_view::npos;
  if (authority.starts_with('[') && hostEnd == std::string_view::npos) return std::nullopt;
  const size_t colon = authority.find(':', hostEnd == std::string_view::npos ? 0 : hostEnd);
  proxy.host = std::string(authority.substr(0, colon));
  if (proxy.host.empty()) return std::nullopt;
  if (colon != std::string_view::npos) {
    const std::string portText(authority.substr(colon + 1));
    const bool digits =
        !portText.empty() && std::all_of(portText.begin(), portText.end(),
                                         [](char c) { return DigitValue(c, 10) >= 0; });
    const std::optional<int64_t> port = digits ? ParseDecimal(portText) : std::nullopt;
    if (!port || *port < 1 || *port > 65535) return std::nullopt;
    proxy.port = static_cast<int>(*port);
  }
  return proxy;
}

std::string ProxyDisplayAddress(const ProxyServer& proxy) {
  std::string text = std::string(SchemeOf(proxy.kind)) + "://";
  if (!proxy.user.empty()) text += proxy.user + "@";
  return text + proxy.host + ":" + std::to_string(proxy.port);
}

}  // namespace pixhaul
