// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/application.h"

#include <QMessageBox>
#include <exception>

namespace pixhaul {

void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const std::string& text) {
  QMessageBox box(icon, kApplicationTitle, QString::fromStdString(text), QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void ShowErrorBox(const std::string& text) { ShowMessageBox(nullptr, QMessageBox::Critical, text); }

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(kApplicationTitle);
  // Lets the desktop match the window to the installed menu entry and its icon.
  setDesktopFileName(PIXHAUL_APP_ID);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowErrorBox(error.what());
  }
  return false;
}

}  // namespace pixhaul
