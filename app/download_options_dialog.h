// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TDownloadOptionsDialog: Options › "Download options…", where the user says which images a
// run keeps beyond what the page lists — a minimum width and height, and whether second copies
// are skipped. It only edits a value: the window applies what was accepted to the runs that
// start afterwards and keeps it in config.ini. GUI thread only.
#pragma once

#include <QDialog>

#include "download/download_filters.h"

class QCheckBox;
class QSpinBox;

namespace pixhaul {

// Everything the dialog edits.
struct DownloadOptions {
  DownloadFilters filters;
  bool operator==(const DownloadOptions&) const = default;
};

class TDownloadOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TDownloadOptionsDialog(const DownloadOptions& options, QWidget* parent = nullptr);

  // The options as the controls now show them.
  DownloadOptions Options() const;

  QSpinBox* SpinMinWidth = nullptr;
  QSpinBox* SpinMinHeight = nullptr;
  QCheckBox* CheckSkipDuplicates = nullptr;
};

}  // namespace pixhaul
