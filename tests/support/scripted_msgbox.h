#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <initializer_list>
#include <vector>

#include "common/msgbox.h"

namespace qm::test {

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

  void answer(std::initializer_list<int> answers);
  const std::vector<ShownBox>& shown() const { return shown_; }

  // Runs while each box is up, before it is answered: what happens during a modal box.
  std::function<void()> whileShown;

 private:
  int show(MsgKind kind, const QString& prompt, const QString& title);

  std::deque<int> answers_;
  std::vector<ShownBox> shown_;
  MsgBoxShow previous_;
};

}  // namespace qm::test
