#include "support/process_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QThread>

namespace qm::test {
namespace {

constexpr uid_t kNobody = 65534;

}  // namespace

void ProcessTest::SetUp() {
  ASSERT_TRUE(root_.isValid());
  ASSERT_TRUE(QDir(root_.path()).mkpath("app") && QDir(root_.path()).mkpath("run"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLMATE_EXE), exe()));
  // The copy may have to run as another user, who must reach it.
  ASSERT_EQ(::chmod(QFile::encodeName(root_.path()), 0711), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(appDir()), 0755), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(exe()), 0755), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(root_.filePath("run")), 0700), 0);

  xvfb_.setStandardErrorFile(QProcess::nullDevice());
  // Without -noreset the server resets whenever its last client leaves, and a copy that
  // connects during the reset is turned away.
  xvfb_.start("Xvfb",
              {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
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
  ASSERT_TRUE(displayAcceptsClients()) << "Xvfb does not accept clients";
}

// Xvfb names its display as soon as it listens; the first clients wait until it answers.
bool ProcessTest::displayAcceptsClients() {
  const QDeadlineTimer deadline(kWaitMs);
  while (!deadline.hasExpired()) {
    QProcess probe;
    probe.setProcessEnvironment(env_);
    probe.setStandardOutputFile(QProcess::nullDevice());
    probe.setStandardErrorFile(QProcess::nullDevice());
    probe.start("xdpyinfo", QStringList());
    if (probe.waitForFinished(kWaitMs) && probe.exitStatus() == QProcess::NormalExit &&
        probe.exitCode() == 0) {
      return true;
    }
    QThread::msleep(50);
  }
  return false;
}

void ProcessTest::TearDown() {
  for (auto& child : children_) {
    stop(*child);
    if (HasFailure()) qWarning().noquote() << "quillmate said:" << child->readAll();
  }
  for (auto& helper : helpers_) stop(*helper);
  // Ended gently, Xvfb removes its lock and socket for the next test's server.
  xvfb_.terminate();
  xvfb_.waitForFinished(kWaitMs);
  stop(xvfb_);
  ::chmod(QFile::encodeName(appDir()), 0755);  // lets the temporary directory go
}

QByteArray ProcessTest::ini() const {
  QFile file(iniPath());
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void ProcessTest::writeIni(const QByteArray& bytes) const {
  QFile file(iniPath());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

void ProcessTest::runAsNobodyIfRoot() {
  if (::geteuid() != 0) return;
  asNobody_ = true;
  ASSERT_EQ(::chown(QFile::encodeName(root_.filePath("run")), kNobody, kNobody), 0);
}

QProcess& ProcessTest::start() {
  QProcess& child = *children_.emplace_back(std::make_unique<QProcess>());
  child.setProcessEnvironment(env_);
  child.setProcessChannelMode(QProcess::MergedChannels);
  const QString program = program_.isEmpty() ? exe() : program_;
  if (asNobody_) {
    const QString id = QString::number(kNobody);
    child.start("setpriv", {"--reuid=" + id, "--regid=" + id, "--clear-groups", program});
  } else {
    child.start(program, QStringList());
  }
  EXPECT_TRUE(child.waitForStarted(kWaitMs));
  return child;
}

QProcess& ProcessTest::startHelper(const QString& program, const QStringList& args) {
  QProcess& helper = *helpers_.emplace_back(std::make_unique<QProcess>());
  helper.setProcessEnvironment(env_);
  helper.setStandardOutputFile(QProcess::nullDevice());
  helper.setStandardErrorFile(QProcess::nullDevice());
  helper.start(program, args);
  EXPECT_TRUE(helper.waitForStarted(kWaitMs)) << qPrintable(program) << " is not installed";
  return helper;
}

QStringList ProcessTest::windows(const QString& pattern, int waitMs) {
  QStringList args{"search", "--onlyvisible", "--name", pattern};
  if (waitMs > 0) args.insert(1, "--sync");
  QProcess search;
  search.setProcessEnvironment(env_);
  search.start("xdotool", args);
  if (!search.waitForFinished(waitMs + 5000)) stop(search);
  return QString::fromLatin1(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

QStringList ProcessTest::awaitWindows(const QString& pattern, int count) {
  const QDeadlineTimer deadline(kWaitMs * 2);
  QStringList found = windows(pattern, 0);
  while (found.size() < count && !deadline.hasExpired()) {
    QThread::msleep(100);
    found = windows(pattern, 0);
  }
  return found;
}

QByteArray ProcessTest::run(const QString& program, const QStringList& args) {
  QProcess tool;
  tool.setProcessEnvironment(env_);
  tool.setStandardErrorFile(QProcess::nullDevice());
  tool.start(program, args);
  if (!tool.waitForFinished(kWaitMs)) stop(tool);
  return tool.readAllStandardOutput();
}

void ProcessTest::keys(const QString& window, const QStringList& keys) {
  xdotool({"windowfocus", "--sync", window});
  for (const QString& key : keys) xdotool({"key", "--clearmodifiers", key});
}

void ProcessTest::stop(QProcess& process) {
  if (process.state() == QProcess::NotRunning) return;
  process.kill();
  process.waitForFinished(kWaitMs);
}

}  // namespace qm::test
