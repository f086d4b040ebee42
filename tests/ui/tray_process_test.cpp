// Runs copies of the real program next to a notification area (trayer) on a private Xvfb.
#include <gtest/gtest.h>

#include <QProcess>
#include <QThread>
#include <ostream>
#include <string>

#include "support/tray_fixture.h"

namespace {

using qm::test::kMainWindow;
using qm::test::kWaitMs;
using qm::test::TrayTest;

struct TrayCase {
  const char* name;
  const char* ini;  // nullptr: no zq.ini yet
  bool startsInTray;
};

void PrintTo(const TrayCase& c, std::ostream* os) {
  *os << c.name;
}

class TrayProcessTest : public TrayTest, public ::testing::WithParamInterface<TrayCase> {
 protected:
  // Alt+M presses "Minimize".
  void clickMinimize() {
    const QStringList shown = windows(kMainWindow);
    ASSERT_EQ(shown.size(), 1);
    keys(shown.first(), {"alt+m"});
  }
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
