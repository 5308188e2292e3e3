#include "cli/stop_signals.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

#include "framework/message_pump.h"

namespace pixhaul::cli {

StopSignalWatcher::StopSignalWatcher(std::function<void()> onSignal) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
  watcher_ = std::thread([this, onSignal = std::move(onSignal)] {
    // A short timeout lets the destructor end the watcher without sending it a signal.
    const timespec tick{0, 100 * 1000 * 1000};
    while (!stopping_) {
      const int signal = sigtimedwait(&signals_, nullptr, &tick);
      if (signal == SIGINT || signal == SIGTERM) CurrentMessagePump().Post(onSignal);
    }
  });
}

StopSignalWatcher::~StopSignalWatcher() {
  stopping_ = true;
  watcher_.join();
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

}  // namespace pixhaul::cli
