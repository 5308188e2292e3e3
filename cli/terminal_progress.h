// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TerminalProgress: the one progress line pixhaul-cli keeps on standard error while a run is
// on, redrawn in place at each change and left standing, with its final counts, when the run
// ends.
//
// It draws only when its stream is a terminal; given a file or a pipe it writes nothing at all,
// so that what scripts capture stays byte for byte what it was. When the log lines go to the
// same screen (standard output is a terminal too), the console takes the line away before each
// log line or message and draws it again after, so it always stays below the log. A line wider
// than the terminal is cut to fit, so that it never wraps. Main thread only; the streams must
// outlive the object.
//
// Tests: tests/cli/console_window_test.cpp and tests/cli/pixhaul_cli_run_test.cpp.
#pragma once

#include <cstdio>
#include <string>

#include "download/run_outcome.h"

namespace pixhaul::cli {

// The line drawn: a bar of 20 cells filled by the share of addresses dealt with, then the
// counts, for example "[##########..........] 36 addresses · 18 started · ...".
std::string ProgressLineText(const RunProgress& progress);

class TerminalProgress {
 public:
  // `line` receives the progress line; `log` is the stream the log lines go to.
  TerminalProgress(std::FILE* line, std::FILE* log);

  // True when the line stream is a terminal, so that the line is drawn at all.
  bool Enabled() const { return enabled_; }

  // Draws the line for `progress` over the one shown; when the run is no longer active the
  // line is finished with a line break and stays as the run's summary.
  void Show(const RunProgress& progress);

  // Call around any other output: Hide takes a standing line away when `stream` (about to be
  // written) shows on the same screen - the line's own stream, or a log stream that is a
  // terminal - and Restore draws it again.
  void Hide(std::FILE* stream);
  void Restore();

 private:
  void Draw();

  std::FILE* line_;
  bool enabled_;
  bool sharesScreen_;    // the log stream is a terminal too
  bool shown_ = false;   // the line of a run still on stands on the screen
  bool hidden_ = false;  // ... but was taken away for other output
  std::string text_;
};

}  // namespace pixhaul::cli
