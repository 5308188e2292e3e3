// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/run_state_view.h"

#include <QProgressBar>
#include <algorithm>

#include "app/status_label.h"
#include "download/run_outcome.h"

namespace pixhaul {

void ShowRunState(const RunProgress& progress, TStatusLabel& counts, QProgressBar& bar,
                  TStatusLabel& outcome) {
  // A list without addresses is dealt with as soon as it is read; a range of 0 to 0 would
  // turn the bar into a busy indicator instead.
  bar.setRange(0, std::max(1, progress.addresses));
  bar.setValue(progress.addresses == 0 ? 1 : progress.Done());
  // A stop is told from the press on: the run's outcome is known once its wait is over, while
  // the closing steps still run.
  const bool ended = !progress.active || progress.stopped;
  bar.setFormat(progress.stopping ? QString::fromUtf8(kStoppingText)
                : ended           ? QString::fromStdString(RunEndWord(progress))
                                  : QString("%p%"));
  bar.setTextVisible(true);
  bar.show();
  if (!ended) {
    counts.SetFullText(progress.stopping ? QString::fromUtf8(kStoppingText)
                                         : QString::fromUtf8(ProgressText(progress)));
    counts.show();
    outcome.SetFullText({});
    outcome.hide();
  } else {
    counts.hide();
    outcome.SetFullText(QString::fromStdString(OutcomeText(progress)));
    outcome.show();
  }
}

}  // namespace pixhaul
