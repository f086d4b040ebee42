// The boxes and dialogs as the user meets them: text box limits, Preferences, the chooser, the
// message boxes, keyboard and assistive technology, and the help page that describes them.
#include <gtest/gtest.h>

#include <QTest>
#include <QtWidgets>

#include "common/ansi.h"
#include "common/failure.h"
#include "startup/settings.h"
#include "startup/startup.h"
#include "stores/add_dialog.h"
#include "stores/frmEditSig.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"
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

// A box of the main window holds `start` with the cursor `at` (-1: the end); then `input` is
// set ('s'), typed ('t') or pasted ('p').
TEST(TextBoxesTest, LimitsAndLineBreaks) {
  const auto x = [](int n) { return QByteArray(n, 'x'); };
  const QByteArray bytes = "caf\xe9\xa0\x80 \x93q\x94\r\n\tend ";
  const std::tuple<const char*, QByteArray, int, char, QByteArray, QByteArray> rows[] = {
      {"txtSig", "", -1, 's', "Zo\xeb" + x(252), "Zo\xeb" + x(250)},  // a stored record
      {"txtSig", "", -1, 's', x(250) + "\r\nab", x(250) + "\r\na"},
      {"txtSig", "", -1, 's', x(252) + "\r\n", x(252)},
      {"txtSig", "", -1, 's', bytes, bytes},
      {"txtSig", x(241) + "a\nb\rc\r\nd", -1, 't', "\nefg", x(241) + "a\nb\rc\r\nd\r\nef"},
      {"txtSig", x(252), -1, 't', "\n", x(252)},
      {"txtSig", "ab" + x(251), 2, 't', "XY", "ab" + x(251)},
      {"txtSig", x(9), -1, 'p', "a\nb\rc", x(9) + "a\r\nb\r\nc"},
      {"txtSig", x(251), -1, 'p', "y\nz", x(251) + "y"},
      {"txtHeader", "", -1, 's', QByteArray(150, 'h'), QByteArray(100, 'h')},
      {"txtHeader", x(98), -1, 't', "abcd", x(98) + "ab"},
      {"txtHeader", x(98), -1, 'p', "y\nz", x(98) + "y"},
      {"txtHeader", "ab" + x(96), 2, 'p', "\r", "ab\r\n" + x(96)},
      {"txtHeader", "ab" + x(97), 2, 'p', "\n", "ab" + x(97)},
      {"txtFooter", "", -1, 's', x(101), x(100)},
      {"txtFooter", "", -1, 's', x(99) + "\r\n", x(99)},
      {"txtFooter", "", -1, 's', "  a\nb\rc\r\n ", "  a\nb\rc\r\n "},
      {"txtFooter", "ab", -1, 'p', "x\ny\r\nz\rw", "abx\r\ny\r\nz\r\nw"},
  };
  test::TempAppDir app;
  initprogram();
  frmMain window([] {});
  for (const auto& [name, start, at, verb, input, shown] : rows) {
    SCOPED_TRACE(testing::Message() << name << " " << verb << " " << input.left(12).data());
    auto* line = window.findChild<LineBox*>(name);
    auto* lines = window.findChild<MultiLineBox*>(name);
    AnsiTextBox* box = line ? static_cast<AnsiTextBox*>(line) : lines;
    QWidget* widget = line ? static_cast<QWidget*>(line) : lines;
    box->setAnsiText(start);
    if (line) line->setCursorPosition(at < 0 ? line->text().size() : at);
    if (lines) lines->moveCursor(at < 0 ? QTextCursor::End : QTextCursor::Start);
    for (int i = 0; lines && i < at; ++i) lines->moveCursor(QTextCursor::NextCharacter);
    if (verb == 's') box->setAnsiText(input);
    EXPECT_TRUE(verb != 's' || !line || line->cursorPosition() == 0);  // not at its padding
    for (const char c : verb == 't' ? input : QByteArray()) {
      c == '\n' ? QTest::keyClick(widget, Qt::Key_Return) : QTest::keyClick(widget, c);
    }
    if (verb == 'p' && line) line->insert(fromAnsi(input));
    if (verb == 'p' && lines) lines->insertPlainText(fromAnsi(input));
    EXPECT_EQ(box->ansiText(), shown);
  }
}

