// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// How the main window's status bar shows a run: while it is on, its counts and a bar of the
// addresses dealt with; once it has ended, its outcome in words and counts (download/
// run_outcome.h) in place of the counts, and the bar left standing at its final state, its text
// naming how the run ended. Results that come after the run's end update both. GUI thread only.
#pragma once

#include <QString>

#include "download/run_progress.h"

class QProgressBar;

namespace pixhaul {

class TStatusLabel;

// The bar's text once the run has ended: "Finished", "Stopped" or "Nothing new".
QString RunEndWord(const RunProgress& progress);

void ShowRunState(const RunProgress& progress, TStatusLabel& counts, QProgressBar& bar,
                  TStatusLabel& outcome);

}  // namespace pixhaul
