// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The loopback servers' sockets: they listen on the machine's own addresses only, hand over
// what connects, and a refusing port refuses.
#include "loopback/loopback_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

namespace pixhaul::loopback {
namespace {

// A blocking connect to `address`:`port`; 0, or the errno it failed with. The descriptor of a
// connection that stands is left in `fd`.
int Connect(const std::string& address, uint16_t port, int& fd) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  auto& v4 = reinterpret_cast<sockaddr_in&>(storage);
  auto& v6 = reinterpret_cast<sockaddr_in6&>(storage);
  if (::inet_pton(AF_INET, address.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    length = sizeof v4;
  } else {
    EXPECT_EQ(::inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr), 1) << address;
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    length = sizeof v6;
  }
  fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&storage), length) == 0) return 0;
  const int error = errno;
  ::close(fd);
  fd = -1;
  return error;
}

TEST(LoopbackListener, ListensOnTheMachinesOwnAddressesOnly) {
  struct Row {
    const char* address;
    bool listens;
  };
  const Row rows[] = {
      {"127.0.0.1", true},  {"127.0.0.2", true}, {"::1", true},        {"0.0.0.0", false},
      {"192.0.2.1", false}, {"::", false},       {"localhost", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.address);
    if (std::string(row.address) == "::1" && !LoopbackListener::HasIPv6Loopback()) continue;
    if (!row.listens) {
      EXPECT_THROW(LoopbackListener({.address = row.address}), std::invalid_argument);
      continue;
    }
    LoopbackListener listener({.address = row.address});
    ASSERT_NE(listener.Port(), 0);
    EXPECT_EQ(listener.Accept(false), -1) << "nothing connected yet";
    int client = -1;
    ASSERT_EQ(Connect(row.address, listener.Port(), client), 0);
    pollfd ready{listener.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 5000), 1);
    const int accepted = listener.Accept(true);
    ASSERT_GE(accepted, 0);
    EXPECT_NE(::fcntl(accepted, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(accepted, F_GETFD) & FD_CLOEXEC, 0);
    ::close(accepted);
    ::close(client);
  }
}

TEST(LoopbackListener, TakenPortIsRefusedWithItsAddress) {
  LoopbackListener first;
  try {
    LoopbackListener second({.port = first.Port()});
    ADD_FAILURE() << "a second listener on port " << first.Port();
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot listen on 127.0.0.1:" + std::to_string(first.Port()));
  }
}

TEST(RefusingPort, RefusesConnections) {
  RefusingPort refusing;
  int client = -1;
  EXPECT_EQ(Connect("127.0.0.1", refusing.Port(), client), ECONNREFUSED);
}

}  // namespace
}  // namespace pixhaul::loopback
