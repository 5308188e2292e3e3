// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/window_geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace pixhaul {

QRect ClampedToScreen(const QRect& wanted, const QRect& available) {
  const int width = std::min(wanted.width(), available.width());
  const int height = std::min(wanted.height(), available.height());
  const int left = std::clamp(wanted.left(), available.left(), available.right() - width + 1);
  const int top = std::clamp(wanted.top(), available.top(), available.bottom() - height + 1);
  return {left, top, width, height};
}

QRect OnScreen(const QRect& wanted) {
  QScreen* screen = QGuiApplication::screenAt(wanted.center());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen ? ClampedToScreen(wanted, screen->availableGeometry()) : wanted;
}

}  // namespace pixhaul
