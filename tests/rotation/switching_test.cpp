#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "rotation/rotation.h"
#include "startup/settings.h"
#include "startup/startup.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"
#include "ui/frmMain.h"
#include "ui/text_boxes.h"

namespace qm::ui {
namespace {

using test::records;
using test::ScriptedMsgBox;
using test::TempAppDir;

const QDateTime kNow(QDate(2026, 12, 6), QTime(23, 59, 30));

// A loaded main window over three stores, writing "Text" into sig/, with nothing ticked yet.
struct Switching {
  explicit Switching(int interval, const char* sigLocation = "sig") {
    QDir(app.path()).mkdir(QStringLiteral("sig"));
    app.write("zq.ini", "[Settings]\r\nInterval=" + QByteArray::number(interval) +
                            "\r\nSigLocation=" + app.file(sigLocation).toLocal8Bit() +
                            "\r\nWrite_Type=Text\r\n");
    app.write("Sig.qmd", records({"A", "B", "C"}, 255));
    app.write("Head.qmd", records({"H1", "H2", "H3", "H4"}, 100));
    app.write("Foot.qmd", records({"F1"}, 100));
    initprogram();
    const Interval& row = kIntervals[static_cast<std::size_t>(interval)];
    ModSig.WriteType = "Text";
    ModSig.SwitchTicks = row.ticks;
    ModSig.SwitchMinutes = row.minutes;
    window = std::make_unique<frmMain>([] {});
    window->clock = [] { return kNow; };
    window->drawRecordNumber = [this](int count) {
      drawnFrom.push_back(count);
      return count;  // the last record
    };
  }
  void tickAll() {
    for (QCheckBox* box : {window->Check1, window->Check2, window->Check3}) box->setChecked(true);
  }
  void tick(int times) {
    for (int i = 0; i < times; ++i) window->Timer1_Timer();
  }
  QString output() const { return app.file("sig/ZQ.txt"); }

