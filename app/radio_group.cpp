// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/radio_group.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>
#include <algorithm>

namespace pixhaul {

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), buttons_(new QButtonGroup(this)) {
  auto* row = new QHBoxLayout(this);
  for (qsizetype i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    button->setObjectName(QStringLiteral("RadioGroup1Item%1").arg(i));
    buttons_->addButton(button, static_cast<int>(i));
    row->addWidget(button);
  }
  // Only the button that becomes checked reports; the one losing its check stays silent, so a
  // change of selection gives exactly one click.
  connect(buttons_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) emit Clicked();
  });
}

int TRadioGroup::Count() const { return static_cast<int>(buttons_->buttons().size()); }

int TRadioGroup::ItemIndex() const { return buttons_->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  index = std::clamp(index, -1, Count() - 1);
  if (index == ItemIndex()) return;
  if (index >= 0) {
    buttons_->button(index)->setChecked(true);
    return;
  }
  // An exclusive group never lets its last checked button go; lift that for the moment.
  buttons_->setExclusive(false);
  if (QAbstractButton* checked = buttons_->checkedButton()) checked->setChecked(false);
  buttons_->setExclusive(true);
}

}  // namespace pixhaul
