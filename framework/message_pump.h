// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The GUI thread's message pump, seen from code that does not know the windowing toolkit.
//
// One pump is installed per process (the Qt event loop in the desktop program, a condition
// variable in the headless one). The run controller pumps through it, and `Synchronize`
// wakes it when a worker queues a hand-off. `ProcessMessages` and `WaitForMessages` are called
// on the main thread only; `Wake` and `Post` may be called from any thread.
#pragma once

#include <chrono>
#include <functional>

namespace pixhaul {

class MessagePump {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~MessagePump() = default;

  // Handles every pending message, queued hand-offs and posted actions included; never blocks.
  virtual void ProcessMessages() = 0;
  // Blocks until a message may be pending or the deadline passes, whichever comes first
  // (Clock::time_point::max(): no deadline). It handles nothing itself; the caller pumps
  // afterwards.
  virtual void WaitForMessages(Clock::time_point deadline) = 0;
  // Tells the main thread that something is pending (a hand-off was queued).
  virtual void Wake() = 0;
  // Queues an action to run on the main thread at its next pump (an input event, a signal).
  virtual void Post(std::function<void()> action) = 0;
};

// The installed pump; the headless pump until another is installed. The pump must outlive
// every thread that may wake it.
MessagePump& CurrentMessagePump();
void InstallMessagePump(MessagePump* pump);  // nullptr restores the headless pump

}  // namespace pixhaul
