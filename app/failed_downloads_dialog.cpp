// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/failed_downloads_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "framework/visible_text.h"

namespace pixhaul {

std::vector<WorkerEnd> FailedDownloads(const std::vector<WorkerEnd>& ended) {
  std::vector<WorkerEnd> failed;
  for (const WorkerEnd& end : ended) {
    if (end.result == WorkerResult::kFailed || end.result == WorkerResult::kNotImage)
      failed.push_back(end);
  }
  return failed;
}

TFailedDownloadsDialog::TFailedDownloadsDialog(const std::vector<WorkerEnd>& failed,
                                               QWidget* parent)
    : QDialog(parent), failed_(failed) {
  setWindowTitle("Failed downloads");
  resize(760, 420);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString("%1 of the last run's downloads were not saved:")
                                   .arg(static_cast<int>(failed_.size())),
                               this));
  TableFailed = new QTableWidget(static_cast<int>(failed_.size()), 2, this);
  TableFailed->setObjectName("TableFailed");
  TableFailed->setHorizontalHeaderLabels({"Address", "Reason"});
  TableFailed->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TableFailed->setSelectionBehavior(QAbstractItemView::SelectRows);
  TableFailed->horizontalHeader()->setStretchLastSection(true);
  TableFailed->verticalHeader()->hide();
  for (int row = 0; row < static_cast<int>(failed_.size()); ++row) {
    const WorkerEnd& end = failed_[static_cast<size_t>(row)];
    TableFailed->setItem(row, 0,
                         new QTableWidgetItem(QString::fromStdString(VisibleText(end.url))));
    TableFailed->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(end.reason)));
  }
  TableFailed->resizeColumnToContents(0);
  layout->addWidget(TableFailed, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  ButtonCopy = buttons->addButton("Copy addresses", QDialogButtonBox::ActionRole);
  ButtonCopy->setObjectName("ButtonCopy");
  ButtonRetry = buttons->addButton("Retry failed downloads", QDialogButtonBox::AcceptRole);
  ButtonRetry->setObjectName("ButtonRetry");
  connect(ButtonCopy, &QPushButton::clicked, this,
          [this] { QApplication::clipboard()->setText(AddressesText()); });
  connect(ButtonRetry, &QPushButton::clicked, this, [this] {
    retryAsked_ = true;
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QString TFailedDownloadsDialog::AddressesText() const {
  QString text;
  for (const WorkerEnd& end : failed_) text += QString::fromStdString(end.url) + "\n";
  return text;
}

}  // namespace pixhaul
