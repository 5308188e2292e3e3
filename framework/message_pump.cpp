// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/message_pump.h"

#include <atomic>
#include <mutex>

#include "framework/headless_pump.h"
#include "framework/thread.h"

namespace pixhaul {

namespace {

std::atomic<MessagePump*> gInstalledPump{nullptr};

MessagePump& DefaultPump() {
  static HeadlessMessagePump pump;
  return pump;
}

void WakeCurrentPump() { CurrentMessagePump().Wake(); }

}  // namespace

MessagePump& CurrentMessagePump() {
  MessagePump* installed = gInstalledPump.load(std::memory_order_acquire);
  MessagePump& pump = installed ? *installed : DefaultPump();
  // The first use connects the workers' hand-offs to the current pump, whichever it is then or
  // later. A hand-off queued before that woke nobody, so the pump is woken once here.
  static std::once_flag connected;
  std::call_once(connected, [&pump] {
    SetHandOffWakeUp(&WakeCurrentPump);
    pump.Wake();
  });
  return pump;
}

void InstallMessagePump(MessagePump* pump) {
  gInstalledPump.store(pump, std::memory_order_release);
  // A hand-off queued while the previous pump was installed only woke that one.
  CurrentMessagePump().Wake();
}

}  // namespace pixhaul
