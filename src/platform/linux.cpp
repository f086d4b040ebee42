#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "common/ansi.h"
#include "common/failure.h"
#include "platform/files.h"
#include "platform/linux_owner.h"
#include "platform/linux_stat.h"
#include "platform/platform.h"

namespace qm::platform {
namespace {

// The instance lock's file in the application directory.
constexpr char kLockName[] = ".quillmate.lock";
constexpr char kWakeName[] = ".quillmate.wake";

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

// Removes the lock's file while still holding the lock, so that nobody can have taken a file
// that is about to go; the lock itself goes with the descriptor. The process opens the file
// nowhere else, since closing any descriptor of it would let a record lock go.
void releaseInstance() {
  InstanceLock& lock = instanceLock();
  if (lock.fd < 0) return;
  struct stat held {};
  struct stat named {};
  if (::fstat(lock.fd, &held) == 0 && ::lstat(lock.path.constData(), &named) == 0 &&
      sameFile(held, named)) {
    ::unlink(lock.path.constData());
  }
  ::close(lock.fd);
  lock.fd = -1;
}

// A later start asks the instance that holds the lock to show itself with this signal.
constexpr int kWakeSignal = SIGUSR1;

// Signals go through a pipe to the event loop, one byte each: their number.
int requestPipe[2] = {-1, -1};

void onRequestSignal(int signal) {
  const int saved = errno;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(requestPipe[1], &byte, 1);
  errno = saved;
}

// A write lock on the whole file: the kernel names its holder to whoever asks.
struct flock wholeFile(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return lock;
}

// The process holding the lock on the file open at fd, or 0.
pid_t lockHolder(int fd) {
  struct flock probe = wholeFile(F_WRLCK);
  if (::fcntl(fd, F_GETLK, &probe) != 0 || probe.l_type == F_UNLCK) return 0;
  return probe.l_pid;
}

// The lock's file, open while another instance holds the lock: it says where to knock.
int heldByOther = -1;

// True when the process runs this very program, so that a wake never reaches another one that
// holds a lock on the file.
bool runsThisProgram(pid_t pid) {
  struct stat ours {};
  struct stat theirs {};
  const QByteArray exe = "/proc/" + QByteArray::number(pid) + "/exe";
  return ::stat("/proc/self/exe", &ours) == 0 && ::stat(exe.constData(), &theirs) == 0 &&
         sameFile(ours, theirs);
}

// What the launcher gave this start to bring a window forward, as the environment held it at
// the start (the toolkit takes it out): a Wayland activation token, or an X11 startup id.
QByteArray launchToken() {
  QFile file(QStringLiteral("/proc/self/environ"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QList<QByteArray> environment = file.readAll().split('\0');
  for (const QByteArrayView name : {"XDG_ACTIVATION_TOKEN=", "DESKTOP_STARTUP_ID="}) {
    for (const QByteArray& entry : environment) {
      if (entry.startsWith(name) && entry.size() > name.size()) return entry.mid(name.size());
    }
  }
  return {};
}

// The token goes beside the lock, in a file that only the instance of this installation reads;
// the wake's signal carries no data. A file with nothing in it says that there is no token, so
// no earlier start's is used.
void handOverLaunchToken() {
  try {
    replaceFile(QDir(applicationDir()).filePath(QLatin1String(kWakeName)), launchToken());
  } catch (const Failure&) {
    return;  // the window still comes back, only perhaps not forward
  }
  // Used once: this start's own box must not spend it.
  qunsetenv("XDG_ACTIVATION_TOKEN");
}

// The token a later start left for the wake, taken: only a regular file of the user's, root's or
// the directory owner's counts.
QByteArray takeLaunchToken() {
  const QByteArray path = pathBytes(QDir(applicationDir()).filePath(kWakeName));
  const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat file {};
  QByteArray token(256, '\0');
  ssize_t size = -1;
  if (::fstat(fd, &file) == 0 && S_ISREG(file.st_mode) && trusted(file.st_uid)) {
    size = ::read(fd, token.data(), token.size());
    ::unlink(path.constData());
  }
  ::close(fd);
  token.resize(std::max<ssize_t>(size, 0));
  return token.trimmed();
}

}  // namespace

QString applicationDir() {
  if (!applicationDirOverride().isEmpty()) return applicationDirOverride();
  // A command line answered before Qt starts has the kernel's word for it; links are followed.
  if (!QCoreApplication::instance())
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
  return QCoreApplication::applicationDirPath();
}

void setApplicationDir(const QString& dir) {
  applicationDirOverride() = dir;
}

QString temporaryDir() {
  return QDir::tempPath();
}

QString privateSignatureDir() {
  const auto user = actingFor();
  const passwd* account = user ? ::getpwuid(user->uid) : nullptr;
  const QString data = account
                           ? QFile::decodeName(account->pw_dir) + QStringLiteral("/.local/share")
                           : QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  return data + QStringLiteral("/quillmate");
}

void createPrivateDir(const QString& path) {
  if (QFileInfo::exists(path)) return;
  const QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'));
  QString made;
  for (const QString& part : parts) {
    made += part + QLatin1Char('/');
    const QByteArray name = pathBytes(made);
    if (::mkdir(name.constData(), 0700) != 0) continue;
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    handOver(fd);
    ::close(fd);
  }
}

QByteArray pathBytes(const QString& path) {
  return QFile::encodeName(path);
}

QString pathFromBytes(const QByteArray& bytes) {
  const QString path = QFile::decodeName(bytes);
  const bool encoded = pathBytes(path) == bytes;
  if (encoded && QFileInfo::exists(path)) return path;
  const QString legacy = fromAnsi(bytes);
  return !encoded || QFileInfo::exists(legacy) ? legacy : path;
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
  const QByteArray path = pathBytes(QDir(applicationDir()).filePath(kLockName));
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | kFlags, 0600);
    if (fd < 0) return false;
    // Only a regular file of the user's, root's or the installation owner's counts: another user
    // cannot keep anyone out, and the owner and root (sudo) never run one installation twice.
    struct stat held {};
    if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode) || !trusted(held.st_uid)) {
      ::close(fd);
      return false;
    }
    struct flock take = wholeFile(F_WRLCK);
    if (::fcntl(fd, F_SETLK, &take) != 0) {
      const bool running = errno == EAGAIN || errno == EACCES;
      if (running) {
        heldByOther = fd;
      } else {
        ::close(fd);
      }
      return running;
    }
    // An instance that quit meanwhile has removed the name: lock the file that bears it now.
    struct stat named {};
    if (::lstat(path.constData(), &named) == 0 && sameFile(held, named)) {
      // Root's lock file, handed to the owner, tells the owner's later start that root runs.
      handOver(fd);
      lock = {fd, path};
      // Also when Qt ends the process itself, as it does when the display goes away.
      std::atexit(releaseInstance);
      return false;
    }
    ::close(fd);
  }
  return false;
}

