// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// How a run ended: finished, stopped, or nothing new (its words are in run_texts.h).
#pragma once

#include <string>

#include "download/run_progress.h"

namespace pixhaul {

// The end state of `progress`, which should no longer be active.
enum class RunEnd { kFinished, kStopped, kNothingNew };
RunEnd RunEndOf(const RunProgress& progress);

// Downloads started and not yet ended.
inline int StillRunning(const RunProgress& progress) {
  return progress.started - progress.saved - progress.NotSaved();
}

}  // namespace pixhaul
