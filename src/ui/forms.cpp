#include "ui/forms.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QSet>
#include <QStyleOptionButton>
#include <algorithm>

namespace qm::ui {
namespace {

QWidget* child(QWidget* window, const char* object) {
  auto* widget = window->findChild<QWidget*>(QString::fromLatin1(object));
  // Every window is built by the tests, so a misspelt name stops them, not a user.
  if (widget == nullptr)
    qFatal("%s has no control named %s", qPrintable(window->objectName()), object);
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

QLabel* label(QWidget* parent, const char* name, const char* caption) {
  return named(new QLabel(QString::fromLatin1(caption), parent), name);
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, const char* tip) {
  auto* widget = named(new QPushButton(QString::fromLatin1(caption), parent), name);
  if (tip) widget->setToolTip(QString::fromLatin1(tip));
  return widget;
}

QDialogButtonBox* buttonRow(QWidget* parent, std::initializer_list<QPushButton*> buttons) {
  auto* row = new QDialogButtonBox(parent);
  // Action buttons keep the order given; accept and reject roles would be reordered by desktop.
  for (QPushButton* b : buttons) row->addButton(b, QDialogButtonBox::ActionRole);
  return row;
}

void describe(QWidget* window, const QString& description, const std::vector<Described>& controls) {
  window->setAccessibleDescription(description);
  for (const Described& control : controls) {
    QWidget* widget = child(window, control.object);
    if (!control.name.isEmpty()) widget->setAccessibleName(control.name);
    widget->setAccessibleDescription(control.description);
    // A label's buddy is what assistive technology reads as "labelled by".
    if (control.label != nullptr) {
      if (auto* caption = qobject_cast<QLabel*>(child(window, control.label))) {
        caption->setBuddy(widget);
      }
    }
  }
}

void chainTabOrder(QWidget* window, const std::vector<const char*>& order) {
  QWidget* previous = nullptr;
  for (const char* object : order) {
    QWidget* widget = child(window, object);
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
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
