// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TRadioGroup: a captioned group of radio buttons in one row with a selected index, the
// site selector's control.
//
// `ItemIndex` is -1 (nothing selected) or the position of the checked button. Setting it clamps
// the value to -1 .. count-1. `Clicked` is emitted whenever the selected item changes, whether
// the user checks another button or code sets another index; re-checking the selected button,
// setting the index it already has, or clearing the selection (-1) emits nothing. GUI thread
// only.
//
// Tests: tests/app/main_window_test.cpp.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;

namespace pixhaul {

class TRadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

  int ItemIndex() const;
  void SetItemIndex(int index);
  int Count() const;

 signals:
  void Clicked();

 private:
  QButtonGroup* buttons_;
};

}  // namespace pixhaul
