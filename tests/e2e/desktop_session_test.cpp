// The installed program, started by its desktop entry's command on real desktops: xfwm4 with
// xfce4-panel on a private Xvfb (its tray as item host, or as XEmbed tray when the program has no
// session bus), and a headless sway with waybar (as an unprivileged user when the test is root:
// sway refuses root). Started minimised, the program meets the panel that comes later (as
// autostart may win the race with it), quits and comes back. On failure a screenshot goes to
// QUILLMATE_SCREENSHOTS.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QtCore>

namespace {

enum class Desktop { XfceItem, XfceXEmbed, Sway };
const char* const kNames[] = {"XfceItem", "XfceXEmbed", "Sway"};
constexpr int kWaitMs = 20000;
const QString kGet = "org.freedesktop.DBus.Properties.Get";
const QString kMain = "ZQ Quillmate " QUILLMATE_VERSION;
const auto record = [](const char* text) { return QByteArray(text).leftJustified(255, ' '); };
const char kPanel[] = R"(<channel name="xfce4-panel" version="1.0">
 <property name="configver" type="int" value="2"/>
 <property name="panels" type="array"><value type="int" value="1"/>
  <property name="panel-1" type="empty"><property name="position" type="string" value="p=6;x=0;y=0"/>
   <property name="plugin-ids" type="array"><value type="int" value="1"/><value type="int" value="2"/></property>
  </property></property>
 <property name="plugins" type="empty"><property name="plugin-1" type="string" value="tasklist"/>
  <property name="plugin-2" type="string" value="systray"/></property></channel>)";

bool waitFor(const std::function<bool()>& ready, int ms = kWaitMs) {
  for (QDeadlineTimer deadline(ms); !ready(); QThread::msleep(50))
    if (deadline.hasExpired()) return false;
  return true;
}

bool exitedWith0(QProcess& p) {
  return (p.waitForFinished(kWaitMs), !p.state() && !p.exitStatus() && !p.exitCode());
}

