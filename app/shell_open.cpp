// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/shell_open.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace pixhaul {

namespace {

std::function<bool(const std::string&)>& Opener() {
  static std::function<bool(const std::string&)> opener;
  return opener;
}

}  // namespace

bool ShellOpen(const std::string& target) {
  if (Opener()) return Opener()(target);
  const QString text = QString::fromStdString(target);
  const QUrl url = text.startsWith('/') ? QUrl::fromLocalFile(text) : QUrl(text);
  return QDesktopServices::openUrl(url);
}

void SetShellOpenerForTesting(std::function<bool(const std::string&)> opener) {
  Opener() = std::move(opener);
}

}  // namespace pixhaul
