// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// How the main window's status bar shows a run: while it is on, its counts and a bar of the
// addresses dealt with; once it has ended, its outcome in place of the counts, and the bar left
// standing at its final state, its text the end's word. Every word shown is download/
// run_outcome.h's. Results that come after the run's end update both. GUI thread only.
//
// Tests: tests/app/main_window_test.cpp (outcomeIsWholeAndNotesAreShortLived).
#pragma once

#include <QString>

#include "download/run_outcome.h"

class QProgressBar;

namespace pixhaul {

class TStatusLabel;

void ShowRunState(const RunProgress& progress, TStatusLabel& counts, QProgressBar& bar,
                  TStatusLabel& outcome);

}  // namespace pixhaul
