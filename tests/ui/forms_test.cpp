// The boxes and dialogs as the user meets them, and the help page that describes them.
#include <QTest>
#include <QtWidgets>

#include "common/failure.h"
#include "startup/startup.h"
#include "stores/entry_dialog.h"
#include "support/support.h"
#include "ui/folder_lists.h"
#include "ui/forms.h"
#include "ui/frmChooseDir.h"
#include "ui/frmMain.h"
#include "ui/frmPreferences.h"
#include "ui/interval_slider.h"
#include "ui/message_box.h"
#include "ui/text_boxes.h"

namespace qm::ui {
namespace {

// A main window box holds `start`, the cursor `at` (-1: the end); `input` is set, typed, pasted.
TEST(TextBoxesTest, LimitsAndLineBreaks) {
  const auto x = [](int n) { return QByteArray(n, 'x'); };
  const std::tuple<const char*, QByteArray, int, char, QByteArray, QByteArray> rows[] = {
      {"txtSig", "", -1, 's', x(250) + "\r\nab", x(250) + "\r\na"},
      {"txtSig", "", -1, 's', "\xe9\xa0\x80\x93q\x94\r\n\t ", "\xe9\xa0\x80\x93q\x94\r\n\t "},
      {"txtSig", x(241) + "a\nb\rc\r\nd", -1, 't', "\nefg", x(241) + "a\nb\rc\r\nd\r\nef"},
      {"txtSig", "ab" + x(251), 2, 't', "XY", "ab" + x(251)},
      {"txtSig", x(9), -1, 'p', "a\nb\rc", x(9) + "a\r\nb\r\nc"},
      {"txtSig", x(251), -1, 'p', "y\nz", x(251) + "y"},
      {"txtHeader", "", -1, 's', QByteArray(150, 'h'), QByteArray(100, 'h')},
      {"txtHeader", "ab" + x(96), 2, 'p', "\r", "ab\r\n" + x(96)},
      {"txtHeader", "ab" + x(97), 2, 'p', "\n", "ab" + x(97)},
      {"txtFooter", "", -1, 's', x(99) + "\r\n", x(99)},
      {"txtFooter", "", -1, 's', "  a\nb\rc\r\n ", "  a\nb\rc\r\n "},
      {"txtFooter", "ab", -1, 'p', "x\ny\r\nz\rw", "abx\r\ny\r\nz\r\nw"},
  };
  test::TempAppDir app;
  initprogram();
  frmMain window([] {});
  for (const auto& [name, start, at, verb, input, shown] : rows) {
    QWidget* widget = window.findChild<QWidget*>(name);
    auto* box = dynamic_cast<AnsiTextBox*>(widget);
    box->setAnsiText(start);
    for (const auto key : {Qt::ControlModifier, Qt::NoModifier})  // a document's end, a line's
      QTest::keyClick(widget, at < 0 ? Qt::Key_End : Qt::Key_Home, key);
    for (int i = 0; i < at; ++i) QTest::keyClick(widget, Qt::Key_Right);
    if (verb == 's') box->setAnsiText(input);
    const int cursor = widget->inputMethodQuery(Qt::ImCursorPosition).toInt();  // 0: no padding
    if (verb == 't') QTest::keyClicks(widget, QString(input).replace('\n', '\r'));
    if (verb == 'p') QApplication::clipboard()->setText(QString::fromLatin1(input));
    if (verb == 'p') QTest::keyClick(widget, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(std::pair(box->ansiText(), verb == 's' ? cursor : 0), std::pair(shown, 0)) << name;
  }
}

// zq.ini from "P=x,L=y": Prog_Name, SigLocation, Interval, Write_Type, Start_Min in that order.
QByteArray ini(const QString& lines) {
  const QList<QByteArray> keys{"Prog_Name", "SigLocation", "Interval", "Write_Type", "Start_Min"};
  QByteArray file = "[Settings]\r\n";
  for (const QString& line : lines.split(',', Qt::SkipEmptyParts))
    file += keys[QString("PLIWM").indexOf(line[0])] + line.mid(1).toUtf8() + "\r\n";
  return file;
}

// Interval code | zq.ini | answers (Retry, Ignore) to "Invalid property value" on loading | the
// program, location, interval and minimised chosen (~: left alone) | Save or Done | zq.ini after.
TEST(PreferencesTest, WhatLoadingReadsAndSaveWrites) {
  const char* table =
      "0|L=/sig,P=Eudora v4.x,M=1||~|~|~|~|S|L=/sig,P=Eudora v4.x,M=1,I=0,W=Text;"
      "6|P=Other Text,M=0||Outlook 98/2000|/zo\u00eb/\u043f|1|1|S|"
      "P=Outlook 98/2000,M=1,L=/zo\u00eb/\u043f,I=1,W=Text & HTML;"
      "4|L=/keep,P=Other Text,M=1||Other HTML||~|0|S|L=/keep,P=Other HTML,M=0,I=4,W=HTML;"
      "4|P=Mutt,M=0||~|~|2|~|D|P=Other Text,M=0;7|P=Other Text,M=0|RI|~|~|~|~|D|P=Other Text,M=0;"
      "-1|P=Other Text,M=0|I|~|~|~|~|D|P=Other Text,M=0;"
      "|P=Other Text,M=3|I|~|~|~|~|S|P=Other Text,M=0,L=?,I=6,W=Text";
  for (const QString& row : QString(table).split(';')) {
    SCOPED_TRACE(row.toStdString());
    const QStringList cell = row.split('|');
    test::TempAppDir app;
    app.write("zq.ini", ini(cell[1]));
    ModSig.IntervalCode = cell[0].toLatin1();
    test::ScriptedMsgBox boxes;
    for (const QChar answer : cell[2]) boxes.answers.push_back(answer == 'R' ? vbRetry : vbIgnore);
    QByteArray seen;  // what the switch after Save finds in force
    frmPreferences dialog([&] { seen += "I=" + ModSig.IntervalCode + ",W=" + ModSig.WriteType; });
    if (cell[3] != "~") dialog.cboProgramName->setCurrentText(cell[3]);
    if (cell[4] != "~") dialog.txtsiglocation->setText(cell[4]);
    if (cell[5] != "~") dialog.Slider1->setValue(cell[5].toInt());
    if (cell[6] != "~") dialog.chkMin->setChecked(cell[6] == "1");
    const Interval* in = intervalAt(dialog.Slider1->value());  // in force at once, saved or not
    EXPECT_EQ(std::tuple(ModSig.SwitchTicks, ModSig.SwitchMinutes, dialog.SliderCaption->text()),
              std::tuple(in->ticks, in->minutes, QString(in->caption)));
    (cell[7] == "S" ? dialog.cmdSave : dialog.cmdDone)->click();
    EXPECT_EQ(app.read("zq.ini").toStdString(), ini(cell[8]).toStdString());
    EXPECT_EQ(QString(seen), cell[7] == "S" ? cell[8].section(',', -2) : "");
    for (const test::ShownBox& box : boxes.shown)
      test::expectFailureBox(box, 380, "Invalid property value", "Form_Load");
  }
}

// @: sigs/{alpha, Beta, gamma, .hidden}, ~: home. SigLocation (-: none) | keys v^E\r space, c(lick
// last), open B P(arent) R(emoved), drives D X(gone) F(ile) | failure | after Save | A(bort), O(K).
TEST(ChooseDirTest, SaveTakesTheFolderOpenAtTheLastClick) {
  const char* table =
      "@|||old|O;@|D||old|O;@|Dc||@/Beta;@|v||@;@| ||@;@|v\r^||@/alpha;@|E\r ||@/.hidden;@|B||@;"
      "@|Bc||@/Beta;@|Pc||@/..;@|/c||/;@/./Beta/../|c||@;@|Xc|Drive1_Change|@|A;-|c||~;"
      "@|Fc|Drive1_Change|@|A;@|Rc|Dir1_Change|@|A;@/gone|c|Form_Load|~|A;|c||~;?|c||~";
  const Qt::Key keys[] = {Qt::Key_Down, Qt::Key_Up, Qt::Key_End, Qt::Key_Return, Qt::Key_Space};
  for (const QString& row : QString(table).split(';')) {
    SCOPED_TRACE(row.toStdString());
    test::TempAppDir app;
    const QString tree = QDir(app.path()).canonicalPath() + "/sigs";
    const QStringList cell = QString(row).replace('@', tree).split('|');
    for (const char* dir : {"alpha", "Beta", "gamma", ".hidden"}) QDir(tree).mkpath(dir);
    const QByteArray settings = ini(cell[0] == "-" ? "W=Text" : "L=" + cell[0]);
    app.write("zq.ini", settings);
    test::ScriptedMsgBox boxes;
    for (const QChar a : cell.value(4)) boxes.answers.push_back(a == 'A' ? vbAbort : vbOK);
    QLineEdit target(QStringLiteral("old"));
    frmChooseDir chooser(&target);
    chooser.show();
    FolderList& list = *chooser.Dir1;
    const QStringList paths = QString("%1/Beta|%1/gone|%2|Beta|/|%3|gamma")
                                  .arg(tree, app.file("zq.ini"), QFileInfo(tree).dir().dirName())
                                  .split('|');
    for (const char step : cell[1].toLatin1()) {
      const qsizetype at = QByteArray("v^E\r DXFB/PR").indexOf(step);  // a key, drive or entry
      if (at >= 0 && at < 5) QTest::keyClick(&list, keys[at]);
      if (at >= 5 && at < 8) chooser.Drive1->addItem(paths[at - 5], paths[at - 5]);
      if (at >= 5 && at < 8) chooser.Drive1->setCurrentIndex(chooser.Drive1->count() - 1);
      if (step == 'R') QDir(tree).rmdir("gamma");
      const auto* entry = step == 'c' ? list.item(list.count() - 1)
                                      : list.findItems(paths.value(at - 5), {}).value(0);
      const QPoint point = entry ? list.visualItemRect(entry).center() : QPoint();
      if (entry) QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, point);
      if (entry && step != 'c') QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, point);
    }
    chooser.cmdSave->click();
    const QString home = QDir(QDir::homePath()).canonicalPath();
    EXPECT_EQ(target.text(), QDir::cleanPath(QString(cell[3]).replace('~', home)));
    EXPECT_EQ(app.read("zq.ini"), settings);
    const test::ShownBox box = boxes.shown.empty() ? test::ShownBox{} : boxes.shown[0];
    if (!cell[2].isEmpty()) test::expectFailureBox(box, 76, "Path not found", cell[2]);
    EXPECT_TRUE(cell[3] != "old" ||
                box.title + ": " + box.prompt == "Choose Directory: Please Choose a Directory");
  }
}

// No caption cut, Tab goes round, names and descriptions unique, boxes named, buttons on `page`.
void expectUsable(QWidget* window, const QString& page) {
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window)) << window->objectName().toStdString();
  QSet<QWidget*> controls, reached;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    const bool caption = w->inherits("QAbstractButton") || w->inherits("QLabel");
    EXPECT_TRUE(!caption || w->width() >= w->sizeHint().width()) << w->objectName().toStdString();
    if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && w->isVisible() && w->isEnabled())
      controls << w;
  }
  for ([[maybe_unused]] QWidget* w : controls)  // as many Tabs as controls
    QTest::keyClick(*reached.insert(QApplication::focusWidget()), Qt::Key_Tab);
  EXPECT_EQ(reached, controls) << window->objectName().toStdString();
  QStringList said;  // names and descriptions: none empty, none twice
  for (QWidget* w : controls) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
    said << face->text(QAccessible::Name) << face->text(QAccessible::Description);
    SCOPED_TRACE((window->objectName() + " " + w->objectName()).toStdString());
    auto* button = qobject_cast<QAbstractButton*>(w);
    const bool named = button || w->inherits("QComboBox") || !w->accessibleName().isEmpty();
    EXPECT_TRUE(named || face->relations(QAccessible::Label).size() == 1);
    EXPECT_TRUE(!button || page.contains(withoutMnemonic(button->text())));
    EXPECT_TRUE(page.contains(w->toolTip()));
  }
  EXPECT_TRUE(!said.contains("") && QSet(said.begin(), said.end()).size() == said.size())
      << said.join(" | ").toStdString();
}

