#include "stores/add_dialog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"
#include "ui/forms.h"
#include "ui/text_boxes.h"

namespace qm::ui {
namespace {

using test::ScriptedMsgBox;
using test::TempAppDir;

// Types keys into the dialog's box; "\n" is the Return key.
void type(frmNewEntry& dialog, const QByteArray& keys) {
  const QList<QByteArray> lines = keys.split('\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (i > 0) QTest::keyClick(dialog.textBox, Qt::Key_Return);
    QTest::keyClicks(dialog.textBox, QString::fromLatin1(lines[i]));
  }
}

TEST(AddDialogTest, YesYesNoAppendsInTypedOrderAndCloses) {
  TempAppDir app;
  frmNewEntry dialog(kAddSignature, nullptr);
  dialog.show();
  ScriptedMsgBox boxes{vbYes, vbYes, vbNo};
  // The question comes after the append, with Save off.
  std::vector<std::pair<qint64, bool>> whileAsked;
  boxes.whileShown = [&] {
    whileAsked.emplace_back(QFileInfo(app.file(QStringLiteral("Sig.qmd"))).size(),
                            dialog.cmdSave->isEnabled());
  };
  const std::pair<QByteArray, QByteArray> saves[] = {
      {"first", "first"}, {" second\n", " second\r\n"}, {"third", "third"}};
  QByteArray expected;
  for (const auto& [keys, stored] : saves) {
    type(dialog, keys);
    QTest::mouseClick(dialog.cmdSave, Qt::LeftButton);  // takes the focus from the box
    expected += stored.leftJustified(255, ' ');
    EXPECT_EQ(app.read("Sig.qmd"), expected) << keys.data();
    if (&stored == &saves[2].second) break;
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.ansiText().isEmpty());
    EXPECT_TRUE(dialog.cmdSave->isEnabled());
    EXPECT_EQ(dialog.focusWidget(), dialog.textBox);
  }
  const std::vector<std::pair<qint64, bool>> asked = {{255, false}, {510, false}, {765, false}};
  EXPECT_EQ(whileAsked, asked);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(AddDialogTest, EachKindHasItsFormTextsAndStore) {
  struct Case {
    const AddDialogKind& kind;
    const char *form, *caption, *labelName, *labelCaption, *box, *file;
    int length;
    const char *emptyPrompt, *emptyTitle, *anotherTitle;
  };
  const Case cases[] = {
      {kAddHeader, "frmNewHead", "Add New Header", "lblHead", "Header", "txtNewHead", "Head.qmd",
       100, "You must enter a header", "Enter Header", "Continue....."},
      {kAddSignature, "frmNewSignature", "Add New Signature", "Label1", "New Signature",
       "txtNewSig", "Sig.qmd", 255, "You must enter a signature", "Enter Signature",
       "Continue...."},
      {kAddFooter, "frmNewFooter", "Add New Footer", "Label2", "New Footer", "txtNewFoot",
       "Foot.qmd", 100, "You must enter a Footer", "Enter Footer", "Continue....."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.form);
    TempAppDir app;
    frmNewEntry dialog(c.kind, nullptr);
    dialog.show();
    EXPECT_EQ(dialog.objectName(), QString::fromLatin1(c.form));
    EXPECT_EQ(dialog.windowTitle(), QString::fromLatin1(c.caption));
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.label->objectName(), QString::fromLatin1(c.labelName));
    EXPECT_EQ(dialog.label->text(), QString::fromLatin1(c.labelCaption));
    EXPECT_EQ(dialog.textBox->objectName(), QString::fromLatin1(c.box));
    EXPECT_EQ(qobject_cast<MultiLineBox*>(dialog.textBox) != nullptr, c.length == 255);
    for (auto [b, caption] : {std::pair{dialog.cmdSave, "Save"}, {dialog.cmdCancel, "Cancel"}}) {
      EXPECT_EQ(withoutMnemonic(b->text()), QString::fromLatin1(caption));
      EXPECT_EQ(b->objectName(), QStringLiteral("cmd") + QString::fromLatin1(caption));
    }
    EXPECT_EQ(dialog.focusWidget(), dialog.textBox);
    // Label over box over buttons; Save left of Cancel at the right edge.
    EXPECT_LT(dialog.label->geometry().bottom(), dialog.textBox->geometry().top());
    EXPECT_LT(dialog.textBox->geometry().bottom(), dialog.cmdSave->geometry().top());
    EXPECT_LT(dialog.cmdSave->geometry().right(), dialog.cmdCancel->geometry().left());
    EXPECT_EQ(dialog.cmdCancel->geometry().right(), dialog.textBox->geometry().right());

    ScriptedMsgBox boxes{vbOK, vbNo};
    dialog.cmdSave->click();
    EXPECT_FALSE(QFileInfo::exists(app.file(QString::fromLatin1(c.file))));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.cmdSave->isEnabled());
    type(dialog, "x");
    dialog.cmdSave->click();
    EXPECT_EQ(app.read(QString::fromLatin1(c.file)), QByteArray("x").leftJustified(c.length));
    std::vector<std::tuple<MsgKind, std::string, std::string>> shown;
    for (const auto& box : boxes.shown()) {
      shown.emplace_back(box.kind, box.prompt.toStdString(), box.title.toStdString());
    }
    EXPECT_EQ(shown, (decltype(shown){
                         {MsgKind::Refusal, c.emptyPrompt, c.emptyTitle},
                         {MsgKind::Question, "Do you wish to add another?", c.anotherTitle}}));
  }
}

