// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// StopSignalWatcher: SIGINT, SIGTERM and SIGHUP for pixhaul-cli, taken on a thread of its own so
// that they act whatever the main thread is doing - fetching, copying or scanning a page, writing a
// file, or blocked on a pipe.
//
// While the main thread offers a Stop press (a run's downloads are on), the first signal takes
// it: `onStopPress` is posted to the installed message pump and runs on the main thread at its
// next pump, the way a button press would. Every other signal - before the downloads start,
// after the run, or one more after the Stop press - calls `onExit` on the watcher thread at
// once, which ends the process.
//
// Construct it on the main thread before any other thread starts: it blocks the three signals
// for the calling thread, which every later thread inherits, and watches them on a thread of
// its own, which sleeps until a signal or the destructor's word comes. The destructor wakes,
// stops and joins the watcher at once and restores the signal mask. Raises std::system_error
// when the descriptors it waits on cannot be had.
//
// Tests: tests/cli/pixhaul_cli_stop_test.cpp.
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

#include "framework/posix_file.h"

namespace pixhaul::cli {

class StopSignalWatcher {
 public:
  // `onExit` must not return (it ends the process); `onStopPress` may be empty when a Stop
  // press is never offered.
  StopSignalWatcher(std::function<void()> onStopPress, std::function<void()> onExit);
  ~StopSignalWatcher();
  StopSignalWatcher(const StopSignalWatcher&) = delete;
  StopSignalWatcher& operator=(const StopSignalWatcher&) = delete;

  // Whether the next signal is a Stop press; a signal taken as one withdraws the offer. Any
  // thread.
  void OfferStopPress(bool offered) { stopPressOffered_ = offered; }

 private:
  sigset_t signals_;
  sigset_t previousMask_;
  std::atomic<bool> stopPressOffered_{false};
  FileDescriptor signalFile_;  // the two signals, read as they come
  FileDescriptor stopEvent_;   // written once by the destructor
  std::thread watcher_;
};

}  // namespace pixhaul::cli
