#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <initializer_list>
#include <vector>

#include "common/msgbox.h"
#include "startup/startup.h"

namespace qm::test {

// The bytes of a store holding these texts, each filled with spaces to the record length.
QByteArray records(int length, std::initializer_list<QByteArray> texts);

// A fresh application directory for one test, with the process-wide settings reset and
// ModSig.IniPath naming its zq.ini.
class TempAppDir {
 public:
  TempAppDir();
  ~TempAppDir();

  QString path() const { return dir_.path(); }
  QString file(const QString& name) const { return dir_.filePath(name); }
  QByteArray read(const QString& name) const;  // empty when missing
  void write(const QString& name, const QByteArray& bytes) const;

 private:
  QTemporaryDir dir_;
};

struct ShownBox {
  MsgKind kind;
  QString prompt;
  QString title;
};

// While it lives, every message box is recorded and answered from the script, in order.
// A box with no scripted answer fails the test and is answered OK, No or Abort.
class ScriptedMsgBox {
 public:
  explicit ScriptedMsgBox(std::initializer_list<int> answers = {});
  ~ScriptedMsgBox();
  ScriptedMsgBox(const ScriptedMsgBox&) = delete;
  ScriptedMsgBox& operator=(const ScriptedMsgBox&) = delete;

  void answer(std::initializer_list<int> answers) { answers_.insert(answers_.end(), answers); }
  const std::vector<ShownBox>& shown() const { return shown_; }

  // Runs while each box is up, before it is answered: what happens during a modal box.
  std::function<void()> whileShown;

 private:
  std::deque<int> answers_;
  std::vector<ShownBox> shown_;
  MsgBoxShow previous_;
};

// Records what start-up asks of the windows; the slider takes 0..6 as the real one does.
struct FakeWindows : StartupWindows {
  QStringList calls;
  int position = 6;
  void loadPreferences() override;
  void setPreferencesDirectory(const QByteArray& dir) override { calls << "directory " + dir; }
  void setSliderPosition(int value) override;
  int sliderPosition() override { return position; }
  void unloadPreferences() override { calls << "unload"; }
  void setTimerInterval(int ms) override { calls << QString("timer %1").arg(ms); }
  void showMain() override { calls << "show"; }
  void hideMainInTray() override { calls << "tray"; }
};

// The failure box as the user reads it: number, description, a line, the procedure.
void expectFailureBox(const ShownBox& box, int number, const char* description,
                      const char* procedure);

}  // namespace qm::test
