// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/stop_signal.h"

namespace pixhaul {

void StopSignal::Raise() {
  {
    std::lock_guard lock(mutex_);
    isRaised_ = true;
  }
  raised_.notify_all();
}

bool StopSignal::Raised() const {
  std::lock_guard lock(mutex_);
  return isRaised_;
}

bool StopSignal::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return raised_.wait_for(lock, timeout, [this] { return isRaised_; });
}

}  // namespace pixhaul
