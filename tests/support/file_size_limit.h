// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// FileSizeLimit: lowers the process's file size limit for a scope, so that a write beyond it
// fails as on a disk that cannot take the file.
//
// Made and destroyed on one thread; the limit holds for every thread meanwhile.
#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace pixhaul::test {

class FileSizeLimit {
 public:
  // What SIGXFSZ does meanwhile. Its default action ends the process: code that must survive
  // the signal on its own is tested with kKeepSignalDefault, other code with kIgnoreSignal,
  // where the write fails with EFBIG instead.
  enum Signal { kKeepSignalDefault, kIgnoreSignal };

  FileSizeLimit(rlim_t bytes, Signal signal);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  struct sigaction savedAction_ {};
  bool actionChanged_ = false;
};

}  // namespace pixhaul::test
