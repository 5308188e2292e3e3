// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include <arpa/inet.h>
#include <sys/socket.h>

#include <string>

#include "http/proxy/proxy_exceptions.h"
#include "http/proxy/tunnel.h"
#include "http/socket/socket_stack.h"

namespace pixhaul {

namespace {

constexpr char kVersion = 5;
constexpr char kNoAuthentication = 0;
constexpr char kUserPassword = 2;
constexpr unsigned char kNoAcceptableMethod = 0xFF;
constexpr char kUserPasswordVersion = 1;
constexpr char kConnect = 1;
constexpr char kIPv4 = 1;
constexpr char kDomainName = 3;
constexpr char kIPv6 = 4;

// The reason texts of the reply codes 1 to 8.
constexpr const char* kReplyReasons[] = {
    kSocksGeneralFailure,
    kSocksNotAllowed,
    kSocksNetworkUnreachable,
    kSocksHostUnreachable,
    kSocksRefused,
    kSocksTtlExpired,
    kSocksCommandNotSupported,
    kSocksAddressTypeNotSupported,
};

[[noreturn]] void Fail(const char* reason) { throw EIdSocksError(SocksMessage(reason)); }

// Exactly `count` bytes; the connection's read limits bound every wait.
std::string ReadExactly(TIdTCPConnection& connection, size_t count) {
  while (connection.InputBuffer().Length() < count) {
    connection.ReceiveBlock(true, kWaitForever, nullptr, true);
  }
  return connection.TakeFromInput(count);
}

std::string PortBytes(int port) {
  return {static_cast<char>((port >> 8) & 0xFF), static_cast<char>(port & 0xFF)};
}

// The address part of the request: the name itself (socks5h), or the address it resolves to.
std::string DestinationBytes(const std::string& host, ProxyKind kind) {
  const std::string bare = TIdStack::UnbracketedHost(host);
  unsigned char bytes[16];
  if (::inet_pton(AF_INET, bare.c_str(), bytes) == 1) {
    return std::string(1, kIPv4) + std::string(reinterpret_cast<char*>(bytes), 4);
  }
  if (::inet_pton(AF_INET6, bare.c_str(), bytes) == 1) {
    return std::string(1, kIPv6) + std::string(reinterpret_cast<char*>(bytes), 16);
  }
  if (kind == ProxyKind::kSocks5h) {
    if (bare.size() > 255) Fail(kSocksNameTooLong);
    return std::string(1, kDomainName) + static_cast<char>(bare.size()) + bare;
  }
  const std::vector<TIdResolvedAddress> found = SharedStack().LookupHostAddresses(bare);
  return DestinationBytes(found.front().ip, kind);
}

void Authenticate(TIdTCPConnection& connection, const ProxyServer& proxy) {
  if (proxy.user.size() > 255 || proxy.password.size() > 255) Fail(kSocksAuthenticationFailed);
  connection.WriteText(std::string(1, kUserPasswordVersion) + static_cast<char>(proxy.user.size()) +
                       proxy.user + static_cast<char>(proxy.password.size()) + proxy.password);
  const std::string reply = ReadExactly(connection, 2);
  if (reply[1] != 0) Fail(kSocksAuthenticationFailed);
}

}  // namespace

void OpenSocks5Tunnel(TIdTCPConnection& connection, const std::string& host, int port,
                      const ProxyServer& proxy) {
  // Resolved before a byte is sent: a name that does not resolve fails as it does direct.
  const std::string destination = DestinationBytes(host, proxy.kind);
  const bool withUser = !proxy.user.empty();
  connection.WriteText(withUser ? std::string{kVersion, 2, kNoAuthentication, kUserPassword}
                                : std::string{kVersion, 1, kNoAuthentication});
  const std::string choice = ReadExactly(connection, 2);
  if (choice[0] != kVersion) Fail(kSocksBadReply);
  if (static_cast<unsigned char>(choice[1]) == kNoAcceptableMethod) Fail(kSocksNoAcceptableMethod);
  if (choice[1] == kUserPassword && withUser) {
    Authenticate(connection, proxy);
  } else if (choice[1] != kNoAuthentication) {
    Fail(kSocksNoAcceptableMethod);
  }

  connection.WriteText(std::string{kVersion, kConnect, 0} + destination + PortBytes(port));
  const std::string reply = ReadExactly(connection, 4);
  if (reply[0] != kVersion) Fail(kSocksBadReply);
  const auto code = static_cast<unsigned char>(reply[1]);
  if (code != 0)
    Fail(code <= std::size(kReplyReasons) ? kReplyReasons[code - 1] : kSocksUnknownReply);
  // The bound address the proxy reports is of no use to the client, but its bytes must go
  // before the tunnel's own.
  switch (reply[3]) {
    case kIPv4:
      ReadExactly(connection, 4 + 2);
      break;
    case kIPv6:
      ReadExactly(connection, 16 + 2);
      break;
    case kDomainName:
      ReadExactly(connection, static_cast<unsigned char>(ReadExactly(connection, 1)[0]) + 2u);
      break;
    default:
      Fail(kSocksBadReply);
  }
}

}  // namespace pixhaul
