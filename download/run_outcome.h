// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// How a run of the start/stop button is going and how it ended, with every word that names
// it: the tally (RunProgress), the kinds of end (RunEnd), and the texts both front ends show -
// the counts while it runs, "Stopping…" during a stop's wait, the end's word and the outcome
// once it has ended. The window and pixhaul-cli only show these; none of them is written
// anywhere else.
//
// The run controller keeps the tally of its current run and hands a copy to its window at
// every change, results of downloads that end after the run's closing steps included; a plain
// value, main thread only like the rest of the run state. The texts are pure functions; UTF-8.
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

// Downloads started and not yet ended.
inline int StillRunning(const RunProgress& progress) {
  return progress.started - progress.saved - progress.NotSaved();
}

// The kinds of end; `progress` should no longer be active.
enum class RunEnd { kFinished, kStopped, kNothingNew };
RunEnd RunEndOf(const RunProgress& progress);

// The counts as one line of text: "36 addresses · 32 started · 30 saved · 2 failed ·
// 4 skipped" (a list of one entry says "1 address"; " · 3 not kept" follows "failed" when
// bodies were not kept as images).
std::string ProgressText(const RunProgress& progress);

// Shown in place of the counts from a stop's press until its wait is over.
inline constexpr const char* kStoppingText = "Stopping\u2026";

// The end in one word: "Finished", "Stopped" or "Nothing new".
std::string RunEndWord(const RunProgress& progress);

// How a run ended, in words and counts, as both front ends say it (the window under its start
// button, pixhaul-cli as its last line on standard error):
//   "Finished: 33 saved, 3 failed, 0 skipped"    the list was walked to its end
//   "Stopped: 15 of 36 saved"                    a stop was carried out (", 2 failed" and
//                                                ", 4 skipped" follow when there are any)
//   "Nothing new: 36 already in the folder"      every address was skipped
// Bodies not kept are named after "failed" when there are any: "Finished: 21 saved, 3 failed,
// 5 not images, 4 filtered, 2 duplicates, 0 skipped" ("1 not an image", "1 duplicate"). A
// run that ended because it had the images asked for says so at the end: "Finished: 100 saved,
// 2 failed, 0 skipped (limit of 100 reached, 212 not started)".
// Downloads still running when the run closed are added as ", 2 still running"; their results
// count once they come in.
std::string OutcomeText(const RunProgress& progress);

}  // namespace pixhaul
