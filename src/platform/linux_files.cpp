#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "common/failure.h"
#include "platform/files.h"
#include "platform/linux_owner.h"
#include "platform/linux_stat.h"
#include "platform/platform.h"

namespace qm::platform {
namespace {

[[noreturn]] void fail(int err = errno) {
  throw Failure(failureFromErrno(err));
}

FileHook& fileHook() {
  static FileHook hook;
  return hook;
}

// The errno a test makes the call fail with, or 0.
int hookError(FileCall call, const QString& path, qint64 offset = 0, qint64 size = 0) {
  return fileHook() ? fileHook()(call, path, offset, size) : 0;
}

void hooked(FileCall call, const QString& path, qint64 offset = 0, qint64 size = 0) {
  if (const int err = hookError(call, path, offset, size)) fail(err);
}

QString folderOf(const QString& path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  if (slash < 0) return QStringLiteral(".");
  return slash == 0 ? QStringLiteral("/") : path.first(slash);
}

QString nameOf(const QString& path) {
  return path.sliced(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The call again for as long as a signal interrupts it.
template <typename Call>
auto uninterrupted(Call call) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

// How often a name taken meanwhile is tried again before the write gives up.
constexpr int kTries = 10;

// -1 with errno set on failure. O_NONBLOCK: a FIFO must not stop the program; O_NOCTTY: nor
// may a terminal become ours.
int rawOpen(const QByteArray& name, int flags, mode_t mode = 0666) {
  return uninterrupted(
      [&] { return ::open(name.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode); });
}

int openFd(const QString& path, int flags, mode_t mode = 0666) {
  hooked(FileCall::Open, path);
  const int fd = rawOpen(pathBytes(path), flags, mode);
  if (fd < 0) fail();
  return fd;
}

void unlinkEntry(const QString& path) {
  hooked(FileCall::Remove, path);
  if (::unlink(pathBytes(path).constData()) != 0) fail();
}

// Only a regular file is ever read or written; a file without any write bit is read-only even
// to root, who would otherwise be let through.
void requireRegular(int fd, bool writing) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) fail();
  if (!S_ISREG(st.st_mode)) throw Failure(Err::PathFileAccess);
  if (writing && (st.st_mode & 0222) == 0) throw Failure(Err::PermissionDenied);
}

void writeAll(int fd, const QString& path, QByteArrayView bytes, qint64 offset) {
  hooked(FileCall::Write, path, offset, bytes.size());
  for (qint64 done = 0; done < bytes.size();) {
    const ssize_t put = uninterrupted([&] {
      return ::pwrite(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done),
                      static_cast<off_t>(offset + done));
    });
    if (put < 0) fail();
    if (put == 0) fail(ENOSPC);
    done += put;
  }
}

void syncFd(int fd, const QString& path) {
  hooked(FileCall::Sync, path);
  if (::fdatasync(fd) != 0) fail();
}

// With O_CREAT a missing file is created: its name is made durable, and root hands it to the
// user it acts for.
int openRegular(const QString& path, int flags) {
  hooked(FileCall::Open, path);
  const QByteArray name = pathBytes(path);
  int fd = rawOpen(name, flags & ~O_CREAT);
  const bool created =
      fd < 0 && errno == ENOENT && (flags & O_CREAT) && (fd = rawOpen(name, flags)) >= 0;
  if (fd < 0) fail();
  try {
    requireRegular(fd, (flags & O_ACCMODE) != O_RDONLY);
    if (created) {
      handOver(fd);
      syncFolder(folderOf(path));
    }
  } catch (const Failure&) {
    ::close(fd);
    throw;
  }
  return fd;
}

// The kernel's rule for links in folders others may write to: follow one there only when it
// is ours or the folder owner's, so nobody can point our writes at a file of their choice.
bool mayFollow(const struct stat& link, const QString& folder) {
  if (link.st_uid == ::geteuid()) return true;
  struct stat st {};
  if (::stat(pathBytes(folder).constData(), &st) != 0) return false;
  const bool shared = (st.st_mode & S_ISVTX) && (st.st_mode & S_IWOTH);
  return !shared || st.st_uid == link.st_uid;
}

// The path a write to path lands on: its links followed to the end.
QString writeTarget(const QString& path) {
  QString target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(pathBytes(target).constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    if (!mayFollow(st, folderOf(target))) throw Failure(Err::PermissionDenied);
    QByteArray link(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlink(pathBytes(target).constData(), link.data(), link.size());
    if (length < 0) fail();
    const QString next = QFile::decodeName(link.left(length));
    target = next.startsWith(QLatin1Char('/')) ? next : folderOf(target) + QLatin1Char('/') + next;
  }
  fail(ELOOP);
}

// Twelve letters and digits nobody can foresee.
constexpr int kRandomLength = 12;

QString randomSuffix() {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  quint32 random[kRandomLength];
  QRandomGenerator::system()->fillRange(random);
  QString suffix;
  for (const quint32 r : random) suffix += QLatin1Char(kLetters[r % (sizeof kLetters - 1)]);
  return suffix;
}

// A temporary name of ours: "." + the file's name + "." + the suffix.
QString temporaryName(const QString& name) {
  return QLatin1Char('.') + name + QLatin1Char('.') + randomSuffix();
}

bool isTemporaryName(const QString& name) {
  const qsizetype dot = name.size() - kRandomLength - 1;
  if (dot < 2 || !name.startsWith(QLatin1Char('.')) || name[dot] != QLatin1Char('.')) return false;
  return std::all_of(name.cbegin() + dot + 1, name.cend(),
                     [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 0x80; });
}

// While a temporary file exists, a link in the application directory named ".quillmate.writing."
// + a suffix points to it. A write killed midway is cleared up by the next from these links alone:
// no folder is searched, so files that others put there, in any number, cost nothing, and only
// a file the program made is ever removed.
constexpr char kMarkerPrefix[] = ".quillmate.writing.";

// The marker of a temporary file about to be made; none where the application directory is
// read-only, and a killed write's file then stays.
QString mark(const QString& temp) {
  for (int attempt = 0; attempt < kTries; ++attempt) {
    const QString marker =
        applicationDir() + QLatin1Char('/') + QLatin1String(kMarkerPrefix) + randomSuffix();
    if (::symlink(pathBytes(temp).constData(), pathBytes(marker).constData()) == 0) return marker;
    if (errno != EEXIST) break;
  }
  return {};
}

void unmark(const QString& marker) {
  if (!marker.isEmpty()) ::unlink(pathBytes(marker).constData());
}

// Removes the file a marker names when it is a temporary file of the user's own that no write
// holds locked. False while a write still holds it: the marker stays.
bool removeMarked(const QByteArray& path) {
  if (!isTemporaryName(nameOf(QFile::decodeName(path)))) return true;
  const int fd =
      ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ELOOP;
  struct stat opened {};
  struct stat named {};
  bool done = true;
  if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid()) {
    done = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (done && ::lstat(path.constData(), &named) == 0 && sameFile(opened, named)) {
      ::unlink(path.constData());
    }
  }
  ::close(fd);
  return done;
}

// Clears what killed writes left, as their markers name it; only markers of the user's or root's
// are read. Once a process is enough: an installation runs once, a process's own markers go with
// its writes, so only a process that ended before this one can have left any.
void clearLeftovers() {
  static QString cleared;
  if (cleared == applicationDir()) return;
  cleared = applicationDir();
  DIR* dir = ::opendir(pathBytes(cleared).constData());
  if (!dir) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strncmp(entry->d_name, kMarkerPrefix, sizeof kMarkerPrefix - 1) != 0) continue;
    struct stat marker {};
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    if (::fstatat(dirFd, entry->d_name, &marker, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(marker.st_mode) || (marker.st_uid != ::geteuid() && marker.st_uid != 0)) {
      continue;
    }
    const ssize_t length = ::readlinkat(dirFd, entry->d_name, target.data(), target.size());
    if (length > 0 && removeMarked(target.left(length))) ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

// Creates a new temporary file beside the target, marked, readable by no other user, and locks
// it. Only root or another write of the user's could have opened it before the lock: a name
// lost that way is given up for another, a few times at most.
int createLockedTemporary(const QString& folder, const QString& name, QString* path,
                          QString* marker) {
  for (int attempt = 0; attempt < kTries; ++attempt) {
    *path = folder + QLatin1Char('/') + temporaryName(name);
    *marker = mark(*path);
    hooked(FileCall::Open, *path);
    const int fd = rawOpen(pathBytes(*path), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0) {
      const int err = errno;
      unmark(*marker);
      if (err == EEXIST) continue;
      fail(err);
    }
    struct stat opened {};
    struct stat named {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
        ::lstat(pathBytes(*path).constData(), &named) == 0 && sameFile(opened, named)) {
      return fd;
    }
    // Whoever holds the file removes it, or a later write does by its marker.
    ::close(fd);
    marker->clear();
  }
  throw Failure(Err::PermissionDenied);
}

// The permission bits of a new file: 0666 without the umask, which the kernel's status file
// tells without changing it under other threads' feet.
mode_t newFileMode() {
  QFile status(QStringLiteral("/proc/self/status"));
  uint mask = 022;
  if (status.open(QIODevice::ReadOnly)) {
    for (QByteArray line; !(line = status.readLine()).isEmpty();) {
      if (line.startsWith("Umask:")) mask = line.mid(6).trimmed().toUInt(nullptr, 8);
    }
  }
  return 0666 & ~mask;
}

}  // namespace

File::File(const QString& path, Access access)
    : path_(path),
      fd_(openRegular(path, access == Access::ReadExisting ? O_RDONLY
                            : access == Access::Read       ? O_CREAT | O_RDONLY
                            : access == Access::Write      ? O_CREAT | O_WRONLY
                                                           : O_CREAT | O_RDWR)) {}

File::~File() {
  ::close(fd_);
}

qint64 File::size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) fail();
  return st.st_size;
}

