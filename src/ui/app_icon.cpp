#include "ui/app_icon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStandardPaths>
#include <utility>

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

// The program's pixmaps under the name of its installed icon: Qt's tray item then sends both.
class NamedIcon : public QIconEngine {
 public:
  NamedIcon(QString name, QIcon drawn) : name_(std::move(name)), drawn_(std::move(drawn)) {}
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    drawn_.paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return drawn_.pixmap(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return drawn_.availableSizes(mode, state);
  }
  QString iconName() override { return name_; }
  QIconEngine* clone() const override { return new NamedIcon(name_, drawn_); }

 private:
  QString name_;
  QIcon drawn_;
};

}  // namespace

QIcon trayItemIcon() {
  const QString name = QStringLiteral("io.github.quillmate.quillmate");
  // Where the install puts it; the panel, not Qt, reads it (Qt may have no SVG support).
  const bool installed = !QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                 "icons/hicolor/scalable/apps/" + name + ".svg")
                              .isEmpty();
  return installed ? QIcon(new NamedIcon(name, appIcon())) : appIcon();
}

QIcon appIcon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128}) icon.addPixmap(drawIcon(size));
  return icon;
}

}  // namespace qm::ui
