// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "cli/stop_signals.h"

#include <pthread.h>

#include <ctime>

#include "framework/message_pump.h"

namespace pixhaul::cli {

StopSignalWatcher::StopSignalWatcher(std::function<void()> onStopPress,
                                     std::function<void()> onExit) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
  watcher_ = std::thread([this, onStopPress = std::move(onStopPress), onExit = std::move(onExit)] {
    // A short timeout lets the destructor end the watcher without sending it a signal.
    const timespec tick{0, 100 * 1000 * 1000};
    while (!stopping_) {
      const int signal = sigtimedwait(&signals_, nullptr, &tick);
      if (signal != SIGINT && signal != SIGTERM) continue;
      // Decided here, not on the main thread, which may not pump for a long time.
      if (stopPressOffered_.exchange(false)) {
        CurrentMessagePump().Post(onStopPress);
      } else {
        onExit();
      }
    }
  });
}

StopSignalWatcher::~StopSignalWatcher() {
  stopping_ = true;
  watcher_.join();
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

}  // namespace pixhaul::cli
