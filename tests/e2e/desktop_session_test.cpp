// The installed program, started by its desktop entry's command on a private Xvfb beside trayer
// (an XEmbed tray, parameter true) or item_host.py (StatusNotifierItems on a private session bus),
// driven through xdotool. On failure a screenshot goes to QUILLMATE_SCREENSHOTS.
#include <gtest/gtest.h>

#include <QtCore>

namespace {

constexpr int kWaitMs = 20000;
const QString kMain = "^" + QRegularExpression::escape("ZQ Quillmate " QUILLMATE_VERSION) + "$";
const auto record = [](const char* text) { return QByteArray(text).leftJustified(255, ' '); };

bool waitFor(const std::function<bool()>& ready) {
  for (QDeadlineTimer deadline(kWaitMs); !ready(); QThread::msleep(50))
    if (deadline.hasExpired()) return false;
  return true;
}

bool exitedWith0(QProcess& p) {
  return (p.waitForFinished(kWaitMs), !p.state() && !p.exitStatus() && !p.exitCode());
}

class DesktopSessionTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    // Without -noreset the server resets when its last client leaves and turns the next away.
    QProcess& xvfb = launch("Xvfb", {"-displayfd", "1", "-noreset"});
    ASSERT_TRUE(xvfb.waitForReadyRead(kWaitMs));
    env_.insert("QT_QPA_PLATFORM", "xcb");
    env_.insert("DISPLAY", ':' + xvfb.readAll().trimmed());
    for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR", "HOME"}) env_.insert(var, root_.path());
    env_.remove("XDG_DATA_HOME");
    if (xembed_) {  // Qt prefers a tray on the session bus when there is one.
      env_.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root_.filePath("no-bus"));
      launch("trayer", {"--edge", "top", "--widthtype", "pixel", "--width", "100"});
      ASSERT_FALSE(xdotool({"search", "--sync", "--onlyvisible", "--class", "^trayer$"}).isEmpty());
    } else {
      QProcess& bus = launch("dbus-daemon", {"--session", "--nofork", "--print-address"});
      ASSERT_TRUE(bus.waitForReadyRead(kWaitMs));
      env_.insert("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
      host_ = &launch("/usr/bin/python3", {"-u", QUILLMATE_ITEM_HOST});
      ASSERT_EQ(hostLine(), "ready");
    }
    dir_ = root_.filePath("opt/quillmate/");
    ASSERT_TRUE(exitedWith0(
        launch(QUILLMATE_CMAKE, {"--install", QUILLMATE_BUILD_DIR, "--prefix", root_.path()})));
    const QSettings entry(
        root_.filePath("share/applications/io.github.quillmate.quillmate.desktop"),
        QSettings::IniFormat);
    exe_ = entry.value("Desktop Entry/Exec").toString();
    class_ = "^" + entry.value("Desktop Entry/StartupWMClass").toString() + "$";
    // A stray lock file with garbage in it, and three signatures to edit.
    QFile lock(lock_ = dir_ + ".quillmate.lock"), sig(dir_ + "Sig.qmd");
    ASSERT_TRUE(lock.open(QFile::WriteOnly) && lock.write("4242\nnot a lock\n") > 0 &&
                sig.open(QFile::WriteOnly) && sig.write(record("A") + record("B") + record("C")));
  }
  void TearDown() override {
    if (HasFailure() && QDir().mkpath(QUILLMATE_SCREENSHOTS))
      run("import", {"-window", "root", QUILLMATE_SCREENSHOTS "/" + QString::number(xembed_)});
    // Latest first, so that Xvfb ends last; ended gently, it removes its socket and lock file.
    for (QProcess& p : procs_) p.terminate(), p.waitForFinished(kWaitMs);
  }
  QProcess& launch(const QString& program, const QStringList& args = {}) {
    QProcess& p = procs_.emplace_front();
    p.setProcessEnvironment(env_);
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    EXPECT_TRUE(p.waitForStarted(kWaitMs)) << qPrintable(program) << " is not installed";
    return p;
  }
  QByteArray run(const QString& program, const QStringList& args) {
    QProcess& p = launch(program, args);
    return (p.waitForFinished(kWaitMs), p.readAllStandardOutput());
  }
  QByteArray xdotool(const QStringList& args) { return run("xdotool", args); }
  void keys(const QString& window, const QString& key) {
    xdotool({"windowfocus", "--sync", window, "key", "--clearmodifiers", key});
  }
  // Ids of the shown windows whose title (or with "--class", class) matches re.
  QStringList windows(const QString& re, const QString& by = "--name") {
    return QString(xdotool({"search", "--onlyvisible", by, re})).split('\n', Qt::SkipEmptyParts);
  }
  // The windows once there are exactly `count` of them, else none.
  QStringList await(const QString& re, int count) {
    QStringList found;
    if (waitFor([&] { return (found = windows(re)).size() == count; })) return found;
    ADD_FAILURE() << found.size() << " windows titled " << qPrintable(re);
    return {};
  }
  // Windows of the entry's class, as docks find them: main window, boxes, an XEmbed tray icon.
  QStringList shown() { return windows(class_, "--class"); }
  void minimize(const QString& main) {
    keys(main, "alt+m");
    ASSERT_TRUE(xembed_ || hostLine() == "item") << "no item registered";
    ASSERT_TRUE(waitFor([&] { return windows(kMain).isEmpty() && shown().size() == xembed_; }))
        << "not hidden in the tray";
  }
  QByteArray hostLine(const QByteArray& command = {}) {
    host_->write(command);
    waitFor([&] { return host_->canReadLine() || (host_->waitForReadyRead(50), false); });
    return host_->readLine().trimmed();
  }

  const bool xembed_ = GetParam();
  QTemporaryDir root_;
  QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();
  std::list<QProcess> procs_;
  QProcess* host_ = nullptr;
  QString exe_, class_, dir_, lock_;
};

