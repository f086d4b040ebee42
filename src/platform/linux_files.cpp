#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <cctype>
#include <cerrno>
#include <climits>
#include <utility>

#include "common/failure.h"
#include "platform/files.h"
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

QByteArray native(const QString& path) {
  return QFile::encodeName(path);
}

QString folderOf(const QString& path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  if (slash < 0) return QStringLiteral(".");
  return slash == 0 ? QStringLiteral("/") : path.first(slash);
}

QString nameOf(const QString& path) {
  return path.sliced(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool same(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The call again for as long as a signal interrupts it.
template <typename Call>
auto uninterrupted(Call call) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

// -1 with errno set on failure. O_NONBLOCK: a FIFO must not stop the program; O_NOCTTY: nor
// may a terminal become ours.
int tryOpen(const QString& path, int flags, mode_t mode = 0666) {
  if (const int err = hookError(FileCall::Open, path)) {
    errno = err;
    return -1;
  }
  const QByteArray name = native(path);
  return uninterrupted(
      [&] { return ::open(name.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode); });
}

int openFd(const QString& path, int flags, mode_t mode = 0666) {
  const int fd = tryOpen(path, flags, mode);
  if (fd < 0) fail();
  return fd;
}

void unlinkEntry(const QString& path) {
  hooked(FileCall::Remove, path);
  if (::unlink(native(path).constData()) != 0) fail();
}

// Only a regular file is ever read or written; a file without any write bit is read-only even
// to root, who would otherwise be let through.
void requireRegular(int fd, bool writing) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) fail();
  if (!S_ISREG(st.st_mode)) throw Failure(Err::PathFileAccess);
  if (writing && (st.st_mode & 0222) == 0) throw Failure(Err::PermissionDenied);
}

int openRegular(const QString& path, int flags) {
  const int fd = openFd(path, flags);
  try {
    requireRegular(fd, (flags & O_ACCMODE) != O_RDONLY);
  } catch (const Failure&) {
    ::close(fd);
    throw;
  }
  return fd;
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

// Makes a rename or deletion in the folder durable. A folder that cannot be opened or synced
// (a file system without the call) is left as it is: the change itself has been made.
void syncFolder(const QString& folder) {
  hooked(FileCall::SyncFolder, folder);
  const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const int err = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  if (err != 0 && err != EINVAL && err != EROFS) fail(err);
}

// The kernel's rule for links in folders others may write to: follow one there only when it
// is ours or the folder owner's, so nobody can point our writes at a file of their choice.
bool mayFollow(const struct stat& link, const QString& folder) {
  if (link.st_uid == ::geteuid()) return true;
  struct stat st {};
  if (::stat(native(folder).constData(), &st) != 0) return false;
  const bool shared = (st.st_mode & S_ISVTX) && (st.st_mode & S_IWOTH);
  return !shared || st.st_uid == link.st_uid;
}

// The path a write to path lands on: its links followed to the end.
QString writeTarget(const QString& path) {
  QString target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(native(target).constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    if (!mayFollow(st, folderOf(target))) throw Failure(Err::PermissionDenied);
    QByteArray link(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlink(native(target).constData(), link.data(), link.size());
    if (length < 0) fail();
    const QString next = QFile::decodeName(link.left(length));
    target = next.startsWith(QLatin1Char('/')) ? next : folderOf(target) + QLatin1Char('/') + next;
  }
  fail(ELOOP);
}

// A temporary name of ours: "." + the file's name + "." + twelve letters and digits.
constexpr int kRandomLength = 12;

QString temporaryName(const QString& name) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  quint32 random[kRandomLength];
  QRandomGenerator::system()->fillRange(random);
  QString suffix;
  for (const quint32 r : random) suffix += QLatin1Char(kLetters[r % (sizeof kLetters - 1)]);
  return QLatin1Char('.') + name + QLatin1Char('.') + suffix;
}

bool isTemporaryName(QByteArrayView entry, QByteArrayView prefix) {
  if (entry.size() != prefix.size() + kRandomLength || !entry.startsWith(prefix)) return false;
  for (const char c : entry.sliced(prefix.size())) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Removes the temporary files a killed write of name left in the folder. A writer holds a lock
// on its file until it has renamed it, so a locked file, or another user's, is never touched.
void clearLeftovers(const QString& folder, const QString& name) {
  DIR* dir = ::opendir(native(folder).constData());
  if (!dir) return;
  const QByteArray prefix = native(QLatin1Char('.') + name + QLatin1Char('.'));
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (!isTemporaryName(QByteArrayView(entry->d_name), prefix)) continue;
    const int fd =
        ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && same(opened, named)) {
      ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::close(fd);
  }
  ::closedir(dir);
}

// Creates a new temporary file beside the target and locks it; a name that a cleaner removed
// before the lock was taken is given up for another.
int createLockedTemporary(const QString& folder, const QString& name, mode_t mode, QString* path) {
  for (;;) {
    *path = folder + QLatin1Char('/') + temporaryName(name);
    const int fd = tryOpen(*path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) fail();
    struct stat opened {};
    struct stat named {};
    if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &opened) == 0 &&
        ::lstat(native(*path).constData(), &named) == 0 && same(opened, named)) {
      return fd;
    }
    ::close(fd);
  }
}

}  // namespace

