// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/program_icon.h"

#include <QPainter>
#include <QSvgRenderer>

#include "program_icon_svg.h"

namespace pixhaul {

QImage ProgramIconImage(int size) {
  QSvgRenderer drawing(QByteArray::fromRawData(kProgramIconSvg, sizeof kProgramIconSvg - 1));
  if (!drawing.isValid() || size <= 0) return {};
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  drawing.render(&painter, QRectF(0, 0, size, size));
  return image;
}

QPixmap ProgramIcon(int size) { return QPixmap::fromImage(ProgramIconImage(size)); }

}  // namespace pixhaul
