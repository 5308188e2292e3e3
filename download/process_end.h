// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The end of a process that ran downloads, as both front ends have it: the policy for the
// file-size signal, the wait for workers still fetching (bounded, by the front end's own
// limit), the naming of those cut off, and the removal of temporary files before the process
// goes.
//
// Tests: tests/cli/pixhaul_cli_stop_test.cpp.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "framework/worker_drain.h"

namespace pixhaul {

// The window's wait at close for workers still fetching: as long as the connection time limits
// let one download take. Their last hand-offs touch the window's run state.
inline constexpr DrainLimit kDrainLimitAtClose = std::chrono::seconds(35);

// pixhaul-cli's wait after the run's closing steps: long enough for a 512 MiB body at a modest
// rate (under 1 MB/s). The trickle rule ends silent and near-silent transfers; this bounds one a
// server keeps just above that rate.
inline constexpr DrainLimit kDrainLimitAfterRun = std::chrono::minutes(10);

// A file grown past the process's size limit fails its write as a full disk does, on every
// thread, instead of ending the program: the signal is ignored process-wide (first thing in a
// main) and held back on each download thread (the signal goes to the writing thread).
void IgnoreFileSizeSignal();
void HoldBackFileSizeSignalOnThisThread();

// Ends the process at once with `code`, from any thread. Temporary files of writes still in
// progress go first, so nothing half-written stays behind, and so do the folders' lock files.
[[noreturn]] void ExitAtOnce(int code);

// Pumps the hand-offs until `drained()` holds, for at most `limit`. When workers outlive it,
// each download still running is named on standard error (AbandonedDownloadLine, as `program`)
// and the process ends through ExitAtOnce(abandonedCode): the workers report to objects that
// cannot outlive the caller. Main thread only.
void DrainWorkersOrAbandon(const std::function<bool()>& drained, DrainLimit limit,
                           const std::string& program, int abandonedCode);

}  // namespace pixhaul
