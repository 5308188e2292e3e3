// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TApplication: the desktop program's application object. Any exception that a handler lets
// escape into the event loop ends that handler only: it is shown in the error box and the
// program goes on. GUI thread only.
//
// Tests: tests/app/main_window_test.cpp (the error boxes) and tests/app/startup_test.cpp.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <string>

namespace pixhaul {

inline constexpr const char* kApplicationTitle = "Pixhaul";

// A modal message box with the application title as caption and `text` shown exactly as it
// stands: never read as rich text, since it may hold a folder name or a server's words.
// Returns when the user has closed it.
void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const std::string& text);

// The error box: the application title as caption, the failure's message as text.
void ShowErrorBox(const std::string& text);

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace pixhaul
