#include "common/failure.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/scripted_msgbox.h"

namespace qm {
namespace {

using test::ScriptedMsgBox;

TEST(FailureTest, TheBoxTextIsExact) {
  EXPECT_EQ(failureText(13, 42, "LoadSettings"),
            QStringLiteral("Error 13: \r\nType mismatch\r\n\t\toccurred at line 42\r\n"
                           "in Quillmate: LoadSettings"));
}

TEST(FailureTest, ClassicDescriptions) {
  const std::pair<int, const char*> cases[] = {
      {6, "Overflow"},
      {13, "Type mismatch"},
      {52, "Bad file name or number"},
      {53, "File not found"},
      {61, "Disk full"},
      {70, "Permission denied"},
      {75, "Path/File access error"},
      {76, "Path not found"},
      {380, "Invalid property value"},
  };
  for (const auto& [number, description] : cases) {
    EXPECT_STREQ(failureDescription(number), description);
    EXPECT_STREQ(Failure(number).what(), description);
  }
}

TEST(FailureTest, ErrnoMapsToTheNearestNumber) {
  const std::pair<int, int> cases[] = {
      {ENOENT, Err::FileNotFound},    {ENOTDIR, Err::PathNotFound}, {EACCES, Err::PermissionDenied},
      {EROFS, Err::PermissionDenied}, {ENOSPC, Err::DiskFull},      {EISDIR, Err::PathFileAccess},
  };
  for (const auto& [err, number] : cases) EXPECT_EQ(failureFromErrno(err), number) << err;
}

// A statement that fails the first `failures` times it runs.
struct Flaky {
  int failures;
  int runs = 0;
  void operator()() {
    if (++runs <= failures) throw Failure(Err::DiskFull);
  }
};

TEST(FailureTest, AbortLeavesTheProcedure) {
  ScriptedMsgBox boxes{vbAbort};
  Flaky statement{1};
  bool reachedNext = false;
  const auto procedure = [&] {
    const FailureHandler handler("cmdSave_Click");
    if (!handler.run(std::ref(statement))) return;
    reachedNext = true;
  };
  procedure();
  EXPECT_EQ(statement.runs, 1);
  EXPECT_FALSE(reachedNext);
}

TEST(FailureTest, RetryRunsTheStatementAgain) {
  ScriptedMsgBox boxes{vbRetry, vbRetry};
  Flaky statement{2};
  const FailureHandler handler("OutputSig");
  EXPECT_TRUE(handler.run(std::ref(statement)));
  EXPECT_EQ(statement.runs, 3);
  EXPECT_EQ(boxes.shown().size(), 2u);
}

TEST(FailureTest, IgnoreGoesOnWithTheNextStatement) {
  ScriptedMsgBox boxes{vbIgnore};
  Flaky statement{5};
  const FailureHandler handler("OutputSig");
  EXPECT_TRUE(handler.run(std::ref(statement)));
  EXPECT_EQ(statement.runs, 1);
}

TEST(FailureTest, TheBoxNamesTheProcedureAndTheFailingLine) {
  ScriptedMsgBox boxes{vbAbort};
  const FailureHandler handler("Form_Load");
  const unsigned line = __LINE__ + 1;
  EXPECT_FALSE(handler.run([] { throw Failure(Err::PathNotFound); }));
  ASSERT_EQ(boxes.shown().size(), 1u);
  const test::ShownBox& box = boxes.shown()[0];
  EXPECT_EQ(box.kind, MsgKind::Failure);
  EXPECT_EQ(box.title, QStringLiteral("Quillmate Error"));
  EXPECT_EQ(box.prompt, failureText(76, line, "Form_Load"));
}

TEST(FailureTest, AStatementThatSucceedsShowsNoBox) {
  ScriptedMsgBox boxes;
  int runs = 0;
  EXPECT_TRUE(FailureHandler("Main").run([&] { ++runs; }));
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(boxes.shown().empty());
}

}  // namespace
}  // namespace qm