  TempAppDir app;
  std::vector<int> drawnFrom;
  std::unique_ptr<frmMain> window;
};

TEST(SwitchingTest, TickedStoresOfTwoOrMoreGetARecordAndTheResultIsWritten) {
  Switching s(0);
  s.tickAll();
  s.window->TickCount = 7;
  s.window->Randomizer();
  EXPECT_EQ(s.drawnFrom, (std::vector<int>{3, 4}));  // signatures, then headers; one footer
  EXPECT_EQ(s.window->txtSig->ansiText(), QByteArray("C").leftJustified(253, ' '));
  EXPECT_EQ(s.window->SigText, QByteArray("C").leftJustified(255, ' '));
  EXPECT_EQ(s.window->txtHeader->ansiText(), QByteArray("H4").leftJustified(100, ' '));
  EXPECT_EQ(s.window->txtFooter->ansiText(), QByteArray("F1"));
  EXPECT_EQ(s.app.read("sig/ZQ.txt"), QByteArray("\r\nH4\r\nC\r\nF1\r\n"));
  EXPECT_EQ(s.window->TickCount, 0);
  EXPECT_EQ(s.window->lblNext->text(), nextSwitchText(kNow));
}

TEST(SwitchingTest, NothingIsWrittenWithoutATickedBoxOrUnderNever) {
  struct Case {
    const char* name;
    int interval;
    bool ticked;
    QByteArray header;
  };
  const Case cases[] = {
      {"no box ticked", 0, false, "H4"},
      {"interval Never", 6, true, QByteArray("H4").leftJustified(100, ' ')},
  };
  for (const Case& c : cases) {
    Switching s(c.interval);
    if (c.ticked) s.tickAll();
    s.window->TickCount = 9;
    s.window->lblNext->setText(QStringLiteral("earlier"));
    s.window->Randomizer();
    EXPECT_FALSE(QFileInfo::exists(s.output())) << c.name;
    EXPECT_TRUE(s.window->lblNext->text().isEmpty()) << c.name;
    EXPECT_EQ(s.window->TickCount, 0) << c.name;
    EXPECT_EQ(s.window->txtHeader->ansiText(), c.header) << c.name;
  }
}

TEST(SwitchingTest, TheTimerSwitchesEveryIntervalOfTicks) {
  Switching s(0);
  s.tickAll();
  s.window->TickCount = 0;
  s.tick(119);
  EXPECT_FALSE(QFileInfo::exists(s.output()));
  EXPECT_EQ(s.window->TickCount, 119);
  s.tick(1);
  EXPECT_TRUE(QFile::remove(s.output()));
  EXPECT_EQ(s.window->TickCount, 0);
  s.tick(119);
  EXPECT_FALSE(QFileInfo::exists(s.output()));
  s.tick(1);
  EXPECT_TRUE(QFileInfo::exists(s.output()));
  EXPECT_EQ(s.window->lblCurrent->text(), longTimeText(kNow));
}

TEST(SwitchingTest, UnderNeverTicksOnlyCount) {
  Switching s(6);
  s.tickAll();
  s.window->TickCount = 0;
  s.tick(1000);
  EXPECT_FALSE(QFileInfo::exists(s.output()));
  EXPECT_EQ(s.window->TickCount, 1000);
  EXPECT_TRUE(s.drawnFrom.empty());
}

TEST(SwitchingTest, WriteSigNowWritesTheShownEntriesAndLeavesTheCountdown) {
  Switching s(6);
  s.window->TickCount = 42;
  s.window->lblNext->setText(QStringLiteral("later"));
  s.window->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
  EXPECT_EQ(s.app.read("sig/ZQ.txt"), QByteArray("\r\nH4\r\nA\r\nF1\r\n"));
  EXPECT_EQ(s.window->TickCount, 42);
  EXPECT_EQ(s.window->lblNext->text(), QStringLiteral("later"));
  EXPECT_TRUE(s.drawnFrom.empty());
}

TEST(SwitchingTest, AFailingDirectoryShowsOneBoxHoweverManyTicksPass) {
  Switching s(0, "missing");
  s.tickAll();
  s.window->TickCount = 119;
  ScriptedMsgBox boxes{vbAbort};
  boxes.whileShown = [&] { s.tick(500); };
  s.tick(1);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_TRUE(boxes.shown()[0].prompt.endsWith(QStringLiteral("in Quillmate: OutputSig")));
  EXPECT_EQ(s.window->TickCount, 0);  // the count restarts when the switch ends
  s.tick(119);
  EXPECT_EQ(boxes.shown().size(), 1u);
  boxes.answer({vbAbort});
  s.tick(1);
  EXPECT_EQ(boxes.shown().size(), 2u);
}

// Hidden, the window sleeps: nothing wakes it under "Never", and otherwise it wakes once, when
// the next switch is due; shown again, it ticks.
TEST(SwitchingTest, HiddenTheWindowSleepsUntilTheSwitchIsDue) {
  Switching s(6);
  const auto running = [&] {
    int count = 0;
    for (const QTimer* timer : s.window->findChildren<QTimer*>()) count += timer->isActive();
    return count;
  };
  EXPECT_EQ(running(), 0);
  s.window->show();
  EXPECT_TRUE(s.window->Timer1->isActive());
  s.tickAll();
  ModSig.SwitchTicks = 2;  // a second, so that the test waits little
  s.window->hide();
  EXPECT_FALSE(s.window->Timer1->isActive());
  EXPECT_EQ(running(), 1);
  s.drawnFrom.clear();
  QTRY_VERIFY_WITH_TIMEOUT(!s.drawnFrom.empty(), 5000);
  EXPECT_EQ(s.drawnFrom, std::vector<int>({3, 4}));  // signatures, headers; one footer
  EXPECT_EQ(s.window->TickCount, 0);
  EXPECT_EQ(running(), 1);  // the next one
  s.window->show();
  EXPECT_TRUE(s.window->Timer1->isActive());
  EXPECT_EQ(running(), 1);
}

TEST(SwitchingTest, LoadingTheWindowSwitchesOnce) {
  TempAppDir app;
  QDir(app.path()).mkdir(QStringLiteral("sig"));
  app.write("zq.ini", "[Settings]\r\nInterval=4\r\nSigRandom=1\r\nWrite_Type=Text\r\nSigLocation=" +
                          app.file("sig").toLocal8Bit() + "\r\n");
  app.write("Sig.qmd", records({"A", "B"}, 255));
  initprogram();
  ModSig.WriteType = "Text";
  ModSig.SwitchTicks = kIntervals[4].ticks;
  ModSig.SwitchMinutes = kIntervals[4].minutes;
  frmMain window([] {});
  const QByteArray written = app.read("sig/ZQ.txt");
  EXPECT_TRUE(written == "\r\n\r\nA\r\n\r\n" || written == "\r\n\r\nB\r\n\r\n") << written.data();
  EXPECT_FALSE(window.lblNext->text().isEmpty());
  EXPECT_EQ(window.TickCount, 0);
}

}  // namespace
}  // namespace qm::ui