File::File(const QString& path, Access access)
    : path_(path),
      fd_(openRegular(path, O_CREAT | (access == Access::Read    ? O_RDONLY
                                       : access == Access::Write ? O_WRONLY
                                                                 : O_RDWR))) {}

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

bool File::truncate(qint64 size) {
  return ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
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

bool exists(const QString& path) {
  struct stat st {};
  return ::lstat(native(path).constData(), &st) == 0;
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
  const bool replacing = ::lstat(native(target_).constData(), &old) == 0;
  if (replacing) {
    if (!S_ISREG(old.st_mode)) throw Failure(Err::PathFileAccess);
    const bool writable = ::faccessat(AT_FDCWD, native(target_).constData(), W_OK, AT_EACCESS) == 0;
    if (!writable || (old.st_mode & 0222) == 0) throw Failure(Err::PermissionDenied);
  } else if (errno != ENOENT) {
    fail();
  } else if (::access(native(folder).constData(), F_OK) != 0) {
    throw Failure(Err::PathNotFound);
  }
  // Private to the program until it takes the old file's owner and mode.
  const mode_t mode = replacing ? 0600 : 0666;
  if (fixedTempName.isEmpty()) {
    clearLeftovers(folder, nameOf(target_));
    fd_ = createLockedTemporary(folder, nameOf(target_), mode, &temp_);
  } else {
    for (QString left = resolveFileName(folder, fixedTempName); exists(left);
         left = resolveFileName(folder, fixedTempName)) {
      unlinkEntry(left);
    }
    temp_ = folder + QLatin1Char('/') + fixedTempName;
    fd_ = openFd(temp_, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
  }
  if (replacing) {
    // Another owner can only be kept by root; the mode always can.
    [[maybe_unused]] const int owned = ::fchown(fd_, old.st_uid, old.st_gid);
    ::fchmod(fd_, old.st_mode & 07777);
  }
}

Replacement::~Replacement() {
  // Removed while still locked, so no cleaner can have taken the name meanwhile.
  if (!committed_) ::unlink(native(temp_).constData());
  ::close(fd_);
}

void Replacement::writeAt(QByteArrayView bytes, qint64 offset) {
  writeAll(fd_, temp_, bytes, offset);
}

void Replacement::commit() {
  syncFd(fd_, temp_);
  hooked(FileCall::Rename, target_);
  if (::rename(native(temp_).constData(), native(target_).constData()) != 0) fail();
  committed_ = true;
  syncFolder(folderOf(target_));
}

void replaceFile(const QString& path, QByteArrayView bytes) {
  Replacement replacement(path);
  replacement.writeAt(bytes, 0);
  replacement.commit();
}

void setFileHookForTest(FileHook hook) {
  fileHook() = std::move(hook);
}

}  // namespace qm::platform
