#pragma once

#include <QPushButton>
#include <QString>
#include <initializer_list>
#include <vector>

class QDialogButtonBox;
class QLabel;
class QWidget;

// What every form needs so that keyboard users and assistive technology find their way:
// names and descriptions, labels tied to their boxes, and the tab order.
namespace qm::ui {

// Gives a new control the object name that describe() and chainTabOrder() find it by.
template <typename Widget>
Widget* named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* label(QWidget* parent, const char* name, const char* caption = "");
QPushButton* button(QWidget* parent, const char* name, const char* caption,
                    const char* tip = nullptr);

// A dialog's row of buttons, in the order given on every desktop.
QDialogButtonBox* buttonRow(QWidget* parent, std::initializer_list<QPushButton*> buttons);

// One control of a window, found by its object name.
struct Described {
  const char* object;
  QString name;                 // empty: its caption or its label names it
  QString description;          // tells it apart from every other control of its window
  const char* label = nullptr;  // the label that names it, for text boxes and lists
};

// Gives the window its description and each control its name, description and label. A name
// that no control of the window bears is a slip in the form's code: it ends the program.
void describe(QWidget* window, const QString& description, const std::vector<Described>& controls);

// Chains the named controls into the window's tab order, first to last.
void chainTabOrder(QWidget* window, const std::vector<const char*>& order);

// A button as narrow as its short caption ("<", "?", "..."): the style's minimum width for
// buttons would make it as wide as one with words.
class CompactButton : public QPushButton {
 public:
  CompactButton(const QString& caption, QWidget* parent);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }
};

// Assistive technology sees a top-level plain widget as a panel and a drawn line as a frame:
// shows the windows of this class as windows, and lines as separators. Call before anything
// asks for the window's accessible face, such as first thing in its constructor.
void exposeRoles(const char* windowClass);

}  // namespace qm::ui
