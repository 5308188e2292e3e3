// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/download_options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "download/retry_policy.h"

namespace pixhaul {

namespace {

constexpr const char* kNotAProxyText =
    "Not a proxy address: write http://host:port, socks5://host:port or socks5h://host:port.";

QSpinBox* SideBox(int value, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setRange(0, kMaxMinimumSide);
  box->setValue(value);
  box->setSuffix(" px");
  return box;
}

}  // namespace

TDownloadOptionsDialog::TDownloadOptionsDialog(const DownloadOptions& options, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("Download options");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;

  SpinMinWidth = SideBox(options.run.filters.minWidth, this);
  SpinMinWidth->setObjectName("SpinMinWidth");
  SpinMinHeight = SideBox(options.run.filters.minHeight, this);
  SpinMinHeight->setObjectName("SpinMinHeight");
  auto* size = new QHBoxLayout;
  size->addWidget(SpinMinWidth);
  size->addWidget(new QLabel("\u00d7", this));
  size->addWidget(SpinMinHeight);
  size->addStretch(1);
  form->addRow("Skip images smaller than:", size);

  CheckSkipDuplicates = new QCheckBox("Skip duplicate images", this);
  CheckSkipDuplicates->setObjectName("CheckSkipDuplicates");
  CheckSkipDuplicates->setChecked(options.run.filters.skipDuplicates);
  CheckSkipDuplicates->setToolTip(
      "An image with the same bytes as one already in the save folder, or saved earlier in "
      "the run, is not kept");
  form->addRow(CheckSkipDuplicates);

  SpinMaxImages = new QSpinBox(this);
  SpinMaxImages->setObjectName("SpinMaxImages");
  SpinMaxImages->setRange(0, kMaxImagesLimit);
  SpinMaxImages->setSpecialValueText("all");
  SpinMaxImages->setValue(options.run.maxImages);
  SpinMaxImages->setToolTip(
      "A run starts no more downloads once it has this many images (those already in the "
      "save folder count); a download that fails makes room for the next address");
  form->addRow("Download up to (images):", SpinMaxImages);

  SpinRetries = new QSpinBox(this);
  SpinRetries->setObjectName("SpinRetries");
  SpinRetries->setRange(0, kMaxRetries);
  SpinRetries->setValue(options.run.retries);
  SpinRetries->setToolTip(
      "Tries after the first for a download that failed for a passing reason (a reset or "
      "time-out, 408, 429, 500, 502, 503, 504), waiting 1 s, 2 s, 4 s... or as the server asks");
  form->addRow("Retries of failed downloads:", SpinRetries);
  layout->addLayout(form);

  auto* note = new QLabel(
      "0 \u00d7 0 keeps every size. The size is read from the image's own header; an image "
      "whose size cannot be read is kept. Pages served in place of an image are never kept.",
      this);
  note->setWordWrap(true);
  layout->addWidget(note);
  BuildProxyGroup(options.proxy);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TDownloadOptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

DownloadOptions TDownloadOptionsDialog::Options() const {
  DownloadOptions options;
  options.run.filters.minWidth = SpinMinWidth->value();
  options.run.filters.minHeight = SpinMinHeight->value();
  options.run.filters.skipDuplicates = CheckSkipDuplicates->isChecked();
  options.run.maxImages = SpinMaxImages->value();
  options.run.retries = SpinRetries->value();
  options.proxy.mode = RadioProxyThisOne->isChecked() ? ProxyMode::kThisOne
                       : RadioProxyNone->isChecked()  ? ProxyMode::kNone
                                                      : ProxyMode::kSystem;
  options.proxy.address = EditProxy->text().trimmed().toStdString();
  return options;
}

void TDownloadOptionsDialog::BuildProxyGroup(const ProxySetting& proxy) {
  auto* group = new QGroupBox("Proxy", this);
  auto* column = new QVBoxLayout(group);
  RadioProxySystem = new QRadioButton("As the system (where the web view goes)", group);
  RadioProxyNone = new QRadioButton("None (straight to each image's host)", group);
  RadioProxyThisOne = new QRadioButton("This one:", group);
  EditProxy = new QLineEdit(QString::fromStdString(proxy.address), group);
  EditProxy->setObjectName("EditProxy");
  EditProxy->setPlaceholderText("http://host:port, socks5://host:port");
  LabelProxyProblem = new QLabel(group);
  LabelProxyProblem->setTextFormat(Qt::PlainText);
  LabelProxyProblem->setWordWrap(true);
  auto* thisOne = new QHBoxLayout;
  thisOne->addWidget(RadioProxyThisOne);
  thisOne->addWidget(EditProxy, 1);
  column->addWidget(RadioProxySystem);
  column->addWidget(RadioProxyNone);
  column->addLayout(thisOne);
  column->addWidget(LabelProxyProblem);
  layout()->addWidget(group);

  (proxy.mode == ProxyMode::kThisOne ? RadioProxyThisOne
   : proxy.mode == ProxyMode::kNone  ? RadioProxyNone
                                     : RadioProxySystem)
      ->setChecked(true);
  EditProxy->setEnabled(proxy.mode == ProxyMode::kThisOne);
  connect(RadioProxyThisOne, &QRadioButton::toggled, EditProxy, &QLineEdit::setEnabled);
}

void TDownloadOptionsDialog::accept() {
  const ProxySetting proxy = Options().proxy;
  if (proxy.mode == ProxyMode::kThisOne && !ParseProxyAddress(proxy.address)) {
    LabelProxyProblem->setText(kNotAProxyText);
    return;
  }
  QDialog::accept();
}

}  // namespace pixhaul
