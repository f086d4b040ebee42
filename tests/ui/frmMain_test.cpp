// The main window: what it shows, stores and writes, and when it switches.
#include "ui/frmMain.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "startup/startup.h"
#include "support/support.h"
#include "ui/text_boxes.h"

namespace qm::ui {
namespace {

using test::records;

// A main window loaded over H1..H4, the signatures A, B, C and the footer F1, writing "Text"
// into sig/ every minute (120 ticks of half a second); each draw takes the last record.
struct Window {
  explicit Window(const QByteArray& settings = {}) {
    QDir(app.path()).mkdir("sig");
    app.write("zq.ini",
              "[Settings]\r\nSigLocation=" + app.file("sig").toUtf8() + "\r\n" + settings);
    app.write("Head.qmd", records(100, {"H1", "H2", "H3", " H4 "}));
    app.write("Sig.qmd", records(255, {" A", "B", "C"}));
    app.write("Foot.qmd", records(100, {"F1"}));
    initprogram();
    ModSig.WriteType = "Text";
    ModSig.SwitchTicks = 120;
    window = std::make_unique<frmMain>([this] { ++ends; });
    window->drawRecordNumber = [this](int count) { return drawnFrom.push_back(count), count; };
  }
  void tickAll() {
    for (QCheckBox* box : {window->Check1, window->Check2, window->Check3}) box->setChecked(true);
  }
  void tick(int times) {
    for (int i = 0; i < times; ++i) window->Timer1_Timer();
  }
  void click(const char* name) { window->findChild<QPushButton*>(name)->click(); }
  QByteArray written() const { return app.read("sig/ZQ.txt"); }

  test::TempAppDir app;
  int ends = 0;
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
  EXPECT_EQ(w.window->txtHeader->ansiText(), "H4");  // the last header and footer, trimmed
  EXPECT_EQ(w.window->txtSig->ansiText(), records(255, {" A"}).left(253));  // the first signature
  EXPECT_EQ(w.window->txtFooter->ansiText(), "F1");
}

TEST(FrmMainTest, TicksSwitchEveryIntervalAndWriteTheJoinedEntries) {
  Window w;
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
  w.window->txtSig->setAnsiText("Now\r\nhere ");
  w.window->TickCount = 42;
  w.click("Command1");  // Write Sig Now: the shown entries, the countdown left alone
  EXPECT_EQ(w.written(), "\r\nH4\r\nNow\r\nhere\r\nF1\r\n");
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

// Hidden, the window sleeps until the next switch is due, counting whole ticks slept; the
// rest of a tick carries over.
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
  EXPECT_TRUE(w.window->Timer1->isActive());
  EXPECT_FALSE(due->isActive());
}

class UrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) { opened << url; }

 public:
  QList<QUrl> opened;
};

TEST(FrmMainTest, QuitAsksFirstAndHelpWritesItsShortcut) {
  for (const int answer : {vbNo, vbYes}) {
    Window w;
    test::ScriptedMsgBox boxes{answer};
    w.click("cmdQuit");
    EXPECT_EQ(boxes.shown.at(0).prompt, "Do you wish to end this session?");
    EXPECT_EQ(boxes.shown.at(0).title, "Really Quit?");
    EXPECT_EQ(w.ends, answer == vbYes ? 1 : 0);
  }
  Window w;
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "open");
  w.app.write("faq.url", "older and longer content");
  w.click("cmdInternet");
  QDesktopServices::unsetUrlHandler("file");
  const QString page = w.app.file("FAQ.html");
  EXPECT_EQ(w.app.read("faq.url"), "[InternetShortcut]\r\nURL=" + page.toUtf8() + "\r\n");
  EXPECT_EQ(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(page)});
  w.window->close();
  EXPECT_EQ(w.ends, 1);
}

}  // namespace
}  // namespace qm::ui

#include "frmMain_test.moc"
