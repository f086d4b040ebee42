#include "common/msgbox.h"

#include <gtest/gtest.h>

#include "support/scripted_msgbox.h"

namespace qm {
namespace {

TEST(MsgBoxTest, QuestionsAndRefusalsLeaveTheirAnswerInMsgAnswer) {
  const std::tuple<MsgKind, int, int> cases[] = {
      {MsgKind::Question, vbYes, vbYes}, {MsgKind::Question, vbNo, vbNo},
      {MsgKind::Refusal, vbOK, vbOK},    {MsgKind::Hint, vbOK, 0},
      {MsgKind::Failure, vbRetry, 0},
  };
  for (const auto& [kind, answer, stored] : cases) {
    MsgAnswer = 0;
    test::ScriptedMsgBox boxes{answer};
    EXPECT_EQ(MsgBox(kind, QStringLiteral("prompt"), QStringLiteral("title")), answer);
    EXPECT_EQ(MsgAnswer, stored);
  }
}

}  // namespace
}  // namespace qm
