// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// ConnectionAcceptor: the accepting half that every loopback server stands on. It takes the
// connections that reach its listeners on a thread of its own, in the order they arrive, and
// serves each on a thread of its own.
//
// For each connection the accept thread calls Admit with the descriptor, which Admit then owns,
// and the index of the listener it reached. Admit returns the work to run on the connection's
// thread, or nothing once it has closed the connection. Accepted descriptors are close-on-exec,
// and non-blocking with Options::nonBlocking.
//
// Every wait is bounded: WaitFor ends at Stop and at the end of Options::lifetime, when the
// acceptor stops accepting by itself. The acceptor's threads run with SIGPIPE blocked, so a
// write to a client that left fails with EPIPE instead of ending the process; the owner's
// threads keep their signals.
//
// Construct, stop and destroy from one thread; Stopping, Deadline and WaitFor from any. Admit
// and the connections' work use their owner until Stop returns, so the acceptor is the owner's
// last member (the first to go), or the owner stops it before its other members go.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "loopback/loopback_listener.h"

namespace pixhaul::loopback {

class ConnectionAcceptor {
 public:
  using Clock = std::chrono::steady_clock;
  using Work = std::function<void()>;
  using Admit = std::function<Work(int fd, size_t listener)>;

  struct Options {
    bool nonBlocking = false;
    // The acceptor stops by itself this long after it started.
    std::chrono::milliseconds lifetime{std::chrono::minutes(10)};
  };

  // Starts accepting at once. Raises std::runtime_error when the wake-up descriptor cannot be
  // made.
  ConnectionAcceptor(std::vector<LoopbackListener> listeners, Admit admit, Options options);
  ~ConnectionAcceptor();
  ConnectionAcceptor(const ConnectionAcceptor&) = delete;
  ConnectionAcceptor& operator=(const ConnectionAcceptor&) = delete;

  uint16_t Port(size_t listener) const { return listeners_[listener].Port(); }
  // True once stopped, by Stop or by the end of the lifetime.
  bool Stopping() const { return stopping_.load() || Clock::now() >= deadline_; }
  // The end of the acceptor's lifetime.
  Clock::time_point Deadline() const { return deadline_; }

  // Stops accepting and ends every WaitFor; the connections' work goes on. Idempotent.
  void StopAccepting();
  // Stops accepting, then joins every connection's thread. Idempotent.
  void Stop();

  // Waits until `fd` has one of the poll `events`, or an error that the next call on it reports:
  // true. False when `until` or the lifetime passes first, or the acceptor stops.
  bool WaitFor(int fd, short events, Clock::time_point until) const;

 private:
  struct ConnectionThread {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void AcceptLoop();
  void ReapFinished();
  void Wake();

  std::vector<LoopbackListener> listeners_;
  Admit admit_;
  Options options_;
  Clock::time_point deadline_;
  int wakeFd_ = -1;  // an eventfd, readable once the acceptor stops
  std::atomic<bool> stopping_{false};
  std::mutex stopMutex_;
  bool acceptStopped_ = false;  // guarded by stopMutex_
  std::mutex connectionsMutex_;
  std::list<ConnectionThread> connections_;  // guarded by connectionsMutex_
  std::thread acceptThread_;
};

}  // namespace pixhaul::loopback
