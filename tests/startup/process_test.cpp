// Starts copies of the real program on a private Xvfb and looks at what it leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <ostream>
#include <string>

#include "support/process_fixture.h"
#include "support/temp_app_dir.h"

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
    // A mark that editors put before UTF-8 text is read past and kept.
    {"ByteOrderMarkIsReadPast",
     "\xEF\xBB\xBF[Settings]\r\nfileloc=/srv/quotes\r\ninterval=6\r\nHeadRandom=0\r\n"
     "FootRandom=0\r\nSigRandom=1\r\nsiglocation=/srv/sigs\r\nWrite_Type=HTML\r\n"
     "Prog_Name=Mail\r\nStart_Min=0\r\n",
     "\xEF\xBB\xBF[Settings]\r\nfileloc=/srv/quotes\r\ninterval=6\r\nHeadRandom=0\r\n"
     "FootRandom=0\r\nSigRandom=1\r\nsiglocation=/srv/sigs\r\nWrite_Type=HTML\r\n"
     "Prog_Name=Mail\r\nStart_Min=0\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Process, ProcessSettingsTest, ::testing::ValuesIn(kSettingsCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProcessTest, SecondStartFromAnotherEnvironmentIsRefusedAndAnotherFolderRuns) {
  QProcess& first = start();
  ASSERT_EQ(windows(kMainWindow).size(), 1);
  const QByteArray settings = ini();
  ASSERT_EQ(settings, withTemp(kDefaults));

  // A shell without the desktop's runtime directory and with a temporary directory of its own.
  env_.remove("XDG_RUNTIME_DIR");
  ASSERT_TRUE(QDir(root_.path()).mkpath("tmp"));
  env_.insert("TMPDIR", root_.filePath("tmp"));
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
  EXPECT_EQ(ini(), settings);

  // Another installation runs beside it.
  ASSERT_TRUE(QDir(root_.path()).mkpath("other"));
  program_ = root_.filePath("other/quillmate");
  ASSERT_TRUE(QFile::copy(exe(), program_));
  start();
  EXPECT_EQ(awaitWindows(kMainWindow, 2).size(), 2);
  EXPECT_TRUE(windows(kRefusalBox, 0).isEmpty());
}

TEST_F(ProcessTest, NeitherAStrayLockFileNorAKilledInstanceKeepsTheUserOut) {
  QFile stray(lockPath());
  ASSERT_TRUE(stray.open(QIODevice::WriteOnly) && stray.write("4242\nnot a lock\n") > 0);
  stray.close();
  QProcess& first = start();
  ASSERT_EQ(windows(kMainWindow).size(), 1);
  first.kill();
  ASSERT_TRUE(first.waitForFinished(kWaitMs));

  QProcess& next = start();
  ASSERT_EQ(windows(kMainWindow).size(), 1);
  EXPECT_TRUE(windows(kRefusalBox, 0).isEmpty());
  // Ended as a shutdown ends it, the program leaves nothing behind.
  next.terminate();
  ASSERT_TRUE(next.waitForFinished(kWaitMs));
  EXPECT_EQ(next.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(next.exitCode(), 0);
  EXPECT_FALSE(QFile::exists(lockPath()));
}

enum class Ending { Kill, Terminate, DisplayGone };

class EditEndingTest : public ProcessTest, public ::testing::WithParamInterface<Ending> {};

// The editor holds the shown signature (the first, A) at the store's end until Save or Cancel.
TEST_P(EditEndingTest, TheSignatureBeingEditedStaysInTheStore) {
  QFile store(root_.filePath("app/Sig.qmd"));
  ASSERT_TRUE(store.open(QIODevice::WriteOnly));
  store.write(qm::test::records({"A", "B", "C"}, 255));
  store.close();
  QProcess& app = start();
  const QStringList main = windows(kMainWindow);
  ASSERT_EQ(main.size(), 1);
  keys(main.first(), {"alt+e"});
  ASSERT_EQ(windows(QStringLiteral("^Edit Sig$")).size(), 1);
  switch (GetParam()) {
    case Ending::Kill:
      app.kill();
      break;
    case Ending::Terminate:
      app.terminate();
      break;
    case Ending::DisplayGone:  // as at logout
      xvfb_.terminate();
      break;
  }
  ASSERT_TRUE(app.waitForFinished(kWaitMs));
  ASSERT_TRUE(store.open(QIODevice::ReadOnly));
  EXPECT_EQ(store.readAll(), qm::test::records({"B", "C", "A"}, 255));
  if (GetParam() == Ending::Terminate) {
    EXPECT_EQ(app.exitCode(), 0);
  }
  EXPECT_EQ(QFile::exists(lockPath()), GetParam() == Ending::Kill);
}

void PrintTo(Ending ending, std::ostream* os) {
  const char* names[] = {"Kill", "Terminate", "DisplayGone"};
  *os << names[int(ending)];
}

std::string endingName(const ::testing::TestParamInfo<Ending>& info) {
  return ::testing::PrintToString(info.param);
}

INSTANTIATE_TEST_SUITE_P(Process, EditEndingTest,
                         ::testing::Values(Ending::Kill, Ending::Terminate, Ending::DisplayGone),
                         endingName);

enum class Broken { ReadOnlyFolder, FifoAsAStore };

void PrintTo(Broken broken, std::ostream* os) {
  *os << (broken == Broken::ReadOnlyFolder ? "ReadOnlyFolder" : "FifoAsAStore");
}

class BrokenFolderTest : public ProcessTest, public ::testing::WithParamInterface<Broken> {};

// The window's load step reports the store it cannot use, at once, and Abort lets it come up.
TEST_P(BrokenFolderTest, TheLoadReportsTheStoreAndTheWindowComesUp) {
  if (GetParam() == Broken::ReadOnlyFolder) {
    ASSERT_NO_FATAL_FAILURE(runAsNobodyIfRoot());
    ASSERT_EQ(::chmod(QFile::encodeName(appDir()), 0555), 0);
  } else {
    ASSERT_EQ(::mkfifo(QFile::encodeName(root_.filePath("app/Head.qmd")), 0644), 0);
  }
  QProcess& app = start();
  const QStringList boxes = windows(QStringLiteral("^Quillmate Error$"));
  ASSERT_EQ(boxes.size(), 1);
  xdotool({"key", "--window", boxes.first(), "Return"});
  ASSERT_EQ(windows(kMainWindow).size(), 1);
  EXPECT_EQ(app.state(), QProcess::Running);
  // A read-only folder runs on the defaults in memory.
  EXPECT_EQ(QFile::exists(iniPath()), GetParam() == Broken::FifoAsAStore);
  EXPECT_TRUE(windows(kRefusalBox, 0).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Process, BrokenFolderTest,
                         ::testing::Values(Broken::ReadOnlyFolder, Broken::FifoAsAStore),
                         [](const auto& info) { return ::testing::PrintToString(info.param); });

}  // namespace
