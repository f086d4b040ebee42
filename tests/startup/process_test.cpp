// Starts copies of the real program on a private Xvfb and looks at what it leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr int kWaitMs = 20000;
const QString kMainWindow = QStringLiteral("^ZQ Quillmate 1\\.0\\.0$");
const QString kRefusalBox = QStringLiteral("^Already Running$");
constexpr uid_t kNobody = 65534;

// Settings files are written with the system temporary directory in place of <T>.
QByteArray withTemp(const char* text) {
  return QByteArray(text).replace("<T>", QDir::toNativeSeparators(QDir::tempPath()).toLocal8Bit());
}

const char kDefaults[] =
    "[settings]\r\nfileloc=<T>\r\nInterval=6\r\nHeadRandom=0\r\nFootRandom=0\r\nSigRandom=0\r\n"
    "SigLocation=<T>\r\nWrite_Type=Text\r\nProg_Name=Other Text\r\nStart_Min=0\r\n";

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    ASSERT_TRUE(QDir(root_.path()).mkpath("app") && QDir(root_.path()).mkpath("run"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLMATE_EXE), exe()));
    // The copy may have to run as another user, who must reach it.
    ASSERT_EQ(::chmod(QFile::encodeName(root_.path()), 0711), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(appDir()), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(exe()), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(root_.filePath("run")), 0700), 0);

    xvfb_.setStandardErrorFile(QProcess::nullDevice());
    xvfb_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(xvfb_.waitForStarted(kWaitMs)) << "Xvfb is not installed";
    QByteArray display;
    while (!display.contains('\n') && xvfb_.waitForReadyRead(kWaitMs)) {
      display += xvfb_.readAllStandardOutput();
    }
    ASSERT_TRUE(display.contains('\n')) << "Xvfb gave no display number";

    env_ = QProcessEnvironment::systemEnvironment();
    env_.remove("QT_QPA_PLATFORM");
    env_.insert("DISPLAY", ':' + QString::fromLatin1(display.trimmed()));
    // A private place for the instance lock, so killed runs leave nothing behind.
    env_.insert("XDG_RUNTIME_DIR", root_.filePath("run"));
  }

  void TearDown() override {
    for (auto& child : children_) {
      stop(*child);
      if (HasFailure()) qWarning().noquote() << "quillmate said:" << child->readAll();
    }
    stop(xvfb_);
    ::chmod(QFile::encodeName(appDir()), 0755);  // lets the temporary directory go
  }

  QString appDir() const { return root_.filePath("app"); }
  QString exe() const { return root_.filePath("app/quillmate"); }
  QString iniPath() const { return root_.filePath("app/zq.ini"); }

  QByteArray ini() const {
    QFile file(iniPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }

  void writeIni(const QByteArray& bytes) const {
    QFile file(iniPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
  }

  // Root ignores file modes, so read-only checks run the program as nobody.
  void runAsNobodyIfRoot() {
    if (::geteuid() != 0) return;
    asNobody_ = true;
    ASSERT_EQ(::chown(QFile::encodeName(root_.filePath("run")), kNobody, kNobody), 0);
  }

  QProcess& start() {
    QProcess& child = *children_.emplace_back(std::make_unique<QProcess>());
    child.setProcessEnvironment(env_);
    child.setProcessChannelMode(QProcess::MergedChannels);
    if (asNobody_) {
      const QString id = QString::number(kNobody);
      child.start("setpriv", {"--reuid=" + id, "--regid=" + id, "--clear-groups", exe()});
    } else {
      child.start(exe(), QStringList());
    }
    EXPECT_TRUE(child.waitForStarted(kWaitMs));
    return child;
  }

  // Ids of the shown windows whose title matches pattern; with waitMs, waits for at least one.
  QStringList windows(const QString& pattern, int waitMs = kWaitMs) {
    QStringList args{"search", "--onlyvisible", "--name", pattern};
    if (waitMs > 0) args.insert(1, "--sync");
    QProcess search;
    search.setProcessEnvironment(env_);
    search.start("xdotool", args);
    if (!search.waitForFinished(waitMs + 5000)) stop(search);
    return QString::fromLatin1(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  }

  void xdotool(const QStringList& args) {
    QProcess run;
    run.setProcessEnvironment(env_);
    run.start("xdotool", args);
    if (!run.waitForFinished(kWaitMs)) stop(run);
  }

  static void stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.kill();
    process.waitForFinished(kWaitMs);
  }

  QTemporaryDir root_;
  QProcess xvfb_;
  QProcessEnvironment env_;
  std::vector<std::unique_ptr<QProcess>> children_;
  bool asNobody_ = false;
};

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
    {"CompleteFileIsNotRewritten",
     "[Settings]\nfileloc=/srv/quotes\ninterval=3\nHeadRandom=1\nFootRandom=1\nSigRandom=1\n"
     "siglocation=/srv/sigs\nWrite_Type=HTML\nProg_Name=Mail\nStart_Min=0",
     "[Settings]\nfileloc=/srv/quotes\ninterval=3\nHeadRandom=1\nFootRandom=1\nSigRandom=1\n"
     "siglocation=/srv/sigs\nWrite_Type=HTML\nProg_Name=Mail\nStart_Min=0"},
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
  ASSERT_EQ(windows(kMainWindow).size(), 1);
  EXPECT_EQ(app.state(), QProcess::Running);
  EXPECT_FALSE(QFile::exists(iniPath()));
  EXPECT_TRUE(windows(kRefusalBox, 0).isEmpty());
}

}  // namespace
