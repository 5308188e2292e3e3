// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// FakeRunWindow: a RunWindow for tests. It keeps the pane like the real one, records every
// caption, enable state, message box and progress report, and lets a test hook the calls to act at
// exact points of a run (press the button from inside a wait, release workers when the button is
// disabled). Main thread only, like every RunWindow.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "download/run_log.h"
#include "download/run_window.h"

namespace pixhaul::test {

class FakeRunWindow : public RunWindow {
 public:
  FakeRunWindow() { pane.Append("[Log window]"); }

  std::string SaveFolderText() override { return folderText; }
  std::string ButtonCaption() override { return caption; }
  void SetButtonCaption(const std::string& text) override {
    caption = text;
    captions.push_back(text);
    if (onCaption) onCaption(text);
  }
  void SetButtonEnabled(bool enabled) override {
    buttonEnabled = enabled;
    enabledCalls.push_back(enabled);
    if (onEnabled) onEnabled(enabled);
  }
  void ClearLog() override {
    pane.Clear();
    ++clears;
  }
  void AppendLogLine(const std::string& text) override {
    pane.Append(text);
    if (onAppend) onAppend(text);
  }
  std::vector<std::string> LogLines() override { return pane.Lines(); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::optional<PageMarkup> CapturePageMarkup() override { return markup; }
  std::optional<SiteId> CurrentSite() override { return site; }
  void ShowProgress(const RunProgress& shown) override { progress.push_back(shown); }
  void ShowListSource(const std::string& note) override { listSources.push_back(note); }
  void ShowLateWorkerLine(const std::string& line) override { lateLines.push_back(line); }
  std::string PageAddress() override { return pageAddress; }
  void ShowWrongSite(SiteId shown) override { wrongSites.push_back(shown); }

  std::string folderText;
  std::string caption = "Start download";
  bool buttonEnabled = true;
  std::optional<std::string> markup;
  std::optional<SiteId> site = AllSites()[0];
  std::string pageAddress;  // the address of the page shown, empty when unknown

  RunLogPane pane;
  int clears = 0;
  std::vector<std::string> captions;
  std::vector<bool> enabledCalls;
  std::vector<std::string> messages;
  std::vector<RunProgress> progress;  // every ShowProgress, in order
  std::vector<std::string> listSources;
  std::vector<std::string> lateLines;  // worker lines that came after the closing lines
  std::vector<SiteId> wrongSites;      // every ShowWrongSite

  std::function<void(const std::string&)> onAppend;
  std::function<void(const std::string&)> onCaption;
  std::function<void(bool)> onEnabled;
};

}  // namespace pixhaul::test
