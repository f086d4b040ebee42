#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <cstdlib>
#include <memory>

#include "common/failure.h"
#include "platform/platform.h"

namespace qm::platform {
namespace {

QString& applicationDirOverride() {
  static QString dir;
  return dir;
}

QString lockFilePath() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  const QString base = !runtime.isEmpty() && QFileInfo(QString::fromLocal8Bit(runtime)).isDir()
                           ? QString::fromLocal8Bit(runtime)
                           : QDir::tempPath();
  const QByteArray key = QFileInfo(applicationDir()).canonicalFilePath().toUtf8();
  const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16);
  return QStringLiteral("%1/quillmate-%2-%3.lock")
      .arg(base)
      .arg(getuid())
      .arg(QString::fromLatin1(hash));
}

// The errno of a failed write, or 0.
int writeAll(int fd, QByteArrayView bytes) {
  for (qsizetype done = 0; done < bytes.size();) {
    const ssize_t put = ::write(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return errno;
    if (put == 0) return ENOSPC;
    done += put;
  }
  return 0;
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

void replaceFile(const QString& path, QByteArrayView bytes) {
  const QFileInfo target(path);
  const QFileInfo folder(target.absolutePath());
  if (!folder.isDir()) throw Failure(Err::PathNotFound);
  if (target.isDir()) throw Failure(Err::PathFileAccess);
  // One fixed, hidden name per file: a copy left by a killed write is overwritten by the next
  // write instead of piling up beside the files the mail program reads.
  const QByteArray temp =
      QFile::encodeName(target.absolutePath() + "/." + target.fileName() + ".new");
  const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw Failure(failureFromErrno(errno));
  int err = writeAll(fd, bytes);
  if (err == 0 && ::fdatasync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.constData());
    throw Failure(failureFromErrno(err));
  }
}

bool previousInstance() {
  static std::unique_ptr<QLockFile> lock;
  if (lock) return false;
  auto candidate = std::make_unique<QLockFile>(lockFilePath());
  candidate->setStaleLockTime(0);  // stale only when its process is gone
  if (candidate->tryLock(0)) {
    lock = std::move(candidate);
    return false;
  }
  // A lock that cannot be made at all (no writable directory) must not keep the user out.
  return candidate->error() == QLockFile::LockFailedError;
}

void endNow(int exitCode) {
  std::_Exit(exitCode);
}

}  // namespace qm::platform
