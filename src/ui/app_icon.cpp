#include "ui/app_icon.h"

#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStandardPaths>
#include <iterator>
#include <map>
#include <utility>

#include "ui/app_icon_shapes.h"

namespace qm::ui {
namespace {

// The icon at one size, drawn at that size so it stays sharp.
QImage drawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);

  painter.setPen(Qt::NoPen);
  for (const icon::Box& box : icon::kBoxes) {
    painter.setBrush(QColor(QRgb(box.fill)));
    painter.drawRoundedRect(QRectF(box.x, box.y, box.width, box.height), box.radius, box.radius);
  }
  painter.setPen(QPen(QColor(QRgb(icon::kInk)), icon::kLineWidth, Qt::SolidLine, Qt::RoundCap));
  for (const icon::Line& line : icon::kLines) {
    painter.drawLine(QPointF(line.x1, line.y1), QPointF(line.x2, line.y2));
  }
  const auto& s = icon::kSignature;
  QPainterPath stroke(QPointF(s[0], s[1]));
  for (size_t i = 2; i + 6 <= std::size(s); i += 6) {
    stroke.cubicTo(QPointF(s[i], s[i + 1]), QPointF(s[i + 2], s[i + 3]),
                   QPointF(s[i + 4], s[i + 5]));
  }
  painter.setPen(QPen(QColor(QRgb(icon::kBlue)), icon::kSignatureWidth, Qt::SolidLine, Qt::RoundCap,
                      Qt::BevelJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(stroke);
  return image;
}

// Drawn only at the sizes asked for, once each: the window system asks for a few at start-up,
// a tray for its own.
class DrawnIcon : public QIconEngine {
 public:
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    if (side <= 0) return {};
    // Images, not pixmaps: they may outlive the application.
    static std::map<int, QImage> drawn;
    auto [at, added] = drawn.try_emplace(side);
    if (added) at->second = drawIcon(side);
    return QPixmap::fromImage(at->second);
  }
  QIconEngine* clone() const override { return new DrawnIcon; }
};

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
  return QIcon(new DrawnIcon);
}

}  // namespace qm::ui
