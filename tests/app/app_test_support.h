// Helpers shared by the window tests: a main window whose message boxes, folder browser and
// progress reports are recorded instead of shown, a throw-away program folder, and the test
// program's start-up (offscreen platform, no outside network for the web view, the Qt message pump
// installed). GUI thread only.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/qt_message_pump.h"

namespace pixhaul::apptest {

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
                        ProgressBar1->maximum(), LabelProgress->text().toStdString()});
  }
  struct ProgressSeen {
    RunProgress reported;
    bool barShown;
    int barValue;
    int barMaximum;
    std::string label;
  };
  std::vector<ProgressSeen> progress;

  std::vector<std::string> messages;
  std::vector<std::string> errors;
  std::function<void(const std::string&)> onMessage;
  std::optional<std::string> folderToChoose;  // nothing: the user cancels the browser
  int folderBrowserShown = 0;

 protected:
  std::optional<std::string> ChooseFolder() override {
    ++folderBrowserShown;
    return folderToChoose;
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
  QTemporaryDir dir_;
};

// Options for a window rooted in `folder`, with short run waits.
TForm1Options FormOptions(const ProgramFolder& folder);

std::string ReadFileBytes(const std::string& path);

// Points the three sites at loopback addresses that refuse connections, so that no test can
// make the web view ask for an outside address, and sets the offscreen platform when the
// environment does not name one. Called first in main.
void PrepareTestProcess();

}  // namespace pixhaul::apptest

#define PIXHAUL_APP_TEST_MAIN(TestClass)                        \
  int main(int argc, char** argv) {                             \
    pixhaul::apptest::PrepareTestProcess();                     \
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); \
    QApplication app(argc, argv);                               \
    app.setApplicationName("Pixhaul");                          \
    pixhaul::QtMessagePump pump;                                \
    pixhaul::InstallMessagePump(&pump);                         \
    TestClass test;                                             \
    return QTest::qExec(&test, argc, argv);                     \
  }
