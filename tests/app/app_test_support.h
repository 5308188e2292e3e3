// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Helpers shared by the window tests: a main window whose message boxes, folder browser and
// progress reports are recorded instead of shown, a throw-away program folder, pages for the
// web view on the loopback server, and the test program's start-up (offscreen platform, no
// outside network for the web view, the Qt message pump installed). GUI thread only.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QtTest>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/qt_message_pump.h"
#include "app/status_label.h"
#include "loopback/loopback_server.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {

class RecordingForm : public TForm1 {
 public:
  using TForm1::TForm1;

  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    if (onMessage) onMessage(text);
  }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  // Records each report with what the status bar showed for it.
  void ShowProgress(const RunProgress& shown) override {
    TForm1::ShowProgress(shown);
    progress.push_back({shown, !ProgressBar1->isHidden(), ProgressBar1->value(),
                        ProgressBar1->maximum(), LabelProgress->FullText().toStdString(),
                        !LabelProgress->isHidden(), LabelOutcome->FullText().toStdString(),
                        ProgressBar1->format().toStdString()});
  }
  struct ProgressSeen {
    RunProgress reported;
    bool barShown;
    int barValue;
    int barMaximum;
    std::string label;  // the counts
    bool labelShown;
    std::string outcome;  // the outcome at the right end, empty while the run is on
    std::string barFormat;
  };
  std::vector<ProgressSeen> progress;

  std::vector<std::string> messages;
  std::vector<std::string> errors;
  std::function<void(const std::string&)> onMessage;
  std::optional<std::string> folderToChoose;  // nothing: the user cancels the browser
  int folderBrowserShown = 0;
  std::optional<DownloadOptions> optionsToAccept;   // nothing: the user cancels the dialog
  std::vector<DownloadOptions> optionsDialogShown;  // what the dialog showed each time
  std::vector<std::vector<WorkerEnd>> failedShown;  // each list the failed-downloads dialog got
  bool retryFromFailedList = false;                 // the answer the dialog gives

 protected:
  std::optional<std::string> ChooseFolder() override {
    ++folderBrowserShown;
    return folderToChoose;
  }
  bool ShowFailedDownloads(const std::vector<WorkerEnd>& failed) override {
    failedShown.push_back(failed);
    return retryFromFailedList;
  }
  std::optional<DownloadOptions> EditDownloadOptions(const DownloadOptions& current) override {
    optionsDialogShown.push_back(current);
    return optionsToAccept;
  }
};

// A temporary program folder holding an empty ini/ folder.
class ProgramFolder {
 public:
  explicit ProgramFolder(bool withIniFolder = true);
  std::string Path() const;  // with its trailing "/"
  std::string ConfigPath() const { return Path() + "ini/config.ini"; }
  void WriteConfig(const std::string& bytes) const;
  std::string ReadConfig() const;  // empty when missing

 private:
  TempDir dir_;
};

// Options for a window rooted in `folder`, with short run waits.
TForm1Options FormOptions(const ProgramFolder& folder);

// Shows `form` and waits until it is exposed and its start page's load has ended (a refused
// loopback port, at once): that load's page change clears the status notes, so a test that sets
// notes sets them after it. False when either does not come.
bool ShowWithStartPageLoaded(TForm1& form);

// Selects the site of selector row `row` and waits until the start page that selection loads
// has ended (the loopback refuses it at once), so that no late end of that load is taken for
// the end of the next one. True at once when the row was selected already.
bool SelectSiteAndWait(TForm1& form, int row);

// A handler for the loopback server that answers `path` with `reply`, anything else with 404.
loopback::LoopbackHttpServer::Handler ServePath(std::string path, loopback::HttpReply reply);

// Points every site at loopback addresses that refuse connections, so that no test can
// make the web view ask for an outside address, and sets the offscreen platform when the
// environment does not name one. Called first in main.
void PrepareTestProcess();

}  // namespace pixhaul::test

#define PIXHAUL_APP_TEST_MAIN(TestClass)                        \
  int main(int argc, char** argv) {                             \
    pixhaul::test::PrepareTestProcess();                        \
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); \
    QApplication app(argc, argv);                               \
    app.setApplicationName("Pixhaul");                          \
    pixhaul::QtMessagePump pump;                                \
    pixhaul::InstallMessagePump(&pump);                         \
    TestClass test;                                             \
    return QTest::qExec(&test, argc, argv);                     \
  }
