// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "cli/stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "framework/message_pump.h"

namespace pixhaul::cli {

namespace {

int Checked(int fd) {
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "pixhaul-cli: signals");
  return fd;
}

}  // namespace

StopSignalWatcher::StopSignalWatcher(std::function<void()> onStopPress,
                                     std::function<void()> onExit) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  // A closed terminal ends the run as a stop does, with its summary.
  sigaddset(&signals_, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
  try {
    signalFile_ = FileDescriptor(Checked(::signalfd(-1, &signals_, SFD_CLOEXEC)));
    stopEvent_ = FileDescriptor(Checked(::eventfd(0, EFD_CLOEXEC)));
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    throw;
  }
  watcher_ = std::thread([this, onStopPress = std::move(onStopPress), onExit = std::move(onExit)] {
    pollfd waits[2] = {{signalFile_.Get(), POLLIN, 0}, {stopEvent_.Get(), POLLIN, 0}};
    for (;;) {
      if (::poll(waits, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (waits[1].revents != 0) return;
      signalfd_siginfo info{};
      if (::read(signalFile_.Get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
        continue;
      }
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
  const uint64_t one = 1;
  // An eventfd write of 1 cannot fail short of a counter at its maximum, which one write never
  // reaches.
  [[maybe_unused]] const ssize_t written = ::write(stopEvent_.Get(), &one, sizeof one);
  watcher_.join();
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

}  // namespace pixhaul::cli