TEST(AccessibilityTest, EveryWindowIsUsableWithoutAMouseAndTheHelpPageNamesIt) {
  qunsetenv("HTML_TIDY");  // no personal configuration
  EXPECT_EQ(QProcess::execute("tidy", {"-q", "-e", "--doctype", "html5", QUILLMATE_FAQ_SOURCE}), 0);
  QFile beside(QUILLMATE_FAQ_BESIDE_EXE), file(QUILLMATE_FAQ_SOURCE);  // and the build's copy
  ASSERT_TRUE(beside.open(QIODevice::ReadOnly) && file.open(QIODevice::ReadOnly));
  EXPECT_EQ(beside.readAll(), file.peek(file.size()));
  const QString page = QTextDocumentFragment::fromHtml(file.readAll()).toPlainText();
  test::TempAppDir app;
  initprogram();
  frmMain mainWindow([] {});
  frmPreferences preferences;
  frmChooseDir chooser(nullptr);
  frmEntry head(kAddHeader, nullptr), sig(kAddSignature, nullptr), foot(kAddFooter, nullptr);
  frmEntry editor(kEditSignature, nullptr, true);
  QWidget* const windows[] = {&mainWindow, &preferences, &chooser, &head, &sig, &foot, &editor};
  for (QWidget* window : windows) expectUsable(window, page);
}