TEST(AddDialogTest, TextIsStoredAsTypedWithinTheBoxLimit) {
  struct Case {
    const char* name;
    const AddDialogKind& kind;
    QByteArray before, keys, after;
  };
  const QByteArray x250(250, 'x'), twoSigs = QByteArray(255, 'a') + QByteArray(255, 'b');
  const Case cases[] = {
      {"spaces only", kAddHeader, "", "   ", QByteArray(100, ' ')},
      {"a full header has no filling", kAddHeader, "", QByteArray(99, 'h') + "HZ",
       QByteArray(99, 'h') + "H"},
      {"a full footer", kAddFooter, "", QByteArray(101, 'f'), QByteArray(100, 'f')},
      {"a line break counts two", kAddSignature, "", x250 + "\nab", x250 + "\r\na  "},
      {"no room for a line break", kAddSignature, "", x250 + "yz\n", x250 + "yz   "},
      {"a remainder is overwritten", kAddSignature, twoSigs + QByteArray(20, 'r'), "new",
       twoSigs + QByteArray("new").leftJustified(255)},
  };
  for (const Case& c : cases) {
    TempAppDir app;
    const QString file = QString::fromLatin1(c.kind.store->fileName);
    if (!c.before.isEmpty()) app.write(file, c.before);
    frmNewEntry dialog(c.kind, nullptr);
    ScriptedMsgBox boxes{vbNo};
    type(dialog, c.keys);
    dialog.cmdSave->click();
    EXPECT_EQ(app.read(file), c.after) << c.name;
  }
}

TEST(AddDialogTest, CancelEscapeAndFrameWriteNothingAndFocusTheOpener) {
  const std::pair<const char*, std::function<void(frmNewEntry&)>> closings[] = {
      {"Cancel", [](frmNewEntry& d) { d.cmdCancel->click(); }},
      {"Escape", [](frmNewEntry& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
      {"frame", [](frmNewEntry& d) { d.close(); }},
  };
  for (const auto& [name, close] : closings) {
    TempAppDir app;
    QWidget main;
    auto* other = new QPushButton(QStringLiteral("other"), &main);
    auto* opener = new QPushButton(QStringLiteral("Create Signature"), &main);
    main.show();
    other->setFocus();
    frmNewEntry dialog(kAddSignature, opener, &main);
    dialog.show();
    ScriptedMsgBox boxes;
    close(dialog);
    EXPECT_FALSE(dialog.isVisible()) << name;
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << name;
    EXPECT_FALSE(QFileInfo::exists(app.file(QStringLiteral("Sig.qmd")))) << name;
    EXPECT_EQ(main.focusWidget(), opener) << name;
  }
}

TEST(AddDialogTest, AStoreThatCannotBeWrittenIsReportedAndAbortKeepsSaveOff) {
  TempAppDir app;
  ASSERT_TRUE(QDir(app.path()).mkdir(QStringLiteral("Head.qmd")));
  frmNewEntry dialog(kAddHeader, nullptr);
  dialog.show();
  ScriptedMsgBox boxes{vbAbort};
  type(dialog, "Hello");
  dialog.cmdSave->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].kind, MsgKind::Failure);
  EXPECT_TRUE(boxes.shown()[0].prompt.endsWith(QStringLiteral("in Quillmate: cmdSave_Click")));
  EXPECT_FALSE(dialog.cmdSave->isEnabled());
  EXPECT_TRUE(dialog.isVisible());
  dialog.cmdCancel->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

}  // namespace
}  // namespace qm::ui
