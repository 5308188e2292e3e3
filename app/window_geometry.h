// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Where the main window comes back: the size and position it had when it was last closed,
// moved and shrunk as little as needed to lie whole on the screen it would be on (a screen
// since unplugged, or a smaller one, must not leave it out of reach). GUI thread only.
//
// Tests: tests/app/main_window_test.cpp.
#pragma once

#include <QRect>

namespace pixhaul {

// `wanted` within `available` (a screen's available area): no larger than it, and moved in
// until every edge lies inside it.
QRect ClampedToScreen(const QRect& wanted, const QRect& available);

// ClampedToScreen on the screen holding `wanted`'s centre, else the primary screen.
QRect OnScreen(const QRect& wanted);

}  // namespace pixhaul
