// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Waiting for workers to drain: the main thread pumps messages - the workers' hand-offs among
// them - until a condition says every worker is done, or until a limit passes.
//
// Each caller decides its own limit and names it there: the run controller waits without one
// (its workers hold a reference to it), pixhaul-cli and the window at close bound the wait and
// end the process when workers outlive it. Main thread only.
#pragma once

#include <chrono>
#include <functional>

namespace pixhaul {

using DrainLimit = std::chrono::milliseconds;

// A wait that ends only when the workers are done.
inline constexpr DrainLimit kDrainWithoutLimit = DrainLimit::max();

// Pumps the installed message pump until `drained()` holds or `limit` has passed since the
// call; true when drained. Between pumps it sleeps until a message arrives or the limit passes,
// never polling: `drained()` may only depend on what wakes the pump - the hand-offs, posted
// actions, and the end of a thread object (TThread::LiveThreadObjects).
bool WaitForWorkersToDrain(const std::function<bool()>& drained, DrainLimit limit);

}  // namespace pixhaul