TEST_P(DesktopSessionTest, RefuseRaceTrayQuitKillAndTerminate) {
  // Copies started at once over the stray lock file: one window, the others refused.
  std::vector<QProcess*> copies;
  for (int i = 0; i < 5; ++i) copies.push_back(&launch(exe_));
  const QStringList boxes = await("^Already Running$", 4);
  const QString main = await(kMain, 1).value(0);
  for (const QString& box : boxes) xdotool({"key", "--window", box, "Return"});
  const qint64 pid = xdotool({"getwindowpid", main}).trimmed().toLongLong();
  const auto app = std::ranges::find(copies, pid, &QProcess::processId);
  ASSERT_NE(app, copies.end());
  for (QProcess* copy : copies) EXPECT_TRUE(copy == *app || exitedWith0(*copy)) << "refused copy";

  // Back from the tray by a double-click on an XEmbed icon (one click is not enough; the pause
  // outlasts a double-click) or by Activate on an item.
  ASSERT_NO_FATAL_FAILURE(minimize(main));
  if (xembed_) {
    const QStringList click{"mousemove", "--window", shown().value(0), "4", "4", "click", "1"};
    xdotool(click);
    QThread::msleep(600);
    ASSERT_TRUE(windows(kMain).isEmpty()) << "one click brought the window back";
    xdotool(click + QStringList{"click", "1"});
  } else {
    ASSERT_EQ(hostLine("activate\n"), "done");
  }
  ASSERT_TRUE(waitFor([&] { return windows(kMain).size() == 1 && shown() == windows(kMain); }));

  // From the tray, a start from another environment is refused and brings the window back.
  ASSERT_NO_FATAL_FAILURE(minimize(main));
  for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) env_.insert(var, dir_);
  QProcess& second = launch(exe_);
  const QString box = await("^Already Running$", 1).value(0);
  ASSERT_EQ(await(kMain, 1).size(), 1) << "the running window did not come back";
  // The box's text, selected by a triple click; the first key after that may be lost.
  xdotool({"mousemove", "--window", box, "120", "20", "click", "--repeat", "3", "1"});
  const auto selection = [&] { return run("xclip", {"-o", "-selection", "primary"}); };
  waitFor([&] { return !selection().isEmpty(); });
  EXPECT_EQ(selection(), "ZQ Quillmate is already running!!");
  waitFor([&] { return xdotool({"key", "--window", box, "Return"}), second.waitForFinished(200); });
  EXPECT_TRUE(exitedWith0(second));

  if (xembed_) {  // Killed, it leaves its lock file, which must not keep the next start out.
    (*app)->kill();
    ASSERT_TRUE((*app)->waitForFinished(kWaitMs) && QFile::exists(lock_));
  } else {  // The item's menu; its Quit asks first.
    ASSERT_NO_FATAL_FAILURE(minimize(main));
    EXPECT_EQ(hostLine("quit\n"), "menu Restore|Write Sig Now|Quit");
    keys(await("^Really Quit\\?$", 1).value(0), "alt+y");
    ASSERT_TRUE(exitedWith0(**app)) << "Quit from the tray";
  }

  // SIGTERM with the editor open: exit 0, no lock file, the edited signature kept at the end.
  QProcess& last = launch(exe_);
  keys(await(kMain, 1).value(0), "alt+e");
  ASSERT_EQ(await("^Edit Sig$", 1).size(), 1);
  last.terminate();
  EXPECT_TRUE(exitedWith0(last));
  EXPECT_FALSE(QFile::exists(lock_));
  EXPECT_EQ(run("cat", {dir_ + "Sig.qmd"}), record("B") + record("C") + record("A"));
}

INSTANTIATE_TEST_SUITE_P(Trays, DesktopSessionTest, testing::Bool(),
                         [](const auto& info) { return info.param ? "XEmbed" : "ItemHost"; });

}  // namespace
