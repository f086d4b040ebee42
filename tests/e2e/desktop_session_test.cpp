// A user's session with the installed program: installed by cmake --install into a scratch
// prefix, started by its desktop entry's command on a private Xvfb with a notification area,
// and driven by keyboard and mouse through xdotool as a user would. Screenshots of the main
// window and the Preferences dialog go to the test's output folder (QUILLMATE_SCREENSHOTS).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include "support/tray_fixture.h"

namespace {

using qm::test::kMainWindow;
using qm::test::kWaitMs;
using qm::test::TrayTest;

const QByteArray kSignature = "Kind regards, Ann";

class DesktopSessionTest : public TrayTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TrayTest::SetUp());
    prefix_ = root_.filePath("prefix");
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QUILLMATE_CMAKE, {"--install", QUILLMATE_BUILD_DIR, "--prefix", prefix_});
    ASSERT_TRUE(install.waitForFinished(kWaitMs * 3));
    ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
    // Started as the menu would: by the command of the installed desktop entry.
    QFile entry(prefix_ + "/share/applications/io.github.quillmate.quillmate.desktop");
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly)) << "no desktop entry installed";
    for (const QByteArray& line : entry.readAll().split('\n')) {
      if (line.startsWith("Exec=")) program_ = QFile::decodeName(line.mid(5));
    }
    ASSERT_EQ(program_, installedFile("quillmate"));
    sigDir_ = root_.filePath("signatures");
    ASSERT_TRUE(QDir().mkpath(sigDir_));
    // The first-run settings, but with the signature files in a folder of this test's own.
    QFile ini(installedFile("zq.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Settings]\r\nSigLocation=" + QFile::encodeName(sigDir_) +
              "\r\nWrite_Type=Text\r\n");
  }

  QString installedFile(const QString& name) const { return prefix_ + "/opt/quillmate/" + name; }

  // The one shown window whose title matches pattern, waiting for it.
  QString window(const QString& pattern) {
    const QStringList found = windows(pattern);
    EXPECT_EQ(found.size(), 1) << "windows titled " << pattern.toStdString();
    return found.value(0);
  }

  void type(const QString& id, const QString& text) {
    xdotool({"windowfocus", "--sync", id});
    xdotool({"type", "--delay", "20", text});
  }

  void gone(const QString& pattern) {
    waitFor([&] { return windows(pattern, 0).isEmpty(); });
    ASSERT_TRUE(windows(pattern, 0).isEmpty()) << pattern.toStdString() << " is still shown";
  }

  void screenshot(const QString& id, const QString& name) {
    ASSERT_TRUE(QDir().mkpath(QUILLMATE_SCREENSHOTS));
    const QString file = QStringLiteral(QUILLMATE_SCREENSHOTS "/%1.png").arg(name);
    QFile::remove(file);
    // The window must have drawn itself before it is taken.
    QThread::msleep(500);
    run("import", {"-window", id, file});
    EXPECT_GT(QFileInfo(file).size(), 1000) << "no screenshot " << file.toStdString();
  }

  // Quit, answered Yes, ends the program.
  void quit(QProcess& app) {
    keys(window(kMainWindow), {"alt+q"});
    const QString really = window("^Really Quit\\?$");
    ASSERT_FALSE(really.isEmpty());
    keys(really, {"alt+y"});
    ASSERT_TRUE(app.waitForFinished(kWaitMs)) << "Quit answered Yes did not end the program";
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
  }

  QByteArray signatureFile() const {
    QFile file(QDir(sigDir_).filePath("ZQ.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }

  QString prefix_;
  QString sigDir_;
};

TEST_F(DesktopSessionTest, AddRandomizeWriteMinimizeRestoreRefuseQuitAndStartAgain) {
  QProcess& app = start();
  const QString main = window(kMainWindow);
  ASSERT_FALSE(main.isEmpty()) << "no window titled ZQ Quillmate 1.0.0";
  EXPECT_TRUE(QFileInfo::exists(installedFile("Sig.qmd"))) << "the lists are not kept beside "
                                                              "the installed program";

  // Create Signature, type it, Save, and no other one.
  keys(main, {"alt+s"});
  const QString add = window("^Add New Signature$");
  ASSERT_FALSE(add.isEmpty());
  type(add, QString::fromLatin1(kSignature));
  keys(add, {"alt+s"});
  const QString another = window("^Continue\\.\\.\\.\\.$");
  ASSERT_FALSE(another.isEmpty());
  keys(another, {"alt+n"});
  ASSERT_NO_FATAL_FAILURE(gone("^Add New Signature$"));

  // Randomize Signatures, then Write Sig Now: it writes the shown entries, still empty.
  keys(main, {"alt+n", "alt+w"});
  waitFor([&] { return signatureFile() != "<missing>"; });
  EXPECT_EQ(signatureFile(), "\r\n\r\n\r\n\r\n");
  QFile ini(installedFile("zq.ini"));
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  EXPECT_TRUE(ini.readAll().contains("\r\nSigRandom=1\r\n"));

  keys(main, {"alt+p"});
  const QString preferences = window("^Preferences$");
  ASSERT_FALSE(preferences.isEmpty());
  ASSERT_NO_FATAL_FAILURE(screenshot(preferences, "preferences"));
  keys(preferences, {"Escape"});
  ASSERT_NO_FATAL_FAILURE(gone("^Preferences$"));

  // Minimize into the tray, and a double-click on the icon brings the window back.
  keys(main, {"alt+m"});
  QPoint icon;
  ASSERT_NO_FATAL_FAILURE(waitInTray(icon));
  clickIcon(icon, 2);
  ASSERT_NO_FATAL_FAILURE(waitShownWithoutIcon());

  QProcess& second = start();
  const QString refusal = window("^Already Running$");
  ASSERT_FALSE(refusal.isEmpty());
  keys(refusal, {"Return"});
  ASSERT_TRUE(second.waitForFinished(kWaitMs));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(app.state(), QProcess::Running);

  ASSERT_NO_FATAL_FAILURE(quit(app));

  // The next start draws the signature at random; Write Sig Now writes it.
  QProcess& again = start();
  const QString restarted = window(kMainWindow);
  ASSERT_FALSE(restarted.isEmpty());
  QFile::remove(QDir(sigDir_).filePath("ZQ.txt"));
  keys(restarted, {"alt+w"});
  waitFor([&] { return signatureFile() != "<missing>"; });
  EXPECT_EQ(signatureFile(), "\r\n\r\n" + kSignature + "\r\n\r\n");
  ASSERT_NO_FATAL_FAILURE(screenshot(restarted, "main-window"));
  ASSERT_NO_FATAL_FAILURE(quit(again));
}

}  // namespace
