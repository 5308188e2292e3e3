// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// What the run controller needs of the main window, so that the download road knows no
// toolkit. The Qt main window implements it, and so does the console of pixhaul-cli; tests
// use a fake. Every call is made on the main thread.
//
// Tests: tests/download/run_controller_test.cpp (through tests/download/fake_run_window.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "download/page_markup.h"
#include "download/run_outcome.h"
#include "harvest/site_table.h"

namespace pixhaul {

// The start/stop button's two captions: a press takes the start path when it shows exactly the
// first. The window shows the first until a run changes it.
inline constexpr const char* kStartDownloadCaption = "Start download";
inline constexpr const char* kStopCaption = "Stop";

class RunWindow {
 public:
  virtual ~RunWindow() = default;

  // The save folder text (EditPath), as typed.
  virtual std::string SaveFolderText() = 0;

  // The start/stop button.
  virtual std::string ButtonCaption() = 0;
  virtual void SetButtonCaption(const std::string& caption) = 0;
  // Disabled while a stopped run finishes its closing steps, so no second run can start.
  virtual void SetButtonEnabled(bool enabled) = 0;

  // The log pane (Memo1). `AppendLogLine` adds one entry; a text holding CR LF or LF shows
  // as several lines. `LogLines` returns the pane's lines as they would be saved.
  virtual void ClearLog() = 0;
  virtual void AppendLogLine(const std::string& text) = 0;
  virtual std::vector<std::string> LogLines() = 0;

  // A modal message box; returns when the user has closed it.
  virtual void ShowMessage(const std::string& text) = 0;

  // The outer markup of the page shown in the web view, as 8-bit text (held once, or a file
  // whose bytes are the markup), or nothing when no document is shown.
  virtual std::optional<PageMarkup> CapturePageMarkup() = 0;

  // The selected image site, a row of the site table; nothing when none is selected.
  virtual std::optional<SiteId> CurrentSite() = 0;

  // How far the run has come: called at every change from the moment the run has its address
  // list, and once more with `active` false when it has ended. Must not raise (it is also
  // called while a failed press unwinds). A window without a progress display keeps the
  // default, which shows nothing.
  virtual void ShowProgress(const RunProgress& progress) { (void)progress; }
  // A worker's result line that came after the run's closing lines, and so is not in the log
  // pane nor in log.txt. A window that does not say it elsewhere keeps the default, which drops
  // it.
  virtual void ShowLateWorkerLine(const std::string& line) { (void)line; }
  // The address of the page shown, as far as the window knows it; empty when it does not.
  virtual std::string PageAddress() { return ""; }
  // The selected site found no address on a page that belongs to `site`: a window that can
  // tell the user so, once, beside the log does; the default says nothing.
  virtual void ShowWrongSite(SiteId site) { (void)site; }
  // Says where the run's address list came from, at the right end of the status bar: a note
  // when the site's current-layout rules found the addresses, an empty text otherwise.
  virtual void ShowListSource(const std::string& note) = 0;
};

}  // namespace pixhaul
