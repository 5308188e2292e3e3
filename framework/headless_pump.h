// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// HeadlessMessagePump: the message pump of a program without a window system.
//
// Posted actions and queued thread hand-offs are its only messages. Wake and Post may be called
// from any thread; ProcessMessages and WaitForMessages belong to the main thread. A wake that
// arrives while the main thread is busy is remembered (a generation count), so the next
// WaitForMessages returns at once instead of sleeping past it.
//
// Tests: tests/framework/thread_test.cpp and tests/framework/worker_drain_test.cpp.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "framework/message_pump.h"

namespace pixhaul {

class HeadlessMessagePump : public MessagePump {
 public:
  // Runs posted actions (in posting order) and queued hand-offs until none is pending. An
  // exception raised by a posted action leaves here; the actions after it stay queued.
  void ProcessMessages() override;
  // Returns when a wake or post arrived since the last pump or wait, or at the deadline.
  void WaitForMessages(Clock::time_point deadline) override;
  void Wake() override;
  void Post(std::function<void()> action) override;

 private:
  // Takes the next posted action; false when there is none.
  bool TakePosted(std::function<void()>& action);

  std::mutex mutex_;
  std::condition_variable signal_;
  std::deque<std::function<void()>> posted_;  // guarded by mutex_
  uint64_t wakeGeneration_ = 0;               // guarded by mutex_; bumped by Wake and Post
  uint64_t seenGeneration_ = 0;               // guarded by mutex_; last generation handled
};

}  // namespace pixhaul
