#include <QTest>
#include <QtWidgets>

#include "common/failure.h"
#include "startup/startup.h"
#include "support/support.h"
#include "ui/folder_lists.h"
#include "ui/frmChooseDir.h"
#include "ui/frmEntry.h"
#include "ui/frmMain.h"
#include "ui/frmPreferences.h"
#include "ui/interval_slider.h"
#include "ui/message_box.h"
#include "ui/text_boxes.h"

namespace qm::ui {

// `at` -1: the end. Set puts the cursor at the start: a record's filling spaces hide no text.
TEST(TextBoxesTest, HoldAtMostTheirLimitAndMakeLineBreaksCrLf) {
  enum Entry { Set, Typed, Pasted };
  const auto x = [](int n) { return QByteArray(n, 'x'); };
  const std::tuple<const char*, QByteArray, int, Entry, QByteArray, QByteArray> cases[] = {
      {"txtSig", "", -1, Set, x(250) + "\r\nab", x(250) + "\r\na"},
      {"txtSig", "", -1, Set, "\xe9\xa0\x80\x93q\x94\r\n\t ", "\xe9\xa0\x80\x93q\x94\r\n\t "},
      {"txtSig", x(241) + "a\nb\rc\r\nd", -1, Typed, "\nefg", x(241) + "a\nb\rc\r\nd\r\nef"},
      {"txtSig", "ab" + x(251), 2, Typed, "XY", "ab" + x(251)},
      {"txtSig", x(9), -1, Pasted, "a\nb\rc", x(9) + "a\r\nb\r\nc"},
      {"txtSig", x(251), -1, Pasted, "y\nz", x(251) + "y"},
      {"txtHeader", "", -1, Set, QByteArray(150, 'h'), QByteArray(100, 'h')},
      {"txtHeader", "ab" + x(96), 2, Pasted, "\r", "ab\r\n" + x(96)},
      {"txtHeader", "ab" + x(97), 2, Pasted, "\n", "ab" + x(97)},
      {"txtFooter", "", -1, Set, x(99) + "\r\n", x(99)},
      {"txtFooter", "", -1, Set, "  a\nb\rc\r\n ", "  a\nb\rc\r\n "},
      {"txtFooter", "ab", -1, Pasted, "x\ny\r\nz\rw", "abx\r\ny\r\nz\r\nw"},
      // A joiner or non-joiner is "?" like any character outside Windows-1252, even before a break.
      {"txtSig", "ab", -1, Pasted, "x\xe2\x80\x8d\ny\xe2\x80\x8cz\xe2\x80\x8c", "abx?\r\ny?z?"}};
  test::TempAppDir app;
  initprogram();
  frmMain window([] {});
  for (const auto& [name, before, at, entry, input, after] : cases) {
    auto* widget = window.findChild<QWidget*>(name);
    auto* box = dynamic_cast<AnsiTextBox*>(widget);
    box->setAnsiText(before);
    QTest::keySequence(widget, QKeySequence(at < 0 ? "Ctrl+End, End" : "Ctrl+Home, Home"));
    for (int i = 0; i < at; ++i) QTest::keyClick(widget, Qt::Key_Right);
    if (entry == Set) box->setAnsiText(input);
    const int cursor = widget->inputMethodQuery(Qt::ImCursorPosition).toInt();
    if (entry == Typed) QTest::keyClicks(widget, QString(input).replace('\n', '\r'));
    if (entry == Pasted) QApplication::clipboard()->setText(QString::fromUtf8(input));
    if (entry == Pasted) QTest::keyClick(widget, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(std::pair(box->ansiText(), entry == Set ? cursor : 0), std::pair(after, 0)) << name;
  }
}

const auto ini = [](const QByteArrayList& l) { return "[Settings]\r\n" + l.join("\r\n") + "\r\n"; };

// The slider's interval is in force at once; keys keep their lines; an empty folder box keeps it.
TEST(PreferencesTest, SaveWritesWhatTheDialogShows) {
  test::TempAppDir app;
  app.write("zq.ini", ini({"SigLocation=/keep", "Prog_Name=Eudora v4.x", "Start_Min=1"}));
  ModSig.IntervalCode = "4";
  frmPreferences dialog;
  dialog.txtsiglocation->clear(), QTest::keyClick(dialog.Slider1, Qt::Key_Left);
  EXPECT_EQ(std::tuple(dialog.SliderCaption->text(), ModSig.SwitchTicks, ModSig.SwitchMinutes),
            std::tuple("30 Minutes", 3600, 30));
  dialog.chkMin->click(), dialog.cmdSave->click();
  EXPECT_EQ(app.read("zq.ini"), ini({"SigLocation=/keep", "Prog_Name=Eudora v4.x", "Start_Min=0",
                                     "Interval=3", "Write_Type=Text"}));
}

// A value out of range is reported, the control keeping its own; Done adds only the program.
TEST(PreferencesTest, OpeningAppliesTheIntervalAndReportsValuesOutOfRange) {
  const std::tuple<QByteArray, QByteArray, std::vector<int>, QString> cases[] = {
      {"0", "1", {}, "One Minute"},
      {"7", "0", {vbRetry, vbIgnore}, "Never"},
      {"-1", "1", {vbIgnore}, "Never"},
      {"", "3", {vbIgnore}, "Never"}};
  for (const auto& [code, startMin, answers, caption] : cases) {
    test::TempAppDir app;
    app.write("zq.ini", ini({"Start_Min=" + startMin})), ModSig.IntervalCode = code;
    test::ScriptedMsgBox boxes(answers);
    frmPreferences dialog;
    EXPECT_EQ(std::pair(dialog.SliderCaption->text(), dialog.txtsiglocation->text()),
              std::pair(caption, QString("?")));
    dialog.cmdDone->click();
    EXPECT_EQ(app.read("zq.ini"), ini({"Start_Min=" + startMin, "Prog_Name=Other Text"}));
    for (const test::ShownBox& box : boxes.shown)
      test::expectFailureBox(box, 380, "Invalid property value", "Form_Load");
  }
}

TEST(PreferencesTest, SavesSwitchWritesOnlyWithAnIntervalAndARandomList) {
  const std::tuple<int, bool, QString, QStringList> cases[] = {
      {6, true, "Outlook 98/2000", {}},
      {0, false, "Outlook 98/2000", {}},
      {0, true, "Outlook 98/2000", {"ZQ.HTML", "ZQ.rtf", "ZQ.txt"}},
      {0, true, "Other HTML", {"ZQ.HTML"}},
      {0, true, "Eudora v4.x", {"ZQ.txt"}}};
  for (const auto& [interval, signaturesRandom, program, written] : cases) {
    SCOPED_TRACE(testing::Message() << program.toStdString() << " at " << interval);
    test::TempAppDir app;
    app.write("Sig.qmd", test::records(255, {"S"})), QDir(app.path()).mkdir("zo\u00eb");
    initprogram();
    frmMain window([] {});
    window.Check2->setChecked(signaturesRandom);
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<frmPreferences*>(QApplication::activeModalWidget());
      dialog->cboProgramName->setCurrentText(program);
      dialog->txtsiglocation->setText(app.file("zo\u00eb")), dialog->Slider1->setValue(interval);
      dialog->cmdSave->click(), dialog->cmdDone->click();
    });
    window.findChild<QPushButton*>("cmdPref")->click();
    EXPECT_EQ(QDir(app.file("zo\u00eb")).entryList(QDir::Files), written);
    EXPECT_EQ(app.read("zo\u00eb/ZQ.txt"), written.contains("ZQ.txt") ? "\r\n\r\nS\r\n\r\n" : "");
  }
}

