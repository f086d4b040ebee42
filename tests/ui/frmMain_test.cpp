// The main window: what it shows and stores, its lists and their dialogs, and its switches.
#include "ui/frmMain.h"

#include <QTest>
#include <QtWidgets>

#include "startup/startup.h"
#include "stores/entry_dialog.h"
#include "support/support.h"
#include "ui/text_boxes.h"

namespace qm::ui {
namespace {

const auto sigs = [](std::initializer_list<QByteArray> texts) { return test::records(255, texts); };
const auto heads = [](std::initializer_list<QByteArray> texts) {
  return test::records(100, texts);
};

// A main window loaded over its stores, writing "Text" into sig/ every minute (120 ticks of
// half a second); each draw takes the last record.
struct Window {
  explicit Window(const QByteArray& settings = {}, const QByteArray& head = heads({"H1", " H2 "}),
                  const QByteArray& sig = sigs({" A", "B", "C"}),
                  const QByteArray& foot = heads({"F1"})) {
    QDir(app.path()).mkdir("sig");
    app.write("zq.ini",
              "[Settings]\r\nSigLocation=" + app.file("sig").toUtf8() + "\r\n" + settings);
    app.write("Head.qmd", head);
    app.write("Sig.qmd", sig);
    app.write("Foot.qmd", foot);
    initprogram();
    ModSig.WriteType = "Text";
    ModSig.SwitchTicks = 120;
    window = std::make_unique<frmMain>([] {});
    window->drawRecordNumber = [this](int count) { return drawnFrom.push_back(count), count; };
  }
  AnsiTextBox& box(char list) const {  // 'H'eader, 'S'ignature or 'F'ooter
    if (list == 'H') return *window->txtHeader;
    return list == 'F' ? static_cast<AnsiTextBox&>(*window->txtFooter) : *window->txtSig;
  }
  void click(const char* name) { window->findChild<QPushButton*>(name)->click(); }
  void tick(int times) {
    for (int i = 0; i < times; ++i) window->Timer1_Timer();
  }
  test::TempAppDir app;
  std::vector<int> drawnFrom;
  std::unique_ptr<frmMain> window;
};

TEST(FrmMainTest, LoadsTheEntriesAndTheRandomizeFlags) {
  test::ScriptedMsgBox boxes{vbIgnore, vbIgnore};
  Window w("HeadRandom=abc\r\nSigRandom=2\r\nFootRandom= 1 \r\n");
  test::expectFailureBox(boxes.shown.at(0), 13, "Type mismatch", "Form_Load");
  test::expectFailureBox(boxes.shown.at(1), 380, "Invalid property value", "Form_Load");
  EXPECT_FALSE(w.window->Check1->isChecked() || w.window->Check2->isChecked());
  EXPECT_TRUE(w.app.read("zq.ini").contains("\r\nFootRandom=1\r\n"));  // stored as it loads
  EXPECT_EQ(w.box('H').ansiText(), "H2");                    // the last header and footer, trimmed
  EXPECT_EQ(w.box('S').ansiText(), sigs({" A"}).left(253));  // the first signature as stored
  EXPECT_EQ(w.box('F').ansiText(), "F1");
}

TEST(FrmMainTest, TicksSwitchEveryIntervalAndWriteTheJoinedEntries) {
  Window w("", heads({"H1", "H2", "H3", " H4 "}), sigs({"A", "B", "C"}), heads({"F1"}));
  for (QCheckBox* box : {w.window->Check1, w.window->Check2, w.window->Check3}) box->click();
  EXPECT_TRUE(w.app.read("zq.ini").contains("HeadRandom=1\r\nFootRandom=1\r\nSigRandom=1\r\n"));
  w.window->TickCount = 0;
  w.tick(119);
  EXPECT_EQ(w.app.read("sig/ZQ.txt"), "");
  w.tick(1);
  EXPECT_EQ(w.app.read("sig/ZQ.txt"), "\r\nH4\r\nC\r\nF1\r\n");
  EXPECT_EQ(w.drawnFrom, std::vector<int>({3, 4}));  // signatures, then headers; one footer
  EXPECT_EQ(w.window->TickCount, 0);
  EXPECT_FALSE(w.window->lblNext->text().isEmpty());
  w.window->Check2->click();
  EXPECT_TRUE(w.app.read("zq.ini").contains("SigRandom=0\r\n"));
  w.box('S').setAnsiText("Now\r\nhere ");
  w.window->TickCount = 42;
  w.click("Command1");  // Write Sig Now: the shown entries, the countdown left alone
  EXPECT_EQ(w.app.read("sig/ZQ.txt"), "\r\nH4\r\nNow\r\nhere\r\nF1\r\n");
  EXPECT_EQ(w.window->TickCount, 42);
  ModSig.SwitchTicks = 0;  // never
  w.tick(1000);
  EXPECT_EQ(w.window->TickCount, 1042);
  EXPECT_EQ(w.drawnFrom.size(), 2u);
  QDir(w.app.file("sig")).removeRecursively();
  ModSig.SwitchTicks = 120;
  test::ScriptedMsgBox boxes{vbAbort};
  boxes.whileShown = [&] { w.tick(500); };  // a box waiting for its answer holds the switches
  w.tick(1);
  test::expectFailureBox(boxes.shown.at(0), 76, "Path not found", "OutputSig");
  EXPECT_EQ(w.window->TickCount, 0);
}

// Hidden, the window sleeps until the next switch is due, counting whole ticks slept; the rest
// of a tick carries over.
TEST(FrmMainTest, HiddenTheWindowSleepsUntilTheSwitchIsDue) {
  Window w;
  w.window->show();
  qint64 now = 0;
  w.window->monotonicMs = [&] { return now; };
  w.window->TickCount = 100;
  w.window->hide();
  QTimer* due = nullptr;
  for (QTimer* timer : w.window->findChildren<QTimer*>()) due = timer->isActive() ? timer : due;
  ASSERT_NE(due, nullptr);
  EXPECT_EQ(due->interval(), 20 * 500);
  now = 1250;  // woken early: two ticks counted, a quarter of a second kept
  due->start(0);
  QCoreApplication::processEvents();
  EXPECT_EQ(w.window->TickCount, 102);
  EXPECT_EQ(due->interval(), 18 * 500 - 250);
  now += 18 * 500 - 250;
  w.window->show();
  EXPECT_EQ(w.window->TickCount, 120);
  EXPECT_TRUE(w.window->Timer1->isActive() && !due->isActive());
}

TEST(FrmMainTest, BrowseAndDelete) {
  const QByteArray abbc = sigs({"A", "B", "B", "C"}), abc = heads({"A", " B ", "C"});
  const QByteArray y255(255, 'y'), ayc = sigs({"A", y255, "C"});  // y255 shows cut
  const std::tuple<char, QByteArray, QByteArray, const char*, QByteArray, QByteArray> cases[] = {
      // list, store, shown, button, box after, store after
      {'S', abbc, "B", "cmdNext", sigs({"B"}).left(253), abbc},
      {'S', abbc, " B ", "cmdPrev", sigs({"A"}).left(253), abbc},
      {'S', abbc, "C", "cmdNext", "C", abbc},
      {'S', abbc, "A", "cmdPrev", "A", abbc},
      {'S', abbc, "b", "cmdNext", "b", abbc},
      {'H', abc, "B", "cmdNextH", heads({"C"}), abc},
      {'S', sigs({"A", "B", "C"}), "A", "cmdDeleteSig", sigs({"B"}).left(253), sigs({"B", "C"})},
      {'S', abbc, "B ", "cmdDeleteSig", sigs({"A"}).left(253), sigs({"A", "C"})},
      {'H', abc, "C", "cmdDeleteHeader", "B", heads({"A", " B "})},
      {'F', heads({"A"}), "X", "cmdDeleteFooter", "A", heads({"A"})},
      {'F', heads({"A"}), "A", "cmdDeleteFooter", "", ""},
      {'S', sigs({"B", "B"}), "B", "cmdDeleteSig", "B", ""},  // the text stays
      {'S', ayc, y255.left(253), "cmdNext", sigs({"C"}).left(253), ayc},
      {'S', ayc, y255.left(253), "cmdDeleteSig", sigs({"A"}).left(253), sigs({"A", "C"})},
  };
  for (const auto& [list, before, shown, button, boxAfter, storeAfter] : cases) {
    Window w("", list == 'H' ? before : "", list == 'S' ? before : "", list == 'F' ? before : "");
    w.box(list).setAnsiText(shown);
    w.click(button);
    EXPECT_EQ(w.box(list).ansiText(), boxAfter) << button << " on " << shown.data();
    EXPECT_EQ(w.app.read(list == 'H'   ? "Head.qmd"
                         : list == 'S' ? "Sig.qmd"
                                       : "Foot.qmd"),
              storeAfter);
  }
  Window w;  // a removal given up, and a list too long to count, change nothing
  w.box('S').setAnsiText("B");
  platform::setFileHookForTest([](auto call, const QString& path, auto...) {
    return call == platform::FileCall::Write && !path.endsWith("/Sig.qmd") ? ENOSPC : 0;
  });
  test::ScriptedMsgBox boxes{vbAbort, vbAbort, vbIgnore};
  w.click("cmdDeleteSig");
  platform::setFileHookForTest({});
  EXPECT_EQ(w.app.read("Sig.qmd"), sigs({" A", "B", "C"}));
  EXPECT_EQ(w.box('S').ansiText(), "B");  // Delete again tries the same entry
  w.app.write("Sig.qmd", QByteArray(qsizetype{32768} * 255, ' '));
  w.click("cmdNext");
  test::expectFailureBox(boxes.shown.at(1), 6, "Overflow", "cmdNext_Click");
  int calls = 0;  // after the box, ignored: not a file call more
  boxes.whileShown = [&] { calls = 0; };
  platform::setFileHookForTest([&](auto&&...) { return ++calls, 0; });
  w.click("cmdDeleteSig");
  platform::setFileHookForTest({});
  test::expectFailureBox(boxes.shown.at(2), 6, "Overflow", "cmdDeleteSig_Click");
  EXPECT_EQ(calls, 0);
}

void type(frmEntry& dialog, const QByteArray& keys) {
  dynamic_cast<AnsiTextBox&>(*dialog.textBox).setAnsiText({});
  for (const char key : keys) {
    if (key == '\n') QTest::keyClick(dialog.textBox, Qt::Key_Return);
    if (key != '\n') QTest::keyClicks(dialog.textBox, QString(QLatin1Char(key)));
  }
}

// In the editor "Edit Sig" opens, the text typed is saved, or Cancel (nullptr) or the window's
// frame ("frame") ends it; "lost" is saved after the held signature left the file meanwhile,
// "again" after a Save whose rebuild was given up (Ignore).
TEST(FrmMainTest, EditingASignature) {
  const std::tuple<QByteArray, const char*, const char*, QByteArray> cases[] = {
      {sigs({"A", "B", "C"}), "B", "X\ny", sigs({"A", "C", "X\r\ny"})},
      {sigs({"A", "B", "C"}), "B", nullptr, sigs({"A", "C", "B"})},
      {sigs({"A", "B", "C"}), "B", "frame", sigs({"A", "C", "B"})},
      {sigs({"B", "A", "B"}), "B", nullptr, sigs({"A", "B"})},
      {sigs({"B"}), "B", "X", sigs({"X"})},
      {sigs({"A", "C"}), "T", "X", sigs({"A", "C", "X"})},
      {sigs({"A", "C"}), "T", nullptr, sigs({"A", "C"})},
      {sigs({"A", "B", "C"}), "B", "lost", sigs({"A", "C", "lost"})},
      {sigs({"A", "B", "C"}), "B", "again", sigs({"A", "C", "again"})},
      {sigs({"A", "  Two  "}), "Two", "", sigs({"A", "Two"})},  // refused, then cancelled
  };
  for (const auto& [before, shown, typed, after] : cases) {
    Window w("", "", before);
    w.box('S').setAnsiText(shown);
    QTimer::singleShot(0, [&, shown = shown, typed = QByteArray(typed)] {
      auto& editor = *qobject_cast<frmEntry*>(QApplication::activeModalWidget());
      EXPECT_EQ(editor.ansiText(), QByteArray(shown).trimmed());
      EXPECT_TRUE(before.size() > 255 || w.box('S').ansiText().isEmpty());  // out of the list
      test::ScriptedMsgBox boxes;
      if (typed == "frame") editor.close();
      if (!typed.isNull() && typed != "frame") {
        if (typed.isEmpty()) boxes.answers = {vbOK};
        type(editor, typed);
        if (typed == "lost") w.app.write("Sig.qmd", sigs({"A", "C"}));
        if (typed == "again") {  // the rebuild's writes fail
          boxes.answers = {vbIgnore};
          platform::setFileHookForTest(
              [](auto call, auto&&...) { return call == platform::FileCall::Write ? ENOSPC : 0; });
          editor.cmdSave->click();
          platform::setFileHookForTest({});
          EXPECT_TRUE(editor.cmdSave->isEnabled() && editor.cmdCancel->text() == "&Cancel");
        }
        editor.cmdSave->click();
        EXPECT_EQ(editor.cmdSave->isEnabled(), typed.isEmpty());
        EXPECT_TRUE(!typed.isEmpty() || boxes.shown.at(0).prompt == "You must enter a signature");
      }
      editor.cmdCancel->click();
    });
    w.click("cmdEditSig");
    EXPECT_EQ(w.app.read("Sig.qmd"), after) << shown << " " << (typed ? typed : "cancel");
  }
}

// Each row saves its texts one after another: Yes to "add another" but after the last.
TEST(FrmMainTest, AddDialogsStoreWhatWasTypedWithinTheLimit) {
  const QByteArray x250(250, 'x');
  const std::tuple<const EntryDialogKind&, QByteArray, std::vector<QByteArray>, QByteArray>
      cases[] = {
          {kAddSignature, "", {"first", " second\n"}, sigs({"first", " second\r\n"})},
          {kAddHeader, "", {"   "}, heads({""})},
          {kAddHeader, "", {QByteArray(99, 'h') + "HZ"}, QByteArray(99, 'h') + "H"},
          {kAddFooter, heads({"F"}) + "rest", {"G"}, heads({"F", "G"})},
          {kAddSignature, "", {x250 + "\nab"}, sigs({x250 + "\r\na"})},
          {kAddSignature, "", {x250 + "yz\n"}, sigs({x250 + "yz"})},
      };
  for (const auto& [kind, before, saves, after] : cases) {
    test::TempAppDir app;
    app.write(kind.store->fileName, before);
    frmEntry dialog(kind, nullptr);
    test::ScriptedMsgBox boxes;
    for (const QByteArray& keys : saves) {
      boxes.answers.push_back(&keys == &saves.back() ? vbNo : vbYes);
      type(dialog, keys);
      EXPECT_LE(dialog.ansiText().size(), kind.multiLine ? 253 : 100);  // the box's own limit
      dialog.cmdSave->click();
      EXPECT_EQ(boxes.shown.back().prompt, "Do you wish to add another?");
    }
    EXPECT_EQ(app.read(kind.store->fileName), after);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  for (const int way : {0, 1, 2}) {  // Cancel, the window's frame, Escape: nothing written
    Window w;
    QPushButton* opener = w.window->findChild<QPushButton*>("cmdNewFoot");
    w.window->findChild<QPushButton*>("cmdQuit")->setFocus();
    frmEntry dialog(kAddFooter, opener, false, w.window.get());
    dialog.show();
    type(dialog, "typed");
    if (way == 0) dialog.cmdCancel->click();
    if (way == 1) dialog.close();
    if (way == 2) QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(w.app.read("Foot.qmd"), heads({"F1"}));
    EXPECT_EQ(w.window->focusWidget(), opener);
  }
}

}  // namespace
}  // namespace qm::ui
