#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "common/msgbox.h"

namespace qm::ui {
namespace {

struct Look {
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton first;     // the default button: the first of the row
  QMessageBox::StandardButton fallback;  // the answer when the box is closed another way
};

Look lookOf(MsgKind kind) {
  switch (kind) {
    case MsgKind::Question:
      return {QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes,
              QMessageBox::No};
    case MsgKind::Refusal:
      return {QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
    case MsgKind::Hint:
      return {QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
    case MsgKind::Failure:
      return {QMessageBox::Warning, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
              QMessageBox::Abort, QMessageBox::Abort};
  }
  return {QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
}

int codeOf(int button) {
  switch (button) {
    case QMessageBox::Ok:
      return vbOK;
    case QMessageBox::Abort:
      return vbAbort;
    case QMessageBox::Retry:
      return vbRetry;
    case QMessageBox::Ignore:
      return vbIgnore;
    case QMessageBox::Yes:
      return vbYes;
    case QMessageBox::No:
      return vbNo;
    default:
      return 0;
  }
}

// The window a box belongs to: the active one, else the main window, also hidden in the tray, so
// that a box asked from the tray gets no task-list entry of its own.
QWidget* owner() {
  if (QWidget* active = QApplication::activeWindow()) return active;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->objectName() == QLatin1String("frmMain")) return window;
  }
  return nullptr;
}

int show(MsgKind kind, const QString& prompt, const QString& title) {
  const Look look = lookOf(kind);
  QString shown = prompt;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QMessageBox box(look.icon, title, shown, look.buttons, owner());
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(look.first);
  if (kind == MsgKind::Question) box.setEscapeButton(QMessageBox::No);
  const int code = codeOf(box.exec());
  return code != 0 ? code : codeOf(look.fallback);
}

}  // namespace

void installMessageBoxes() {
  installMsgBox(show);
}

}  // namespace qm::ui
