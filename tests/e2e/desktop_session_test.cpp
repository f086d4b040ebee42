// The installed program, started by its desktop entry's command on a private Xvfb beside an
// XEmbed tray (trayer) or a panel hosting StatusNotifierItems on a private session bus
// (item_host.py), driven through xdotool. On failure a screenshot goes to QUILLMATE_SCREENSHOTS.
#include <gtest/gtest.h>

#include <QtCore>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int kWaitMs = 20000;
const QString kMain = "^" + QRegularExpression::escape("ZQ Quillmate " QUILLMATE_VERSION) + "$";
enum class Tray { XEmbed, ItemHost };
const auto name = [](Tray tray) { return tray == Tray::XEmbed ? "XEmbed" : "ItemHost"; };
const auto record = [](const char* text) { return QByteArray(text).leftJustified(255, ' '); };

template <typename Ready>
bool waitFor(Ready ready) {
  const QDeadlineTimer deadline(kWaitMs);
  while (!ready() && !deadline.hasExpired()) QThread::msleep(50);
  return ready();
}

bool exitedWith0(QProcess& p) {
  p.waitForFinished(kWaitMs);
  return p.state() == QProcess::NotRunning && p.exitStatus() == QProcess::NormalExit &&
         !p.exitCode();
}

class DesktopSessionTest : public ::testing::TestWithParam<Tray> {
 protected:
  void SetUp() override {
    // Without -noreset the server resets when its last client leaves and turns the next away.
    QProcess& xvfb = launch("Xvfb", {"-displayfd", "1", "-noreset"});
    ASSERT_TRUE(xvfb.waitForReadyRead(kWaitMs)) << "Xvfb gave no display";
    env_.remove("QT_QPA_PLATFORM");
    env_.insert("DISPLAY", ':' + QString::fromLatin1(xvfb.readAll().trimmed()));
    env_.insert("XDG_RUNTIME_DIR", root_.path());
    env_.insert("TMPDIR", root_.path());
    if (GetParam() == Tray::XEmbed) {
      // Qt prefers a tray on the session bus when there is one.
      env_.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root_.filePath("no-bus"));
      launch("trayer", {"--edge", "top", "--widthtype", "pixel", "--width", "100"});
      ASSERT_FALSE(xdotool({"search", "--sync", "--onlyvisible", "--class", "^trayer$"}).isEmpty());
    } else {
      QProcess& bus = launch("dbus-daemon", {"--session", "--nofork", "--print-address"});
      ASSERT_TRUE(bus.waitForReadyRead(kWaitMs)) << "dbus-daemon gave no address";
      env_.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromLatin1(bus.readLine().trimmed()));
      host_ = &launch("/usr/bin/python3", {"-u", QUILLMATE_ITEM_HOST});
      ASSERT_EQ(hostLine(), "ready");
    }
    prefix_ = root_.filePath("prefix");
    ASSERT_TRUE(exitedWith0(
        launch(QUILLMATE_CMAKE, {"--install", QUILLMATE_BUILD_DIR, "--prefix", prefix_})));
    const QSettings entry(prefix_ + "/share/applications/io.github.quillmate.quillmate.desktop",
                          QSettings::IniFormat);
    exe_ = entry.value("Desktop Entry/Exec").toString();
    class_ = entry.value("Desktop Entry/StartupWMClass").toByteArray();
    // A stray lock file with garbage in it, and three signatures to edit.
    QFile lock(lock_ = prefix_ + "/opt/quillmate/.quillmate.lock"),
        store(store_ = prefix_ + "/opt/quillmate/Sig.qmd");
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly) && lock.write("4242\nnot a lock\n") > 0);
    ASSERT_TRUE(store.open(QIODevice::WriteOnly) &&
                store.write(record("A") + record("B") + record("C")) > 0);
  }
  void TearDown() override {
    if (HasFailure() && QDir().mkpath(QUILLMATE_SCREENSHOTS))
      run("import",
          {"-window", "root", QString(QUILLMATE_SCREENSHOTS "/%1.png").arg(name(GetParam()))});
    // Backwards, so that Xvfb ends last; ended gently, it removes its socket and lock file.
    for (auto p = procs_.rbegin(); p != procs_.rend(); ++p)
      (*p)->terminate(), (*p)->waitForFinished(kWaitMs);
  }
  QProcess& launch(const QString& program, const QStringList& args) {
    QProcess& p = *procs_.emplace_back(std::make_unique<QProcess>());
    p.setProcessEnvironment(env_);
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    EXPECT_TRUE(p.waitForStarted(kWaitMs)) << qPrintable(program) << " is not installed";
    return p;
  }
  QProcess& start() { return launch(exe_, {}); }
  QByteArray run(const QString& program, const QStringList& args) {
    QProcess& p = launch(program, args);
    p.waitForFinished(kWaitMs);
    return p.readAllStandardOutput();
  }
  QByteArray xdotool(const QStringList& args) { return run("xdotool", args); }
  // Ids of the shown windows whose title (or with "--class", class) matches pattern.
  QStringList windows(const QString& pattern, const QString& by = "--name") {
    return QString(xdotool({"search", "--onlyvisible", by, pattern}))
        .split('\n', Qt::SkipEmptyParts);
  }
  // The windows once there are exactly `count` of them, else none.
  QStringList await(const QString& pattern, int count) {
    QStringList found;
    if (waitFor([&] { return (found = windows(pattern)).size() == count; })) return found;
    ADD_FAILURE() << found.size() << " windows titled " << qPrintable(pattern);
    return {};
  }
  void keys(const QString& window, const QString& key) {
    xdotool({"windowfocus", "--sync", window});
    xdotool({"key", "--clearmodifiers", key});
  }
  // All shown windows of the program: its main window, boxes, its icon docked in an XEmbed tray.
  QStringList shown() { return windows("^quillmate$", "--class"); }
  void minimize(const QString& main) {
    keys(main, "alt+m");
    ASSERT_TRUE(GetParam() == Tray::XEmbed || hostLine() == "item") << "no item registered";
    const int icons = GetParam() == Tray::XEmbed;  // an item is not a window
    ASSERT_TRUE(waitFor([&] { return windows(kMain).isEmpty() && shown().size() == icons; }))
        << "not hidden in the tray";
  }
  // The item host's next line, or what it said before it stopped answering.
  QByteArray hostLine(const QByteArray& command = {}) {
    host_->write(command.isEmpty() ? command : command + '\n');
    for (QDeadlineTimer t(kWaitMs); !host_->canReadLine() && !t.hasExpired();)
      host_->waitForReadyRead(50);
    return host_->canReadLine() ? host_->readLine().trimmed() : "<no answer>";
  }

  QTemporaryDir root_;
  QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();
  std::vector<std::unique_ptr<QProcess>> procs_;
  QProcess* host_ = nullptr;
  QString prefix_, exe_, lock_, store_;
  QByteArray class_;  // StartupWMClass, by which docks find the window's entry
};

