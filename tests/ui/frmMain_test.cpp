#include "ui/frmMain.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QUrl>

#include "startup/settings.h"
#include "startup/startup.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"
#include "ui/forms.h"
#include "ui/text_boxes.h"

namespace qm::ui {
namespace {

using test::records;
using test::ScriptedMsgBox;
using test::TempAppDir;

// The line of key in a settings file, without its line end.
QByteArray profileLine(const QByteArray& file, const char* key) {
  for (QByteArray line : file.split('\n')) {
    if (line.startsWith(QByteArray(key) + '=')) return line.endsWith('\r') ? line.chopped(1) : line;
  }
  return {};
}

// A main window loaded from the settings and stores of a test's application directory.
struct LoadedWindow {
  explicit LoadedWindow(const QByteArray& settings = {}) {
    if (!settings.isEmpty()) app.write("zq.ini", settings);
    initprogram();
    window = std::make_unique<frmMain>([this] { ++ends; });
  }
  QPushButton* button(const char* name) const {
    return window->findChild<QPushButton*>(QString::fromLatin1(name));
  }

  TempAppDir app;
  int ends = 0;
  std::unique_ptr<frmMain> window;
};

TEST(FrmMainTest, ShowsTheLastHeaderTheFirstSignatureAndTheLastFooter) {
  TempAppDir setup;
  setup.write("Head.qmd", records({"H1", "  H2", "  H3  "}, 100));
  setup.write("Sig.qmd", records({"  Sig one\r\nline two", "Sig two"}, 255));
  setup.write("Foot.qmd", records({"F1", "F2 "}, 100));
  initprogram();
  int ends = 0;
  frmMain window([&] { ++ends; });
  EXPECT_EQ(window.windowTitle(), QStringLiteral("ZQ Quillmate 1.0.0"));
  EXPECT_EQ(window.txtHeader->ansiText(), QByteArray("H3"));
  EXPECT_EQ(window.txtFooter->ansiText(), QByteArray("F2"));
  EXPECT_EQ(window.txtSig->ansiText(), QByteArray("  Sig one\r\nline two").leftJustified(253, ' '));
  EXPECT_FALSE(window.lblCurrent->text().isEmpty());
  EXPECT_TRUE(window.lblNext->text().isEmpty());
  EXPECT_EQ(ends, 0);
}

TEST(FrmMainTest, FirstRunCreatesThreeEmptyStoresAndShowsNothing) {
  LoadedWindow loaded;
  for (const char* name : {"Head.qmd", "Sig.qmd", "Foot.qmd"}) {
    EXPECT_EQ(QFileInfo(loaded.app.file(name)).size(), 0) << name;
    EXPECT_TRUE(QFileInfo::exists(loaded.app.file(name))) << name;
  }
  EXPECT_TRUE(loaded.window->txtHeader->ansiText().isEmpty());
  EXPECT_TRUE(loaded.window->txtSig->ansiText().isEmpty());
  EXPECT_TRUE(loaded.window->txtFooter->ansiText().isEmpty());
  EXPECT_FALSE(loaded.window->Check1->isChecked());
}

TEST(FrmMainTest, EveryControlHasItsCaptionAndTip) {
  LoadedWindow loaded;
  const std::tuple<const char*, const char*, const char*> buttons[] = {
      {"cmdNewHead", "Create Header", ""},
      {"cmdDeleteHeader", "Delete Header", ""},
      {"cmdPrevH", "<", "Prev"},
      {"cmdNextH", ">", "Next"},
      {"cmdNewSig", "Create Signature", ""},
      {"cmdEditSig", "Edit Sig", ""},
      {"cmdDeleteSig", "Delete Sig", ""},
      {"cmdPrev", "<", "Prev"},
      {"cmdNext", ">", "Next"},
      {"cmdNewFoot", "Create Footer", ""},
      {"cmdDeleteFooter", "Delete Footer", ""},
      {"cmdPrevF", "<", "Prev"},
      {"cmdNextF", ">", "Next"},
      {"cmdPref", "Preferences", ""},
      {"Command1", "Write Sig Now", ""},
      {"cmdMin", "Minimize", ""},
      {"cmdQuit", "Quit", ""},
      {"cmdInternet", "?", "Help"},
  };
  for (const auto& [name, caption, tip] : buttons) {
    const QPushButton* b = loaded.button(name);
    ASSERT_NE(b, nullptr) << name;
    EXPECT_EQ(withoutMnemonic(b->text()), QString::fromLatin1(caption)) << name;
    EXPECT_EQ(b->toolTip(), QString::fromLatin1(tip)) << name;
  }
  const std::pair<const char*, const char*> labels[] = {
      {"lblHead", "Header"},      {"Label2", "Signature"},   {"Label3", "Footer"},
      {"Label1", "Current Time"}, {"Label4", "Next Switch"},
  };
  for (const auto& [name, caption] : labels) {
    const auto* l = loaded.window->findChild<QLabel*>(QString::fromLatin1(name));
    ASSERT_NE(l, nullptr) << name;
    EXPECT_EQ(l->text(), QString::fromLatin1(caption)) << name;
  }
  EXPECT_EQ(withoutMnemonic(loaded.window->Check1->text()), QStringLiteral("Randomize Headers"));
  EXPECT_EQ(withoutMnemonic(loaded.window->Check2->text()), QStringLiteral("Randomize Signatures"));
  EXPECT_EQ(withoutMnemonic(loaded.window->Check3->text()), QStringLiteral("Randomize Footers"));
  EXPECT_EQ(loaded.window->txtHeader->maxLength(), 100);
  EXPECT_EQ(loaded.window->txtFooter->maxLength(), 100);
}

TEST(FrmMainTest, RandomizeBoxesAreStoredAtOnce) {
  // Blanks around "1" show that loading the ticked box wrote its value back.
  LoadedWindow loaded("[Settings]\r\nHeadRandom=0\r\nFootRandom=0\r\nSigRandom= 1 \r\n");
  const auto stored = [&](const char* key) { return profileLine(loaded.app.read("zq.ini"), key); };
  EXPECT_TRUE(loaded.window->Check2->isChecked());
  EXPECT_EQ(stored("SigRandom"), "SigRandom=1");
  loaded.window->Check2->click();
  EXPECT_EQ(stored("SigRandom"), "SigRandom=0");
  loaded.window->Check1->click();
  EXPECT_EQ(stored("HeadRandom"), "HeadRandom=1");
  loaded.window->Check3->click();
  EXPECT_EQ(stored("FootRandom"), "FootRandom=1");
}

TEST(FrmMainTest, AFlagThatIsNoWholeNumberIsReportedAndSkipped) {
  TempAppDir app;
  app.write("zq.ini", "[Settings]\r\nHeadRandom=abc\r\nSigRandom=1\r\nFootRandom=2\r\n");
  initprogram();
  ScriptedMsgBox boxes{vbIgnore, vbIgnore};
  frmMain window([] {});
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(QStringLiteral("Error 13: \r\nType mismatch")));
  EXPECT_TRUE(boxes.shown()[0].prompt.endsWith(QStringLiteral("in Quillmate: Form_Load")));
  EXPECT_TRUE(boxes.shown()[1].prompt.startsWith(QStringLiteral("Error 380: ")));
  EXPECT_FALSE(window.Check1->isChecked());
  EXPECT_TRUE(window.Check2->isChecked());
  EXPECT_FALSE(window.Check3->isChecked());
}

TEST(FrmMainTest, QuitAsksFirst) {
  for (int answer : {vbNo, vbYes}) {
    LoadedWindow loaded;
    loaded.window->show();
    ScriptedMsgBox boxes{answer};
    loaded.button("cmdQuit")->click();
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].kind, MsgKind::Question);
    EXPECT_EQ(boxes.shown()[0].prompt, QStringLiteral("Do you wish to end this session?"));
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Really Quit?"));
    EXPECT_EQ(MsgAnswer, answer);
    EXPECT_EQ(loaded.ends, answer == vbYes ? 1 : 0);
  }
}

