#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace qm::test {

inline constexpr int kWaitMs = 20000;
inline const QString kMainWindow = QStringLiteral("^ZQ Quillmate 1\\.0\\.0$");

// Runs copies of the real program in a private application directory on a private Xvfb.
class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  QString appDir() const { return root_.filePath("app"); }
  QString exe() const { return root_.filePath("app/quillmate"); }
  QString iniPath() const { return root_.filePath("app/zq.ini"); }
  QString lockPath() const { return root_.filePath("app/.quillmate.lock"); }

  QByteArray ini() const;
  void writeIni(const QByteArray& bytes) const;

  // Root ignores file modes, so read-only checks run the program as nobody.
  void runAsNobodyIfRoot();

  QProcess& start();
  // Another program on the private display, such as a panel, ended after the program's copies.
  QProcess& startHelper(const QString& program, const QStringList& args);

  // Ids of the shown windows whose title matches pattern; with waitMs, waits for at least one.
  QStringList windows(const QString& pattern, int waitMs = kWaitMs);
  // The shown windows matching pattern once there are `count` of them, or when time runs out.
  QStringList awaitWindows(const QString& pattern, int count);
  // Standard output of a tool run on the private display.
  QByteArray run(const QString& program, const QStringList& args);
  QByteArray xdotool(const QStringList& args) { return run(QStringLiteral("xdotool"), args); }
  // Keys pressed in the window, which gets the keyboard focus first.
  void keys(const QString& window, const QStringList& keys);

  static void stop(QProcess& process);
  bool displayAcceptsClients();

  QTemporaryDir root_;
  QProcess xvfb_;
  QProcessEnvironment env_;
  std::vector<std::unique_ptr<QProcess>> children_;
  std::vector<std::unique_ptr<QProcess>> helpers_;
  bool asNobody_ = false;
  // What start() runs: the copy in appDir() unless a test names another program.
  QString program_;
};

}  // namespace qm::test
