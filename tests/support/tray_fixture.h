#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QThread>
#include <vector>

#include "support/process_fixture.h"

namespace qm::test {

// A ProcessTest with a notification area (trayer) on its display.
class TrayTest : public ProcessTest {
 protected:
  void SetUp() override;

  static QStringList lines(const QByteArray& output);

  // Centres of the program's shown windows docked in the panel: XEmbed puts tray icons inside it.
  std::vector<QPoint> trayIcons();

  // Polls until ready() holds or the wait runs out.
  template <typename Ready>
  static void waitFor(Ready ready) {
    const QDeadlineTimer deadline(kWaitMs);
    while (!ready() && !deadline.hasExpired()) QThread::msleep(50);
  }

  // Waits until the main window is hidden and the program has one icon in the tray.
  void waitInTray(QPoint& icon);
  void waitShownWithoutIcon();
  void clickIcon(QPoint icon, int clicks);

  QString panel_;
};

}  // namespace qm::test
