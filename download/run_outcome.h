// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// How a run ended, in words and counts, as both front ends say it: the window at the right end
// of its status bar, pixhaul-cli as its last line on standard error.
//
//   "Finished: 33 saved, 3 failed, 0 skipped"    the list was walked to its end
//   "Stopped: 15 of 36 saved"                    a stop was carried out (", 2 failed" and
//                                                ", 4 skipped" follow when there are any)
//   "Nothing new: 36 already in the folder"      every address was skipped
//
// Downloads still running when the run closed are added as ", 2 still running"; their results
// count once they come in. Plain ASCII; no toolkit.
#pragma once

#include <string>

#include "download/run_progress.h"

namespace pixhaul {

// The end state of `progress`, which should no longer be active.
enum class RunEnd { kFinished, kStopped, kNothingNew };
RunEnd RunEndOf(const RunProgress& progress);

// The summary line of a run that has ended.
std::string OutcomeText(const RunProgress& progress);

// Downloads started and not yet ended.
inline int StillRunning(const RunProgress& progress) {
  return progress.started - progress.saved - progress.failed;
}

}  // namespace pixhaul
