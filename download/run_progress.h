// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// RunProgress: how far a run of the start/stop button has come, as the windows show it beside
// the run log. The run controller keeps the counts of its current run and hands a copy to its
// window at every change, results of downloads that end after the run's closing steps included;
// a plain value, main thread only like the rest of the run state.
#pragma once

#include <string>

namespace pixhaul {

struct RunProgress {
  int addresses = 0;      // entries of the run's address list
  int started = 0;        // workers started
  int saved = 0;          // started workers that saved their image
  int failed = 0;         // started workers whose download failed
  int skipped = 0;        // addresses whose file was already in the save folder
  bool active = false;    // the run is walking its list or closing; false once it has ended
  bool stopped = false;   // a stop was carried out during the run
  int notImages = 0;      // started workers whose body was a document, not an image
  int filtered = 0;       // ... whose image was smaller than the filter's minimum
  int duplicates = 0;     // ... whose image was a second copy of one already kept
  int limit = 0;          // the images the run was to end with, when it ended because it had them
  int notStarted = 0;     // addresses left unstarted because the limit was reached
  bool stopping = false;  // a stop was pressed and its wait runs; `stopped` follows it

  // Started workers that ended without keeping their image, for whatever reason.
  int NotSaved() const { return failed + notImages + filtered + duplicates; }
  // Addresses dealt with: saved, not saved or skipped.
  int Done() const { return saved + NotSaved() + skipped; }
  bool operator==(const RunProgress&) const = default;
};

// The counts as one line of text: "36 addresses · 32 started · 30 saved · 2 failed ·
// 4 skipped" (a list of one entry says "1 address"; " · 3 not kept" follows "failed" when
// bodies were not kept as images). UTF-8.
std::string ProgressText(const RunProgress& progress);

}  // namespace pixhaul
