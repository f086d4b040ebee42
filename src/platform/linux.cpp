#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"

namespace qm::platform {
namespace {

// The instance lock's file in the application directory.
constexpr char kLockName[] = ".quillmate.lock";

QString& applicationDirOverride() {
  static QString dir;
  return dir;
}

struct InstanceLock {
  int fd = -1;
  QByteArray path;
};

InstanceLock& instanceLock() {
  static InstanceLock lock;
  return lock;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the lock's file while still holding the lock, so that nobody can have taken a file
// that is about to go; the lock itself goes with the descriptor.
void releaseInstance() {
  InstanceLock& lock = instanceLock();
  if (lock.fd < 0) return;
  struct stat held {
  }, named{};
  if (::fstat(lock.fd, &held) == 0 && ::lstat(lock.path.constData(), &named) == 0 &&
      sameFile(held, named)) {
    ::unlink(lock.path.constData());
  }
  ::close(lock.fd);
  lock.fd = -1;
}

int endPipe[2] = {-1, -1};

void onEndSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(endPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

QString applicationDir() {
  if (!applicationDirOverride().isEmpty()) return applicationDirOverride();
  return QCoreApplication::applicationDirPath();
}

void setApplicationDir(const QString& dir) {
  applicationDirOverride() = dir;
}

QString temporaryDir() {
  return QDir::tempPath();
}

QString resolveFileName(const QString& dir, const QString& name) {
  const QDir folder(dir);
  const QString exact = folder.filePath(name);
  if (QFileInfo::exists(exact)) return exact;
  // Name filters match without regard to letter case.
  const QStringList found =
      folder.entryList({name}, QDir::AllEntries | QDir::Hidden | QDir::System);
  return found.isEmpty() ? exact : folder.filePath(found.first());
}

bool previousInstance() {
  InstanceLock& lock = instanceLock();
  if (lock.fd >= 0) return false;
  const QByteArray path = QFile::encodeName(QDir(applicationDir()).filePath(kLockName));
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | kFlags, 0600);
    // A read-only directory may still hold the file from an earlier run.
    if (fd < 0) fd = ::open(path.constData(), O_RDONLY | kFlags);
    if (fd < 0) return false;
    // Only a regular file of the user's own counts: another user cannot keep them out.
    struct stat held {};
    if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode) || held.st_uid != ::geteuid()) {
      ::close(fd);
      return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool running = errno == EWOULDBLOCK;
      ::close(fd);
      return running;
    }
    // An instance that quit meanwhile has removed the name: lock the file that bears it now.
    struct stat named {};
    if (::lstat(path.constData(), &named) == 0 && sameFile(held, named)) {
      lock = {fd, path};
      // Also when Qt ends the process itself, as it does when the display goes away.
      std::atexit(releaseInstance);
      return false;
    }
    ::close(fd);
  }
  return false;
}

void onEndRequest(std::function<void()> onEnd) {
  if (::pipe2(endPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier =
      new QSocketNotifier(endPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                   [onEnd = std::move(onEnd)] { onEnd(); });
  struct sigaction action {};
  action.sa_handler = onEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(signal, &action, nullptr);
}

void endNow(int exitCode) {
  releaseInstance();
  std::_Exit(exitCode);
}

}  // namespace qm::platform
