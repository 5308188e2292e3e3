// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// StopSignal: a flag that is raised once and wakes everyone waiting for it, so that a timed
// wait on a worker thread (a pause before another try) ends at once when the user stops the
// run. Shared by the run that raises it and the workers that wait on it; any thread.
//
// Tests: tests/download/down_tile_thread_test.cpp (StopEndsTheWaitBeforeAnotherTry).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace pixhaul {

class StopSignal {
 public:
  void Raise();
  bool Raised() const;
  // Waits until the signal is raised or `timeout` has passed; true when it was raised.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  mutable std::mutex mutex_;
  std::condition_variable raised_;
  bool isRaised_ = false;  // guarded by mutex_
};

}  // namespace pixhaul
