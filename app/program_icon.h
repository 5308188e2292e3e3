// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The program's icon (a landscape picture with a download arrow), rendered from its one drawing,
// the SVG file the project installs as the desktop icon, which is built into the program. The
// window, the About dialog and the installed PNG icons all come from here. GUI thread only
// for pixmaps; images may be made on any thread.
//
// Tests: tests/app/about_dialog_test.cpp and tests/install (the installed icons).
#pragma once

#include <QImage>
#include <QPixmap>

namespace pixhaul {

// The icon as a square image of `size` pixels on a transparent background; a null image when
// the built-in drawing cannot be read (a broken build).
QImage ProgramIconImage(int size);

// The same as a pixmap, for widgets.
QPixmap ProgramIcon(int size);

}  // namespace pixhaul
