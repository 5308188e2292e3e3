// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// StopSignalWait: how a standalone loopback server process waits to be stopped - SIGINT or
// SIGTERM, or the end of its time.
//
// Construct it first in main, before any thread starts: it blocks the two signals for every
// thread created afterwards, so only Wait() ever takes them.
//
// Tests: tests/demo/demo_site_test.cpp (the demo server's stop).
#pragma once

#include <signal.h>

#include <chrono>

namespace pixhaul::loopback {

class StopSignalWait {
 public:
  StopSignalWait();

  // Waits for a stop signal or until `limit` passes; true when a signal came.
  bool Wait(std::chrono::seconds limit);

 private:
  sigset_t stopSignals_;
};

}  // namespace pixhaul::loopback
