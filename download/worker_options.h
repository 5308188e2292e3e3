// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// WorkerOptions: what one run asks of each of its download workers beyond the described
// fetch — the open folder its image goes to, the filters a body must pass to be kept, the duplicate
// index they share, how often a transient failure is tried again, and the run's stop, which ends a
// wait before another try. A value copied into every worker; the shared parts live as long as the
// last worker holding them, so a worker that ends after its run still finds them.
//
// Tests: tests/download/down_tile_thread_test.cpp.
#pragma once

#include <memory>

#include "download/download_filters.h"
#include "download/duplicate_index.h"
#include "download/run_folder.h"
#include "framework/stop_signal.h"

namespace pixhaul {

struct WorkerOptions {
  DownloadFilters filters;
  std::shared_ptr<DuplicateIndex> duplicates;  // set when filters.skipDuplicates is
  int retries = 0;                             // tries after the first; 0 is one try
  std::shared_ptr<StopSignal> stop;            // raised by the run's stop; may be null
  RunFolder folder;                            // where the images are named; none: by path
};

}  // namespace pixhaul
