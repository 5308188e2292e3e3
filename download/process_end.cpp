// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/process_end.h"

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "download/Unitdowntile.h"
#include "download/run_texts.h"
#include "framework/folder_lock.h"
#include "framework/replacement_file.h"

namespace pixhaul {

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

void HoldBackFileSizeSignalOnThisThread() {
  // A signal held back for a thread goes with the thread, so it is never let through again.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGXFSZ);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void ExitAtOnce(int code) {
  AbandonTemporaryFiles();
  AbandonFolderLocks();
  std::_Exit(code);
}

void DrainWorkersOrAbandon(const std::function<bool()>& drained, DrainLimit limit,
                           const std::string& program, int abandonedCode) {
  if (WaitForWorkersToDrain(drained, limit)) return;
  for (const std::string& address : TDownTileThread::LiveAddresses()) {
    const std::string line = AbandonedDownloadLine(program, address) + "\n";
    std::fputs(line.c_str(), stderr);
  }
  std::fflush(stderr);
  ExitAtOnce(abandonedCode);
}

}  // namespace pixhaul
