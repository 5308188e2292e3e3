#include "app/program_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace pixhaul {

QPixmap ProgramIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);

  // A landscape picture: frame, sky, a hill and the sun.
  painter.setPen(QPen(QColor(0, 96, 0), 1.5));
  painter.setBrush(QColor(200, 230, 255));
  painter.drawRoundedRect(QRectF(2, 2, 28, 22), 3, 3);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 150, 0));
  QPainterPath hill;
  hill.moveTo(3, 23);
  hill.lineTo(12, 12);
  hill.lineTo(19, 18);
  hill.lineTo(23, 15);
  hill.lineTo(29, 23);
  hill.closeSubpath();
  painter.drawPath(hill);
  painter.setBrush(QColor(255, 200, 0));
  painter.drawEllipse(QPointF(23, 8), 3, 3);

  // The download arrow over the lower edge.
  painter.setBrush(QColor(0, 128, 0));
  QPainterPath arrow;
  arrow.moveTo(13, 17);
  arrow.lineTo(19, 17);
  arrow.lineTo(19, 24);
  arrow.lineTo(23, 24);
  arrow.lineTo(16, 31);
  arrow.lineTo(9, 24);
  arrow.lineTo(13, 24);
  arrow.closeSubpath();
  painter.setPen(QPen(Qt::white, 1));
  painter.drawPath(arrow);
  return pixmap;
}

}  // namespace pixhaul
