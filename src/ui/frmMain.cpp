#include "ui/frmMain.h"

#include <QCloseEvent>
#include <QSystemTrayIcon>
#include <QTimer>

#include "platform/platform.h"
#include "ui/app_icon.h"

namespace qm::ui {

frmMain::frmMain() : Timer1(new QTimer(this)), TrayIcon1(new QSystemTrayIcon(this)) {
  setObjectName(QStringLiteral("frmMain"));
  Timer1->setObjectName(QStringLiteral("Timer1"));
  TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
  setWindowTitle(QStringLiteral("ZQ Quillmate"));
  setWindowIcon(appIcon());
  TrayIcon1->setIcon(appIcon());
  TrayIcon1->setToolTip(QStringLiteral("ZQ Quillmate"));
  connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](auto reason) {
    if (reason == QSystemTrayIcon::DoubleClick) TrayIcon1_DblClick();
  });
  resize(480, 360);
  Form_Load();
}

void frmMain::Form_Load() {
  setWindowTitle(windowTitle() + QLatin1Char(' ') + QStringLiteral(QUILLMATE_VERSION));
}

void frmMain::cmdMin_Click() {
  // Without a notification area the window goes to the task bar, so it can always be reached.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    showMinimized();
    return;
  }
  hide();
  TrayIcon1->show();
}

void frmMain::TrayIcon1_DblClick() {
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  TrayIcon1->hide();
  raise();
  activateWindow();
}

void frmMain::closeEvent(QCloseEvent* event) {
  event->accept();
  platform::endNow(0);
}

}  // namespace qm::ui