TEST(ChooseDirTest, SaveTakesTheFolderOpenAtTheLastClick) {
  // The user's acts in the chooser, in this order (left empty: not done); paths relative to sigs/.
  struct Chooser {
    QByteArrayList settings{};       // zq.ini; none: SigLocation sigs/
    QString drive{};                 // chosen in the drive list
    std::vector<Qt::Key> keys{};     // pressed in the folder list
    QString remove{}, open{};        // gone behind the list's back; clicked, then double-clicked
    bool click = false;              // on the folder list's last entry
    std::optional<QString> saved{};  // in the Preferences folder box; none: a hint asks for one
    const char* failure = nullptr;   // the procedure a "Path not found" box names
  };
  test::TempAppDir app;
  const QDir sigs(QDir(app.path()).canonicalPath() + "/sigs");
  for (const char* dir : {"alpha", "Beta", "gamma", ".hidden"}) sigs.mkpath(dir);
  const auto path = [&](const QString& to) { return QDir::cleanPath(sigs.absoluteFilePath(to)); };
  const QByteArray stored = "SigLocation=" + sigs.path().toUtf8();
  const QString home = QDir(QDir::homePath()).canonicalPath();
  const Chooser cases[] = {
      {.settings = {stored + "/./Beta/../"}, .click = true, .saved = "."},
      {.settings = {"Write_Type=Text"}, .click = true, .saved = home},
      {.settings = {"SigLocation="}, .click = true, .saved = home},
      {.settings = {"SigLocation=?"}, .click = true, .saved = home},
      {.settings = {stored + "/gone"}, .click = true, .saved = home, .failure = "Form_Load"},
      {},                 // nothing clicked
      {.drive = "Beta"},  // nor does a drive chosen count as a click
      {.drive = "Beta", .click = true, .saved = "Beta"},
      {.keys = {Qt::Key_Down, Qt::Key_Return, Qt::Key_Up}, .saved = "alpha"},
      {.keys = {Qt::Key_End, Qt::Key_Return, Qt::Key_Space}, .saved = ".hidden"},
      {.open = "Beta", .saved = "."},  // the first click of the two, before the folder opens
      {.open = "Beta", .click = true, .saved = "Beta"},
      {.open = "..", .click = true, .saved = ".."},
      {.open = "/", .click = true, .saved = "/"},
      {.drive = "gone", .click = true, .saved = ".", .failure = "Drive1_Change"},
      {.remove = "gamma", .open = "gamma", .click = true, .saved = ".", .failure = "Dir1_Change"}};
  for (const Chooser& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const QByteArray settings = ini(c.settings.isEmpty() ? QByteArrayList{stored} : c.settings);
    app.write("zq.ini", settings);
    test::ScriptedMsgBox boxes(std::vector<int>(c.failure || !c.saved, c.failure ? vbAbort : vbOK));
    QLineEdit target(QStringLiteral("old"));
    frmChooseDir chooser(&target);
    chooser.show();
    FolderList& list = *chooser.Dir1;
    if (!c.drive.isEmpty()) chooser.Drive1->addItem(c.drive, path(c.drive));
    if (!c.drive.isEmpty()) chooser.Drive1->setCurrentIndex(chooser.Drive1->count() - 1);
    for (const Qt::Key key : c.keys) QTest::keyClick(&list, key);
    if (!c.remove.isEmpty()) sigs.rmdir(c.remove);
    const auto at = [&](int row) { return list.visualItemRect(list.item(row)).center(); };
    for (int i = 0; i < list.count() && !c.open.isEmpty(); ++i) {
      if (list.item(i)->data(FolderList::PathRole) != path(c.open)) continue;
      QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at(i));
      QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at(i));
      break;
    }
    if (c.click) QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at(list.count() - 1));
    chooser.cmdSave->click();
    EXPECT_EQ(target.text(), c.saved ? path(*c.saved) : "old");
    EXPECT_EQ(app.read("zq.ini"), settings);
    const test::ShownBox box = boxes.shown.empty() ? test::ShownBox{} : boxes.shown[0];
    if (c.failure) test::expectFailureBox(box, 76, "Path not found", c.failure);
    EXPECT_TRUE(c.saved || (box.kind == MsgKind::Hint && box.title == "Choose Directory" &&
                            box.prompt == "Please Choose a Directory"));
  }
}

