// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/status_label.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QResizeEvent>
#include <algorithm>

namespace pixhaul {

namespace {

// What the label asks for at the least: room for a few characters and the ellipsis.
constexpr int kMinimumCharacters = 4;

}  // namespace

TStatusLabel::TStatusLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void TStatusLabel::SetFullText(const QString& text) {
  fullText_ = text;
  updateGeometry();
  Elide();
}

void TStatusLabel::SetClickable(bool clickable) {
  clickable_ = clickable;
  if (clickable) {
    setCursor(Qt::PointingHandCursor);
  } else {
    unsetCursor();
  }
}

void TStatusLabel::SetWrapped(bool wrapped) {
  wrapped_ = wrapped;
  setWordWrap(wrapped);
  updateGeometry();
  Elide();
}

QSize TStatusLabel::minimumSizeHint() const {
  if (wrapped_) return QLabel::minimumSizeHint();
  const QFontMetrics metrics(font());
  const int least = metrics.averageCharWidth() * kMinimumCharacters;
  return {std::max(least, std::min(roomFirst_, sizeHint().width())),
          QLabel::minimumSizeHint().height()};
}

QSize TStatusLabel::sizeHint() const {
  if (wrapped_) return QLabel::sizeHint();
  // The whole text's width, so that the bar gives it room when it has some to give.
  const QFontMetrics metrics(font());
  const int margins = contentsMargins().left() + contentsMargins().right() + 2 * margin();
  // A pixel either side: the advance is rounded, and elidedText cuts a text a fraction wider.
  return {metrics.horizontalAdvance(fullText_) + margins + 2, QLabel::sizeHint().height()};
}

void TStatusLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void TStatusLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (clickable_ && event->button() == Qt::LeftButton &&
      rect().contains(event->position().toPoint())) {
    emit Clicked();
  }
}

void TStatusLabel::Elide() {
  const QFontMetrics metrics(font());
  const QString shown =
      wrapped_ ? fullText_ : metrics.elidedText(fullText_, Qt::ElideRight, contentsRect().width());
  if (text() != shown) setText(shown);
  setToolTip(fullText_);
}

}  // namespace pixhaul
