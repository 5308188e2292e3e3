// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// ConsoleRunWindow: the run controller's window in pixhaul-cli. The log pane is printed as it
// grows, one pane line a line on standard output; message boxes go to standard error, and so
// does the progress line when standard error is a terminal (TerminalProgress). Once a write to
// standard output has failed (a reader that went away, a full disk), nothing more is written
// there: the run goes on, and its pane and log.txt are whole. The button is a caption and an
// enabled flag; a hook sees every change of the caption. Main thread only.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "cli/terminal_progress.h"
#include "download/run_log.h"
#include "download/run_window.h"

namespace pixhaul::cli {

class ConsoleRunWindow : public RunWindow {
 public:
  using Capture = std::function<std::optional<PageMarkup>()>;

  ConsoleRunWindow(std::string folderText, SiteId site, Capture capture, std::FILE* out = stdout,
                   std::FILE* err = stderr);

  std::string SaveFolderText() override { return folderText_; }
  std::string ButtonCaption() override { return caption_; }
  void SetButtonCaption(const std::string& caption) override;
  void SetButtonEnabled(bool enabled) override { enabled_ = enabled; }
  void ClearLog() override { pane_.Clear(); }
  void AppendLogLine(const std::string& text) override;
  std::vector<std::string> LogLines() override { return pane_.Lines(); }
  void ShowMessage(const std::string& text) override;
  std::optional<PageMarkup> CapturePageMarkup() override { return capture_(); }
  std::optional<SiteId> CurrentSite() override { return site_; }
  // The progress line on `err`, only when it is a terminal. It stands with the counts the run
  // closed with; results that come later are told by their own lines and the summary.
  void ShowProgress(const RunProgress& progress) override;
  // Standard error says so when the current-layout rules gave the list; standard output keeps
  // the log pane's lines only.
  void ShowListSource(const std::string& note) override;
  // A result that came after the closing lines: on standard error, as its log line would have
  // read, followed by kLateLineSuffix. Standard output and log.txt do not get it.
  void ShowLateWorkerLine(const std::string& line) override;

  // One line of text on standard error, the progress line kept clear of it.
  void WriteErrorLine(const std::string& text);

  // Called with the new caption after each change.
  void OnCaptionChange(std::function<void(const std::string&)> hook) {
    onCaption_ = std::move(hook);
  }

  bool ButtonEnabled() const { return enabled_; }
  // True once a message box was shown: the run could not be made.
  bool MessageShown() const { return messageShown_; }

 private:
  std::string folderText_;
  SiteId site_;
  Capture capture_;
  std::FILE* out_;
  std::FILE* err_;
  std::string caption_ = kStartDownloadCaption;
  bool enabled_ = true;
  bool messageShown_ = false;
  bool outFailed_ = false;  // a write to `out_` failed: it is not written any more
  bool runEnded_ = false;   // the progress line was finished with the run's end
  std::function<void(const std::string&)> onCaption_;
  RunLogPane pane_;
  TerminalProgress progress_;
};

}  // namespace pixhaul::cli
