// Start-up of the desktop program: the application object, the main window, the hidden About
// dialog, then the event loop with the main window shown maximized.
//
//   pixhaul [ADDRESS]    ADDRESS, when given, is loaded into the web view once the window shows.
//   pixhaul --help       prints the usage, pixhaul --version the version; neither needs a display.
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/application.h"
#include "app/qt_message_pump.h"
#include "framework/build_info.h"
#include "framework/thread.h"

namespace {

// Workers of a run may still be fetching when the window closes. Their last hand-offs touch the
// window's run state, so they are let through before the window goes; a download that is stuck
// beyond the connection time limits is abandoned with the process.
constexpr std::chrono::seconds kWorkerDrainLimit{35};

void DrainWorkers(pixhaul::QtMessagePump& pump) {
  const auto deadline = std::chrono::steady_clock::now() + kWorkerDrainLimit;
  while (pixhaul::TThread::LiveThreadObjects() > 0 && std::chrono::steady_clock::now() < deadline) {
    pump.ProcessMessages();
    pump.WaitForMessages(
        std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(100)));
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before the toolkit starts, so that they work without a display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\n", pixhaul::kVersionText);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::printf(
        "usage: pixhaul [ADDRESS]\n       pixhaul --help\n       pixhaul --version\n\n"
        "Opens the Pixhaul window; ADDRESS, when given, is loaded into its web view.\n");
    return 0;
  }
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  pixhaul::TApplication app(argc, argv);
  pixhaul::QtMessagePump pump;
  pixhaul::InstallMessagePump(&pump);
  try {
    pixhaul::TForm1 form;
    pixhaul::TfrmAbout about(form.AboutDialogContent());
    form.SetAboutDialog(&about);
    form.showMaximized();
    if (argc > 1) form.web().Navigate(argv[1]);
    app.exec();
    DrainWorkers(pump);
    if (pixhaul::TThread::LiveThreadObjects() > 0) std::_Exit(0);
  } catch (const std::exception& error) {
    pixhaul::ShowErrorBox(error.what());
  }
  return 0;
}
