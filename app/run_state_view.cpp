// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/run_state_view.h"

#include <QProgressBar>
#include <algorithm>

#include "app/status_label.h"
#include "download/run_outcome.h"

namespace pixhaul {

QString RunEndWord(const RunProgress& progress) {
  switch (RunEndOf(progress)) {
    case RunEnd::kStopped:
      return "Stopped";
    case RunEnd::kNothingNew:
      return "Nothing new";
    case RunEnd::kFinished:
      break;
  }
  return "Finished";
}

void ShowRunState(const RunProgress& progress, TStatusLabel& counts, QProgressBar& bar,
                  TStatusLabel& outcome) {
  // A list without addresses is dealt with as soon as it is read; a range of 0 to 0 would
  // turn the bar into a busy indicator instead.
  bar.setRange(0, std::max(1, progress.addresses));
  bar.setValue(progress.addresses == 0 ? 1 : progress.Done());
  bar.setFormat(progress.active ? QString("%p%") : RunEndWord(progress));
  bar.setTextVisible(true);
  bar.show();
  if (progress.active) {
    counts.SetFullText(QString::fromUtf8(ProgressText(progress)));
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
