#include "ui/frmMain.h"

#include <QTest>
#include <QtWidgets>

#include "startup/startup.h"
#include "support/support.h"
#include "ui/frmEntry.h"
#include "ui/text_boxes.h"

namespace qm::ui {

const auto sigs = [](std::initializer_list<QByteArray> t) { return test::records(255, t); };
const auto heads = [](std::initializer_list<QByteArray> t) { return test::records(100, t); };
const QByteArray randomSigs = "SigRandom=1\r\n", joinedC = "\r\nH2\r\nC\r\nF1\r\n";

// Made in LoadSettings as at a start: "Text" written each minute by default; draws take the last.
struct Window : StartupWindows {
  explicit Window(const QByteArray& settings = {}) {
    app.write("zq.ini", "[Settings]\r\n" + settings + "SigLocation=" + app.path().toUtf8() +
                            "\r\nInterval=0\r\n");
    app.write("Head.qmd", heads({"H1", " H2 "})), app.write("Sig.qmd", sigs({" A", "B", "C"}));
    app.write("Foot.qmd", heads({"F1"})), initprogram(), LoadSettings(*this);
  }
  void loadPreferences() override {}
  void setPreferencesDirectory(const QByteArray&) override {}
  void setSliderPosition(int to) override { position = to; }
  int sliderPosition() override { return position; }
  void unloadPreferences() override {}
  void setTimerInterval(int) override {
    window = std::make_unique<frmMain>([this] { ++ended; });
    window->drawRecordNumber = [this](int count) { return drawnFrom.push_back(count), count; };
  }
  void showMain() override { window->show(); }
  void hideMainInTray() override { window->hide(); }
  void click(const char* name) { window->findChild<QPushButton*>(name)->click(); }
  void tick(int times) {
    while (times-- > 0) window->Timer1_Timer();
  }
  test::TempAppDir app;
  int position = 0, ended = 0;
  std::vector<int> drawnFrom;
  std::unique_ptr<frmMain> window;
};

TEST(FrmMainTest, LoadsTheEntriesAndStoresTheRandomizeFlags) {
  test::ScriptedMsgBox boxes({vbIgnore, vbIgnore});
  Window w("HeadRandom=abc\r\nSigRandom=2\r\nFootRandom= 1 \r\n");
  test::expectFailureBox(boxes.shown.at(0), 13, "Type mismatch", "Form_Load");
  test::expectFailureBox(boxes.shown.at(1), 380, "Invalid property value", "Form_Load");
  EXPECT_EQ(w.window->txtHeader->ansiText(), "H2");  // the last header and footer, trimmed
  EXPECT_EQ(w.window->txtSig->ansiText(), sigs({" A"}).left(253));  // the first as stored
  EXPECT_EQ(w.window->txtFooter->ansiText(), "F1");
  for (QCheckBox* box : {w.window->Check1, w.window->Check2, w.window->Check2}) box->click();
  EXPECT_TRUE(w.app.read("zq.ini").contains("HeadRandom=1\r\nSigRandom=0\r\nFootRandom=1\r\n"));
}

// Draws signatures, then headers (a lone footer never); `minutes` to the next switch, -1: label
// kept (Never); unticked or failing, none is written. A missing folder fails at load and when due.
TEST(FrmMainTest, TicksSwitchWhenDueAndWriteTheJoinedEntries) {
  const std::tuple<QByteArray, int, bool, QByteArray, std::vector<int>, int, int> cases[] = {
      {"HeadRandom=1\r\n" + randomSigs + "FootRandom=1\r\n", 120, false, joinedC, {3, 2}, 0, 1},
      {"Interval=5\r\n" + randomSigs, 172800, false, joinedC, {3}, 0, 24 * 60},
      {"Interval=6\r\n" + randomSigs, 1000, false, "", {}, 1000, -1},
      {"", 1000, false, "", {}, 1000 % 120, 0},
      {"SigLocation=/nonexistent\r\n" + randomSigs, 120, false, "", {3}, 0, 1},
      {"Interval=6\r\n", 42, true, "\r\nH2\r\nNow\r\nhere\r\nF1\r\n", {}, 42, -1}};
  const QString tomorrow = QLocale::system().toString(QDate(2024, 1, 1), QLocale::ShortFormat);
  for (const auto& [settings, ticks, writeNow, written, draws, ticksAfter, minutes] : cases) {
    test::ScriptedMsgBox boxes(std::vector<int>(settings.contains("nonexistent") ? 2 : 0, vbAbort));
    Window w(settings);
    QDateTime now(QDate(2023, 12, 31), QTime(23, 59, 30));
    w.window->clock = [&] { return now; };
    boxes.whileShown = [&] { w.tick(boxes.shown.size() < 3 ? 500 : 0); };  // ticks as it waits
    w.window->txtSig->setAnsiText("Now\r\nhere "), w.window->lblNext->setText("x"), w.tick(ticks);
    if (writeNow) w.click("Command1");  // Write Sig Now
    EXPECT_EQ(w.app.read("ZQ.txt"), written);
    EXPECT_EQ(std::pair(w.drawnFrom, w.window->schedule.TickCount), std::pair(draws, ticksAfter));
    const QString next = w.window->lblNext->text();
    now = now.addSecs(minutes * 60), w.tick(1);  // across midnight
    const QString due = minutes < 1440 ? w.window->lblCurrent->text() : tomorrow;
    EXPECT_EQ(next, minutes > 0 ? due : minutes < 0 ? "x" : "");
    for (const auto& b : boxes.shown) test::expectFailureBox(b, 76, "Path not found", "OutputSig");
  }
}

// Whole ticks slept are counted, the rest carried, on a clock reading no date; it switches unseen.
TEST(FrmMainTest, HiddenTheWindowSleepsOnTheMonotonicClockUntilTheSwitchIsDue) {
  Window w(randomSigs);
  SwitchSchedule& schedule = w.window->schedule;
  QDateTime wall = QDateTime::currentDateTime();
  w.window->clock = [&] { return wall; };
  EXPECT_GT(qAbs(schedule.monotonicMs() - wall.toMSecsSinceEpoch()), qint64{366} * 86400000);
  qint64 now = 0;
  w.showMain(), schedule.monotonicMs = [&] { return now; };
  schedule.TickCount = 100, w.hideMainInTray();
  const QTimer& due = schedule.alarm();
  wall = wall.addSecs(-3600), now = 1250, schedule.ring();  // early: 2 ticks counted, 250 ms kept
  EXPECT_EQ(std::pair(schedule.TickCount, due.interval()), std::pair(102, 18 * 500 - 250));
  now = 10100, schedule.ring();  // due; the next counts from the switch, not the last whole tick
  EXPECT_EQ(std::pair(w.drawnFrom, w.app.read("ZQ.txt")), std::pair(std::vector<int>{3}, joinedC));
  EXPECT_TRUE(w.window->isHidden() && due.isActive() && due.interval() == 120 * 500);
  now += 1250, w.showMain();  // shown, it ticks again
  EXPECT_TRUE(schedule.TickCount == 2 && w.window->Timer1->isActive() && !due.isActive());
}

TEST(FrmMainTest, QuitEndsTheProgramOnlyWhenAnsweredYes) {
  for (const bool yes : {false, true}) {
    Window w;
    test::ScriptedMsgBox boxes({yes ? vbYes : vbNo});
    w.showMain(), w.click("cmdQuit");
    EXPECT_EQ(boxes.shown.at(0).prompt, "Do you wish to end this session?");
    EXPECT_TRUE(boxes.shown[0].title == "Really Quit?" && boxes.shown[0].kind == MsgKind::Question);
    EXPECT_EQ(std::pair(w.ended, w.window->isVisible()), std::pair(yes ? 1 : 0, !yes));
  }
}

TEST(FrmMainTest, BrowseAndDeleteEachListAndGiveUpSafely) {
  const QByteArray abbc = sigs({"A", "B", "B", "C"}), abc = heads({"A", " B ", "C"});
  const QByteArray y255(255, 'y'), ayc = sigs({"A", y255, "C"});  // y255 shows cut
  using L = std::pair<const char*, const char*>;
  const L S{"Sig.qmd", "txtSig"}, H{"Head.qmd", "txtHeader"}, F{"Foot.qmd", "txtFooter"};
  const std::tuple<L, QByteArray, QByteArray, const char*, QByteArray, QByteArray> cases[] = {
      {S, abbc, "B", "cmdNext", sigs({"B"}).left(253), abbc},
      {S, abbc, " B ", "cmdPrev", sigs({"A"}).left(253), abbc},
      {S, abbc, "C", "cmdNext", "C", abbc},
      {S, abbc, "A", "cmdPrev", "A", abbc},
      {S, abbc, "b", "cmdNext", "b", abbc},
      {H, abc, "B", "cmdNextH", heads({"C"}), abc},
      {S, sigs({"A", "B", "C"}), "A", "cmdDeleteSig", sigs({"B"}).left(253), sigs({"B", "C"})},
      {S, abbc, "B ", "cmdDeleteSig", sigs({"A"}).left(253), sigs({"A", "C"})},
      {H, abc, "C", "cmdDeleteHeader", "B", heads({"A", " B "})},
      {F, heads({"A"}), "X", "cmdDeleteFooter", "A", heads({"A"})},
      {F, heads({"A"}), "A", "cmdDeleteFooter", "", ""},
      {S, sigs({"B", "B"}), "B", "cmdDeleteSig", "B", ""},  // the text stays
      {S, ayc, y255.left(253), "cmdNext", sigs({"C"}).left(253), ayc},
      {S, ayc, y255.left(253), "cmdDeleteSig", sigs({"A"}).left(253), sigs({"A", "C"})}};
  for (const auto& [list, before, shown, button, boxAfter, storeAfter] : cases) {
    Window w;
    auto& box = dynamic_cast<AnsiTextBox&>(*w.window->findChild<QWidget*>(list.second));
    w.app.write(list.first, before), box.setAnsiText(shown), w.click(button);
    EXPECT_EQ(std::pair(box.ansiText(), w.app.read(list.first)), std::pair(boxAfter, storeAfter));
  }
  // Given up, a removal leaves list and box; a list too long for 16-bit numbers is left alone.
  Window w;
  test::ScriptedMsgBox boxes({vbAbort, vbAbort, vbIgnore});
  int calls = 0;
  test::FileHookScope hook([&](auto call, auto&&...) {
    return ++calls, call == platform::FileCall::Write ? ENOSPC : 0;
  });
  w.window->txtSig->setAnsiText("B"), w.click("cmdDeleteSig");
  EXPECT_EQ(w.app.read("Sig.qmd"), sigs({" A", "B", "C"}));
  EXPECT_EQ(w.window->txtSig->ansiText(), "B");
  w.app.write("Sig.qmd", QByteArray(qsizetype{32768} * 255, ' ')), w.click("cmdNext");
  test::expectFailureBox(boxes.shown.at(1), 6, "Overflow", "cmdNext_Click");
  boxes.whileShown = [&] { calls = 0; }, w.click("cmdDeleteSig");  // no file call after the box
  test::expectFailureBox(boxes.shown.at(2), 6, "Overflow", "cmdDeleteSig_Click");
  EXPECT_EQ(calls, 0);
}

// Edit Sig: the text typed is saved, or Cancel ({}) or the frame ends it; "lost": the held one left
// the file; "again": after a failed Save; "switch": not drawn meanwhile; "abort": no editor opens.
TEST(FrmMainTest, EditingASignature) {
  const std::tuple<QByteArray, const char*, QByteArray, std::vector<int>, QByteArray> cases[] = {
      {sigs({"A", "B", "C"}), "B", "X\ny", {}, sigs({"A", "C", "X\r\ny"})},
      {sigs({"A", "B", "C"}), "B", {}, {}, sigs({"A", "C", "B"})},
      {sigs({"A", "B", "C"}), "B", "frame", {}, sigs({"A", "C", "B"})},
      {sigs({"B", "A", "B"}), "B", {}, {}, sigs({"A", "B"})},
      {sigs({"B"}), "B", "X", {}, sigs({"X"})},
      {sigs({"A", "C"}), "T", "X", {}, sigs({"A", "C", "X"})},
      {sigs({"A", "C"}), "T", {}, {}, sigs({"A", "C"})},
      {sigs({"A", "B", "C"}), "B", "lost", {}, sigs({"A", "C", "lost"})},
      {sigs({"A", "B", "C"}), "B", "again", {vbIgnore}, sigs({"A", "C", "again"})},
      {sigs({"A", "  Two  "}), "Two", "", {vbOK}, sigs({"A", "Two"})},  // refused, then cancelled
      {sigs({"A", "B", "C"}), "B", "switch", {}, sigs({"A", "C", "B"})},
      {sigs({"A", "B", "C"}), "B", "abort", {vbAbort}, sigs({"A", "B", "C"})}};
  for (const auto& [before, shown, act, answers, after] : cases) {
    Window w;
    int fails = act == "abort" ? 1 : 0;  // writes that find the disk full
    test::FileHookScope hook([&](auto call, auto&&...) {
      return call == platform::FileCall::Write && fails-- > 0 ? ENOSPC : 0;
    });
    test::ScriptedMsgBox boxes(answers);
    w.app.write("Sig.qmd", before), w.window->txtSig->setAnsiText(shown);
    QTimer::singleShot(0, w.window.get(), [&, shown = shown, act = act] {
      auto* editor = qobject_cast<frmEntry*>(QApplication::activeModalWidget());
      EXPECT_EQ(editor == nullptr, act == "abort");
      if (!editor) return;
      EXPECT_EQ(editor->ansiText(), QByteArray(shown).trimmed());
      EXPECT_TRUE(before.size() > 255 || w.window->txtSig->ansiText().isEmpty());  // taken out
      if (act == "frame") editor->close();
      if (act == "switch") w.window->Check1->click(), w.window->Check2->click(), w.tick(120);
      if (act.isNull() || act == "frame" || act == "switch") return editor->cmdCancel->click();
      dynamic_cast<AnsiTextBox&>(*editor->textBox).setAnsiText({});
      QTest::keyClicks(editor->textBox, QString::fromLatin1(act).replace('\n', '\r'));
      if (act == "lost") w.app.write("Sig.qmd", sigs({"A", "C"}));
      if (act == "again") fails = INT_MAX, editor->cmdSave->click(), fails = 0;  // writes fail
      EXPECT_TRUE(editor->cmdSave->isEnabled() && editor->cmdCancel->text() == "&Cancel");
      editor->cmdSave->click();
      EXPECT_EQ(editor->cmdSave->isEnabled(), act.isEmpty());
      EXPECT_TRUE(!act.isEmpty() || boxes.shown.at(0).prompt == "You must enter a signature");
      editor->cmdCancel->click();
    });
    w.click("cmdEditSig"), QApplication::processEvents();
    EXPECT_EQ(w.app.read("Sig.qmd"), after) << shown << " " << act.data();
    EXPECT_EQ(w.drawnFrom, (act == "switch" ? std::vector{2, 2} : std::vector<int>{}));
  }
}

// Texts typed into an empty box, saved with Yes to "add another" but the last ('N'), or not saved.
TEST(FrmMainTest, AddDialogsStoreWhatWasTypedWithinTheLimit) {
  const QByteArray x250(250, 'x');
  const std::tuple<const EntryDialogKind&, QByteArray, QByteArrayList, char, QByteArray> cases[] = {
      {kAddSignature, "", {"first", " second\n"}, 'N', sigs({"first", " second\r\n"})},
      {kAddHeader, "", {"   ", "h"}, 'N', heads({"", "h"})},
      {kAddHeader, "", {QByteArray(99, 'h') + "HZ"}, 'N', QByteArray(99, 'h') + "H"},
      {kAddFooter, heads({"F"}) + "rest", {"G"}, 'N', heads({"F", "G"})},
      {kAddSignature, "", {x250 + "\nab"}, 'N', sigs({x250 + "\r\na"})},
      {kAddSignature, "", {x250 + "yz\n"}, 'N', sigs({x250 + "yz"})},
      {kAddFooter, heads({"F"}), {"G", "typed"}, 'C', heads({"F", "G"})},
      {kAddFooter, heads({"F"}), {"typed"}, 'F', heads({"F"})},
      {kAddHeader, "", {"typed"}, 'E', ""}};
  for (const auto& [kind, before, texts, end, after] : cases) {
    test::TempAppDir app;
    QPushButton opener;
    frmEntry dialog(kind, &opener);
    test::ScriptedMsgBox boxes;
    app.write(kind.store->fileName, before), dialog.show();
    for (const QByteArray& keys : texts) {
      EXPECT_EQ(dialog.ansiText(), "");
      QTest::keyClicks(dialog.textBox, QString::fromLatin1(keys).replace('\n', '\r'));
      EXPECT_LE(dialog.ansiText().size(), kind.store->multiLine ? 253 : 100);  // the box's limit
      if (&keys == &texts.back() && end != 'N') break;
      boxes.answers.push_back(&keys == &texts.back() ? vbNo : vbYes), dialog.cmdSave->click();
      EXPECT_EQ(boxes.shown.back().prompt, "Do you wish to add another?");
    }
    if (end == 'C') dialog.cmdCancel->click();
    if (end == 'F') dialog.close();
    if (end == 'E') QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(app.read(kind.store->fileName), after) << texts.back().data() << end;
    EXPECT_EQ(dialog.result(), end == 'N' ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(opener.focusWidget(), end == 'N' ? nullptr : &opener);  // back on the opener
  }
}

}  // namespace qm::ui
