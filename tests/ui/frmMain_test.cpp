// The main window: what it shows, stores and writes, and when it switches.
#include "ui/frmMain.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "startup/settings.h"
#include "startup/startup.h"
#include "support/support.h"
#include "ui/text_boxes.h"

namespace qm::ui {
namespace {

using test::records;
using test::ScriptedMsgBox;
using test::TempAppDir;

// A main window loaded over H1..H4, the signatures A, B, C and the footer F1, writing "Text"
// into sig/ at the given interval code; each draw takes the last record.
struct Window {
  explicit Window(const QByteArray& settings = "Interval=6\r\n") {
    QDir(app.path()).mkdir("sig");
    app.write("zq.ini", "[Settings]\r\nSigLocation=" + app.file("sig").toUtf8() +
                            "\r\nWrite_Type=Text\r\n" + settings);
    app.write("Head.qmd", records(100, {"H1", "H2", "H3", " H4 "}));
    app.write("Sig.qmd", records(255, {" A", "B", "C"}));
    app.write("Foot.qmd", records(100, {"F1"}));
    initprogram();
    ModSig.WriteType = "Text";
    window = std::make_unique<frmMain>([this] { ++ends; });
    window->drawRecordNumber = [this](int count) {
      drawnFrom.push_back(count);
      return count;
    };
  }
  void setInterval(int code) {
    test::FakeWindows windows;
    ModSig.IntervalCode = QByteArray::number(code);
    LoadSettings(windows);
  }
  void tickAll() {
    for (QCheckBox* box : {window->Check1, window->Check2, window->Check3}) box->setChecked(true);
  }
  void tick(int times) {
    for (int i = 0; i < times; ++i) window->Timer1_Timer();
  }
  QByteArray written() const { return app.read("sig/ZQ.txt"); }
  QTimer* switchDue() const {
    for (QTimer* timer : window->findChildren<QTimer*>()) {
      if (timer->isSingleShot()) return timer;
    }
    return nullptr;
  }

