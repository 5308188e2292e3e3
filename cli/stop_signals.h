// StopSignalWatcher: turns SIGINT and SIGTERM into actions on the main thread. Each signal
// posts `onSignal` to the installed message pump, so it runs at the main thread's next pump,
// the way a button press would.
//
// Construct it on the main thread before any other thread starts: it blocks the two signals
// for the calling thread, which every later thread inherits, and watches them on a thread of
// its own. The destructor stops and joins the watcher and restores the signal mask.
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace pixhaul::cli {

class StopSignalWatcher {
 public:
  explicit StopSignalWatcher(std::function<void()> onSignal);
  ~StopSignalWatcher();
  StopSignalWatcher(const StopSignalWatcher&) = delete;
  StopSignalWatcher& operator=(const StopSignalWatcher&) = delete;

 private:
  sigset_t signals_;
  sigset_t previousMask_;
  std::atomic<bool> stopping_{false};
  std::thread watcher_;
};

}  // namespace pixhaul::cli