// No caption cut, Tab goes round, names and descriptions unique, boxes named, buttons on the page.
TEST(AccessibilityTest, EveryWindowIsUsableWithoutAMouseAndTheValidHelpPageNamesIt) {
  qunsetenv("HTML_TIDY");  // no personal configuration
  EXPECT_EQ(QProcess::execute("tidy", {"-q", "-e", "--doctype", "html5", QUILLMATE_FAQ_SOURCE}), 0);
  QFile file(QUILLMATE_FAQ_SOURCE);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  const QString page = QTextDocumentFragment::fromHtml(file.readAll()).toPlainText();
  const QRegularExpression mnemonic("(?s)&(.)");  // a caption as read: "&x" as "x", "&&" as "&"
  test::TempAppDir app;
  initprogram();
  frmMain mainWindow([] {});
  frmPreferences preferences;
  frmChooseDir chooser(nullptr);
  frmEntry head(kAddHeader, nullptr), sig(kAddSignature, nullptr), foot(kAddFooter, nullptr);
  frmEntry editor(kEditSignature, nullptr, true);
  QWidget* const windows[] = {&mainWindow, &preferences, &chooser, &head, &sig, &foot, &editor};
  for (QWidget* window : windows) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window)) << window->objectName().toStdString();
    QSet<QWidget*> controls, reached;
    QStringList said;  // names and descriptions: none empty, none twice
    for (QWidget* w : window->findChildren<QWidget*>()) {
      SCOPED_TRACE((window->objectName() + ' ' + w->objectName()).toStdString());
      auto* button = qobject_cast<QAbstractButton*>(w);
      EXPECT_TRUE(!(button || w->inherits("QLabel")) || w->width() >= w->sizeHint().width());
      if (w->focusPolicy() & Qt::TabFocus && !w->focusProxy() && w->isVisible() && w->isEnabled()) {
        controls << w;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
        said << face->text(QAccessible::Name) << face->text(QAccessible::Description);
        const bool named = button || w->inherits("QComboBox") || !w->accessibleName().isEmpty();
        EXPECT_TRUE(named || face->relations(QAccessible::Label).size() == 1);
        EXPECT_TRUE(page.contains(w->toolTip()) &&
                    (!button || page.contains(button->text().replace(mnemonic, "\\1"))));
      }
    }
    for ([[maybe_unused]] QWidget* w : controls)  // as many Tabs as controls
      QTest::keyClick(*reached.insert(QApplication::focusWidget()), Qt::Key_Tab);
    EXPECT_EQ(reached, controls) << window->objectName().toStdString();
    EXPECT_TRUE(!said.contains("") && QSet(said.begin(), said.end()).size() == said.size())
        << said.join(" | ").toStdString();
  }
}

