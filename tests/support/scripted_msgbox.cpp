#include "support/scripted_msgbox.h"

#include <gtest/gtest.h>

namespace qm::test {

ScriptedMsgBox::ScriptedMsgBox(std::initializer_list<int> answers) : answers_(answers) {
  previous_ = installMsgBox([this](MsgKind kind, const QString& prompt, const QString& title) {
    return show(kind, prompt, title);
  });
}

ScriptedMsgBox::~ScriptedMsgBox() {
  installMsgBox(previous_);
  EXPECT_TRUE(answers_.empty()) << answers_.size() << " scripted answers were not asked for";
}

void ScriptedMsgBox::answer(std::initializer_list<int> answers) {
  answers_.insert(answers_.end(), answers);
}

int ScriptedMsgBox::show(MsgKind kind, const QString& prompt, const QString& title) {
  shown_.push_back({kind, prompt, title});
  if (whileShown) whileShown();
  if (!answers_.empty()) {
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  ADD_FAILURE() << "Unexpected message box \"" << title.toStdString()
                << "\": " << prompt.toStdString();
  return kind == MsgKind::Failure ? vbAbort : kind == MsgKind::Question ? vbNo : vbOK;
}

}  // namespace qm::test
