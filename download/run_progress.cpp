// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/run_progress.h"

namespace pixhaul {

std::string ProgressText(const RunProgress& progress) {
  constexpr const char* kDot = " \u00b7 ";
  const int notKept = progress.NotSaved() - progress.failed;
  return std::to_string(progress.addresses) +
         (progress.addresses == 1 ? " address" : " addresses") + kDot +
         std::to_string(progress.started) + " started" + kDot + std::to_string(progress.saved) +
         " saved" + kDot + std::to_string(progress.failed) + " failed" + kDot +
         (notKept > 0 ? std::to_string(notKept) + " not kept" + kDot : std::string()) +
         std::to_string(progress.skipped) + " skipped";
}

}  // namespace pixhaul