qint64 File::readAt(char* data, qint64 size, qint64 offset) const {
  qint64 done = 0;
  while (done < size) {
    const ssize_t got = uninterrupted([&] {
      return ::pread(fd_, data + done, static_cast<size_t>(size - done),
                     static_cast<off_t>(offset + done));
    });
    if (got < 0) fail();
    if (got == 0) break;
    done += got;
  }
  return done;
}

void File::writeAt(QByteArrayView bytes, qint64 offset) {
  writeAll(fd_, path_, bytes, offset);
}

void File::truncate(qint64 size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return;  // see the declaration
}

void File::sync() {
  syncFd(fd_, path_);
}

QByteArray readFile(const QString& path) {
  const int fd = openRegular(path, O_RDONLY);
  QByteArray bytes;
  char buffer[16 * 1024];
  for (;;) {
    const ssize_t got = uninterrupted([&] { return ::read(fd, buffer, sizeof buffer); });
    if (got < 0) {
      const int err = errno;
      ::close(fd);
      fail(err);
    }
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  ::close(fd);
  return bytes;
}

std::optional<qint64> sizeByExactName(const QString& path) {
  hooked(FileCall::Open, path);
  const int fd = rawOpen(pathBytes(path), O_RDONLY);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  const int err = ::fstat(fd, &st) == 0 ? 0 : errno;
  ::close(fd);
  if (err != 0) fail(err);
  if (!S_ISREG(st.st_mode)) throw Failure(Err::PathFileAccess);
  return st.st_size;
}

bool exists(const QString& path) {
  struct stat st {};
  return ::lstat(pathBytes(path).constData(), &st) == 0;
}

void removeFile(const QString& path) {
  const QString target = writeTarget(path);
  unlinkEntry(target);
  syncFolder(folderOf(target));
}

Replacement::Replacement(const QString& path, const QString& fixedTempName)
    : target_(writeTarget(path)) {
  const QString folder = folderOf(target_);
  struct stat old {};
  const bool replacing = ::lstat(pathBytes(target_).constData(), &old) == 0;
  if (replacing) {
    if (!S_ISREG(old.st_mode)) throw Failure(Err::PathFileAccess);
    const bool writable =
        ::faccessat(AT_FDCWD, pathBytes(target_).constData(), W_OK, AT_EACCESS) == 0;
    // Root, whom no permission stops, writes no file of a user it does not act for.
    const bool foreign = ::geteuid() == 0 && !trusted(old.st_uid);
    if (!writable || (old.st_mode & 0222) == 0 || foreign) throw Failure(Err::PermissionDenied);
  } else if (errno != ENOENT) {
    fail();
  } else if (::access(pathBytes(folder).constData(), F_OK) != 0) {
    throw Failure(Err::PathNotFound);
  }
  // A fixed name is the program's own only beside path: where a link leads, the user's files are.
  if (!fixedTempName.isEmpty() && folder == folderOf(path)) {
    for (QString left = resolveFileName(folder, fixedTempName); exists(left);
         left = resolveFileName(folder, fixedTempName)) {
      unlinkEntry(left);
    }
    temp_ = folder + QLatin1Char('/') + fixedTempName;
    fd_ = openFd(temp_, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  } else {
    clearLeftovers();
    fd_ = createLockedTemporary(folder, nameOf(target_), &temp_, &marker_);
  }
  // Private until now; then the old file's owner and mode, or a new file's. Another owner can
  // only be given by root; the mode always can.
  if (replacing) {
    [[maybe_unused]] const int owned = ::fchown(fd_, old.st_uid, old.st_gid);
  } else {
    handOver(fd_);
  }
  ::fchmod(fd_, replacing ? old.st_mode & 07777 : newFileMode());
}

Replacement::~Replacement() {
  // Removed while still locked, so no cleaner can have taken the name meanwhile.
  if (!committed_) ::unlink(pathBytes(temp_).constData());
  ::close(fd_);
  unmark(marker_);
}

void Replacement::writeAt(QByteArrayView bytes, qint64 offset) {
  writeAll(fd_, temp_, bytes, offset);
}

void Replacement::commit(FolderSync folderSync) {
  syncFd(fd_, temp_);
  hooked(FileCall::Rename, target_);
  if (::rename(pathBytes(temp_).constData(), pathBytes(target_).constData()) != 0) fail();
  committed_ = true;
  unmark(std::exchange(marker_, {}));
  if (folderSync == FolderSync::Now) syncFolder(folder());
}

QString Replacement::folder() const {
  return folderOf(target_);
}

QString replaceFile(const QString& path, QByteArrayView bytes, Replacement::FolderSync folderSync) {
  Replacement replacement(path);
  replacement.writeAt(bytes, 0);
  replacement.commit(folderSync);
  return replacement.folder();
}

void syncFolder(const QString& folder) {
  hooked(FileCall::SyncFolder, folder);
  const int fd = ::open(pathBytes(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const int err = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  if (err != 0 && err != EINVAL && err != EROFS) fail(err);
}

void setFileHookForTest(FileHook hook) {
  fileHook() = std::move(hook);
}

}  // namespace qm::platform
