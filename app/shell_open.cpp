// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/shell_open.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace pixhaul {

namespace {

std::function<void(const std::string&)>& Opener() {
  static std::function<void(const std::string&)> opener;
  return opener;
}

}  // namespace

void ShellOpen(const std::string& target) {
  if (Opener()) {
    Opener()(target);
    return;
  }
  const QString text = QString::fromStdString(target);
  const QUrl url = text.startsWith('/') ? QUrl::fromLocalFile(text) : QUrl(text);
  (void)QDesktopServices::openUrl(url);  // nothing is reported when no program takes it
}

void SetShellOpenerForTesting(std::function<void(const std::string&)> opener) {
  Opener() = std::move(opener);
}

}  // namespace pixhaul
