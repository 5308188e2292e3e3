// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/headless_pump.h"

#include "framework/thread.h"

namespace pixhaul {

void HeadlessMessagePump::ProcessMessages() {
  for (;;) {
    {
      // Everything woken so far is handled by this pass; a later wake makes the next wait
      // return at once.
      std::lock_guard lock(mutex_);
      seenGeneration_ = wakeGeneration_;
    }
    bool handled = CheckSynchronize();
    std::function<void()> action;
    while (TakePosted(action)) {
      handled = true;
      // Run without the lock: the action may post, wake, or pump again.
      std::function<void()> running = std::move(action);
      running();
    }
    if (!handled && PendingHandOffs() == 0) return;
  }
}

bool HeadlessMessagePump::TakePosted(std::function<void()>& action) {
  std::lock_guard lock(mutex_);
  if (posted_.empty()) return false;
  action = std::move(posted_.front());
  posted_.pop_front();
  return true;
}

void HeadlessMessagePump::WaitForMessages(Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  const auto pending = [this] { return wakeGeneration_ != seenGeneration_ || !posted_.empty(); };
  if (deadline == Clock::time_point::max()) {
    signal_.wait(lock, pending);
  } else {
    signal_.wait_until(lock, deadline, pending);
  }
  seenGeneration_ = wakeGeneration_;
}

void HeadlessMessagePump::Wake() {
  std::lock_guard lock(mutex_);
  ++wakeGeneration_;
  signal_.notify_all();
}

void HeadlessMessagePump::Post(std::function<void()> action) {
  std::lock_guard lock(mutex_);
  posted_.push_back(std::move(action));
  ++wakeGeneration_;
  signal_.notify_all();
}

}  // namespace pixhaul