TEST(FrmMainTest, ClosingTheWindowEndsWithoutAsking) {
  LoadedWindow loaded;
  loaded.window->show();
  ScriptedMsgBox boxes;
  loaded.window->close();
  EXPECT_EQ(loaded.ends, 1);
}

TEST(FrmMainTest, MinimizeWithoutANotificationAreaUsesTheTaskBar) {
  ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "the offscreen platform has no tray";
  LoadedWindow loaded;
  loaded.window->show();
  loaded.button("cmdMin")->click();
  EXPECT_TRUE(loaded.window->isMinimized());
  EXPECT_FALSE(loaded.window->TrayIcon1->isVisible());
  loaded.window->TrayIcon1_DblClick();
  EXPECT_FALSE(loaded.window->isMinimized());
  EXPECT_TRUE(loaded.window->isVisible());
}

// Receives the URLs that the help button asks the desktop to open.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened << url; }
};

TEST(FrmMainTest, HelpWritesTheShortcutAndOpensTheHelpPage) {
  LoadedWindow loaded;
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
  loaded.app.write("FAQ.URL", "old and longer content that must go");
  loaded.button("cmdInternet")->click();
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  const QString page = loaded.app.file("FAQ.html");
  EXPECT_EQ(loaded.app.read("FAQ.URL"), "[InternetShortcut]\r\nURL=" + page.toLocal8Bit() + "\r\n");
  EXPECT_EQ(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(page)});
}

TEST(FrmMainTest, AShortcutThatCannotBeWrittenIsReported) {
  LoadedWindow loaded;
  ASSERT_TRUE(QDir(loaded.app.path()).mkdir(QStringLiteral("FAQ.URL")));
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
  ScriptedMsgBox boxes{vbAbort};
  loaded.button("cmdInternet")->click();
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(QStringLiteral("Error 75: ")));
  EXPECT_TRUE(boxes.shown()[0].prompt.endsWith(QStringLiteral("in Quillmate: cmdInternet_Click")));
  EXPECT_TRUE(catcher.opened.isEmpty());
}

}  // namespace
}  // namespace qm::ui

#include "frmMain_test.moc"
