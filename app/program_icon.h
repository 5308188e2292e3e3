// The program's icon, drawn at run time (a picture frame with a downward arrow), so that no
// image file has to ship beside the executable. GUI thread only (it paints a QPixmap).
#pragma once

#include <QPixmap>

namespace pixhaul {

// The icon as a square pixmap of `size` pixels with a transparent background.
QPixmap ProgramIcon(int size);

}  // namespace pixhaul
