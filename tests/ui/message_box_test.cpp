#include "ui/message_box.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "common/msgbox.h"

namespace qm {
namespace {

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  Qt::TextFormat format = Qt::AutoText;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Shows a box through the real adapter and presses `press` once it is up.
int showAndPress(MsgKind kind, const QString& prompt, QMessageBox::StandardButton press,
                 SeenBox& seen) {
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen = {box->windowTitle(),     box->text(),       box->icon(),
            box->standardButtons(), box->textFormat(), box->standardButton(box->defaultButton())};
    box->button(press)->click();
  });
  return MsgBox(kind, prompt, QStringLiteral("Title"));
}

TEST(MessageBoxTest, EachKindHasItsButtonsIconAndCodes) {
  const MsgBoxShow previous = installMsgBox({});
  ui::installMessageBoxes();
  struct Case {
    MsgKind kind;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton first;
    QMessageBox::StandardButton press;
    int code;
  };
  const auto yesNo = QMessageBox::Yes | QMessageBox::No;
  const auto abortRetryIgnore = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
  const Case cases[] = {
      {MsgKind::Question, QMessageBox::Question, yesNo, QMessageBox::Yes, QMessageBox::Yes, vbYes},
      {MsgKind::Question, QMessageBox::Question, yesNo, QMessageBox::Yes, QMessageBox::No, vbNo},
      {MsgKind::Refusal, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok,
       vbOK},
      {MsgKind::Hint, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok,
       vbOK},
      {MsgKind::Failure, QMessageBox::Warning, abortRetryIgnore, QMessageBox::Abort,
       QMessageBox::Abort, vbAbort},
      {MsgKind::Failure, QMessageBox::Warning, abortRetryIgnore, QMessageBox::Abort,
       QMessageBox::Retry, vbRetry},
      {MsgKind::Failure, QMessageBox::Warning, abortRetryIgnore, QMessageBox::Abort,
       QMessageBox::Ignore, vbIgnore},
  };
  for (const Case& c : cases) {
    SeenBox seen;
    EXPECT_EQ(showAndPress(c.kind, QStringLiteral("Line one\r\n<b>two</b>"), c.press, seen),
              c.code);
    EXPECT_EQ(seen.title, QStringLiteral("Title"));
    EXPECT_EQ(seen.text, QStringLiteral("Line one\n<b>two</b>"));
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(seen.buttons, c.buttons);
    EXPECT_EQ(seen.defaultButton, c.first);
    EXPECT_EQ(seen.format, Qt::PlainText);  // a prompt is never read as markup
  }
  installMsgBox(previous);
}

}  // namespace
}  // namespace qm
