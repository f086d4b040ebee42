#pragma once

#include <QWidget>

class QSystemTrayIcon;
class QTimer;

namespace qm::ui {

// The main window. So far: its caption, its timer, and the tray icon it hides into.
class frmMain : public QWidget {
  Q_OBJECT
 public:
  frmMain();

  QTimer* Timer1;
  QSystemTrayIcon* TrayIcon1;

  // Hides the window and shows the tray icon; the window state is not changed.
  void cmdMin_Click();
  void TrayIcon1_DblClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Form_Load();
};

}  // namespace qm::ui