TEST_P(DesktopSessionTest, RefuseRaceTrayQuitKillAndTerminate) {
  // Copies started at once over the stray lock file: one window, the others refused.
  std::vector<QProcess*> copies;
  for (int i = 0; i < 5; ++i) copies.push_back(&start());
  const QStringList boxes = await("^Already Running$", 4);
  const QString main = await(kMain, 1).value(0);
  ASSERT_FALSE(main.isEmpty());
  EXPECT_TRUE(run("xprop", {"-id", main, "WM_CLASS"}).trimmed().endsWith(", \"" + class_ + '"'))
      << "StartupWMClass is " << class_.data();
  for (const QString& box : boxes) xdotool({"key", "--window", box, "Return"});
  const qint64 pid = xdotool({"getwindowpid", main}).trimmed().toLongLong();
  const auto survivor = std::ranges::find(copies, pid, &QProcess::processId);
  ASSERT_NE(survivor, copies.end());
  QProcess* app = *survivor;
  for (QProcess* copy : copies) EXPECT_TRUE(copy == app || exitedWith0(*copy)) << "refused copy";

  // Into the tray and back by the tray's own gesture: a double-click on an XEmbed icon (one
  // click is not enough; the pause outlasts a double-click), Activate on an item.
  ASSERT_NO_FATAL_FAILURE(minimize(main));
  if (GetParam() == Tray::XEmbed) {
    const QStringList click{"mousemove", "--window", shown().value(0), "4", "4", "click", "1"};
    xdotool(click);
    QThread::msleep(600);
    ASSERT_TRUE(windows(kMain).isEmpty()) << "one click brought the window back";
    xdotool(click + QStringList{"click", "1"});
  } else {
    ASSERT_EQ(hostLine("activate"), "done");
  }
  ASSERT_TRUE(waitFor([&] { return windows(kMain).size() == 1 && shown() == windows(kMain); }))
      << "not back from the tray";

  // From the tray, a start from another environment is refused and brings the window back.
  ASSERT_NO_FATAL_FAILURE(minimize(main));
  env_.remove("XDG_RUNTIME_DIR");
  env_.insert("TMPDIR", prefix_);
  QProcess& second = start();
  const QString box = await("^Already Running$", 1).value(0);
  ASSERT_EQ(await(kMain, 1).size(), 1) << "the running window did not come back";
  // The box's text, selected by a triple click on it.
  xdotool({"mousemove", "--window", box, "120", "20", "click", "--repeat", "3", "1"});
  const auto selection = [&] { return run("xclip", {"-o", "-selection", "primary"}); };
  waitFor([&] { return !selection().isEmpty(); });
  EXPECT_EQ(selection(), "ZQ Quillmate is already running!!");
  // The first key after the selection may be lost.
  waitFor([&] { return xdotool({"key", "--window", box, "Return"}), second.waitForFinished(200); });
  EXPECT_TRUE(exitedWith0(second));

  if (GetParam() == Tray::XEmbed) {
    // Killed, the program leaves its lock file, which must not keep the next start out.
    app->kill();
    ASSERT_TRUE(app->waitForFinished(kWaitMs) && QFile::exists(lock_));
  } else {
    // The item's menu; its Quit asks first.
    ASSERT_NO_FATAL_FAILURE(minimize(main));
    EXPECT_EQ(hostLine("quit"), "menu Restore|Write Sig Now|Quit");
    keys(await("^Really Quit\\?$", 1).value(0), "alt+y");
    ASSERT_TRUE(exitedWith0(*app)) << "Quit from the tray";
  }

  // SIGTERM with the signature editor open: exit 0, no lock file, and the signature being
  // edited (the first) kept at the store's end.
  QProcess& last = start();
  keys(await(kMain, 1).value(0), "alt+e");
  ASSERT_EQ(await("^Edit Sig$", 1).size(), 1);
  last.terminate();
  EXPECT_TRUE(exitedWith0(last));
  EXPECT_FALSE(QFile::exists(lock_));
  QFile store(store_);
  EXPECT_EQ(store.open(QIODevice::ReadOnly) ? store.readAll() : "<none>",
            record("B") + record("C") + record("A"));
}

INSTANTIATE_TEST_SUITE_P(Trays, DesktopSessionTest, testing::Values(Tray::XEmbed, Tray::ItemHost),
                         [](const auto& info) { return name(info.param); });

}  // namespace
