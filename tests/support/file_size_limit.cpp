// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/support/file_size_limit.h"

namespace pixhaul::test {

FileSizeLimit::FileSizeLimit(rlim_t bytes, Signal signal) {
  if (signal == kIgnoreSignal) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    actionChanged_ = ::sigaction(SIGXFSZ, &ignore, &savedAction_) == 0;
  }
  ::getrlimit(RLIMIT_FSIZE, &saved_);
  rlimit limited = saved_;
  limited.rlim_cur = bytes;
  ::setrlimit(RLIMIT_FSIZE, &limited);
}

FileSizeLimit::~FileSizeLimit() {
  ::setrlimit(RLIMIT_FSIZE, &saved_);
  if (actionChanged_) ::sigaction(SIGXFSZ, &savedAction_, nullptr);
}

}  // namespace pixhaul::test