class DesktopSessionTest : public ::testing::TestWithParam<Desktop> {
 protected:
  void SetUp() override {
    const QString home = root_.path();
    for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR", "HOME"}) env_.insert(var, home);
    env_.insert("XDG_CONFIG_HOME", root_.filePath("config"));
    env_.insert("XDG_DATA_DIRS", root_.filePath("share") + ":/usr/share");
    env_.remove("XDG_DATA_HOME");
    dir_ = root_.filePath("opt/quillmate/");
    ASSERT_TRUE(
        exitedWith0(launch(QUILLMATE_CMAKE, {"--install", QUILLMATE_BUILD_DIR, "--prefix", home})));
    const QSettings entry(
        root_.filePath("share/applications/io.github.quillmate.quillmate.desktop"),
        QSettings::IniFormat);
    exe_ = entry.value("Desktop Entry/Exec").toString();
    class_ = entry.value("Desktop Entry/StartupWMClass").toString();
    // A stray lock file with garbage in it, three signatures to edit, Start Minimized.
    ASSERT_TRUE(write(dir_ + ".quillmate.lock", "4242\nnot a lock\n") &&
                write(dir_ + "Sig.qmd", record("A") + record("B") + record("C")) &&
                write(dir_ + "zq.ini", "[Settings]\r\nStart_Min=1\r\n"));
    if (sway_) {
      env_.insert("XDG_RUNTIME_DIR", root_.filePath("run"));
      ASSERT_TRUE(write(root_.filePath("config/waybar/config"), R"({"modules-right":["tray"]})"));
      ASSERT_TRUE(write(root_.filePath("sway"), "") && QDir().mkpath(root_.filePath("run")));
      QFile::setPermissions(root_.filePath("run"),
                            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      if (::geteuid() == 0) {  // sway refuses root: the whole session is nobody's then
        ASSERT_TRUE(exitedWith0(launch("chown", {"-R", "nobody:", home})));
        ASSERT_TRUE(QFile::setPermissions(
            home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther));
        user_ = ::getpwnam("nobody");
      }
      startBus();
      for (const auto& [var, value] : {std::pair{"WLR_BACKENDS", "headless"},
                                       {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                       {"WLR_RENDERER", "pixman"},
                                       {"QT_QPA_PLATFORM", "wayland"}}) {
        env_.insert(var, value);
      }
      env_.insert("SWAYSOCK", root_.filePath("run/sway.sock"));
      launch("sway", {"-c", root_.filePath("sway")});
      QStringList sockets;
      ASSERT_TRUE(waitFor([&] {
        return !(sockets = QDir(root_.filePath("run")).entryList({"wayland-?"}, QDir::System))
                    .isEmpty();
      }));
      env_.insert("WAYLAND_DISPLAY", sockets[0]);
      env_.remove("DISPLAY");
      return;
    }
    QProcess& xvfb = launch("Xvfb", {"-displayfd", "1", "-noreset"});
    ASSERT_TRUE(xvfb.waitForReadyRead(kWaitMs));
    env_.insert("QT_QPA_PLATFORM", "xcb");
    env_.insert("DISPLAY", ':' + xvfb.readAll().trimmed());
    ASSERT_TRUE(
        write(root_.filePath("config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"), kPanel));
    startBus();
    launch("xfwm4");
    ASSERT_TRUE(waitFor([&] {
      return run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
    }));
  }
  void TearDown() override {
    if (HasFailure() && QDir().mkpath(QUILLMATE_SCREENSHOTS)) {
      const QString shot = QUILLMATE_SCREENSHOTS "/" + QString::number(int(GetParam()));
      run(sway_ ? "grim" : "import",
          sway_ ? QStringList{shot + ".png"} : QStringList{"-window", "root", shot + ".png"});
    }
    // Latest first, so that the display server ends last.
    for (QProcess& p : procs_) p.terminate(), p.waitForFinished(kWaitMs);
  }
  void startBus() {
    QProcess& bus = launch("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(bus.waitForReadyRead(kWaitMs));
    env_.insert("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
  }
  bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QFile::WriteOnly) &&
           file.write(bytes) == bytes.size();
  }
  // With errors, what it writes to stderr (a sanitizer's report among them) joins the test's
  // output.
  QProcess& launch(const QString& program, const QStringList& args = {}, bool errors = false) {
    QProcess& p = procs_.emplace_front();
    p.setProcessEnvironment(env_);
    if (errors) {
      p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    } else {
      p.setStandardErrorFile(QProcess::nullDevice());
    }
    if (const passwd* user = user_) {
      p.setChildProcessModifier([user] {
        if (::setgroups(0, nullptr) || ::setgid(user->pw_gid) || ::setuid(user->pw_uid)) _exit(9);
      });
    }
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
  // X11: ids of the mapped windows titled exactly so (or with "--class", of that class).
  QStringList windows(const QString& title, const QString& by = "--name") {
    const QString re = "^" + QRegularExpression::escape(title) + "$";
    return QString(xdotool({"search", "--onlyvisible", by, re})).split('\n', Qt::SkipEmptyParts);
  }
  // sway: the windows as its tree has them, "workspace:title" with "!" when urgent.
  QStringList tree() {
    QStringList found;
    const std::function<void(const QJsonObject&, const QString&)> walk =
        [&](const QJsonObject& node, QString workspace) {
          if (node["type"] == "workspace") workspace = node["name"].toString();
          if (node["app_id"].isString())
            found << workspace + ':' + node["name"].toString() +
                         (node["urgent"].toBool() ? "!" : "");
          for (const char* key : {"nodes", "floating_nodes"})
            for (const auto& child : node[key].toArray()) walk(child.toObject(), workspace);
        };
    walk(QJsonDocument::fromJson(run("swaymsg", {"-t", "get_tree", "-r"})).object(), {});
    found.sort();
    return found;
  }
  bool shown(const QString& title) {
    return sway_ ? tree().join('\n').contains(':' + title) : !windows(title).isEmpty();
  }
  // What a panel reads of the item over the bus: its address, or one of its properties.
  QByteArray item(const char* property = nullptr) {
    // The newest: xfce4-panel lists an ended program's item for a while.
    const QList<QByteArray> items = quoted(watcher("RegisteredStatusNotifierItems"));
    const QList<QByteArray> at = items.value(items.size() - 1).split('/');
    if (!property || at.size() < 2) return items.value(items.size() - 1);
    return quoted(dbus({at[0], '/' + at[1], kGet, "string:org.kde.StatusNotifierItem",
                        "string:" + QString(property)}))
        .value(0);
  }
  QByteArray watcher(const char* property) {
    return dbus({"org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", kGet,
                 "string:org.kde.StatusNotifierWatcher", "string:" + QString(property)});
  }
  // The double-quoted texts in dbus-send's answer.
  static QList<QByteArray> quoted(const QByteArray& answer) {
    QList<QByteArray> texts;
    for (const auto& match : QRegularExpression(R"re("([^"]*)")re").globalMatch(answer))
      texts << match.captured(1).toUtf8();
    return texts;
  }
  QByteArray dbus(const QStringList& call) {
    return run("dbus-send",
               QStringList{"--session", "--print-reply", "--dest=" + call[0]} + call.mid(1));
  }
  // The program by its entry's command (through a token-giving launcher if one is named); for
  // the XEmbed tray without a session bus, as Qt then docks an icon of its own.
  QProcess& start(QProcessEnvironment env, const QString& launcher = {}) {
    if (desktop_ == Desktop::XfceXEmbed) env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/none");
    std::swap(env, env_);
    QProcess& p = launcher.isEmpty() ? launch(exe_, {}, true) : launch(launcher, {exe_}, true);
    env_ = std::move(env);
    return p;
  }
  void startPanel() {
    panel_ = sway_ ? &launch("waybar", {"-c", root_.filePath("config/waybar/config")})
                   : &launch("xfce4-panel");
  }
  // Put away with no tray: minimised on the task bar (sway shows every window).
  bool onTaskBar() {
    if (sway_) return shown(kMain);
    const QByteArray id = xdotool({"search", "--name", "^" + kMain + "$"}).trimmed();
    return !id.isEmpty() && run("xprop", {"-id", id, "WM_STATE"}).contains("Iconic");
  }
  // Out of the tray when the panel quits, back when it starts again.
  void panelRestarts() {
    panel_->terminate();
    ASSERT_TRUE(panel_->waitForFinished(kWaitMs));
    ASSERT_TRUE(waitFor([&] { return onTaskBar(); })) << "not on the task bar without the panel";
    startPanel();
    ASSERT_TRUE(waitFor([&] { return inTray(); })) << "not back in the tray";
  }
  // By the window's Minimize (Alt+M) or the window manager's own (xfwm4: Alt+F9).
  void minimise(const QString& key = "alt+m") {
    keys(windows(kMain).value(0), key);
    ASSERT_TRUE(waitFor([&] { return inTray(); })) << "not in the tray";
  }
  // The main window hidden and an item registered, or an XEmbed icon of the entry's class.
  bool inTray() {
    return !shown(kMain) && (desktop_ == Desktop::XfceXEmbed ? !windows(class_, "--class").isEmpty()
                                                             : !item().isEmpty());
  }
  // Back by a double-click on an XEmbed icon (one click is not enough; the pause outlasts a
  // double-click) or by the item's Activate, as a panel calls it on a click.
  void fromTray() {
    if (desktop_ == Desktop::XfceXEmbed) {
      const QStringList click{
          "mousemove", "--window", windows(class_, "--class").value(0), "4", "4", "click", "1"};
      xdotool(click);
      QThread::msleep(600);
      ASSERT_FALSE(shown(kMain)) << "one click brought the window back";
      xdotool(click + QStringList{"click", "1"});
    }
    ASSERT_TRUE(waitFor([&] {
      if (desktop_ != Desktop::XfceXEmbed) {  // again if a panel just started made a new item
        const QList<QByteArray> at = item().split('/');
        dbus({at[0], '/' + at.value(1), "org.kde.StatusNotifierItem.Activate", "int32:0",
              "int32:0"});
      }
      return waitFor([&] { return shown(kMain); }, 1000);
    })) << "not back from the tray";
    if (!sway_) {
      EXPECT_EQ(windows(class_, "--class"), windows(kMain)) << "icon left behind";
    }
  }
  // The item's menu as a panel reads it, "label|label|..."; a click on the entry so labelled.
  QString menu(const QString& click = {}) {
    const QByteArray address = item();
    const QString service = address.split('/')[0], path = item("Menu");
    static const QRegularExpression entry(
        R"re(int32 (\d+)|string "label"\s+variant\s+string "([^"]*)")re");
    QStringList labels;
    QString id;
    for (const auto& match :
         entry.globalMatch(dbus({service, path, "com.canonical.dbusmenu.GetLayout", "int32:0",
                                 "int32:-1", "array:string:"}))) {
      if (match.hasCaptured(1)) id = match.captured(1);
      if (!match.hasCaptured(2)) continue;
      labels << match.captured(2);
      if (labels.last() == click) {
        dbus({service, path, "com.canonical.dbusmenu.Event", "int32:" + id, "string:clicked",
              "variant:int32:0", "uint32:0"});
      }
    }
    return labels.join('|');
  }

  const Desktop desktop_ = GetParam();
  const bool sway_ = desktop_ == Desktop::Sway;
  QTemporaryDir root_;
  QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();
  const passwd* user_ = nullptr;
  std::list<QProcess> procs_;
  QProcess* panel_ = nullptr;
  QString exe_, class_, dir_;
};

TEST_P(DesktopSessionTest, LatePanelMinimiseSecondStartAndTerminate) {
  // With the panel there, copies started at once over the stray lock file: one window, the
  // others refused, which bring it forward. Else one start, before the panel.
  const int count = desktop_ == Desktop::XfceItem ? 4 : 1;
  if (count > 1) {
    startPanel();
    ASSERT_TRUE(
        waitFor([&] { return watcher("IsStatusNotifierHostRegistered").contains("true"); }));
  }
  std::vector<QProcess*> copies;
  for (int i = 0; i < count; ++i) copies.push_back(&start(env_));
  QProcess* app = copies[0];
  if (count > 1) {
    ASSERT_TRUE(waitFor([&] { return windows("Already Running").size() == count - 1; }));
    for (const QString& box : windows("Already Running")) keys(box, "Return");
    const auto running = [](QProcess* p) { return !p->waitForFinished(1) && p->state(); };
    ASSERT_TRUE(waitFor([&] { return std::ranges::count_if(copies, running) == 1; }))
        << "refused copies still run";
    app = *std::ranges::find_if(copies, [](QProcess* p) { return p->state(); });
    for (QProcess* refused : copies) EXPECT_TRUE(refused == app || exitedWith0(*refused));
    ASSERT_TRUE(waitFor([&] { return shown(kMain); })) << "not brought forward";
    ASSERT_NO_FATAL_FAILURE(minimise());
  } else {  // put away before the panel, the window goes into the tray once it comes
    ASSERT_TRUE(waitFor([&] { return onTaskBar(); })) << "not put away on the task bar";
    startPanel();
    ASSERT_TRUE(waitFor([&] { return inTray(); })) << "not in the tray";
  }
  if (desktop_ != Desktop::XfceXEmbed) {
    EXPECT_EQ(item("Title"), "Quillmate");
    EXPECT_EQ(item("IconName"), "io.github.quillmate.quillmate");
  }
  if (!sway_) {  // the window manager's minimise, here its shortcut, ends in the tray for good
    ASSERT_NO_FATAL_FAILURE(fromTray());
    ASSERT_NO_FATAL_FAILURE(minimise("alt+F9"));
    QThread::msleep(500);
    ASSERT_TRUE(inTray()) << "came back by itself";
  }
  ASSERT_NO_FATAL_FAILURE(panelRestarts());
  ASSERT_NO_FATAL_FAILURE(fromTray());

  // A second start, the window on another workspace (sway) or in the tray (X11, from another
  // environment): refused, and the window comes forward (sway marks it urgent) with the
  // launcher's token.
  QProcessEnvironment other = env_;
  if (sway_) {
    run("swaymsg", {"[title=\"^" + kMain + "$\"]", "move", "to", "workspace", "2"});
    run("swaymsg", {"workspace", "1"});
  } else {
    ASSERT_NO_FATAL_FAILURE(minimise());
    for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) other.insert(var, dir_);
  }
  QProcess& second = start(other, sway_ ? QUILLMATE_LAUNCHER : "");
  ASSERT_TRUE(waitFor([&] { return shown("Already Running"); }));
  if (sway_) {
    EXPECT_EQ(tree(), QStringList({"1:Already Running", "2:" + kMain + "!"}));
    run("swaymsg", {"[title=\"^Already Running$\"]", "kill"});
  } else {
    ASSERT_TRUE(waitFor([&] { return shown(kMain); })) << "the window did not come forward";
    // The box's text, selected by a triple click; the first key after that may be lost.
    const QString box = windows("Already Running").value(0);
    xdotool({"mousemove", "--window", box, "120", "20", "click", "--repeat", "3", "1"});
    const auto selection = [&] { return run("xclip", {"-o", "-selection", "primary"}); };
    waitFor([&] { return !selection().isEmpty(); });
    EXPECT_EQ(selection(), "ZQ Quillmate is already running!!");
    waitFor([&] {
      return xdotool({"key", "--window", box, "Return"}), second.waitForFinished(200);
    });
  }
  EXPECT_TRUE(exitedWith0(second));

  if (desktop_ == Desktop::XfceItem) {  // the item's menu; its Quit asks first
    ASSERT_NO_FATAL_FAILURE(minimise());
    EXPECT_EQ(menu("Quit"), "Restore|Write Sig Now|Quit");
    ASSERT_TRUE(waitFor([&] { return shown("Really Quit?"); }));
    keys(windows("Really Quit?").value(0), "alt+y");
  } else if (desktop_ == Desktop::XfceXEmbed) {
    // Killed, its lock file must not keep the next start out; that one ends by SIGTERM with the
    // editor open, and the edited signature is kept at the end.
    app->kill();
    ASSERT_TRUE(app->waitForFinished(kWaitMs) && QFile::exists(dir_ + ".quillmate.lock"));
    app = &start(env_);
    ASSERT_TRUE(waitFor([&] { return inTray(); })) << "the next start is kept out";
    ASSERT_NO_FATAL_FAILURE(fromTray());
    keys(windows(kMain).value(0), "alt+e");
    ASSERT_TRUE(waitFor([&] { return shown("Edit Sig"); }));
    app->terminate();
  } else {
    app->terminate();
  }
  EXPECT_TRUE(exitedWith0(*app));
  EXPECT_FALSE(QFile::exists(dir_ + ".quillmate.lock"));
  if (desktop_ == Desktop::XfceXEmbed) {
    EXPECT_EQ(run("cat", {dir_ + "Sig.qmd"}), record("B") + record("C") + record("A"));
  }
}

INSTANTIATE_TEST_SUITE_P(Desktops, DesktopSessionTest,
                         testing::Values(Desktop::XfceItem, Desktop::XfceXEmbed, Desktop::Sway),
                         [](const auto& info) { return std::string(kNames[int(info.param)]); });

}  // namespace
