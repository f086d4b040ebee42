#include "stores/text_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "common/ansi.h"
#include "common/failure.h"
#include "platform/platform.h"

namespace qm {
namespace {

// Records are read in chunks of whole records of about this size.
constexpr qint64 kChunkBytes = 64 * 1024;

std::function<int(int)>& tempWriteFault() {
  static std::function<int(int)> fault;
  return fault;
}

[[noreturn]] void throwErrno(int err = errno) {
  throw Failure(failureFromErrno(err));
}

QByteArray nativePath(const QString& path) {
  return QFile::encodeName(path);
}

// An open file, closed when it goes out of scope.
class File {
 public:
  // Every open creates or writes, so a directory in the file's place is refused (EISDIR).
  File(const QString& path, int flags)
      : fd_(::open(nativePath(path).constData(), flags | O_CLOEXEC, 0666)) {
    if (fd_ < 0) throwErrno();
  }
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  int fd() const { return fd_; }

  qint64 size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throwErrno();
    return st.st_size;
  }

  void syncAndClose() {
    if (::fsync(fd_) != 0) throwErrno();
    if (::close(std::exchange(fd_, -1)) != 0) throwErrno();
  }

 private:
  int fd_;
};

off_t offsetOf(int n, int length) {
  return static_cast<off_t>(n - 1) * length;
}

// Reads up to size bytes at offset; fewer only at the end of the file.
qint64 readAt(int fd, char* data, qint64 size, off_t offset) {
  qint64 done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd, data + done, static_cast<size_t>(size - done), offset + done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throwErrno();
    if (got == 0) break;
    done += got;
  }
  return done;
}

void writeAt(int fd, QByteArrayView bytes, off_t offset) {
  qint64 done = 0;
  while (done < bytes.size()) {
    const ssize_t put =
        ::pwrite(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done), offset + done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) throwErrno();
    if (put == 0) throwErrno(ENOSPC);
    done += put;
  }
}

QString appFile(const char* name) {
  return platform::resolveFileName(platform::applicationDir(), QString::fromLatin1(name));
}

bool present(const QString& path) {
  struct stat st {};
  return ::lstat(nativePath(path).constData(), &st) == 0;
}

void removeFile(const QString& path) {
  if (::unlink(nativePath(path).constData()) != 0) throwErrno();
}

// Calls visit(n, record) for records 1..count in order until it returns false.
template <typename Visit>
void forEachRecord(const File& file, int length, qint64 count, Visit visit) {
  const qint64 perChunk = std::max<qint64>(1, kChunkBytes / length);
  QByteArray chunk;
  for (qint64 first = 0; first < count; first += perChunk) {
    chunk.resize(std::min(perChunk, count - first) * length);
    const qint64 got = readAt(file.fd(), chunk.data(), chunk.size(), first * length);
    for (qint64 i = 0; i < got / length; ++i) {
      const QByteArrayView record = QByteArrayView(chunk).sliced(i * length, length);
      if (!visit(static_cast<int>(first + i + 1), record)) return;
    }
  }
}

// A removal's temporary file, deleted again unless it has replaced the store.
class TempGuard {
 public:
  explicit TempGuard(QString path) : path_(std::move(path)) {}
  ~TempGuard() {
    if (!path_.isEmpty()) ::unlink(nativePath(path_).constData());
  }
  TempGuard(const TempGuard&) = delete;
  TempGuard& operator=(const TempGuard&) = delete;

  void keep() { path_.clear(); }

 private:
  QString path_;
};

// An interrupted removal may have left its temporary file behind, in any letter case.
void discardLeftovers(const TextStore& store) {
  for (QString path = appFile(store.tempFileName); present(path);
       path = appFile(store.tempFileName)) {
    removeFile(path);
  }
}

// Writes whole records, the first of them as record n; a failure shows the writer's box.
bool moveRecords(std::string_view writer, const TempFile& temp, int n, QByteArrayView records) {
  const int count = static_cast<int>(records.size() / temp.length);
  bool written = false;
  const FailureHandler handler(writer);
  // Ignore goes on without the records, which would lose them: only a written block counts.
  return handler.run([&] {
    for (int i = n; tempWriteFault() && i < n + count; ++i) {
      if (const int err = tempWriteFault()(i)) throwErrno(err);
    }
    writeAt(temp.fd, records, offsetOf(n, temp.length));
    written = true;
  }) && written;
}

bool writeTempRecords(const TextStore& store, const TempFile& temp, int n, QByteArrayView records) {
  const std::string_view writer = store.tempWriter;
  if (writer == kHeaders.tempWriter) return MoveHead(temp, n, records);
  if (writer == kFooters.tempWriter) return MoveFoot(temp, n, records);
  return MoveSig(temp, n, records);
}

// True when the record without its outer spaces is `wanted` (already without them); compares
// in place, since a search looks at every record of the store.
bool matches(QByteArrayView record, QByteArrayView wanted) {
  qsizetype begin = 0;
  while (begin < record.size() && record[begin] == ' ') ++begin;
  const QByteArrayView rest = record.sliced(begin);
  if (!rest.startsWith(wanted)) return false;
  static const QByteArray spaces(256, ' ');
  for (QByteArrayView tail = rest.sliced(wanted.size()); !tail.isEmpty();) {
    const qsizetype part = std::min(tail.size(), spaces.size());
    if (std::memcmp(tail.data(), spaces.constData(), static_cast<size_t>(part)) != 0) return false;
    tail = tail.sliced(part);
  }
  return true;
}

