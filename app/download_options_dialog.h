// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TDownloadOptionsDialog: Options › "Download options…", where the user says which images a
// run keeps beyond what the page lists — a minimum width and height, whether second copies
// are skipped — how many images a run ends with, how often a failed download is retried, and
// which proxy the downloads go through: "as the system", none, or "this one" (accepted only
// with an address the downloads can speak). It only edits a value: the window applies what was
// accepted to the runs that start afterwards and keeps it in config.ini. GUI thread only.
//
// Tests: tests/app/main_window_test.cpp (downloadOptionsDialogEditsTheOptions).
#pragma once

#include <QDialog>

#include "app/proxy_setting.h"
#include "download/run_options.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace pixhaul {

// Everything the dialog edits.
struct DownloadOptions {
  RunOptions run;
  ProxySetting proxy;
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
  QSpinBox* SpinMaxImages = nullptr;
  QSpinBox* SpinRetries = nullptr;
  QRadioButton* RadioProxySystem = nullptr;
  QRadioButton* RadioProxyNone = nullptr;
  QRadioButton* RadioProxyThisOne = nullptr;
  QLineEdit* EditProxy = nullptr;
  // Says why "this one" was not accepted; empty otherwise.
  QLabel* LabelProxyProblem = nullptr;

  // Refuses "this one" with a text that is no proxy address, saying so in LabelProxyProblem.
  void accept() override;

 private:
  void BuildProxyGroup(const ProxySetting& proxy);
};

}  // namespace pixhaul
