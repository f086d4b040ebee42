#pragma once

#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

namespace qm::ui {

class LineBox;
class MultiLineBox;

// The main window: the shown header, signature and footer with their buttons, the randomize
// boxes, the clock, and the tray icon it hides into.
class frmMain : public QWidget {
  Q_OBJECT
 public:
  // endProgram ends the process at once; it runs when the window is closed by any means.
  explicit frmMain(std::function<void()> endProgram);

  LineBox* txtHeader;
  MultiLineBox* txtSig;
  LineBox* txtFooter;
  QCheckBox* Check1;
  QCheckBox* Check2;
  QCheckBox* Check3;
  QLabel* lblCurrent;
  QLabel* lblNext;
  QTimer* Timer1;
  QSystemTrayIcon* TrayIcon1;

  int TickCount = 0;
  int RecCount = 0;
  QByteArray HeadRec;
  QByteArray SigRec;
  QByteArray FootRec;
  QByteArray SigText;

  void cmdMin_Click();
  void cmdQuit_Click();
  void cmdInternet_Click();
  void TrayIcon1_DblClick();
  void Randomizer();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QLayout* buildLayout();
  void Form_Load();
  void Form_Resize();
  void Form_Unload();

  std::function<void()> endProgram_;
};

}  // namespace qm::ui
