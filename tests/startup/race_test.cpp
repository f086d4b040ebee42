// Ten copies started together from one application directory: one runs, nine are refused.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <algorithm>
#include <vector>

#include "support/process_fixture.h"

namespace {

using qm::test::kMainWindow;
using qm::test::kWaitMs;
using qm::test::ProcessTest;

const QString kRefusalBox = QStringLiteral("^Already Running$");
constexpr int kCopies = 10;

using RaceTest = ProcessTest;

TEST_F(RaceTest, TenSimultaneousStartsLeaveOneWindowAndNineRefusals) {
  std::vector<QProcess*> copies;
  for (int i = 0; i < kCopies; ++i) copies.push_back(&start());

  const QStringList boxes = awaitWindows(kRefusalBox, kCopies - 1);
  ASSERT_EQ(boxes.size(), kCopies - 1);
  ASSERT_EQ(awaitWindows(kMainWindow, 1).size(), 1);
  // Every refused copy waits for its box to be answered.
  for (QProcess* copy : copies) EXPECT_EQ(copy->state(), QProcess::Running);

  for (const QString& box : boxes) xdotool({"key", "--window", box, "Return"});
  const auto finished = [&] {
    return std::count_if(copies.begin(), copies.end(),
                         [](QProcess* copy) { return copy->state() == QProcess::NotRunning; });
  };
  const QDeadlineTimer deadline(kWaitMs);
  while (finished() < kCopies - 1 && !deadline.hasExpired()) {
    for (QProcess* copy : copies) {
      if (copy->state() != QProcess::NotRunning) copy->waitForFinished(50);
    }
  }
  int refused = 0;
  QProcess* survivor = nullptr;
  for (QProcess* copy : copies) {
    if (copy->state() == QProcess::NotRunning) {
      ++refused;
      EXPECT_EQ(copy->exitStatus(), QProcess::NormalExit);
      EXPECT_EQ(copy->exitCode(), 0);
    } else {
      EXPECT_EQ(survivor, nullptr) << "more than one copy kept running";
      survivor = copy;
    }
  }
  EXPECT_EQ(refused, kCopies - 1);
  ASSERT_NE(survivor, nullptr);
  EXPECT_EQ(survivor->state(), QProcess::Running);
  EXPECT_EQ(windows(kMainWindow, 0).size(), 1);
  EXPECT_TRUE(windows(kRefusalBox, 0).isEmpty());
}

}  // namespace
