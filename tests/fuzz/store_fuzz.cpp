// Any bytes as a store file; counts, reads, searches, appends, removals and moves checked against
// the bytes it must hold. Input: byte 0 the store (bits 0-1); byte 1 spaces before (0-1) and after
// (2-3) the text, the operations (4-5), a slice of the file as the text (6); bytes 2-3 a record
// number or the slice's offset, 4-5 its length; then the file.
#include <QDir>
#include <QTemporaryDir>

#include "common/msgbox.h"
#include "platform/platform.h"
#include "stores/text_store.h"

#define CHECK(c) ((c) ? void() : qFatal("violated: %s", #c))
namespace {
// The application folder, on /dev/shm where syncs cost nothing.
QTemporaryDir scratch((QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath()) + "/fuzz-XXXXXX");
const auto files = [] { return QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden); };
const qm::TextStore* store;
QByteArray bytes, text;  // what the file must hold; the text looked for
unsigned pick;
QByteArray trimmed(QByteArray t) {
  while (t.startsWith(' ')) t.remove(0, 1);
  while (t.endsWith(' ')) t.chop(1);
  return t;
}
const auto count = [] { return int(bytes.size() / store->length); };
const auto record = [](int n) { return bytes.mid((n - 1) * store->length, store->length); };
const auto padded = [](const QByteArray& t) { return t.leftJustified(store->length, ' ', true); };
// Counting creates a missing store, empty; a search finds the first match.
void check() {
  CHECK(qm::CountRecords(*store) == count());
  QFile file(scratch.filePath(store->fileName));
  CHECK(files() == QStringList{store->fileName} && file.open(QIODevice::ReadOnly) &&
        file.readAll() == bytes);
  for (int n : {1, count(), int(pick % std::max(1, count())) + 1})
    CHECK(count() == 0 || qm::ReadRecord(*store, n) == record(n));
  int first = 1;
  while (first <= count() && trimmed(record(first)) != trimmed(text)) ++first;
  CHECK(qm::FindRecord(*store, text) == (first <= count() ? std::optional(first) : std::nullopt));
}
// A removal or move drops matches (a move adds `last` once): none left deletes, none matched keeps.
void rebuild(std::optional<QByteArray> last) {
  QByteArray kept;
  for (int n = 1; n <= count(); ++n) kept += trimmed(record(n)) == trimmed(text) ? "" : record(n);
  const int matched = count() - int(kept.size() / store->length);
  kept += last && matched ? padded(*last) : "";
  CHECK(last ? qm::MoveRecordToEnd(*store, text, *last) == matched
             : qm::RemoveRecord(*store, text) ==
                   (kept.isEmpty() ? qm::Removal::Deleted : qm::Removal::Remaining));
  bytes = matched || kept.isEmpty() ? kept : bytes;
}
}  // namespace

// A failure box, or a failure thrown past the operations, ends the run as a crash.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qm::platform::setApplicationDir(scratch.path());
  qm::installMsgBox([](qm::MsgKind, const QString& box, const QString&) -> int {
    qFatal("box: %s", qPrintable(box));
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const quint8* data, size_t size) {
  const auto at = [&](size_t i) { return i < size ? unsigned(data[i]) : 0u; };
  const unsigned op = at(1) >> 4 & 3;
  pick = at(2) | at(3) << 8;
  bytes = QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).mid(6);
  store = std::array{&qm::kSignatures, &qm::kHeaders, &qm::kFooters, &qm::kSignatures}[at(0) & 3];
  for (const QString& f : files()) QFile::remove(scratch.filePath(f));
  QFile out(scratch.filePath(store->fileName));
  CHECK(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.flush());
  text = at(1) & 0x40 || !count()
             ? bytes.mid(pick % (bytes.size() + 1), (at(4) | at(5) << 8) % 1024)
             : trimmed(record(int(pick % count()) + 1));
  text = QByteArray(at(1) & 3, ' ') + text + QByteArray(at(1) >> 2 & 3, ' ');
  check();
  if (op == 0 || op == 3)  // a remainder shorter than a record is overwritten
    qm::AppendRecord(*store, text), bytes = bytes.left(count() * store->length) + padded(text);
  if (op == 1 || op == 3) check(), rebuild(std::nullopt);
  if (op == 2) rebuild(text), check(), rebuild("edited " + text);
  check();
  return 0;
}