// Every box shown, as "title: prompt", line numbers masked.
QStringList shownBoxes(const test::ScriptedMsgBox& boxes) {
  QStringList shown;
  for (const test::ShownBox& box : boxes.shown()) shown << box.title + ": " + box.prompt;
  return shown.replaceInStrings(QRegularExpression("line \\d+\r\n"), "line N\r\n");
}

// zq.ini from "key=value|..." with P, L, I, W, M for the keys Preferences writes.
QByteArray ini(const QByteArray& lines) {
  const QList<QByteArray> keys{"Prog_Name", "SigLocation", "Interval", "Write_Type", "Start_Min"};
  QByteArray file = "[Settings]\r\n";
  for (const QByteArray& line : lines.split('|'))
    file += keys[QByteArray("PLIWM").indexOf(line[0])] + line.mid(1) + "\r\n";
  return file;
}

TEST(PreferencesTest, WhatLoadingReadsAndSaveWrites) {
  // Stored interval code, zq.ini, the number in Form_Load's box, the user's edits (P program,
  // L location, S slider, M start minimised), Save or Done, zq.ini afterwards.
  const std::tuple<QByteArray, QByteArray, int, QString, bool, QByteArray> rows[] = {
      {"0", "L=/sig|P=Eudora v4.x|M=1", 0, "", true, "L=/sig|P=Eudora v4.x|M=1|I=0|W=Text"},
      {"6", "P=Other Text|M=0", 0, "P=Outlook 98/2000|L=/home/zo\u00eb/\u043f|S=1|M=1", true,
       "P=Outlook 98/2000|M=1|L=/home/zo\xc3\xab/\xd0\xbf|I=1|W=Text & HTML"},
      {"4", "L=/keep|P=Other Text|M=1", 0, "P=Other HTML|L=|M=0", true,
       "L=/keep|P=Other HTML|M=0|I=4|W=HTML"},
      {"4", "L=/keep|P=Other Text|M=0", 0, "P=", true, "L=/keep|P=|M=0|I=4|W=Text"},
      {"4", "P=Mutt|M=0", 0, "", false, "P=Other Text|M=0"},
      {"4", "M=0", 0, "S=2", false, "M=0|P=Other Text"},
      {"7", "P=Other Text|M=0", 380, "", false, "P=Other Text|M=0"},
      {"-1", "P=Other Text|M=0", 380, "", false, "P=Other Text|M=0"},
      {"x", "P=Other Text|M=0", 13, "", false, "P=Other Text|M=0"},
      {"4", "P=Other Text|M=3", 380, "", true, "P=Other Text|M=0|L=?|I=4|W=Text"},
  };
  for (const auto& [code, before, failure, edits, save, after] : rows) {
    SCOPED_TRACE(before.toStdString() + " " + edits.toStdString());
    test::TempAppDir app;
    app.write("zq.ini", ini(before));
    ModSig.IniPath = app.file("zq.ini");
    ModSig.IntervalCode = code;
    test::ScriptedMsgBox boxes;
    if (failure) boxes.answer({vbIgnore});
    int switches = 0;
    frmPreferences dialog([&] { ++switches; });
    for (const QString& edit : edits.split('|', Qt::SkipEmptyParts)) {
      const QString value = edit.mid(2);
      if (edit[0] == 'P')
        dialog.cboProgramName->setCurrentIndex(dialog.cboProgramName->findText(value));
      if (edit[0] == 'L') dialog.txtsiglocation->setText(value);
      if (edit[0] == 'S') dialog.Slider1->setValue(value.toInt());
      if (edit[0] == 'M') dialog.chkMin->setChecked(value == "1");
    }
    // The interval is in force at once, saved or not.
    const Interval* interval = intervalAt(dialog.Slider1->value());
    EXPECT_EQ(ModSig.SwitchTicks, interval->ticks);
    EXPECT_EQ(ModSig.SwitchMinutes, interval->minutes);
    EXPECT_EQ(dialog.SliderCaption->text(), QString::fromLatin1(interval->caption));
    (save ? dialog.cmdSave : dialog.cmdDone)->click();
    EXPECT_EQ(app.read("zq.ini"), ini(after));
    EXPECT_EQ(switches, save ? 1 : 0);
    EXPECT_EQ(ModSig.IntervalCode, save ? QByteArray::number(dialog.Slider1->value()) : code);
    EXPECT_TRUE(!save || ini(after).contains("Write_Type=" + ModSig.WriteType + "\r\n"));
    EXPECT_EQ(boxes.shown().size(), failure ? 1u : 0u);
    const QString box = shownBoxes(boxes).join("");  // its number and procedure
    EXPECT_EQ(
        box.section(' ', 0, 3) + box.section("\r\n", -1),
        failure ? QString("Quillmate Error: Error %1:in Quillmate: Form_Load").arg(failure) : "");
  }
}