bool wakePreviousInstance() {
  if (heldByOther < 0) return false;
  const pid_t holder = lockHolder(heldByOther);
  if (holder <= 0) return false;
  // Through a handle on the process, asked again whether it still holds the lock: a number
  // freed by its end and given to another process is never signalled.
  const int process = static_cast<int>(::syscall(SYS_pidfd_open, holder, 0));
  if (process < 0) return false;
  const bool ours = runsThisProgram(holder) && lockHolder(heldByOther) == holder;
  if (ours) handOverLaunchToken();
  const bool woken =
      ours && ::syscall(SYS_pidfd_send_signal, process, kWakeSignal, nullptr, 0) == 0;
  ::close(process);
  return woken;
}

void onRequests(std::function<void()> onEnd, std::function<void(const QByteArray&)> onWake) {
  if (::pipe2(requestPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier =
      new QSocketNotifier(requestPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                   [onEnd = std::move(onEnd), onWake = std::move(onWake)] {
                     char signal = 0;
                     while (::read(requestPipe[0], &signal, 1) == 1) {
                       if (signal == kWakeSignal) {
                         onWake(takeLaunchToken());
                       } else {
                         onEnd();
                       }
                     }
                   });
  struct sigaction action {};
  action.sa_handler = onRequestSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGHUP, SIGINT, kWakeSignal}) {
    ::sigaction(signal, &action, nullptr);
  }
}

void endNow(int exitCode) {
  releaseInstance();
  std::_Exit(exitCode);
}

}  // namespace qm::platform
