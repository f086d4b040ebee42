#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <optional>

#include "rotation/output.h"
#include "rotation/rotation.h"
#include "stores/text_store.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

namespace qm {
class FailureHandler;
}

namespace qm::ui {

class AnsiTextBox;
class frmEntry;
class LineBox;
class MultiLineBox;
class TrayWatch;

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
  QSystemTrayIcon* TrayIcon1 = nullptr;  // made once a notification area is there

  int TickCount = 0;
  int RecCount = 0;
  QByteArray HeadRec;
  QByteArray SigRec;
  QByteArray FootRec;
  QByteArray SigText;

  // Where switches take their randomness and their time from; tests replace them.
  std::function<int(int count)> drawRecordNumber = [](int count) { return drawRecord(count); };
  std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
  // Milliseconds on a clock that never jumps, for the time slept in the tray.
  std::function<qint64()> monotonicMs;

  // The window's own handlers, in ui/frmMain.cpp.
  void cmdMin_Click();
  void cmdQuit_Click();
  void cmdInternet_Click();
  void cmdPref_Click();
  void TrayIcon1_DblClick();
  // Shown, restored and brought forward with a launcher's token (see ui/activation.h).
  void comeBack(const QByteArray& token);

  // The rotation's, in rotation/switching.cpp.
  void Randomizer();
  void Timer1_Timer();
  void Command1_Click();

  // The lists', in stores/lists.cpp: browse, delete, add and edit.
  void cmdEditSig_Click();

  // A list as the browse and delete buttons see it (stores/lists.cpp, as what follows).
  struct List {
    const TextStore& store;
    AnsiTextBox* box;
    bool showsFirst;  // after a delete: the first record as stored, else the last one trimmed
  };
  List headers() const;
  List signatures() const;
  List footers() const;

  // True when the list's box may show a record longer than itself, cut.
  bool mayShowCut(const List& list) const;
  // The record the list's box shows: the first that matches its text, or that it shows cut.
  std::optional<int> findShown(const List& list) const;
  // Shows the record `step` places from the shown one; nothing at either end.
  void browse(const List& list, int step, const char* procedure);
  // Removes every record matching the shown text and shows what the list has left.
  void deleteShown(const List& list, const char* procedure);

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QLayout* buildLayout();
  void connectListButtons();  // stores/lists.cpp
  void describeControls();
  void Form_Load();
  void Form_Resize();
  void Form_Unload();
  // Into the tray when there is one, else minimised on the task bar; again whenever a tray
  // comes or goes while the window is put away.
  void putAway();
  QSystemTrayIcon* trayIcon();
  ShownEntries shownEntries() const;  // rotation/switching.cpp
  void showRemaining(const List& list, int before, int remaining,
                     const FailureHandler& handler);  // stores/lists.cpp
  // Records at the end of the signature store that the open editor holds out of the list
  // (stores/lists.cpp).
  int heldSignatures() const;

  // The switch timer (rotation/switching.cpp): shown, Timer1 ticks every 500 ms and keeps the
  // clock; hidden, the window sleeps until the next switch is due, counting the ticks' worth of
  // time it slept.
  void wake();
  void sleep();
  void countSleptTicks();
  void scheduleSwitch();
  void switchWhenDue();
  void runDueSwitch();
  void showClock();

  std::function<void()> endProgram_;
  TrayWatch* tray_;
  bool putAway_ = false;  // minimised or in the tray, by the user or at the start
  QTimer* switchDue_;
  QElapsedTimer monotonic_;
  std::optional<qint64> asleepAt_;  // while hidden: when the slept ticks were last counted
  qint64 clockSecond_ = -1;         // the second the clock shows
  bool switching_ = false;          // a switch started by a tick is still running
  const frmEntry* openEditor_ = nullptr;
};

}  // namespace qm::ui
