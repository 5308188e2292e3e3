// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "loopback/loopback_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace pixhaul::loopback {

namespace {

// `address` as a socket address with `port`; its length, or 0 when it is not the machine's own.
socklen_t LoopbackAddress(const std::string& address, uint16_t port, sockaddr_storage& storage) {
  storage = {};
  auto& v4 = reinterpret_cast<sockaddr_in&>(storage);
  if (::inet_pton(AF_INET, address.c_str(), &v4.sin_addr) == 1) {
    if ((ntohl(v4.sin_addr.s_addr) >> 24) != 127) return 0;
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    return sizeof v4;
  }
  auto& v6 = reinterpret_cast<sockaddr_in6&>(storage);
  if (::inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1 &&
      std::memcmp(&v6.sin6_addr, &in6addr_loopback, sizeof in6addr_loopback) == 0) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    return sizeof v6;
  }
  return 0;
}

// A new socket bound to `address` and `port`, with the port bound; -1 when it cannot be. Only a
// socket that is to listen may share its port with ones that linger after a close.
int BindSocket(const std::string& address, uint16_t port, bool toListen, uint16_t& bound) {
  sockaddr_storage storage;
  socklen_t length = LoopbackAddress(address, port, storage);
  if (length == 0) throw std::invalid_argument("not a loopback address: " + address);
  const int fd =
      ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC | (toListen ? SOCK_NONBLOCK : 0), 0);
  if (fd < 0) return -1;
  const int one = 1;
  if (toListen) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    ::close(fd);
    return -1;
  }
  bound = ntohs(storage.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(storage).sin6_port
                                              : reinterpret_cast<sockaddr_in&>(storage).sin_port);
  return fd;
}

}  // namespace

LoopbackListener::LoopbackListener(const Options& options) {
  fd_ = BindSocket(options.address, options.port, true, port_);
  if (fd_ < 0 || ::listen(fd_, options.backlog) != 0) {
    if (fd_ >= 0) ::close(fd_);
    const bool v6 = options.address.find(':') != std::string::npos;
    throw std::runtime_error("cannot listen on " +
                             (v6 ? "[" + options.address + "]" : options.address) + ":" +
                             std::to_string(options.port));
  }
}

LoopbackListener::LoopbackListener(LoopbackListener&& other) noexcept
    : fd_(other.fd_), port_(other.port_) {
  other.fd_ = -1;
}

LoopbackListener::~LoopbackListener() {
  if (fd_ >= 0) ::close(fd_);
}

int LoopbackListener::Accept(bool nonBlocking) const {
  return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0));
}

bool LoopbackListener::HasIPv6Loopback() {
  uint16_t port = 0;
  const int fd = BindSocket("::1", 0, false, port);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

RefusingPort::RefusingPort() {
  fd_ = BindSocket("127.0.0.1", 0, false, port_);
  if (fd_ < 0) throw std::runtime_error("cannot bind a loopback port");
}

RefusingPort::~RefusingPort() { ::close(fd_); }

}  // namespace pixhaul::loopback
