// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// The acceptor every loopback server stands on: connections are admitted in arrival order with
// their listener, served on threads of their own, and every wait ends at Stop or at the end of
// the acceptor's lifetime.
#include "loopback/connection_acceptor.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace pixhaul::loopback {
namespace {

using Clock = ConnectionAcceptor::Clock;

int ConnectTo(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

// Whether the peer of `fd` closed within five seconds.
bool ClosedByPeer(int fd) {
  pollfd ready{fd, POLLIN, 0};
  char byte = 0;
  return ::poll(&ready, 1, 5000) == 1 && ::recv(fd, &byte, 1, 0) == 0;
}

std::vector<LoopbackListener> TwoListeners() {
  std::vector<LoopbackListener> listeners;
  listeners.emplace_back();
  listeners.emplace_back();
  return listeners;
}

TEST(ConnectionAcceptor, AdmitsInArrivalOrderAndServesEachOnItsOwnThread) {
  std::mutex mutex;
  std::vector<size_t> admitted;                       // guarded by mutex
  std::vector<std::thread::id> admitThreads, served;  // guarded by mutex
  ConnectionAcceptor acceptor(TwoListeners(),
                              [&](int fd, size_t listener) -> ConnectionAcceptor::Work {
                                std::lock_guard lock(mutex);
                                admitted.push_back(listener);
                                admitThreads.push_back(std::this_thread::get_id());
                                if (admitted.size() == 3) {
                                  ::close(fd);  // turned away
                                  return {};
                                }
                                return [&, fd] {
                                  {
                                    std::lock_guard lock(mutex);
                                    served.push_back(std::this_thread::get_id());
                                  }
                                  ::close(fd);
                                };
                              },
                              {});
  // One connection at a time, each seen through before the next: the order is the test's.
  for (const size_t listener : {size_t{1}, size_t{0}, size_t{1}}) {
    const int client = ConnectTo(acceptor.Port(listener));
    EXPECT_TRUE(ClosedByPeer(client)) << "listener " << listener;
    ::close(client);
  }
  acceptor.Stop();
  EXPECT_EQ(admitted, (std::vector<size_t>{1, 0, 1}));
  ASSERT_EQ(served.size(), 2u);
  for (const std::thread::id& id : admitThreads) EXPECT_EQ(id, admitThreads[0]);
  for (const std::thread::id& id : served) {
    EXPECT_NE(id, admitThreads[0]);
    EXPECT_NE(id, std::this_thread::get_id());
  }
}

TEST(ConnectionAcceptor, StopAndTheEndOfTheLifetimeEndEveryWait) {
  struct Row {
    const char* name;
    std::chrono::milliseconds lifetime;
    bool stopped;  // the test stops the acceptor; otherwise its lifetime ends
  };
  const Row rows[] = {{"stop", std::chrono::minutes(1), true},
                      {"lifetime", std::chrono::milliseconds(300), false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::promise<void> serving;
    std::promise<bool> waited;
    ConnectionAcceptor acceptor(
        TwoListeners(),
        [&](int fd, size_t) -> ConnectionAcceptor::Work {
          return [&, fd] {
            serving.set_value();
            // The peer stays silent: only the acceptor can end this wait early.
            waited.set_value(acceptor.WaitFor(fd, POLLIN, Clock::now() + std::chrono::minutes(1)));
            ::close(fd);
          };
        },
        {.lifetime = row.lifetime});
    const int client = ConnectTo(acceptor.Port(0));
    std::future<bool> result = waited.get_future();
    ASSERT_EQ(serving.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    if (row.stopped) acceptor.StopAccepting();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(result.get());
    EXPECT_TRUE(acceptor.Stopping());
    acceptor.Stop();
    ::close(client);
  }
}

}  // namespace
}  // namespace pixhaul::loopback
