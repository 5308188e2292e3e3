// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Start-up of the desktop program: the application object, the main window, the hidden About
// dialog, then the event loop with the main window shown maximized.
//
//   pixhaul [ADDRESS]    ADDRESS, when given, is loaded into the web view once the window shows.
//   pixhaul --help       prints the usage, pixhaul --version the version; neither needs a display.
#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/application.h"
#include "app/qt_message_pump.h"
#include "download/run_end.h"
#include "framework/build_info.h"
#include "framework/thread.h"

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
  pixhaul::IgnoreFileSizeSignal();
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
    // Workers of a run may still be fetching when the window closes; their last hand-offs touch
    // the window's run state, so they are let through before the window goes.
    pixhaul::DrainWorkersOrAbandon([] { return pixhaul::TThread::LiveThreadObjects() == 0; },
                                   pixhaul::kDrainLimitAtClose, "pixhaul", 0);
  } catch (const std::exception& error) {
    pixhaul::ShowErrorBox(error.what());
  }
  return 0;
}