TEST(ChooseDirTest, SaveTakesTheFolderOpenAtTheLastClick) {
  // The stored SigLocation (null: none) below sigs/{alpha, Beta, gamma, .hidden}; the steps:
  // keys v ^ E \r and space, c a click on the last entry; B, P (parent), / and R (gone since)
  // opened by double-click; D, X (gone) and F (a file) picked as drives of their own; the
  // procedure a Path not found box names; the location box after Save ("old": no choice).
  const std::tuple<const char*, const char*, QString, QString> rows[] = {
      {"<tree>", "", "", "old"},
      {"<tree>", "D", "", "old"},
      {"<tree>", "Dc", "", "<tree>/Beta"},
      {"<tree>", "v", "", "<tree>"},
      {"<tree>", " ", "", "<tree>"},
      {"<tree>", "v\r^", "", "<tree>/alpha"},
      {"<tree>", "E\r ", "", "<tree>/.hidden"},
      {"<tree>", "B", "", "<tree>"},
      {"<tree>", "Bc", "", "<tree>/Beta"},
      {"<tree>", "Pc", "", "<tree>/.."},
      {"<tree>", "/c", "", "/"},
      {"<tree>/./Beta/../", "c", "", "<tree>"},
      {"<tree>", "Xc", "Drive1_Change", "<tree>"},
      {"<tree>", "Fc", "Drive1_Change", "<tree>"},
      {"<tree>", "Rc", "Dir1_Change", "<tree>"},
      {"<tree>/gone", "c", "Form_Load", "<home>"},
      {nullptr, "c", "", "<home>"},
      {"", "c", "", "<home>"},
      {"?", "c", "", "<home>"},
  };
  for (const auto& [stored, steps, failure, chosen] : rows) {
    SCOPED_TRACE(std::string(stored ? stored : "-") + " " + steps);
    test::TempAppDir app;
    const QString tree = QDir(app.path()).canonicalPath() + "/sigs";
    for (const char* dir : {"alpha", "Beta", "gamma", ".hidden"}) QDir(tree).mkpath(dir);
    const QByteArray line = stored ? "SigLocation=" + QByteArray(stored) : "Write_Type=Text";
    app.write("zq.ini", "[Settings]\r\n" + QByteArray(line).replace("<tree>", toAnsi(tree)));
    const QByteArray settings = app.read("zq.ini");
    ModSig.IniPath = app.file("zq.ini");
    test::ScriptedMsgBox boxes;
    if (!failure.isEmpty()) boxes.answer({vbAbort});
    if (chosen == "old") boxes.answer({vbOK});
    QLineEdit target(QStringLiteral("old"));
    frmChooseDir chooser(&target);
    chooser.show();
    FolderList& list = *chooser.Dir1;
    const auto click = [&](const QListWidgetItem* entry, bool twice) {
      list.scrollToItem(entry);
      const QPoint at = list.visualItemRect(entry).center();
      QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
      if (twice) QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    };
    const Qt::Key keys[] = {Qt::Key_Down, Qt::Key_Up, Qt::Key_End, Qt::Key_Return, Qt::Key_Space};
    const QMap<char, QString> drives{
        {'D', tree + "/Beta"}, {'X', tree + "/gone"}, {'F', app.file("zq.ini")}};
    const QMap<char, QString> opens{
        {'B', "Beta"}, {'P', QFileInfo(tree).dir().dirName()}, {'/', "/"}, {'R', "gamma"}};
    for (const char step : QByteArray(steps)) {
      if (QByteArray("v^E\r ").contains(step))
        QTest::keyClick(&list, keys[QByteArray("v^E\r ").indexOf(step)]);
      if (drives.contains(step)) chooser.Drive1->addItem(drives[step], drives[step]);
      if (drives.contains(step)) chooser.Drive1->setCurrentIndex(chooser.Drive1->count() - 1);
      if (step == 'R') QDir(tree).rmdir("gamma");
      if (opens.contains(step)) click(list.findItems(opens[step], Qt::MatchExactly).value(0), true);
      if (step == 'c') click(list.item(list.count() - 1), false);
    }
    chooser.cmdSave->click();
    const QString home = QDir(QDir::homePath()).canonicalPath();
    EXPECT_EQ(target.text(),
              QDir::cleanPath(QString(chosen).replace("<tree>", tree).replace("<home>", home)));
    EXPECT_EQ(app.read("zq.ini"), settings);
    QStringList expected;
    if (!failure.isEmpty())
      expected << "Quillmate Error: Error 76: \r\nPath not found\r\n\t\toccurred at line N\r\nin "
                  "Quillmate: " +
                      failure;
    if (chosen == "old") expected << "Choose Directory: Please Choose a Directory";
    EXPECT_EQ(shownBoxes(boxes), expected);
  }
}