// Kind, icon, buttons, the default one, the one pressed (none: closed; Cancel: Escape), answer.
TEST(MessageBoxTest, WhatTheUserSeesAndWhatEachButtonAnswers) {
  const test::ScriptedMsgBox restores;  // the scripted boxes, afterwards
  installMessageBoxes();
  using B = QMessageBox;
  const auto ari = B::Abort | B::Retry | B::Ignore, yn = B::Yes | B::No;
  const std::tuple<MsgKind, B::Icon, B::StandardButtons, B::StandardButton, B::StandardButton, int>
      rows[] = {
          {MsgKind::Failure, B::Warning, ari, B::Abort, B::Retry, vbRetry},
          {MsgKind::Failure, B::Warning, ari, B::Abort, B::Ignore, vbIgnore},
          {MsgKind::Failure, B::Warning, ari, B::Abort, B::NoButton, vbAbort},
          {MsgKind::Question, B::Question, yn, B::Yes, B::Yes, vbYes},
          {MsgKind::Question, B::Question, yn, B::Yes, B::NoButton, vbNo},
          {MsgKind::Question, B::Question, yn, B::Yes, B::Cancel, vbNo},
          {MsgKind::Refusal, B::Critical, B::Ok, B::Ok, B::Ok, vbOK},
          {MsgKind::Hint, B::Information, B::Ok, B::Ok, B::NoButton, vbOK},
      };
  for (const auto& [kind, icon, buttons, first, press, code] : rows) {
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->text(), "Error 6: \nOverflow\n\t\toccurred at line 12\nin Quillmate: <b>");
      EXPECT_EQ(std::tuple(box->windowTitle(), box->icon(), box->standardButtons(),
                           box->standardButton(box->defaultButton()), box->textFormat()),
                std::tuple(QString("Title"), icon, buttons, first, Qt::PlainText));
      if (press == B::Cancel) QTest::keyClick(box, Qt::Key_Escape);
      if (press != B::Cancel) press ? box->button(press)->click() : box->reject();
    });
    EXPECT_EQ(MsgBox(kind, failureText(Err::Overflow, 12, "<b>"), "Title"), code) << press;
  }
}

}  // namespace
}  // namespace qm::ui
