// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The checks a complete download passes before it takes its image's name: it is not a
// document (never kept), and, when the user asked, it is not smaller than the minimum size and
// not a second copy of an image already kept. Each body that fails one says why in its worker's
// line and is counted by its class.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "download/download_filters.h"
#include "download/duplicate_index.h"
#include "download/worker_reports.h"

namespace pixhaul {

// What one run's workers check, shared by them all (the index outlives the run while a late
// worker still holds it).
struct KeepChecks {
  DownloadFilters filters;
  std::shared_ptr<DuplicateIndex> duplicates;  // set when filters.skipDuplicates is
};

// Why a body is not kept, and as what it counts.
struct Refusal {
  WorkerResult result = WorkerResult::kNotImage;
  std::string reason;  // the message of the worker's failure line
};

// The document check, then the size filter, over the complete body in the open file `body`
// (read from offset 0, its own offset left alone), served with `contentType`. Nothing when the
// body may be kept. An image whose size cannot be read passes the size filter. Raises
// EFOpenError when the body cannot be read back.
std::optional<Refusal> CheckBody(std::string_view contentType, int body,
                                 const DownloadFilters& filters);

}  // namespace pixhaul
