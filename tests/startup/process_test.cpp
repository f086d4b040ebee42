// Starts copies of the real program on a private Xvfb and looks at what it leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <ostream>
#include <string>

#include "support/process_fixture.h"

namespace {

using qm::test::kMainWindow;
using qm::test::kWaitMs;
using qm::test::ProcessTest;

const QString kRefusalBox = QStringLiteral("^Already Running$");

// Settings files are written with the system temporary directory in place of <T>.
QByteArray withTemp(const char* text) {
  return QByteArray(text).replace("<T>", QDir::toNativeSeparators(QDir::tempPath()).toLocal8Bit());
}

const char kDefaults[] =
    "[settings]\r\nfileloc=<T>\r\nInterval=6\r\nHeadRandom=0\r\nFootRandom=0\r\nSigRandom=0\r\n"
    "SigLocation=<T>\r\nWrite_Type=Text\r\nProg_Name=Other Text\r\nStart_Min=0\r\n";

struct SettingsCase {
  const char* name;
  const char* before;  // nullptr: no zq.ini yet
  const char* after;
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
  *os << c.name;
}

class ProcessSettingsTest : public ProcessTest,
                            public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(ProcessSettingsTest, StartLeavesSettingsFileAndKeepsRunning) {
  const SettingsCase& c = GetParam();
  if (c.before) {
    ASSERT_NO_FATAL_FAILURE(writeIni(withTemp(c.before)));
  }
  QProcess& app = start();
  ASSERT_EQ(windows(kMainWindow).size(), 1);
  EXPECT_EQ(app.state(), QProcess::Running);
  EXPECT_EQ(ini(), withTemp(c.after));
  EXPECT_TRUE(windows(kRefusalBox, 0).isEmpty());
}

const SettingsCase kSettingsCases[] = {
    {"EmptyDirectory", nullptr, kDefaults},
    {"UpperCaseSectionWithEmptyInterval",
     "[SETTINGS]\r\nfileloc=/srv/quotes\r\nInterval=\r\nHeadRandom=1\r\n\r\n[Other]\r\nkeep=me\r\n",
     "[SETTINGS]\r\nfileloc=/srv/quotes\r\nInterval=6\r\nHeadRandom=1\r\nFootRandom=0\r\n"
     "SigRandom=0\r\nSigLocation=<T>\r\nWrite_Type=Text\r\nProg_Name=Other Text\r\n"
     "Start_Min=0\r\n\r\n[Other]\r\nkeep=me\r\n"},
    // Unticked boxes change nothing while the window loads, so nothing is written.
    {"CompleteFileIsNotRewritten",
     "[Settings]\nfileloc=/srv/quotes\ninterval=3\nHeadRandom=0\nFootRandom=0\nSigRandom=0\n"
     "siglocation=/srv/sigs\nWrite_Type=HTML\nProg_Name=Mail\nStart_Min=0",
     "[Settings]\nfileloc=/srv/quotes\ninterval=3\nHeadRandom=0\nFootRandom=0\nSigRandom=0\n"
     "siglocation=/srv/sigs\nWrite_Type=HTML\nProg_Name=Mail\nStart_Min=0"},
    // A ticked box is written back while the window loads, with CR LF line ends; under
    // "Never" the load's switch writes no signature file.
    {"TickedBoxesAreWrittenBack",
     "[Settings]\nfileloc=/srv/quotes\ninterval=6\nHeadRandom=1\nFootRandom=0\nSigRandom=0\n"
     "siglocation=/srv/sigs\nWrite_Type=HTML\nProg_Name=Mail\nStart_Min=0",
     "[Settings]\r\nfileloc=/srv/quotes\r\ninterval=6\r\nHeadRandom=1\r\nFootRandom=0\r\n"
     "SigRandom=0\r\nsiglocation=/srv/sigs\r\nWrite_Type=HTML\r\nProg_Name=Mail\r\n"
     "Start_Min=0\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Process, ProcessSettingsTest, ::testing::ValuesIn(kSettingsCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProcessTest, SecondStartIsRefusedAndEndsWithZero) {
  QProcess& first = start();
  ASSERT_EQ(windows(kMainWindow).size(), 1);
  const QByteArray settings = ini();
  ASSERT_EQ(settings, withTemp(kDefaults));

  QProcess& second = start();
  const QStringList boxes = windows(kRefusalBox);
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(second.state(), QProcess::Running) << "the box must wait for the user";
  // The program ends on the key press, so sending the key release may fail; that is fine.
  xdotool({"key", "--window", boxes.first(), "Return"});
  ASSERT_TRUE(second.waitForFinished(kWaitMs));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);

  EXPECT_EQ(first.state(), QProcess::Running);
  EXPECT_EQ(windows(kMainWindow, 0).size(), 1);
  EXPECT_EQ(ini(), settings);
}

TEST_F(ProcessTest, StartAfterKilledInstanceTakesOverItsLock) {
  QProcess& first = start();
  ASSERT_EQ(windows(kMainWindow).size(), 1);
  first.kill();  // SIGKILL: the lock file stays behind
  ASSERT_TRUE(first.waitForFinished(kWaitMs));
  ASSERT_FALSE(QDir(root_.filePath("run")).isEmpty()) << "no lock file was left to take over";

  QProcess& next = start();
  ASSERT_EQ(windows(kMainWindow).size(), 1);
  EXPECT_TRUE(windows(kRefusalBox, 0).isEmpty());
  EXPECT_EQ(next.state(), QProcess::Running);
}

TEST_F(ProcessTest, ReadOnlyApplicationDirectoryRunsOnDefaults) {
  ASSERT_NO_FATAL_FAILURE(runAsNobodyIfRoot());
  ASSERT_EQ(::chmod(QFile::encodeName(appDir()), 0555), 0);

  QProcess& app = start();
  // The lists cannot be created there: the window's load step reports it, and Abort leaves it.
  const QStringList boxes = windows(QStringLiteral("^Quillmate Error$"));
  ASSERT_EQ(boxes.size(), 1);
  xdotool({"key", "--window", boxes.first(), "Return"});
  ASSERT_EQ(windows(kMainWindow).size(), 1);
  EXPECT_EQ(app.state(), QProcess::Running);
  EXPECT_FALSE(QFile::exists(iniPath()));
  EXPECT_TRUE(windows(kRefusalBox, 0).isEmpty());
}

}  // namespace