// Copies the records that do not match to the temporary file and puts it in the store's place.
Removal rebuild(const TextStore& store, const File& in, qint64 count, const QString& path,
                const QByteArray& wanted) {
  const QString tempPath = appFile(store.tempFileName);
  File out(tempPath, O_WRONLY | O_CREAT | O_EXCL);
  TempGuard guard(tempPath);
  const TempFile temp{out.fd(), store.length};
  // Survivors go out in blocks, not one write per record.
  int kept = 0;
  QByteArray block;
  const auto flush = [&] {
    const int first = kept - static_cast<int>(block.size() / store.length) + 1;
    const bool written = block.isEmpty() || writeTempRecords(store, temp, first, block);
    block.clear();
    return written;
  };
  bool abandoned = false;
  forEachRecord(in, store.length, count, [&](int, QByteArrayView record) {
    if (matches(record, wanted)) return true;
    block += record;
    ++kept;
    if (block.size() >= kChunkBytes) abandoned = !flush();
    return !abandoned;
  });
  if (!abandoned) abandoned = !flush();
  if (abandoned) return Removal::Abandoned;
  if (kept == count) return Removal::Rebuilt;  // nothing matched: the store stays as it is
  if (kept == 0) {
    removeFile(path);
    return Removal::Deleted;
  }
  out.syncAndClose();
  if (::rename(nativePath(tempPath).constData(), nativePath(path).constData()) != 0) throwErrno();
  guard.keep();
  return Removal::Rebuilt;
}

}  // namespace

QByteArray fittedRecord(QByteArrayView text, int length) {
  QByteArray record = text.first(std::min<qsizetype>(text.size(), length)).toByteArray();
  record.append(length - record.size(), ' ');
  return record;
}

QString storePath(const TextStore& store) {
  return appFile(store.fileName);
}

int CountRecords(const TextStore& store) {
  const File file(storePath(store), O_RDONLY | O_CREAT);
  return static_cast<int>(file.size() / store.length);
}

QByteArray ReadRecord(const TextStore& store, int n) {
  const File file(storePath(store), O_RDONLY | O_CREAT);
  QByteArray record(store.length, ' ');
  readAt(file.fd(), record.data(), record.size(), offsetOf(n, store.length));
  return record;
}

void WriteRecord(const QString& file, int length, int n, QByteArrayView text) {
  const File out(file, O_WRONLY | O_CREAT);
  writeAt(out.fd(), fittedRecord(text, length), offsetOf(n, length));
}

void AppendRecord(const TextStore& store, QByteArrayView text) {
  const File out(storePath(store), O_WRONLY | O_CREAT);
  const qint64 size = out.size();
  // A remainder shorter than a record is overwritten.
  const int n = static_cast<int>(size / store.length) + 1;
  try {
    writeAt(out.fd(), fittedRecord(text, store.length), offsetOf(n, store.length));
  } catch (const Failure&) {
    // A full disk may have taken part of the record; the store goes back to its old length.
    // Should that fail too, the part is a remainder that the next append overwrites.
    [[maybe_unused]] const int undone = ::ftruncate(out.fd(), size);
    throw;
  }
}

std::optional<int> FindRecord(const TextStore& store, QByteArrayView text) {
  const File file(storePath(store), O_RDONLY | O_CREAT);
  const QByteArray wanted = trimSpaces(text);
  std::optional<int> found;
  forEachRecord(file, store.length, file.size() / store.length, [&](int n, QByteArrayView record) {
    if (matches(record, wanted)) found = n;
    return !found;
  });
  return found;
}

Removal RemoveRecord(const TextStore& store, QByteArrayView text) {
  discardLeftovers(store);
  const QString path = storePath(store);
  // Opened for writing although only read: a store the user made read-only is refused, not
  // replaced by the rename.
  const File in(path, O_RDWR | O_CREAT);
  const qint64 count = in.size() / store.length;
  if (count == 0) {
    removeFile(path);
    return Removal::Deleted;
  }
  return rebuild(store, in, count, path, trimSpaces(text));
}

bool MoveHead(const TempFile& temp, int n, QByteArrayView records) {
  return moveRecords(kHeaders.tempWriter, temp, n, records);
}

bool MoveSig(const TempFile& temp, int n, QByteArrayView records) {
  return moveRecords(kSignatures.tempWriter, temp, n, records);
}

bool MoveFoot(const TempFile& temp, int n, QByteArrayView records) {
  return moveRecords(kFooters.tempWriter, temp, n, records);
}

void setTempWriteFaultForTest(std::function<int(int n)> fault) {
  tempWriteFault() = std::move(fault);
}

int checkedRecordNumber(int count) {
  if (count > kMostRecordNumber) throw Failure(Err::Overflow);
  return count;
}

}  // namespace qm
