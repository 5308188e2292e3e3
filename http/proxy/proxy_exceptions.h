// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The failures of a proxy: each text is defined once here and used byte for byte. A proxy that
// cannot be reached fails as any peer does (the socket error texts); these are for a proxy
// that answered and said no, or whose address this client cannot speak.
//
// Tests: tests/http/proxy/proxy_tunnel_test.cpp.
#pragma once

#include <string>

#include "http/socket/connection_exceptions.h"

namespace pixhaul {

inline constexpr const char* kProxyAuthenticationRequiredMessage = "Proxy authentication required.";
inline constexpr const char* kProxyRefusedTunnelPrefix = "Proxy refused the tunnel: ";
inline constexpr const char* kProxyNotSupportedPrefix = "Proxy not supported: ";
inline constexpr const char* kSocksPrefix = "SOCKS5 proxy: ";

// Why a SOCKS5 proxy said no: the reply codes of RFC 1928, then the client's own findings.
inline constexpr const char* kSocksGeneralFailure = "general failure";
inline constexpr const char* kSocksNotAllowed = "connection not allowed";
inline constexpr const char* kSocksNetworkUnreachable = "network unreachable";
inline constexpr const char* kSocksHostUnreachable = "host unreachable";
inline constexpr const char* kSocksRefused = "connection refused";
inline constexpr const char* kSocksTtlExpired = "TTL expired";
inline constexpr const char* kSocksCommandNotSupported = "command not supported";
inline constexpr const char* kSocksAddressTypeNotSupported = "address type not supported";
inline constexpr const char* kSocksUnknownReply = "unknown reply";
inline constexpr const char* kSocksNoAcceptableMethod = "no acceptable authentication method";
inline constexpr const char* kSocksAuthenticationFailed = "authentication failed";
inline constexpr const char* kSocksBadReply = "malformed reply";
inline constexpr const char* kSocksNameTooLong = "host name too long";

PIXHAUL_EXCEPTION(EIdProxyError, EIdException);
// The proxy asked for credentials it was not given, or refused those it was given (407).
PIXHAUL_FIXED_EXCEPTION(EIdProxyAuthenticationRequired, EIdProxyError,
                        kProxyAuthenticationRequiredMessage);
// A SOCKS5 proxy that did not open the connection; the message is SocksMessage's.
PIXHAUL_EXCEPTION(EIdSocksError, EIdProxyError);

// "Proxy refused the tunnel: 403 Forbidden." from the reply's status text.
inline std::string ProxyRefusedTunnelMessage(const std::string& statusText) {
  return kProxyRefusedTunnelPrefix + statusText + ".";
}
// "Proxy not supported: socks4://p:1080." for an address whose scheme is not spoken.
inline std::string ProxyNotSupportedMessage(const std::string& address) {
  return kProxyNotSupportedPrefix + address + ".";
}
// "SOCKS5 proxy: host unreachable."
inline std::string SocksMessage(const char* reason) {
  return kSocksPrefix + std::string(reason) + ".";
}

}  // namespace pixhaul