TEST(MessageBoxTest, ShowsItsKindAndAnswersTheButtonPressed) {
  const test::ScriptedMsgBox restores;  // the scripted boxes, afterwards
  installMessageBoxes();
  using B = QMessageBox;
  const auto ari = B::Abort | B::Retry | B::Ignore, yn = B::Yes | B::No;
  const std::tuple<MsgKind, B::Icon, B::StandardButtons, B::StandardButton, B::StandardButton, int>
      cases[] = {{MsgKind::Failure, B::Warning, ari, B::Abort, B::Retry, vbRetry},
                 {MsgKind::Failure, B::Warning, ari, B::Abort, B::Ignore, vbIgnore},
                 {MsgKind::Failure, B::Warning, ari, B::Abort, B::NoButton, vbAbort},
                 {MsgKind::Question, B::Question, yn, B::Yes, B::Yes, vbYes},
                 {MsgKind::Question, B::Question, yn, B::Yes, B::NoButton, vbNo},
                 {MsgKind::Question, B::Question, yn, B::Yes, B::Cancel, vbNo},
                 {MsgKind::Refusal, B::Critical, B::Ok, B::Ok, B::Ok, vbOK},
                 {MsgKind::Hint, B::Information, B::Ok, B::Ok, B::NoButton, vbOK}};
  for (const auto& [kind, icon, buttons, first, press, code] : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << int(kind) << ", button " << press);
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
    EXPECT_EQ(MsgBox(kind, failureText(Err::Overflow, 12, "<b>"), "Title"), code);
  }
}

}  // namespace qm::ui
