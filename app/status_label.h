// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TStatusLabel: a plain-text label for the status bar that never asks for more room than it
// has. Its text is elided at the end to the label's width ("…"), the whole text then in its
// tooltip, and it asks for no minimum width beyond a few characters, so that a long message
// can never widen the window. It can be made clickable: it then shows a hand cursor and emits
// Clicked on a left click. GUI thread only.
//
// Tests: tests/app/main_window_test.cpp.
#pragma once

#include <QLabel>
#include <QString>

namespace pixhaul {

class TStatusLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TStatusLabel(QWidget* parent = nullptr);

  // The whole text; what shows is it elided to the width.
  void SetFullText(const QString& text);
  const QString& FullText() const { return fullText_; }

  // With a hand cursor and Clicked on a left click, or without.
  void SetClickable(bool clickable);
  bool Clickable() const { return clickable_; }

  // Shows the whole text, wrapped at word ends onto as many lines as it needs, instead of
  // eliding it (for a label with room to grow downwards).
  void SetWrapped(bool wrapped);

  // Asks for its whole text's width, up to `width` pixels, as its least room, so that the
  // labels beside it give way first; 0 (the default) asks for a few characters only.
  void SetRoomFirst(int width) { roomFirst_ = width; }

  QSize minimumSizeHint() const override;
  QSize sizeHint() const override;

 signals:
  void Clicked();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Elide();

  QString fullText_;
  bool clickable_ = false;
  int roomFirst_ = 0;
  bool wrapped_ = false;
};

}  // namespace pixhaul