const QString kPage = QString::fromUtf8(QUILLMATE_FAQ_SOURCE);

QByteArray readAll(const QString& path) {
  QFile in(path);
  EXPECT_TRUE(in.open(QIODevice::ReadOnly)) << path.toStdString();
  return in.readAll();
}

// Tab goes round every control from the first; each has a name and a description of its own; a
// box without a name of its own has a label; no caption is cut off; the help page names every
// caption and tool tip.
void expectUsable(QWidget* window, bool ownForm) {
  SCOPED_TRACE(window->metaObject()->className());
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QSet<QWidget*> controls, reached;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && w->isVisible() && w->isEnabled())
      controls << w;
  }
  QWidget* first = window->nextInFocusChain();
  while (!controls.contains(first) && first != window) first = first->nextInFocusChain();
  first->setFocus(Qt::TabFocusReason);
  for (qsizetype i = 0; i < controls.size(); ++i) {
    reached << QApplication::focusWidget();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(reached, controls);
  EXPECT_EQ(QApplication::focusWidget(), first);
  QSet<QString> names, descriptions;
  for (QWidget* w : controls) {
    const std::string object = w->objectName().toStdString();
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
    const QString name = face->text(QAccessible::Name);
    const QString description = face->text(QAccessible::Description);
    EXPECT_FALSE(name.isEmpty() || names.contains(name)) << object << name.toStdString();
    names << name;
    // A drop-down box reads as its entry.
    auto* button = qobject_cast<QAbstractButton*>(w);
    const bool ownName = button || qobject_cast<QComboBox*>(w) || !w->accessibleName().isEmpty();
    EXPECT_TRUE(ownName || face->relations(QAccessible::Label).size() == 1) << object;
    if (!ownForm) continue;
    EXPECT_FALSE(description.isEmpty() || descriptions.contains(description)) << object;
    descriptions << description;
  }
  const QString page = QTextDocumentFragment::fromHtml(readAll(kPage)).toPlainText().simplified();
  QStringList texts = {window->windowTitle().remove(QRegularExpression(" [\\d.]+$"))};  // version
  for (QWidget* w : window->findChildren<QWidget*>()) {
    auto* label = qobject_cast<QLabel*>(w);
    auto* button = qobject_cast<QAbstractButton*>(w);
    EXPECT_TRUE(!(label || button) || w->width() >= w->sizeHint().width())
        << w->objectName().toStdString();
    EXPECT_TRUE(!label || !label->buddy() || controls.contains(label->buddy()));
    if (button || (label && label->buddy()))
      texts << withoutMnemonic(button ? button->text() : label->text());
    texts << w->toolTip();
  }
  for (const QString& text : texts) {
    const QRegularExpression whole("(?<!\\w)" + QRegularExpression::escape(text) + "(?!\\w)");
    EXPECT_TRUE(!ownForm || text.isEmpty() || page.contains(whole)) << text.toStdString();
  }
  EXPECT_TRUE(!ownForm || !window->accessibleDescription().isEmpty());
}

