// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The sockets every loopback server listens on: a listening socket on an address of the
// machine's own (127.0.0.1 unless asked otherwise, any of 127.0.0.0/8 or ::1), and a port that
// refuses connections. Ports are the system's choice unless one is asked for.
//
// Each owns its descriptor and closes it when destroyed. A listener may be moved to the thread
// that accepts on it; its owner keeps it alive while that thread runs.
#pragma once

#include <cstdint>
#include <string>

namespace pixhaul::loopback {

class LoopbackListener {
 public:
  struct Options {
    // An IPv4 address of 127.0.0.0/8, or "::1".
    std::string address = "127.0.0.1";
    // 0: the system chooses.
    uint16_t port = 0;
    int backlog = 512;
  };

  // Raises std::invalid_argument for an address that is not the machine's own, and
  // std::runtime_error when the socket cannot be bound or cannot listen (a taken port).
  explicit LoopbackListener(const Options& options);
  LoopbackListener() : LoopbackListener(Options{}) {}
  ~LoopbackListener();
  LoopbackListener(LoopbackListener&& other) noexcept;
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;
  LoopbackListener& operator=(LoopbackListener&&) = delete;

  // The listening descriptor (non-blocking), to poll for connections.
  int Fd() const { return fd_; }
  uint16_t Port() const { return port_; }
  // The next waiting connection, close-on-exec and non-blocking if asked; -1 when none waits.
  int Accept(bool nonBlocking) const;

  // Whether this machine can listen on ::1.
  static bool HasIPv6Loopback();

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// A loopback port on which connections are refused: a socket bound to it that never listens.
// Once it is gone, the port is one that was free a moment ago.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace pixhaul::loopback
