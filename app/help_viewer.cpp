// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/help_viewer.h"

#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/shell_open.h"

namespace pixhaul {

THelpViewer::THelpViewer(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
  setObjectName("HelpViewer");
  setWindowTitle("Pixhaul User Manual");
  resize(640, 560);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  browser_->setOpenLinks(false);
  connect(browser_, &QTextBrowser::anchorClicked, this,
          [](const QUrl& url) { ShellOpen(url.toString().toStdString()); });
}

bool THelpViewer::ShowManual(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return false;
  // Pictures of the manual are named relative to its own folder.
  browser_->setSearchPaths({QFileInfo(file).absolutePath()});
  browser_->setHtml(QString::fromUtf8(file.readAll()));
  show();
  raise();
  activateWindow();
  return true;
}

QString THelpViewer::ShownText() const { return browser_->toPlainText(); }

}  // namespace pixhaul
