// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/worker_drain.h"

#include "framework/message_pump.h"

namespace pixhaul {

bool WaitForWorkersToDrain(const std::function<bool()>& drained, DrainLimit limit) {
  using Clock = MessagePump::Clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline =
      limit >= std::chrono::duration_cast<DrainLimit>(Clock::time_point::max() - start)
          ? Clock::time_point::max()
          : start + limit;
  MessagePump& pump = CurrentMessagePump();
  // Nothing is pumped once the workers are done: the caller may be on its way out.
  while (!drained()) {
    if (Clock::now() >= deadline) return false;
    pump.ProcessMessages();
    if (drained()) break;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    pump.WaitForMessages(deadline);
  }
  return true;
}

}  // namespace pixhaul
