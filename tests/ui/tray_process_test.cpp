// Runs copies of the real program next to a notification area (trayer) on a private Xvfb.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <ostream>
#include <string>
#include <vector>

#include "support/process_fixture.h"

namespace {

using qm::test::kMainWindow;
using qm::test::kWaitMs;
using qm::test::ProcessTest;

// Qt buttons are no X windows, so "Minimize" is clicked where the layout puts it: the bottom
// button row is right-aligned above the two time lines, and at the default font the button's
// centre sits this far from the window's bottom-right corner.
constexpr QPoint kMinimizeFromBottomRight(137, 62);

struct TrayCase {
  const char* name;
  const char* ini;  // nullptr: no zq.ini yet
  bool startsInTray;
};

void PrintTo(const TrayCase& c, std::ostream* os) {
  *os << c.name;
}

class TrayProcessTest : public ProcessTest, public ::testing::WithParamInterface<TrayCase> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(ProcessTest::SetUp());
    // Qt prefers a tray on the session bus when there is one; these tests are about XEmbed.
    env_.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root_.filePath("run/no-bus"));
    const QProcess& tray =
        startHelper("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                               "--width", "100", "--height", "24"});
    ASSERT_EQ(tray.state(), QProcess::Running);
    // The program looks for a tray when it hides; trayer shows its panel once it runs the tray.
    const QStringList panels =
        lines(xdotool({"search", "--sync", "--onlyvisible", "--class", "^trayer$"}));
    ASSERT_EQ(panels.size(), 1) << "trayer showed no panel";
    panel_ = panels.first();
  }

  static QStringList lines(const QByteArray& output) {
    return QString::fromLatin1(output).split('\n', Qt::SkipEmptyParts);
  }

  // Centres of the program's shown windows docked in the panel: XEmbed puts tray icons inside it.
  std::vector<QPoint> trayIcons() {
    const QStringList shown = lines(xdotool({"search", "--onlyvisible", "--class", "^quillmate$"}));
    // e.g. `0x600010 "quillmate": ("quillmate" "quillmate")  22x22+0+0  +1001+1`
    static const QRegularExpression docked(
        R"(^\s*0x([0-9a-f]+) .*\("quillmate" "quillmate"\)\s+(\d+)x(\d+)\S*\s+\+(-?\d+)\+(-?\d+)\s*$)",
        QRegularExpression::MultilineOption);
    std::vector<QPoint> icons;
    const QString tree = QString::fromLatin1(run("xwininfo", {"-tree", "-id", panel_}));
    for (const auto& m : docked.globalMatch(tree)) {
      if (!shown.contains(QString::number(m.captured(1).toULongLong(nullptr, 16)))) continue;
      icons.emplace_back(m.captured(4).toInt() + m.captured(2).toInt() / 2,
                         m.captured(5).toInt() + m.captured(3).toInt() / 2);
    }
    return icons;
  }

  // Polls until ready() holds or the wait runs out.
  template <typename Ready>
  static void waitFor(Ready ready) {
    const QDeadlineTimer deadline(kWaitMs);
    while (!ready() && !deadline.hasExpired()) QThread::msleep(50);
  }

  void clickMinimize() {
    const QStringList shown = windows(kMainWindow);
    ASSERT_EQ(shown.size(), 1);
    // X=, Y=, WIDTH=, HEIGHT= lines.
    QPoint corner;
    for (const QString& line : lines(xdotool({"getwindowgeometry", "--shell", shown.first()}))) {
      const QString value = line.section('=', 1);
      if (line.startsWith("X=")) corner.rx() += value.toInt();
      if (line.startsWith("Y=")) corner.ry() += value.toInt();
      if (line.startsWith("WIDTH=")) corner.rx() += value.toInt();
      if (line.startsWith("HEIGHT=")) corner.ry() += value.toInt();
    }
    const QPoint at = corner - kMinimizeFromBottomRight;
    xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
  }

  // Waits until the main window is hidden and the program has one icon in the tray.
  void waitInTray(QPoint& icon) {
    waitFor([&] { return trayIcons().size() == 1 && windows(kMainWindow, 0).isEmpty(); });
    const std::vector<QPoint> icons = trayIcons();
    ASSERT_EQ(icons.size(), 1u) << "the program has no icon in the tray";
    ASSERT_TRUE(windows(kMainWindow, 0).isEmpty()) << "the main window is still shown";
    icon = icons.front();
  }

  void clickIcon(QPoint icon, int clicks) {
    xdotool({"mousemove", QString::number(icon.x()), QString::number(icon.y()), "click", "--repeat",
             QString::number(clicks), "--delay", "80", "1"});
  }

  void waitShownWithoutIcon() {
    waitFor([&] { return windows(kMainWindow, 0).size() == 1 && trayIcons().empty(); });
    ASSERT_EQ(windows(kMainWindow, 0).size(), 1) << "the main window did not come back";
    ASSERT_TRUE(trayIcons().empty()) << "the icon stayed in the tray";
  }

  QString panel_;
};

TEST_P(TrayProcessTest, HidesInTrayAndDoubleClickOnIconBringsWindowBack) {
  const TrayCase& c = GetParam();
  if (c.ini) {
    ASSERT_NO_FATAL_FAILURE(writeIni(c.ini));
  }
  QProcess& app = start();
  if (!c.startsInTray) {
    ASSERT_NO_FATAL_FAILURE(clickMinimize());
  }
  QPoint icon;
  ASSERT_NO_FATAL_FAILURE(waitInTray(icon));
  // A single click is not enough. The pause outlasts a double-click, so later clicks count anew.
  clickIcon(icon, 1);
  QThread::msleep(1000);
  ASSERT_TRUE(windows(kMainWindow, 0).isEmpty()) << "a single click brought the window back";
  ASSERT_NO_FATAL_FAILURE(waitInTray(icon));
  clickIcon(icon, 2);
  ASSERT_NO_FATAL_FAILURE(waitShownWithoutIcon());

  // Once more through the button, as the first way into the tray may have been another.
  ASSERT_NO_FATAL_FAILURE(clickMinimize());
  ASSERT_NO_FATAL_FAILURE(waitInTray(icon));
  clickIcon(icon, 2);
  ASSERT_NO_FATAL_FAILURE(waitShownWithoutIcon());
  EXPECT_EQ(app.state(), QProcess::Running);
}

const TrayCase kTrayCases[] = {
    {"MinimizeButton", nullptr, false},
    {"StartMinimized", "[Settings]\r\nStart_Min=1\r\n", true},
};

INSTANTIATE_TEST_SUITE_P(Process, TrayProcessTest, ::testing::ValuesIn(kTrayCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
