#include "ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace qm::ui {
namespace {

// A sheet of paper with a signature stroke, drawn at any size so it stays sharp.
QPixmap drawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);

  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x5f, 0x8b));
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  painter.setBrush(QColor(0xfa, 0xfa, 0xf5));
  painter.drawRect(QRectF(14, 10, 36, 44));

  painter.setPen(QPen(QColor(0x9a, 0xa5, 0xb1), 2.5, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(19, 19), QPointF(45, 19));
  painter.drawLine(QPointF(19, 26), QPointF(40, 26));

  QPainterPath stroke(QPointF(18, 44));
  stroke.cubicTo(QPointF(22, 32), QPointF(27, 50), QPointF(31, 40));
  stroke.cubicTo(QPointF(34, 33), QPointF(38, 48), QPointF(46, 38));
  painter.setPen(QPen(QColor(0x1f, 0x5f, 0x8b), 3, Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(stroke);
  return pixmap;
}

}  // namespace

QIcon appIcon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128}) icon.addPixmap(drawIcon(size));
  return icon;
}

}  // namespace qm::ui
