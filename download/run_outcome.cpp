// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/run_outcome.h"

namespace pixhaul {

RunEnd RunEndOf(const RunProgress& progress) {
  if (progress.stopped) return RunEnd::kStopped;
  if (progress.addresses > 0 && progress.skipped == progress.addresses) return RunEnd::kNothingNew;
  return RunEnd::kFinished;
}

std::string OutcomeText(const RunProgress& progress) {
  const auto count = [](int n) { return std::to_string(n); };
  std::string text;
  switch (RunEndOf(progress)) {
    case RunEnd::kNothingNew:
      return "Nothing new: " + count(progress.skipped) + " already in the folder";
    case RunEnd::kStopped:
      text = "Stopped: " + count(progress.saved) + " of " + count(progress.addresses) + " saved";
      if (progress.failed > 0) text += ", " + count(progress.failed) + " failed";
      if (progress.skipped > 0) text += ", " + count(progress.skipped) + " skipped";
      break;
    case RunEnd::kFinished:
      text = "Finished: " + count(progress.saved) + " saved, " + count(progress.failed) +
             " failed, " + count(progress.skipped) + " skipped";
      break;
  }
  if (StillRunning(progress) > 0) text += ", " + count(StillRunning(progress)) + " still running";
  return text;
}

}  // namespace pixhaul
