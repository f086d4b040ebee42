#include "stores/text_store.h"

#include <algorithm>
#include <cstring>

#include "common/ansi.h"
#include "common/failure.h"
#include "platform/platform.h"

namespace qm {
namespace {

using platform::File;
using platform::Replacement;

// Records are read in chunks of whole records of about this size.
constexpr qint64 kChunkBytes = qint64{64} * 1024;

qint64 offsetOf(int n, int length) {
  return static_cast<qint64>(n - 1) * length;
}

QString appFile(const char* name) {
  return platform::resolveFileName(platform::applicationDir(), QString::fromLatin1(name));
}

// Calls visit(n, record) for records 1..count in order until it returns false.
template <typename Visit>
void forEachRecord(const File& file, int length, qint64 count, Visit visit) {
  const qint64 perChunk = std::max<qint64>(1, kChunkBytes / length);
  QByteArray chunk;
  for (qint64 first = 0; first < count; first += perChunk) {
    chunk.resize(std::min(perChunk, count - first) * length);
    const qint64 got = file.readAt(chunk.data(), chunk.size(), first * length);
    for (qint64 i = 0; i < got / length; ++i) {
      const QByteArrayView record = QByteArrayView(chunk).sliced(i * length, length);
      if (!visit(static_cast<int>(first + i + 1), record)) return;
    }
  }
}

// Writes whole records of the temporary file, the first of them as record n; a failure shows
// the box of the store's writer. False when the user gave the records up.
bool moveRecords(const TextStore& store, Replacement& temp, int n, QByteArrayView records) {
  bool written = false;
  const FailureHandler handler(store.tempWriter);
  // Ignore goes on without the records, which would lose them: only a written block counts.
  return handler.run([&] {
    temp.writeAt(records, offsetOf(n, store.length));
    written = true;
  }) && written;
}

// trimOuter(record) == wanted, but leaving at the first differing byte and checking the filling
// spaces with memcmp: a search looks at every byte of every record.
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

struct Rebuild {
  Removal result;
  qint64 matched;
};

// Copies the records that do not match, then `last` if any matched, to the temporary file and
// puts it in the store's place; a store without records, before or after, is deleted.
Rebuild rebuild(const TextStore& store, QByteArrayView text, std::optional<QByteArrayView> last) {
  const QString path = storePath(store);
  // Opened for writing although only read: a store the user made read-only is refused, not
  // replaced by the rename.
  const File in(path, File::Access::ReadWrite);
  const qint64 count = in.size() / store.length;
  Replacement out(path, QString::fromLatin1(store.tempFileName));
  if (count == 0) {
    platform::removeFile(path);
    return {Removal::Deleted, 0};
  }
  const QByteArrayView wanted = trimOuter(text);
  // Survivors go out in blocks, not one write per record.
  int kept = 0;
  QByteArray block;
  const auto flush = [&] {
    const int first = kept - static_cast<int>(block.size() / store.length) + 1;
    const bool written = block.isEmpty() || moveRecords(store, out, first, block);
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
  const qint64 matched = count - kept;
  if (matched > 0 && last) {
    block += fittedRecord(*last, store.length);
    ++kept;
  }
  if (abandoned || !flush()) return {Removal::Abandoned, 0};
  if (matched == 0) return {Removal::Remaining, 0};  // nothing matched: the store stays as it is
  if (kept == 0) {
    platform::removeFile(path);
    return {Removal::Deleted, matched};
  }
  out.commit();
  return {Removal::Remaining, matched};
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
  // A name that opens as it is written is the one storePath would find, without its search;
  // any other case (missing, other letter case, refused) goes the whole way.
  const QString dir = platform::applicationDir();
  if (!dir.isEmpty()) {
    const auto size =
        platform::sizeByExactName(dir + QLatin1Char('/') + QLatin1String(store.fileName));
    if (size) return static_cast<int>(*size / store.length);
  }
  const File file(storePath(store), File::Access::Read);
  return static_cast<int>(file.size() / store.length);
}

QByteArray ReadRecord(const TextStore& store, int n) {
  const File file(storePath(store), File::Access::Read);
  QByteArray record(store.length, ' ');
  file.readAt(record.data(), record.size(), offsetOf(n, store.length));
  return record;
}

void AppendRecord(const TextStore& store, QByteArrayView text) {
  File out(storePath(store), File::Access::Write);
  const qint64 size = out.size();
  // A remainder shorter than a record is overwritten.
  const int n = static_cast<int>(size / store.length) + 1;
  try {
    out.writeAt(fittedRecord(text, store.length), offsetOf(n, store.length));
    out.sync();
  } catch (const Failure&) {
    // A full disk may have taken part of the record; the store goes back to its old length.
    // Should that fail too, the part is a remainder that the next append overwrites.
    out.truncate(size);
    throw;
  }
}

std::optional<int> FindRecord(const TextStore& store, QByteArrayView text) {
  const File file(storePath(store), File::Access::Read);
  const QByteArrayView wanted = trimOuter(text);
  std::optional<int> found;
  forEachRecord(file, store.length, file.size() / store.length, [&](int n, QByteArrayView record) {
    if (matches(record, wanted)) found = n;
    return !found;
  });
  return found;
}

std::optional<int> FindRecordBeginning(const TextStore& store, QByteArrayView prefix) {
  const File file(storePath(store), File::Access::Read);
  std::optional<int> found;
  forEachRecord(file, store.length, file.size() / store.length, [&](int n, QByteArrayView record) {
    if (record.startsWith(prefix)) found = n;
    return !found;
  });
  return found;
}

Removal RemoveRecord(const TextStore& store, QByteArrayView text) {
  return rebuild(store, text, std::nullopt).result;
}

std::optional<int> MoveRecordToEnd(const TextStore& store, QByteArrayView text,
                                   QByteArrayView last) {
  const Rebuild done = rebuild(store, text, last);
  if (done.result == Removal::Abandoned) return std::nullopt;
  return static_cast<int>(done.matched);
}

int checkedRecordNumber(int count) {
  if (count > kMostRecordNumber) throw Failure(Err::Overflow);
  return count;
}

}  // namespace qm
