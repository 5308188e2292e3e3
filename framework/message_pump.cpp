#include "framework/message_pump.h"

#include <atomic>

#include "framework/headless_pump.h"

namespace pixhaul {

namespace {

std::atomic<MessagePump*> gInstalledPump{nullptr};

MessagePump& DefaultPump() {
  static HeadlessMessagePump pump;
  return pump;
}

}  // namespace

MessagePump& CurrentMessagePump() {
  MessagePump* installed = gInstalledPump.load(std::memory_order_acquire);
  return installed ? *installed : DefaultPump();
}

void InstallMessagePump(MessagePump* pump) {
  gInstalledPump.store(pump, std::memory_order_release);
  // A hand-off queued while the previous pump was installed only woke that one.
  CurrentMessagePump().Wake();
}

}  // namespace pixhaul
