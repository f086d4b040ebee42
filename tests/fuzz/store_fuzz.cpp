// Fuzzes the store files: any bytes as a store, then counts, reads, searches, appends, removals
// and an edit's moves, each checked against a model of the file's bytes.
//
// Input layout: six control bytes, then the store file as it lies on disk.
//   0: bits 0-1 the store (signatures, headers, footers, signatures), bits 2-3 the letter case
//      of its file name, bit 4 a leftover temporary file, bit 5 its name in capitals
//   1: bits 0-1 spaces before the text, bits 2-3 spaces after it, bits 4-5 the operations
//      (append, remove, an edit's two moves, append and remove),
//      bit 6 the text is a slice of the file instead of a record's text
//   2-3: a record number or a slice offset; 4-5: a slice length
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "common/failure.h"
#include "common/msgbox.h"
#include "fuzz_check.h"
#include "platform/platform.h"
#include "stores/text_store.h"

namespace {

QByteArray withoutOuterSpaces(QByteArrayView text) {
  while (!text.isEmpty() && text.front() == ' ') text = text.sliced(1);
  while (!text.isEmpty() && text.back() == ' ') text.chop(1);
  return text.toByteArray();
}

QByteArray record(const QByteArray& bytes, int length, qsizetype n) {
  return bytes.sliced((n - 1) * length, length);
}

std::optional<int> firstMatch(const QByteArray& bytes, int length, QByteArrayView text) {
  const QByteArray wanted = withoutOuterSpaces(text);
  for (qsizetype n = 1; n <= bytes.size() / length; ++n) {
    if (withoutOuterSpaces(record(bytes, length, n)) == wanted) return static_cast<int>(n);
  }
  return std::nullopt;
}

QStringList entries() {
  QStringList names =
      QDir(fuzz::scratch->path())
          .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  names.sort();
  return names;
}

void writeFile(const QString& name, QByteArrayView bytes) {
  QFile out(fuzz::scratch->filePath(name));
  CHECK(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
  CHECK(out.write(bytes.data(), bytes.size()) == bytes.size());
}

QByteArray readFile(const QString& name) {
  QFile in(fuzz::scratch->filePath(name));
  CHECK(in.open(QIODevice::ReadOnly));
  return in.readAll();
}

// The store as the model says it should be: its bytes (nullopt: no file), and the leftover
// temporary file next to it until a removal has discarded it.
struct Model {
  const qm::TextStore& store;
  std::optional<QByteArray> bytes;
  QString leftover;

  int length() const { return store.length; }
  int count() const { return bytes ? static_cast<int>(bytes->size() / store.length) : 0; }

  void checkDirectory() const {
    const QStringList names = entries();
    CHECK(names.size() == (bytes ? 1 : 0) + (leftover.isEmpty() ? 0 : 1));
    if (!leftover.isEmpty()) CHECK(names.contains(leftover));
    if (!bytes) return;
    for (const QString& name : names) {
      if (name == leftover) continue;
      CHECK(name.compare(QLatin1String(store.fileName), Qt::CaseInsensitive) == 0);
      CHECK(readFile(name) == *bytes);
    }
  }

  // Counting opens the file and so creates a missing one, empty.
  void checkReads(int n, QByteArrayView text) {
    CHECK(qm::CountRecords(store) == count());
    if (!bytes) bytes = QByteArray();
    checkDirectory();
    if (count() > 0) {
      CHECK(qm::ReadRecord(store, 1) == record(*bytes, length(), 1));
      CHECK(qm::ReadRecord(store, count()) == record(*bytes, length(), count()));
      const int picked = n % count() + 1;
      CHECK(qm::ReadRecord(store, picked) == record(*bytes, length(), picked));
    }
    CHECK(qm::FindRecord(store, text) == firstMatch(*bytes, length(), text));
  }

  void append(QByteArrayView text) {
    const int before = count();
    qm::AppendRecord(store, text);
    const QByteArray fitted = text.first(std::min<qsizetype>(text.size(), length())).toByteArray();
    bytes = bytes.value_or(QByteArray()).first(static_cast<qsizetype>(before) * length()) + fitted +
            QByteArray(length() - fitted.size(), ' ');
    checkDirectory();
    CHECK(count() == before + 1);
  }

  QByteArray survivors(QByteArrayView text) const {
    const QByteArray wanted = withoutOuterSpaces(text);
    QByteArray kept;
    for (int n = 1; n <= count(); ++n) {
      const QByteArray r = record(*bytes, length(), n);
      if (withoutOuterSpaces(r) != wanted) kept += r;
    }
    return kept;
  }

  void remove(QByteArrayView text) {
    const QByteArray survivors = this->survivors(text);
    const bool none = count() == 0 || survivors.isEmpty();
    const bool unchanged = survivors.size() == static_cast<qsizetype>(count()) * length();
    const qm::Removal removal = qm::RemoveRecord(store, text);
    leftover.clear();
    if (none) {
      CHECK(removal == qm::Removal::Deleted);
      bytes.reset();
    } else {
      CHECK(removal == qm::Removal::Rebuilt);
      if (!unchanged) bytes = survivors;  // a remainder goes with the rebuild
    }
    checkDirectory();
  }

  // An edit's move: the matching records leave their places and `last` goes to the end once.
  void moveToEnd(QByteArrayView text, QByteArrayView last) {
    const QByteArray kept = survivors(text);
    const int matched = count() - static_cast<int>(kept.size() / length());
    CHECK(qm::MoveRecordToEnd(store, text, last) == matched);
    leftover.clear();
    if (count() == 0) {
      bytes.reset();
    } else if (matched > 0) {
      bytes = kept + qm::fittedRecord(last, length());
    }
    checkDirectory();
  }
};

std::uint16_t twoBytes(const std::uint8_t* data, std::size_t size, std::size_t at) {
  const unsigned low = at < size ? data[at] : 0;
  const unsigned high = at + 1 < size ? data[at + 1] : 0;
  return static_cast<std::uint16_t>(low | high << 8);
}

QString inCase(const char* name, unsigned mode) {
  const QString text = QString::fromLatin1(name);
  return mode == 1 ? text.toUpper() : mode == 2 ? text.toLower() : text;
}

void run(const std::uint8_t* data, std::size_t size) {
  const unsigned c0 = size > 0 ? data[0] : 0;
  const unsigned c1 = size > 1 ? data[1] : 0;
  const unsigned pick = twoBytes(data, size, 2);
  const unsigned sliceLength = twoBytes(data, size, 4) % 1024;
  const std::size_t skip = std::min<std::size_t>(size, 6);
  const QByteArray file(reinterpret_cast<const char*>(data) + skip,
                        static_cast<qsizetype>(size - skip));

  static constexpr const qm::TextStore* kStores[] = {&qm::kSignatures, &qm::kHeaders, &qm::kFooters,
                                                     &qm::kSignatures};
  Model model{*kStores[c0 & 3], file, QString()};
  for (const QString& name : entries()) CHECK(QFile::remove(fuzz::scratch->filePath(name)));
  writeFile(inCase(model.store.fileName, (c0 >> 2) & 3), file);
  if (c0 & 0x10) {
    model.leftover = inCase(model.store.tempFileName, (c0 & 0x20) ? 1 : 0);
    writeFile(model.leftover, file.first(std::min<qsizetype>(file.size(), 7)));
  }

  QByteArray text;
  if (!(c1 & 0x40) && model.count() > 0) {
    text = withoutOuterSpaces(record(file, model.length(), pick % model.count() + 1));
  } else {
    const qsizetype offset = pick % (file.size() + 1);
    text = file.sliced(offset, std::min<qsizetype>(sliceLength, file.size() - offset));
  }
  text = QByteArray(c1 & 3, ' ') + text + QByteArray((c1 >> 2) & 3, ' ');

  model.checkReads(pick, text);
  switch ((c1 >> 4) & 3) {
    case 0:
      model.append(text);
      break;
    case 1:
      model.remove(text);
      break;
    case 2:
      model.moveToEnd(text, text);
      model.checkReads(pick, text);
      model.moveToEnd(text, "edited " + text);
      break;
    case 3:
      model.append(text);
      model.checkReads(pick, text);
      model.remove(text);
      break;
  }
  model.checkReads(pick, text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::makeScratch("store_fuzz");
  qm::platform::setApplicationDir(fuzz::scratch->path());
  // Only a real file error shows the failure box, and the scratch directory has none.
  qm::installMsgBox([](qm::MsgKind, const QString& prompt, const QString&) -> int {
    std::fprintf(stderr, "store_fuzz: a message box: %s\n", qPrintable(prompt));
    fuzz::fail();
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    run(data, size);
  } catch (const qm::Failure& failure) {
    std::fprintf(stderr, "store_fuzz: failure %d: %s\n", failure.number(), failure.what());
    fuzz::fail();
  }
  return 0;
}
