// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "loopback/stop_signal_wait.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace pixhaul::loopback {

StopSignalWait::StopSignalWait() {
  sigemptyset(&stopSignals_);
  sigaddset(&stopSignals_, SIGINT);
  sigaddset(&stopSignals_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals_, nullptr);
}

bool StopSignalWait::Wait(std::chrono::seconds limit) {
  const timespec wait{static_cast<time_t>(limit.count()), 0};
  int signal;
  do {
    signal = sigtimedwait(&stopSignals_, nullptr, &wait);
  } while (signal < 0 && errno == EINTR);
  return signal >= 0;
}

}  // namespace pixhaul::loopback
