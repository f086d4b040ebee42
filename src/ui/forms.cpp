#include "ui/forms.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>
#include <QLabel>
#include <QSet>
#include <QStyleOptionButton>
#include <algorithm>

namespace qm::ui {
namespace {

QWidget* child(QWidget* window, const char* object) {
  auto* widget = window->findChild<QWidget*>(QString::fromLatin1(object));
  Q_ASSERT_X(widget != nullptr, "no such control", object);
  return widget;
}

QSet<QString>& windowClasses() {
  static QSet<QString> classes;
  return classes;
}

QAccessibleInterface* roleFactory(const QString& className, QObject* object) {
  if (!object->isWidgetType()) return nullptr;
  auto* widget = static_cast<QWidget*>(object);
  if (windowClasses().contains(className)) {
    return new QAccessibleWidget(widget, QAccessible::Window);
  }
  if (className == QLatin1String("QFrame")) {
    const auto shape = static_cast<QFrame*>(widget)->frameShape();
    if (shape == QFrame::HLine || shape == QFrame::VLine) {
      return new QAccessibleWidget(widget, QAccessible::Separator);
    }
  }
  return nullptr;
}

}  // namespace

void describe(QWidget* window, const QString& description,
              std::initializer_list<Described> controls) {
  window->setAccessibleDescription(description);
  for (const Described& control : controls) {
    QWidget* widget = child(window, control.object);
    if (widget == nullptr) continue;
    if (!control.name.isEmpty()) widget->setAccessibleName(control.name);
    widget->setAccessibleDescription(control.description);
    // A label's buddy is what assistive technology reads as "labelled by".
    if (control.label != nullptr) {
      if (auto* label = qobject_cast<QLabel*>(child(window, control.label))) {
        label->setBuddy(widget);
      }
    }
  }
}

void chainTabOrder(QWidget* window, std::initializer_list<const char*> order) {
  QWidget* previous = nullptr;
  for (const char* object : order) {
    QWidget* widget = child(window, object);
    if (widget == nullptr) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

QString withoutMnemonic(const QString& caption) {
  QString shown;
  shown.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) ++i;
    shown += caption[i];
  }
  return shown;
}

CompactButton::CompactButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize CompactButton::sizeHint() const {
  QStyleOptionButton option;
  initStyleOption(&option);
  // What the style puts around the caption, without its minimum width for buttons.
  const int frame = style()->pixelMetric(QStyle::PM_ButtonMargin, &option, this) +
                    2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
  const int caption = fontMetrics().size(Qt::TextShowMnemonic, text()).width();
  const int height = QPushButton::sizeHint().height();
  // Never narrower than high, so a one-character caption still makes a button to aim at.
  return {std::max(caption + frame + 2 * fontMetrics().averageCharWidth(), height), height};
}

void exposeRoles(const char* windowClass) {
  if (windowClasses().isEmpty()) QAccessible::installFactory(roleFactory);
  windowClasses().insert(QString::fromLatin1(windowClass));
}

}  // namespace qm::ui
