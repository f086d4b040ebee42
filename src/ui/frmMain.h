#pragma once

#include <QDateTime>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "rotation/output.h"
#include "rotation/rotation.h"
#include "rotation/switch_schedule.h"
#include "startup/settings.h"
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
struct EntryDialogKind;
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
  // When the next switch is due: ticking while the window is shown, asleep in the tray.
  SwitchSchedule schedule;
  QTimer* Timer1;                        // the schedule's ticker
  QSystemTrayIcon* TrayIcon1 = nullptr;  // made once a notification area is there

  // Where switches take their randomness and their time from; tests replace them.
  std::function<int(int count)> drawRecordNumber = [](int count) { return drawRecord(count); };
  std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };

  // The window's own handlers, in ui/frmMain.cpp.
  void cmdMin_Click();
  void cmdQuit_Click();
  void cmdInternet_Click();
  void cmdPref_Click();
  void TrayIcon1_DblClick();
  // Shown, restored and brought forward with a launcher's token (see ui/activation.h).
  void comeBack(const QByteArray& token);

  // The rotation's, in frmMain_switch.cpp.
  void Randomizer();
  void Timer1_Timer();
  void Command1_Click();

  // The lists', in frmMain_lists.cpp: browse, delete, add and edit.
  void cmdEditSig_Click();

  // One list's controls: the names and captions they are made with, then the made ones.
  struct List {
    const TextStore* store;
    const char* noun;  // what assistive technology calls an entry
    const char* label;
    const char* labelCaption;
    const char* box;
    const char* randomize;
    const char* randomizeCaption;
    QByteArray SettingsInMemory::*startFlag;  // the Randomize box's setting as read at the start
    const char* previous;
    const char* next;
    const char* add;
    const char* addCaption;
    const EntryDialogKind* addKind;
    const char* edit;  // nullptr: the list has no editor
    const char* editCaption;
    const char* remove;
    const char* removeCaption;
    AnsiTextBox* shown = nullptr;
    QCheckBox* ticked = nullptr;
  };
  // In the order of kStores.
  const std::array<List, kStores.size()>& lists() const { return lists_; }
  const List& listOf(const TextStore& store) const;

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
  void connectListButtons();  // frmMain_lists.cpp
  void describeControls();
  void Form_Load();
  void Form_Resize();
  void Form_Unload();
  // Into the tray when there is one, else minimised on the task bar; again whenever a tray
  // comes or goes while the window is put away.
  void putAway();
  QSystemTrayIcon* trayIcon();
  ShownEntries shownEntries() const;  // frmMain_switch.cpp
  void showRemaining(const List& list, int before, int remaining,
                     const FailureHandler& handler);  // frmMain_lists.cpp
  // Records at the end of the list's store that the open editor holds out of the list
  // (frmMain_lists.cpp).
  int heldRecords(const List& list) const;
  void showClock();  // frmMain_switch.cpp

  // A start reads the signature last, a switch draws it first: the order of their failure boxes.
  static constexpr std::array kLoadOrder{&kHeaders, &kFooters, &kSignatures};
  static constexpr std::array kDrawOrder{&kSignatures, &kHeaders, &kFooters};

  std::array<List, kStores.size()> lists_;
  std::function<void()> endProgram_;
  TrayWatch* tray_;
  bool putAway_ = false;     // minimised or in the tray, by the user or at the start
  qint64 clockSecond_ = -1;  // the second the clock shows
  const frmEntry* openEditor_ = nullptr;
};

}  // namespace qm::ui
