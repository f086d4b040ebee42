#include "support/tray_fixture.h"

#include <QProcess>
#include <QRegularExpression>

namespace qm::test {

void TrayTest::SetUp() {
  ASSERT_NO_FATAL_FAILURE(ProcessTest::SetUp());
  // Qt prefers a tray on the session bus when there is one; these tests are about XEmbed.
  env_.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root_.filePath("run/no-bus"));
  const QProcess& tray = startHelper("trayer", {"--edge", "top", "--align", "right", "--widthtype",
                                                "pixel", "--width", "100", "--height", "24"});
  ASSERT_EQ(tray.state(), QProcess::Running);
  // The program looks for a tray when it hides; trayer shows its panel once it runs the tray.
  const QStringList panels =
      lines(xdotool({"search", "--sync", "--onlyvisible", "--class", "^trayer$"}));
  ASSERT_EQ(panels.size(), 1) << "trayer showed no panel";
  panel_ = panels.first();
}

QStringList TrayTest::lines(const QByteArray& output) {
  return QString::fromLatin1(output).split('\n', Qt::SkipEmptyParts);
}

std::vector<QPoint> TrayTest::trayIcons() {
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

void TrayTest::waitInTray(QPoint& icon) {
  waitFor([&] { return trayIcons().size() == 1 && windows(kMainWindow, 0).isEmpty(); });
  const std::vector<QPoint> icons = trayIcons();
  ASSERT_EQ(icons.size(), 1u) << "the program has no icon in the tray";
  ASSERT_TRUE(windows(kMainWindow, 0).isEmpty()) << "the main window is still shown";
  icon = icons.front();
}

void TrayTest::waitShownWithoutIcon() {
  waitFor([&] { return windows(kMainWindow, 0).size() == 1 && trayIcons().empty(); });
  ASSERT_EQ(windows(kMainWindow, 0).size(), 1) << "the main window did not come back";
  ASSERT_TRUE(trayIcons().empty()) << "the icon stayed in the tray";
}

void TrayTest::clickIcon(QPoint icon, int clicks) {
  xdotool({"mousemove", QString::number(icon.x()), QString::number(icon.y()), "click", "--repeat",
           QString::number(clicks), "--delay", "80", "1"});
}

}  // namespace qm::test
