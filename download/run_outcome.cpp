// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/run_outcome.h"

namespace pixhaul {

RunEnd RunEndOf(const RunProgress& progress) {
  if (progress.stopped) return RunEnd::kStopped;
  if (progress.addresses > 0 && progress.skipped == progress.addresses) return RunEnd::kNothingNew;
  return RunEnd::kFinished;
}

}  // namespace pixhaul
