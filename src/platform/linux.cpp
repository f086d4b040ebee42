#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
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
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly)) {
    throw Failure(folder.isWritable() ? Err::PathFileAccess : Err::PermissionDenied);
  }
  if (out.write(bytes.data(), bytes.size()) != bytes.size() || !out.commit()) {
    throw Failure(Err::DiskFull);
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
