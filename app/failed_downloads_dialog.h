// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TFailedDownloadsDialog: what the last run could not save, an address a row with its reason
// ("404 Not Found", "Not an image (text/html)."), with a button that copies the addresses, one
// a line, and one that asks for the failed downloads to be tried again. It shows a copy of the
// list it is given. GUI thread only.
//
// Tests: tests/app/whole_run_test.cpp (failedDownloadsAreListedAndRetried).
#pragma once

#include <QDialog>
#include <vector>

#include "download/worker_reports.h"

class QPushButton;
class QTableWidget;

namespace pixhaul {

class TFailedDownloadsDialog : public QDialog {
  Q_OBJECT

 public:
  TFailedDownloadsDialog(const std::vector<WorkerEnd>& failed, QWidget* parent = nullptr);

  // The addresses, one a line, as the copy button puts them on the clipboard.
  QString AddressesText() const;
  // True once the user pressed "Retry failed downloads" (the dialog is then closed).
  bool RetryAsked() const { return retryAsked_; }

  QTableWidget* TableFailed = nullptr;
  QPushButton* ButtonCopy = nullptr;
  QPushButton* ButtonRetry = nullptr;

 private:
  std::vector<WorkerEnd> failed_;
  bool retryAsked_ = false;
};

// The downloads of `ended` that failed or were not images: what the dialog lists and a retry
// fetches again (images left out by the filters are the user's choice, not failures).
std::vector<WorkerEnd> FailedDownloads(const std::vector<WorkerEnd>& ended);

}  // namespace pixhaul
