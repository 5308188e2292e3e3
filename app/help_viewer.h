// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// THelpViewer: a plain window that shows the user manual (an HTML document stored as
// help/help.chm beside the executable) inside the program, so no outside viewer for the file
// type is needed. Links to web addresses in the manual go to the desktop's browser.
// GUI thread only.
//
// Tests: tests/app/main_window_test.cpp.
#pragma once

#include <QDialog>
#include <string>

class QTextBrowser;

namespace pixhaul {

class THelpViewer : public QDialog {
  Q_OBJECT

 public:
  explicit THelpViewer(QWidget* parent = nullptr);

  // Loads and shows `path`; false, with nothing shown, when the file cannot be read.
  bool ShowManual(const std::string& path);
  QString ShownText() const;

 private:
  QTextBrowser* browser_;
};

}  // namespace pixhaul
