// Any bytes as a store file, then counts, reads, a search and an append, a removal, an edit's
// two moves or an append and a removal, each checked against the bytes the file must hold.
// Input: byte 0 the store (bits 0-1: signatures, headers, footers, signatures) and its name's
// letter case (2-3); byte 1 spaces before (0-1) and after (2-3) the text, the operations (4-5),
// a slice of the file as the text, not a record's (6); bytes 2-3 a record number or the slice's
// offset, 4-5 its length; then the file.
#include "common/failure.h"
#include "common/msgbox.h"
#include "fuzz_check.h"
#include "platform/platform.h"
#include "stores/text_store.h"

namespace {

const qm::TextStore* store;
QByteArray bytes;  // what the file must hold, under `name`
QString name;

QByteArray trimmed(QByteArrayView t) {
  while (t.startsWith(' ')) t = t.sliced(1);
  while (t.endsWith(' ')) t.chop(1);
  return t.toByteArray();
}
const auto count = [] { return int(bytes.size() / store->length); };
const auto record = [](int n) {
  return bytes.mid(qsizetype(n - 1) * store->length, store->length);
};
const auto padded = [](QByteArrayView t) {
  return t.toByteArray().leftJustified(store->length, ' ', true);
};
QByteArray without(QByteArrayView text) {
  QByteArray kept;
  for (int n = 1; n <= count(); ++n) kept += trimmed(record(n)) == trimmed(text) ? "" : record(n);
  return kept;
}

// Counting creates a missing store, empty; a search finds the first match.
void check(unsigned pick, QByteArrayView text) {
  CHECK(qm::CountRecords(*store) == count());
  name = name.isEmpty() ? store->fileName : name;
  QFile file(fuzz::scratch.filePath(name));
  CHECK(fuzz::files() == QStringList{name} && file.open(QIODevice::ReadOnly) &&
        file.readAll() == bytes);
  for (int n : {1, count(), int(pick % std::max(1, count())) + 1})
    CHECK(count() == 0 || qm::ReadRecord(*store, n) == record(n));
  int first = 1;
  while (first <= count() && trimmed(record(first)) != trimmed(text)) ++first;
  CHECK(qm::FindRecord(*store, text) == (first <= count() ? std::optional(first) : std::nullopt));
}

// A removal or a move drops the matching records (a move adds `last` once), deletes a store
// left without records and keeps one that nothing matched as it was.
void rebuild(QByteArrayView text, std::optional<QByteArrayView> last) {
  const int matched = count() - int(without(text).size() / store->length);
  const QByteArray kept = without(text) + (last && matched ? padded(*last) : "");
  if (last) CHECK(qm::MoveRecordToEnd(*store, text, *last) == matched);
  if (!last)
    CHECK(qm::RemoveRecord(*store, text) ==
          (kept.isEmpty() ? qm::Removal::Deleted : qm::Removal::Rebuilt));
  name = kept.isEmpty() ? "" : name;
  bytes = matched || kept.isEmpty() ? kept : bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qm::platform::setApplicationDir(fuzz::scratch.path());
  qm::installMsgBox([](qm::MsgKind, const QString& text, const QString&) -> int {
    fuzz::fail(qPrintable(text), 0);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const quint8* data, size_t size) try {
  const auto at = [&](size_t i) { return i < size ? unsigned(data[i]) : 0u; };
  const unsigned c = at(0), op = at(1) >> 4 & 3, pick = at(2) | at(3) << 8;
  bytes = QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).mid(6);
  store = std::array{&qm::kSignatures, &qm::kHeaders, &qm::kFooters, &qm::kSignatures}[c & 3];
  const QString plain = store->fileName;
  name = (c >> 2 & 3) == 1 ? plain.toUpper() : (c >> 2 & 3) == 2 ? plain.toLower() : plain;
  for (const QString& f : fuzz::files()) QFile::remove(fuzz::scratch.filePath(f));
  QFile out(fuzz::scratch.filePath(name));
  CHECK(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
  out.close();
  QByteArray text = at(1) & 0x40 || !count()
                        ? bytes.mid(pick % (bytes.size() + 1), (at(4) | at(5) << 8) % 1024)
                        : trimmed(record(int(pick % count()) + 1));
  text = QByteArray(at(1) & 3, ' ') + text + QByteArray(at(1) >> 2 & 3, ' ');
  check(pick, text);
  if (op == 0 || op == 3) {  // a remainder shorter than a record is overwritten
    qm::AppendRecord(*store, text);
    bytes = bytes.left(count() * store->length) + padded(text);
  }
  if (op == 1 || op == 3) check(pick, text), rebuild(text, std::nullopt);
  if (op == 2) rebuild(text, text), check(pick, text), rebuild(text, "edited " + text);
  check(pick, text);
  return 0;
} catch (const qm::Failure& failure) {
  fuzz::fail(failure.what(), failure.number());
}
