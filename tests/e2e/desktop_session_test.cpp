// A user's session with the installed program: installed by cmake --install into a scratch
// prefix, started by its desktop entry's command on a private Xvfb with a notification area,
// and driven by keyboard and mouse through xdotool as a user would. The notification area is an
// XEmbed tray (trayer), or a panel that hosts StatusNotifierItems on a private session bus
// (item_host.py, standing in for KDE Plasma or GNOME's extension). Screenshots of the main
// window and the Preferences dialog go to the test's output folder (QUILLMATE_SCREENSHOTS).
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <memory>
#include <ostream>

#include "support/tray_fixture.h"

namespace {

using qm::test::kMainWindow;
using qm::test::kWaitMs;
using qm::test::TrayTest;

const QByteArray kSignature = "Kind regards, Ann";

enum class Tray { XEmbed, ItemHost };

void PrintTo(Tray tray, std::ostream* os) {
  *os << (tray == Tray::XEmbed ? "XEmbed" : "ItemHost");
}

class DesktopSessionTest : public TrayTest, public ::testing::WithParamInterface<Tray> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TrayTest::SetUp());
    if (GetParam() == Tray::ItemHost) {
      ASSERT_NO_FATAL_FAILURE(startItemHost());
    }
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
      if (line.startsWith("StartupWMClass=")) windowClass_ = line.mid(15);
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

  // A private session bus with the stand-in host on it; the program finds it at its start.
  void startItemHost() {
    QProcess& bus = *helpers_.emplace_back(std::make_unique<QProcess>());
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(bus.waitForStarted(kWaitMs)) << "dbus-daemon is not installed";
    ASSERT_TRUE(bus.waitForReadyRead(kWaitMs));
    env_.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromLatin1(bus.readLine().trimmed()));
    host_ = helpers_.emplace_back(std::make_unique<QProcess>()).get();
    host_->setProcessEnvironment(env_);
    host_->start("/usr/bin/python3", {"-u", QUILLMATE_ITEM_HOST});
    ASSERT_EQ(hostLine(), "ready");
  }

  // The host's next line, or what it said before it stopped answering.
  QByteArray hostLine() {
    const QDeadlineTimer deadline(kWaitMs);
    while (!host_->canReadLine() && host_->waitForReadyRead(int(deadline.remainingTime()))) {
    }
    return host_->canReadLine() ? host_->readLine().trimmed()
                                : "<no answer> " + host_->readAllStandardError();
  }

  QByteArray askHost(const QByteArray& command) {
    host_->write(command + '\n');
    return hostLine();
  }

  // Minimize puts the program into the notification area; the tray's own gesture brings it
  // back: a double-click on an XEmbed icon, one click (Activate) on a hosted item.
  void minimizeAndRestore(const QString& main) {
    keys(main, {"alt+m"});
    if (GetParam() == Tray::XEmbed) {
      QPoint icon;
      ASSERT_NO_FATAL_FAILURE(waitInTray(icon));
      clickIcon(icon, 2);
    } else {
      ASSERT_EQ(hostLine(), "item");
      ASSERT_NO_FATAL_FAILURE(gone(kMainWindow));
      ASSERT_EQ(askHost("activate"), "done");
    }
    ASSERT_NO_FATAL_FAILURE(waitShownWithoutIcon());
  }

  QByteArray signatureFile() const {
    QFile file(QDir(sigDir_).filePath("ZQ.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }

  QString prefix_;
  QString sigDir_;
  QProcess* host_ = nullptr;
  QByteArray windowClass_;  // as the menu entry names it
};

TEST_P(DesktopSessionTest, AddRandomizeWriteMinimizeRestoreRefuseQuitAndStartAgain) {
  QProcess& app = start();
  const QString main = window(kMainWindow);
  ASSERT_FALSE(main.isEmpty()) << "no window titled ZQ Quillmate 1.0.0";
  EXPECT_TRUE(QFileInfo::exists(installedFile("Sig.qmd"))) << "the lists are not kept beside "
                                                              "the installed program";
  // Docks find the entry of a window by its class.
  EXPECT_TRUE(
      run("xprop", {"-id", main, "WM_CLASS"}).trimmed().endsWith(", \"" + windowClass_ + '"'))
      << "the entry's StartupWMClass is \"" << windowClass_.toStdString() << '"';

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

  ASSERT_NO_FATAL_FAILURE(minimizeAndRestore(main));

  // From the tray, a second start is refused and brings the running one's window back.
  keys(main, {"alt+m"});
  ASSERT_NO_FATAL_FAILURE(gone(kMainWindow));
  if (GetParam() == Tray::ItemHost) {
    ASSERT_EQ(hostLine(), "item");
  }
  QProcess& second = start();
  const QString refusal = window("^Already Running$");
  ASSERT_FALSE(refusal.isEmpty());
  ASSERT_EQ(windows(kMainWindow).size(), 1) << "the running window did not come back";
  keys(refusal, {"Return"});
  ASSERT_TRUE(second.waitForFinished(kWaitMs));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(app.state(), QProcess::Running);

  if (GetParam() == Tray::XEmbed) {
    ASSERT_NO_FATAL_FAILURE(quit(app));
  } else {
    // The item's menu offers the window, a write and the end; its Quit asks first.
    keys(main, {"alt+m"});
    ASSERT_EQ(hostLine(), "item");
    const QByteArray menu = askHost("menu");  // "menu <object path> <entries>"
    ASSERT_TRUE(menu.startsWith("menu /")) << menu.toStdString();
    EXPECT_EQ(menu.mid(menu.indexOf(' ', 5) + 1), "Restore|Write Sig Now|Quit");
    ASSERT_EQ(askHost("click Quit"), "done");
    keys(window("^Really Quit\\?$"), {"alt+y"});
    ASSERT_TRUE(app.waitForFinished(kWaitMs)) << "Quit from the tray did not end the program";
  }

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

INSTANTIATE_TEST_SUITE_P(Trays, DesktopSessionTest, ::testing::Values(Tray::XEmbed, Tray::ItemHost),
                         [](const auto& info) { return ::testing::PrintToString(info.param); });

}  // namespace
