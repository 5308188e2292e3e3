// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TLinkLabel: a label that looks like a link (green, underlined, hand cursor) and reports a
// left-button click. GUI thread only.
//
// Tests: tests/app/about_dialog_test.cpp.
#pragma once

#include <QLabel>

namespace pixhaul {

class TLinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TLinkLabel(QWidget* parent = nullptr);

 signals:
  void Clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace pixhaul
