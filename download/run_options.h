// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// RunOptions: what the user asked of the runs beyond the described run, all off by default —
// which images are kept (download_filters.h), how many images a run ends with, and how often a
// download that failed for a passing reason is tried again. A plain value; the front ends fill
// it from their settings and hand it to the run controller.
//
// Tests: tests/download/image_check_test.cpp and tests/cli/pixhaul_cli_limits_test.cpp.
#pragma once

#include <string>

#include "download/download_filters.h"

namespace pixhaul {

// The most images a run may be asked for.
inline constexpr int kMaxImagesLimit = 1000000;

struct RunOptions {
  DownloadFilters filters;
  // The run starts no more downloads once the images saved (and those already in the folder)
  // and the downloads still running reach this; a download that fails makes room for the next
  // address. 0: every address.
  int maxImages = 0;
  int retries = 0;  // tries after the first for a transient failure; 0 is one try
  bool operator==(const RunOptions&) const = default;
};

// The options in force, in one short line for the window: the filters' line ("Filters: ≥
// 200×200, no duplicates") followed by " · up to 100 images" and " · 2 retries" when set;
// empty when nothing is. UTF-8.
std::string RunOptionsLine(const RunOptions& options);

}  // namespace pixhaul
