// Installed, on Xvfb with xfwm4 + xfce4-panel (item host; XEmbed tray with no bus), sway + waybar.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>
#include <QtCore>

constexpr int kWaitMs = 20000;
const QString kMain = "ZQ Quillmate " QUILLMATE_VERSION;
const auto record = [](const char* text) { return QByteArray(text).leftJustified(255, ' '); };
const char kPanel[] = R"(<channel name="xfce4-panel" version="1.0">
 <property name="configver" type="int" value="2"/>
 <property name="panels" type="array"><value type="int" value="1"/>
  <property name="panel-1" type="empty"><property name="position" type="string" value="p=6;x=0;y=0"/>
   <property name="plugin-ids" type="array"><value type="int" value="1"/><value type="int" value="2"/></property>
  </property></property><property name="plugins" type="empty"><property name="plugin-1" type="string" value="tasklist"/>
  <property name="plugin-2" type="string" value="systray"/></property></channel>)";

#define ASSERT_SOON(condition) ASSERT_TRUE(waitFor([&] { return condition; })) << #condition

class DesktopSessionTest : public ::testing::TestWithParam<std::string> {
 protected:
  static bool waitFor(const std::function<bool()>& ready, int ms = kWaitMs) {
    for (QDeadlineTimer deadline(ms); !ready(); QThread::msleep(50))
      if (deadline.hasExpired()) return false;
    return true;
  }
  static bool exitedWith0(QProcess& p) {
    return (p.waitForFinished(kWaitMs), !p.state() && !p.exitStatus() && !p.exitCode());
  }
  void SetUp() override {
    const QString home = root_.path();
    setEnv({"HOME=" + home, "TMPDIR=" + home, "XDG_RUNTIME_DIR=" + home, "XDG_DATA_HOME=",
            "XDG_CONFIG_HOME=" + home + "/config", "XDG_DATA_DIRS=" + home + "/share:/usr/share"});
    ASSERT_TRUE(
        exitedWith0(launch(QUILLMATE_CMAKE, {"--install", QUILLMATE_BUILD_DIR, "--prefix", home})));
    const QSettings entry(home + "/share/applications/io.github.quillmate.quillmate.desktop",
                          QSettings::IniFormat);
    exe_ = entry.value("Desktop Entry/Exec").toString();
    class_ = entry.value("Desktop Entry/StartupWMClass").toString();
    ASSERT_TRUE(write(dir_ + ".quillmate.lock", "4242\nnot a lock\n") &&  // a stray lock file
                write(dir_ + "Sig.qmd", record("A") + record("B") + record("C")) &&
                write(dir_ + "zq.ini", "[Settings]\r\nStart_Min=1\r\n"));
    if (sway_) {
      ASSERT_TRUE(QDir().mkdir(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
                  write(home + "/config/waybar/config", R"({"modules-right":["tray"]})"));
      if (::geteuid() == 0) {  // sway refuses root: the whole session is nobody's then
        ASSERT_TRUE(exitedWith0(launch("chown", {"-R", "nobody:", home})));
        ASSERT_TRUE(QFile::setPermissions(home, QFile::permissions(home) | QFile::ExeOther));
        user_ = ::getpwnam("nobody");
      }
      setEnv({"XDG_RUNTIME_DIR=" + runtime_, "SWAYSOCK=" + runtime_ + "/sway.sock",
              "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman",
              "QT_QPA_PLATFORM=wayland", "DISPLAY=", "WAYLAND_DISPLAY=wayland-1"});
    } else {
      QProcess& xvfb = launch("Xvfb", {"-displayfd", "1", "-noreset"});
      ASSERT_TRUE(xvfb.waitForReadyRead(kWaitMs));
      setEnv({"QT_QPA_PLATFORM=xcb", "DISPLAY=:" + xvfb.readAll().trimmed()});
      ASSERT_TRUE(write(home + "/config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml", kPanel));
    }
    QProcess& bus = launch("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(bus.waitForReadyRead(kWaitMs));
    env_.insert("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
    launch(sway_ ? "sway" : "xfwm4", sway_ ? QStringList{"-c", "/dev/null"} : QStringList());
    ASSERT_SOON(sway_ ? QFile::exists(runtime_ + "/wayland-1")  // sway's first socket name
                      : run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"));
  }
  void TearDown() override {
    if (HasFailure())  // written here: grim may run as nobody
      write(QUILLMATE_SCREENSHOTS "/" + QString::fromStdString(GetParam()) + ".png",
            sway_ ? run("grim", {"-"}) : run("import", {"-window", "root", "png:-"}));
    for (QProcess& p : procs_) p.terminate(), p.waitForFinished(kWaitMs);  // servers end last
  }
  void setEnv(const QStringList& vars) {
    for (const QString& var : vars) env_.insert(var.section('=', 0, 0), var.section('=', 1));
  }
  bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QFile::WriteOnly) &&
           file.write(bytes) == bytes.size();
  }
  // With errors, its stderr (a sanitizer's report among them) joins the test's output.
  QProcess& launch(const QString& program, const QStringList& args = {}, bool errors = false) {
    QProcess& p = procs_.emplace_front();
    p.setProcessEnvironment(env_);
    p.setProcessChannelMode(errors ? QProcess::ForwardedErrorChannel : QProcess::SeparateChannels);
    if (!errors) p.setStandardErrorFile(QProcess::nullDevice());
    p.setChildProcessModifier([user = user_] {
      if (user && (setgroups(0, nullptr) || setgid(user->pw_gid) || setuid(user->pw_uid))) _exit(9);
    });
    p.start(program, args);
    EXPECT_TRUE(p.waitForStarted(kWaitMs)) << qPrintable(program) << " is not installed";
    return p;
  }
  QByteArray run(const QString& program, const QStringList& args) {
    QProcess& p = launch(program, args);
    return (p.waitForFinished(kWaitMs), p.readAllStandardOutput());
  }
  void keys(const QString& title, const QString& key) {
    for (const QString& id : windows(title))
      run("xdotool", {"windowfocus", "--sync", id, "key", "--clearmodifiers", key});
  }
  QStringList windows(const QString& title, const QString& by = "--name") {
    const QString re = "^" + QRegularExpression::escape(title) + "$";
    return QString(run("xdotool", {"search", "--onlyvisible", by, re}))
        .split('\n', Qt::SkipEmptyParts);
  }
  // sway: the windows as its tree has them, "workspace:title" with "!" when urgent.
  QStringList tree(QJsonObject node = {}, QString workspace = {}) {
    if (node.isEmpty()) node = QJsonDocument::fromJson(run("swaymsg", {"-t", "get_tree"})).object();
    if (node["type"] == "workspace") workspace = node["name"].toString();
    QStringList found;
    if (node["app_id"].isString())
      found << workspace + ':' + node["name"].toString() + (node["urgent"].toBool() ? "!" : "");
    for (const char* key : {"nodes", "floating_nodes"})
      for (const auto& child : node[key].toArray()) found += tree(child.toObject(), workspace);
    return found;
  }
  bool shown(const QString& title) {
    return sway_ ? tree().join('\n').contains(':' + title) : !windows(title).isEmpty();
  }
  QByteArray dbus(const QString& at, const QStringList& call) {  // at: "service/path"
    const QStringList to{"--session", "--print-reply", "--dest=" + at.section('/', 0, 0),
                         '/' + at.section('/', 1)};
    return run("dbus-send", to + call);
  }
  QString get(const QString& property,  // of the interface named after the object
              const QString& at = "org.kde.StatusNotifierWatcher/StatusNotifierWatcher") {
    return dbus(at, {"org.freedesktop.DBus.Properties.Get", "string:org.kde." + at.section('/', -1),
                     "string:" + property});
  }
  // The newest item's address (xfce4-panel lists an ended program's for a while) or a property.
  QString item(const QString& property = {}) {
    QString text = get("RegisteredStatusNotifierItems");
    if (!property.isEmpty()) text = get(property, text.section('"', -2, -2));
    return text.section('"', -2, -2);
  }
  // By the entry's command, after "VAR=value"s and a launcher; with no bus for an XEmbed icon.
  QProcess& start(QStringList before = {}) {
    if (xembed_) before.prepend("DBUS_SESSION_BUS_ADDRESS=unix:path=/none");
    return launch("env", before << exe_, true);
  }
  void startPanel() { panel_ = &launch(sway_ ? "waybar" : "xfce4-panel"); }
  bool onTaskBar() {  // put away with no tray: on the task bar (sway shows every window)
    return sway_ ? shown(kMain) : run("xprop", {"-name", kMain, "WM_STATE"}).contains("Iconic");
  }
  bool inTray() {
    return !shown(kMain) && (xembed_ ? !windows(class_, "--class").isEmpty() : !item().isEmpty());
  }
  bool minimise(const QString& key = "alt+m") {  // Alt+M: the window's own Minimize
    return keys(kMain, key), waitFor([&] { return inTray(); });
  }
  // Back by a double-click on the XEmbed icon (one click is not enough) or the item's Activate.
  void fromTray() {
    if (xembed_) {
      const QString icon = windows(class_, "--class").value(0);
      run("xdotool", {"mousemove", "--window", icon, "4", "4", "click", "1"});
      QThread::msleep(600);
      ASSERT_FALSE(shown(kMain)) << "one click brought the window back";
      run("xdotool", {"mousemove", "--window", icon, "4", "4", "click", "1", "click", "1"});
    }
    ASSERT_TRUE(waitFor([&] {  // again if a panel just started made a new item
      if (!xembed_) dbus(item(), {"org.kde.StatusNotifierItem.Activate", "int32:0", "int32:0"});
      return waitFor([&] { return shown(kMain); }, 1000);
    })) << "not back from the tray";
    EXPECT_TRUE(sway_ || windows(class_, "--class") == windows(kMain)) << "icon left behind";
  }
  const bool itemHost_ = GetParam() == "XfceItem", xembed_ = GetParam() == "XfceXEmbed",
             sway_ = GetParam() == "Sway";
  QTemporaryDir root_;
  QString dir_ = root_.filePath("opt/quillmate/"), runtime_ = root_.filePath("run"), exe_, class_;
  QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();
  const passwd* user_ = nullptr;
  std::list<QProcess> procs_;
  QProcess* panel_ = nullptr;
};

TEST_P(DesktopSessionTest, LatePanelMinimiseSecondStartAndTerminate) {
  QProcess* app = itemHost_ ? nullptr : &start();
  if (itemHost_) {  // copies at once over the stray lock file: one window, the others refused
    startPanel();
    ASSERT_SOON(get("IsStatusNotifierHostRegistered").contains("true"));
    QProcess* copies[] = {&start(), &start(), &start(), &start()};
    ASSERT_SOON(windows("Already Running").size() == 3);
    keys("Already Running", "Return");
    const auto running = [](QProcess* p) { return !p->waitForFinished(1) && p->state(); };
    ASSERT_SOON(std::ranges::count_if(copies, running) == 1) << ": refused copies still run";
    app = *std::ranges::find_if(copies, [](QProcess* p) { return p->state(); });
    for (QProcess* refused : copies) EXPECT_TRUE(refused == app || exitedWith0(*refused));
    ASSERT_SOON(shown(kMain)) << ": not brought forward by the refusals";
    ASSERT_TRUE(minimise());
  } else {  // started minimised before the panel (autostart may win the race), in the tray later
    ASSERT_SOON(onTaskBar());
    startPanel();
    ASSERT_SOON(inTray());
  }
  EXPECT_EQ((item("Title") + '|' + item("IconName")).toUtf8(),  // none with no bus
            xembed_ ? "|" : "Quillmate|io.github.quillmate.quillmate");
  if (!sway_) {  // the window manager's minimise, here its shortcut, ends in the tray for good
    ASSERT_NO_FATAL_FAILURE(fromTray());
    ASSERT_TRUE(minimise("alt+F9"));
    QThread::msleep(500);
    ASSERT_TRUE(inTray()) << "came back by itself";
  }
  ASSERT_TRUE((panel_->terminate(), panel_->waitForFinished(kWaitMs)));
  ASSERT_SOON(onTaskBar()) << " without the panel";
  startPanel();
  ASSERT_SOON(inTray()) << " with the panel back";
  ASSERT_NO_FATAL_FAILURE(fromTray());
  // A refused second start brings the window forward: from workspace 2 by token, or from the tray.
  if (sway_) run("swaymsg", {"[title=\"^" + kMain + "$\"] move to workspace 2; workspace 1"});
  ASSERT_TRUE(sway_ || minimise());
  QProcess& second =
      sway_ ? start({QUILLMATE_LAUNCHER}) : start({"XDG_RUNTIME_DIR=" + dir_, "TMPDIR=" + dir_});
  ASSERT_SOON(shown("Already Running"));
  if (sway_) {
    EXPECT_EQ(tree().join('|').toUtf8(), "1:Already Running|2:" + kMain.toUtf8() + "!");
    run("swaymsg", {"[title=\"^Already Running$\"]", "kill"});
  } else {
    ASSERT_SOON(shown(kMain)) << ": the window did not come forward";
    // The box's text, selected by a triple click; the first key after that may be lost.
    run("xdotool", {"mousemove", "--window", windows("Already Running").value(0), "120", "20",
                    "click", "--repeat", "3", "1"});
    QByteArray text;
    waitFor([&] { return !(text = run("xclip", {"-o", "-selection", "primary"})).isEmpty(); });
    EXPECT_EQ(text, "ZQ Quillmate is already running!!");
    waitFor([&] { return keys("Already Running", "Return"), second.waitForFinished(200); });
  }
  EXPECT_TRUE(exitedWith0(second));
  if (xembed_) {  // killed, its lock file must not keep the next start out
    app->kill();
    ASSERT_TRUE(app->waitForFinished(kWaitMs) && QFile::exists(dir_ + ".quillmate.lock"));
    app = &start();
    ASSERT_SOON(inTray()) << ": the next start is kept out";
    ASSERT_NO_FATAL_FAILURE(fromTray());
    keys(kMain, "alt+e");
    ASSERT_SOON(shown("Edit Sig"));  // SIGTERM with the editor open keeps the edited signature
  }
  if (!itemHost_) app->terminate();
  if (itemHost_) {  // the item's menu as a panel reads it, "|label..."; its Quit asks first
    ASSERT_TRUE(minimise());
    const QString at = item().section('/', 0, 0) + item("Menu");
    const QRegularExpression entry(R"re(int32 (\d+)|"label"\s+variant\s+string "([^"]*)")re");
    QString labels, id, quit;
    for (const auto& match : entry.globalMatch(dbus(
             at, {"com.canonical.dbusmenu.GetLayout", "int32:0", "int32:-1", "array:string:"}))) {
      if (match.hasCaptured(1)) id = match.captured(1);
      if (match.hasCaptured(2) && (labels += '|' + match.captured(2)).endsWith("|Quit")) quit = id;
    }
    EXPECT_EQ(labels.toUtf8(), "|Restore|Write Sig Now|Quit");
    dbus(at, {"com.canonical.dbusmenu.Event", "int32:" + quit, "string:clicked", "variant:int32:0",
              "uint32:0"});
    ASSERT_SOON(shown("Really Quit?"));
    keys("Really Quit?", "alt+y");
  }
  EXPECT_TRUE(exitedWith0(*app));
  EXPECT_FALSE(QFile::exists(dir_ + ".quillmate.lock"));
  if (xembed_) {
    EXPECT_EQ(run("cat", {dir_ + "Sig.qmd"}), record("B") + record("C") + record("A"));
  }
}

INSTANTIATE_TEST_SUITE_P(Desktops, DesktopSessionTest,
                         testing::Values("XfceItem", "XfceXEmbed", "Sway"),
                         [](const auto& info) { return info.param; });
