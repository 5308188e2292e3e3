// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Start-up of the desktop program: the command line and the display are checked first (see
// app/command_line.h), then come the application object, the main window, the hidden About
// dialog, and the event loop with the main window shown maximized.
#include <QCoreApplication>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/application.h"
#include "app/command_line.h"
#include "app/qt_message_pump.h"
#include "download/process_end.h"
#include "framework/build_info.h"
#include "framework/thread.h"

namespace {

// While the application object starts, a display that the environment names but that cannot be
// reached (or a platform that fails to load) makes the toolkit give up with a fatal message and
// an abort. The message is shown, then the program ends as it does without a display.
QtMessageHandler startupHandler = nullptr;
void EndAtFatalStartupMessage(QtMsgType type, const QMessageLogContext& context,
                              const QString& message) {
  if (type != QtFatalMsg) {
    if (startupHandler != nullptr) startupHandler(type, context, message);
    return;
  }
  std::fprintf(stderr, "%s\n%s\n", message.toLocal8Bit().constData(), pixhaul::kNoDisplayMessage);
  std::_Exit(pixhaul::kExitNoDisplay);
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before the toolkit starts, so that they work without a display.
  const pixhaul::WindowCommandLine line =
      pixhaul::ParseWindowCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.action) {
    case pixhaul::WindowCommandLine::Action::Version:
      std::printf("%s\n", pixhaul::kVersionText);
      return 0;
    case pixhaul::WindowCommandLine::Action::Help:
      std::printf(
          "%s\nOpens the Pixhaul window; ADDRESS, when given, is loaded into its web view.\n"
          "Exit status: 0 after the window closes, 1 without a display, 2 for a wrong command"
          " line.\n",
          pixhaul::kWindowUsage);
      return 0;
    case pixhaul::WindowCommandLine::Action::Refuse:
      std::fprintf(stderr, "pixhaul: %s\n%s", line.error.c_str(), pixhaul::kWindowUsage);
      return pixhaul::kExitUsage;
    case pixhaul::WindowCommandLine::Action::Run:
      break;
  }
  if (!pixhaul::DisplayAvailable([](const char* name) { return std::getenv(name); })) {
    std::fprintf(stderr, "%s\n", pixhaul::kNoDisplayMessage);
    return pixhaul::kExitNoDisplay;
  }
  pixhaul::IgnoreFileSizeSignal();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // The toolkit gets the program's name only: the command line is read above, and an address
  // must not be taken for one of the toolkit's own options.
  int toolkitArgc = 1;
  startupHandler = qInstallMessageHandler(EndAtFatalStartupMessage);
  pixhaul::TApplication app(toolkitArgc, argv);
  qInstallMessageHandler(startupHandler);
  pixhaul::QtMessagePump pump;
  pixhaul::InstallMessagePump(&pump);
  try {
    pixhaul::TForm1 form;
    pixhaul::TfrmAbout about(form.AboutDialogContent());
    form.SetAboutDialog(&about);
    form.showMaximized();
    if (!line.address.empty()) form.web().Navigate(line.address);
    app.exec();
    // Workers of a run may still be fetching when the window closes; their last hand-offs touch
    // the window's run state, so they are let through before the window goes.
    pixhaul::DrainWorkersOrAbandon([] { return pixhaul::TThread::LiveThreadObjects() == 0; },
                                   pixhaul::kDrainLimitAtClose, "pixhaul", 0);
  } catch (const std::exception& error) {
    pixhaul::ShowErrorBox(error.what());
  }
  return 0;
}