  TempAppDir app;
  int ends = 0;
  std::vector<int> drawnFrom;
  std::unique_ptr<frmMain> window;
};

TEST(FrmMainTest, ShowsTheLastHeaderAndFooterTrimmedAndTheFirstSignatureAsStored) {
  Window w;
  EXPECT_EQ(w.window->txtHeader->ansiText(), "H4");
  EXPECT_EQ(w.window->txtSig->ansiText(), records(255, {" A"}).left(253));
  EXPECT_EQ(w.window->txtFooter->ansiText(), "F1");
  EXPECT_EQ(w.written(), "");  // nothing ticked: the load's switch writes nothing
}

TEST(FrmMainTest, TheRandomizeFlagsAreReadAsWholeNumbers) {
  ScriptedMsgBox boxes{vbIgnore, vbIgnore};
  Window w("HeadRandom=abc\r\nSigRandom= 1 \r\nFootRandom=2\r\n");
  test::expectFailureBox(boxes.shown().at(0), 13, "Type mismatch", "Form_Load");
  test::expectFailureBox(boxes.shown().at(1), 380, "Invalid property value", "Form_Load");
  EXPECT_FALSE(w.window->Check1->isChecked());
  EXPECT_TRUE(w.window->Check2->isChecked());
  EXPECT_FALSE(w.window->Check3->isChecked());
  EXPECT_TRUE(w.app.read("zq.ini").contains("\r\nSigRandom=1\r\n"));  // stored as it loads
}

TEST(FrmMainTest, TicksSwitchEveryIntervalAndWriteTheJoinedEntries) {
  Window w;
  w.setInterval(0);  // one minute: 120 ticks of half a second
  w.tickAll();
  EXPECT_TRUE(w.app.read("zq.ini").contains("HeadRandom=1\r\nFootRandom=1\r\nSigRandom=1\r\n"));
  w.window->TickCount = 0;
  w.tick(119);
  EXPECT_EQ(w.written(), "");
  w.tick(1);
  EXPECT_EQ(w.written(), "\r\nH4\r\nC\r\nF1\r\n");
  EXPECT_EQ(w.drawnFrom, std::vector<int>({3, 4}));  // signatures, then headers; one footer
  EXPECT_EQ(w.window->TickCount, 0);
  EXPECT_FALSE(w.window->lblNext->text().isEmpty());
  w.window->Check2->click();
  EXPECT_TRUE(w.app.read("zq.ini").contains("SigRandom=0\r\n"));
  w.setInterval(6);  // never
  w.tick(1000);
  EXPECT_EQ(w.window->TickCount, 1000);
  EXPECT_EQ(w.drawnFrom.size(), 2u);
}

TEST(FrmMainTest, WriteSigNowWritesTheShownEntriesAndLeavesTheCountdown) {
  Window w;
  w.window->TickCount = 42;
  w.window->txtSig->setAnsiText("Now\r\nhere ");
  w.window->findChild<QPushButton*>("Command1")->click();
  EXPECT_EQ(w.written(), "\r\nH4\r\nNow\r\nhere\r\nF1\r\n");
  EXPECT_EQ(w.window->TickCount, 42);
  EXPECT_TRUE(w.drawnFrom.empty());
}

TEST(FrmMainTest, AFailingSwitchShowsOneBoxHoweverManyTicksPass) {
  Window w;
  w.setInterval(0);
  w.tickAll();
  QDir(w.app.file("sig")).removeRecursively();
  w.window->TickCount = 119;
  ScriptedMsgBox boxes{vbAbort};
  boxes.whileShown = [&] { w.tick(500); };
  w.tick(1);
  ASSERT_EQ(boxes.shown().size(), 1u);
  test::expectFailureBox(boxes.shown()[0], 76, "Path not found", "OutputSig");
  EXPECT_EQ(w.window->TickCount, 0);  // the count restarts when the switch ends
}

// Hidden, the window sleeps until the next switch is due, counting whole ticks slept; the
// rest of a tick carries over.
TEST(FrmMainTest, HiddenTheWindowSleepsUntilTheSwitchIsDue) {
  Window w;
  w.setInterval(0);
  w.window->show();
  qint64 now = 0;
  w.window->monotonicMs = [&] { return now; };
  w.window->TickCount = 100;
  w.window->hide();
  EXPECT_FALSE(w.window->Timer1->isActive());
  EXPECT_EQ(w.switchDue()->interval(), 20 * 500);
  now = 1250;  // woken early: two ticks counted, a quarter of a second kept
  w.switchDue()->setInterval(0);
  w.switchDue()->start();
  QCoreApplication::processEvents();
  EXPECT_EQ(w.window->TickCount, 102);
  EXPECT_EQ(w.switchDue()->interval(), 18 * 500 - 250);
  now = 1250 + 18 * 500 - 250;
  w.window->show();
  EXPECT_EQ(w.window->TickCount, 120);
  EXPECT_TRUE(w.window->Timer1->isActive());
  EXPECT_FALSE(w.switchDue()->isActive());
}

TEST(FrmMainTest, QuitAsksFirstAndClosingEnds) {
  for (const int answer : {vbNo, vbYes}) {
    Window w;
    ScriptedMsgBox boxes{answer};
    w.window->findChild<QPushButton*>("cmdQuit")->click();
    EXPECT_EQ(boxes.shown().at(0).prompt, "Do you wish to end this session?");
    EXPECT_EQ(boxes.shown().at(0).title, "Really Quit?");
    EXPECT_EQ(w.ends, answer == vbYes ? 1 : 0);
  }
  Window w;
  w.window->close();
  EXPECT_EQ(w.ends, 1);
}

class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened << url; }
};

TEST(FrmMainTest, HelpWritesTheShortcutAndOpensThePage) {
  Window w;
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "open");
  w.app.write("faq.url", "older and longer content");
  w.window->findChild<QPushButton*>("cmdInternet")->click();
  QDesktopServices::unsetUrlHandler("file");
  const QString page = w.app.file("FAQ.html");
  EXPECT_EQ(w.app.read("faq.url"), "[InternetShortcut]\r\nURL=" + page.toUtf8() + "\r\n");
  EXPECT_EQ(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(page)});
}

}  // namespace
}  // namespace qm::ui

#include "frmMain_test.moc"
