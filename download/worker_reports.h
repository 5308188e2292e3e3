// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// WorkerReports: what a download worker reports its end to, in two blocking hand-offs that run
// on the main thread, in this order: its result line, then that it has finished (with the run it
// was started for and how it ended). Exactly one WorkerFinished comes from each
// worker, however it ends, so the receiver must outlive every worker that reports to it. The
// run controller implements it; tests may stand in for it. Main thread only.
//
// Tests: tests/download/down_tile_thread_test.cpp.
#pragma once

#include <string>

namespace pixhaul {

// How a worker ended: its image saved, its download failed, or its body not kept as an image
// (a document, smaller than the filter's minimum, a second copy of an image already kept).
enum class WorkerResult { kSaved, kFailed, kNotImage, kFiltered, kDuplicate };

// How one worker ended, for the run's counts and its list of what failed.
struct WorkerEnd {
  WorkerResult result = WorkerResult::kFailed;
  std::string url;     // the address as listed
  std::string reason;  // why it was not saved ("404 Not Found"); empty when it was
};

class WorkerReports {
 public:
  virtual ~WorkerReports() = default;

  // The worker's result line, for the log pane. Must not raise for the worker's sake: a raising
  // call is swallowed and the worker still reports WorkerFinished.
  virtual void AppendWorkerLine(const std::string& line) = 0;
  // `run` is the run number the worker was started with; `end` is how it ended.
  virtual void WorkerFinished(unsigned run, const WorkerEnd& end) = 0;
};

}  // namespace pixhaul