TEST(AccessibilityTest, EveryWindowIsUsableWithoutAMouseAndOnTheHelpPage) {
  test::TempAppDir app;
  initprogram();
  QLineEdit target;
  const std::function<QWidget*()> windows[] = {
      [] { return new frmMain([] {}); },
      [] { return new frmPreferences; },
      [&] { return new frmChooseDir(&target); },
      [] { return new frmNewEntry(kAddHeader, nullptr); },
      [] { return new frmNewEntry(kAddSignature, nullptr); },
      [] { return new frmNewEntry(kAddFooter, nullptr); },
      [] { return new frmEditSig(true); },
  };
  for (const auto& open : windows) {
    const std::unique_ptr<QWidget> window(open());
    window->show();
    expectUsable(window.get(), true);
  }
}

TEST(HelpPageTest, TidyFindsNothingAndTheCopyBesideTheProgramIsThePage) {
  qunsetenv("HTML_TIDY");  // no personal configuration
  EXPECT_EQ(QProcess::execute("tidy", {"-q", "-e", "--doctype", "html5", kPage}), 0);
  EXPECT_EQ(readAll(QString::fromUtf8(QUILLMATE_FAQ_BESIDE_EXE)), readAll(kPage));
}

TEST(MessageBoxTest, WhatTheUserSeesAndWhatEachButtonAnswers) {
  const MsgBoxShow previous = installMsgBox({});
  installMessageBoxes();
  using B = QMessageBox;
  const auto ari = B::Abort | B::Retry | B::Ignore;
  // Kind, icon, buttons, the default one, the one pressed (NoButton: the box is closed), answer.
  const std::tuple<MsgKind, B::Icon, B::StandardButtons, B::StandardButton, B::StandardButton, int>
      rows[] = {
          {MsgKind::Failure, B::Warning, ari, B::Abort, B::Retry, vbRetry},
          {MsgKind::Failure, B::Warning, ari, B::Abort, B::Ignore, vbIgnore},
          {MsgKind::Failure, B::Warning, ari, B::Abort, B::NoButton, vbAbort},
          {MsgKind::Question, B::Question, B::Yes | B::No, B::Yes, B::Yes, vbYes},
          {MsgKind::Question, B::Question, B::Yes | B::No, B::Yes, B::NoButton, vbNo},
          {MsgKind::Refusal, B::Critical, B::Ok, B::Ok, B::Ok, vbOK},
          {MsgKind::Hint, B::Information, B::Ok, B::Ok, B::NoButton, vbOK},
      };
  for (const auto& [kind, icon, buttons, first, press, code] : rows) {
    SCOPED_TRACE(testing::Message() << int(kind) << " " << press);
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->text(),
                "Error 76: \nPath not found\n\t\toccurred at line 12\nin Quillmate: "
                "<b>Form_Load</b>");
      EXPECT_EQ(box->textFormat(), Qt::PlainText);
      EXPECT_EQ(box->windowTitle(), QStringLiteral("Title"));
      EXPECT_EQ(std::tuple(box->icon(), box->standardButtons(),
                           box->standardButton(box->defaultButton())),
                std::tuple(icon, buttons, first));
      if (press == B::Retry) expectUsable(box, false);
      press ? box->button(press)->click() : box->reject();
    });
    const QString text = failureText(Err::PathNotFound, 12, "<b>Form_Load</b>");
    EXPECT_EQ(MsgBox(kind, text, QStringLiteral("Title")), code);
  }
  installMsgBox(previous);
}

}  // namespace
}  // namespace qm::ui
