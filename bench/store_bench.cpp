// The record store operations on full stores (32,767 records; signatures of 255 bytes make
// 8.4 MB), each beside a floor measured in the same run on the same bytes with plain system
// calls. Run: build/bench/store_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/ansi.h"
#include "platform/platform.h"
#include "startup/startup.h"
#include "stores/text_store.h"
#include "ui/frmMain.h"
#include "ui/text_boxes.h"

namespace {

constexpr int kRecords = qm::kMostRecordNumber;
constexpr int kSigLength = qm::kSignatures.length;
constexpr int kMiddle = kRecords / 2 + 1;
// Whole records per read, as the stores read them.
constexpr qint64 kChunk = (64 * 1024 / kSigLength) * kSigLength;

QByteArray recordText(int n) {
  return QByteArray("Entry number ").append(QByteArray::number(n));
}

QByteArray storeBytes(int length) {
  QByteArray bytes;
  bytes.reserve(qsizetype{kRecords} * length);
  for (int n = 1; n <= kRecords; ++n) bytes += recordText(n).leftJustified(length, ' ');
  return bytes;
}

void check(bool ok) {
  if (!ok) std::abort();
}

// Writes and syncs the whole file, so a timed step never pays for an earlier restore's writes.
void writeSynced(const QByteArray& path, const QByteArray& bytes) {
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  check(fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == bytes.size() && ::fsync(fd) == 0);
  ::close(fd);
}

struct Setup {
  Setup() {
    qm::platform::setApplicationDir(dir.path());
    writeSynced(path("Head.qmd"), storeBytes(100));
    writeSynced(path("Sig.qmd"), sigBytes);
    writeSynced(path("Foot.qmd"), storeBytes(100));
    QFile ini(dir.filePath("zq.ini"));
    check(ini.open(QIODevice::WriteOnly));
    ini.write("[Settings]\r\nInterval=0\r\nWrite_Type=Text & HTML\r\nSigLocation=" +
              dir.path().toLocal8Bit() + "\r\n");
    ini.close();
    qm::initprogram();
    window = std::make_unique<qm::ui::frmMain>([] {});
  }
  QByteArray path(const char* name) const { return QFile::encodeName(dir.filePath(name)); }
  void restoreSignatures() const { writeSynced(path("Sig.qmd"), sigBytes); }

  QTemporaryDir dir;
  const QByteArray sigBytes = storeBytes(kSigLength);
  std::unique_ptr<qm::ui::frmMain> window;
};

Setup& setup() {
  static Setup s;
  return s;
}

void requireFullStore() {
  check(qm::CountRecords(qm::kSignatures) == kRecords);
}

// The records' trimmed compare, answering as trimOuter(record) == wanted does, but leaving at
// the first differing byte and checking the filling spaces with memcmp; wanted is trimmed.
bool matches(std::string_view record, std::string_view wanted) {
  static const std::string spaces(kSigLength, ' ');
  const auto begin = record.find_first_not_of(' ');
  if (begin == std::string_view::npos) return wanted.empty();
  record.remove_prefix(begin);
  if (!record.starts_with(wanted)) return false;
  record.remove_prefix(wanted.size());
  return std::memcmp(record.data(), spaces.data(), record.size()) == 0;
}

// Calls visit(record) for each whole record of the file, read in chunks of whole records.
template <typename Visit>
void readRecords(int fd, Visit visit) {
  QByteArray chunk(kChunk, Qt::Uninitialized);
  for (;;) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    check(got >= 0);
    if (got == 0) return;
    for (ssize_t at = 0; at + kSigLength <= got; at += kSigLength) {
      visit(std::string_view(chunk.constData() + at, kSigLength));
    }
  }
}

// ---- CountRecords: floor open + fstat + close

void BM_CountRecords(benchmark::State& state) {
  setup();
  for (auto _ : state) benchmark::DoNotOptimize(qm::CountRecords(qm::kSignatures));
  state.SetLabel("floor: BM_CountFloor");
}

void BM_CountFloor(benchmark::State& state) {
  const QByteArray sig = setup().path("Sig.qmd");
  for (auto _ : state) {
    const int fd = ::open(sig.constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    check(fd >= 0 && ::fstat(fd, &st) == 0);
    benchmark::DoNotOptimize(st.st_size / kSigLength);
    ::close(fd);
  }
}

// ---- FindRecord of the last record: floors are a plain read, and a read with a trimmed compare
// per record

void BM_FindLast(benchmark::State& state) {
  setup();
  requireFullStore();
  const QByteArray last = recordText(kRecords);
  for (auto _ : state) check(qm::FindRecord(qm::kSignatures, last) == kRecords);
}

void BM_ReadFloor(benchmark::State& state) {
  const QByteArray sig = setup().path("Sig.qmd");
  for (auto _ : state) {
    const int fd = ::open(sig.constData(), O_RDONLY | O_CLOEXEC);
    check(fd >= 0);
    qint64 seen = 0;
    readRecords(fd, [&](std::string_view) { ++seen; });
    ::close(fd);
    check(seen == kRecords);
  }
}

void BM_FindFloor(benchmark::State& state) {
  const QByteArray sig = setup().path("Sig.qmd");
  const QByteArray last = recordText(kRecords);
  for (auto _ : state) {
    const int fd = ::open(sig.constData(), O_RDONLY | O_CLOEXEC);
    check(fd >= 0);
    int n = 0;
    int found = 0;
    readRecords(fd, [&](std::string_view record) {
      ++n;
      if (found == 0 && matches(record, std::string_view(last))) found = n;
    });
    ::close(fd);
    check(found == kRecords);
  }
}

// ---- The main window's browse on the signature list; floor: BM_ReadFloor

void BM_NextWithLastShown(benchmark::State& state) {
  requireFullStore();
  qm::ui::frmMain& window = *setup().window;
  window.txtSig->setAnsiText(qm::ReadRecord(qm::kSignatures, kRecords));
  for (auto _ : state) window.browse(window.listOf(qm::kSignatures), 1, "cmdNext_Click");
  check(qm::trimOuter(window.txtSig->ansiText()) == recordText(kRecords));
}

// Shows record `from` before each step, outside the timing, and checks where the step went.
void browseBack(benchmark::State& state, int from) {
  requireFullStore();
  qm::ui::frmMain& window = *setup().window;
  const QByteArray start = qm::ReadRecord(qm::kSignatures, from);
  for (auto _ : state) {
    state.PauseTiming();
    window.txtSig->setAnsiText(start);
    state.ResumeTiming();
    window.browse(window.listOf(qm::kSignatures), -1, "cmdPrev_Click");
  }
  check(qm::trimOuter(window.txtSig->ansiText()) == recordText(from - 1));
}

void BM_PreviousWithSecondShown(benchmark::State& state) {
  browseBack(state, 2);
}

void BM_PreviousWithLastShown(benchmark::State& state) {
  browseBack(state, kRecords);
}

// ---- RemoveRecord of the middle record; the store is restored outside the timing

void BM_DeleteMiddle(benchmark::State& state) {
  const Setup& s = setup();
  const QByteArray middle = recordText(kMiddle);
  for (auto _ : state) {
    state.PauseTiming();
    s.restoreSignatures();
    state.ResumeTiming();
    check(qm::RemoveRecord(qm::kSignatures, middle) == qm::Removal::Remaining);
  }
  check(qm::CountRecords(qm::kSignatures) == kRecords - 1);
  s.restoreSignatures();
}

// Makes a rename durable, as the stores do since a power loss could otherwise undo it.
void syncFolder(const QTemporaryDir& dir) {
  const int fd = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY);
  check(fd >= 0 && ::fsync(fd) == 0);
  ::close(fd);
}

// Reads the whole file, writes the survivors to a temporary file a chunk at a time, syncs it
// and renames it over a file of its own, then (argument 1) syncs the folder; the same restore
// runs outside the timing.
void BM_DeleteFloor(benchmark::State& state) {
  const Setup& s = setup();
  const QByteArray sig = s.path("Sig.qmd");
  const QByteArray temp = s.path("floor.tmp");
  const QByteArray target = s.path("floor.qmd");
  const QByteArray middle = recordText(kMiddle);
  QByteArray kept;
  kept.reserve(kChunk);
  for (auto _ : state) {
    state.PauseTiming();
    s.restoreSignatures();
    state.ResumeTiming();
    const int in = ::open(sig.constData(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    check(in >= 0 && out >= 0);
    qint64 written = 0;
    readRecords(in, [&](std::string_view record) {
      if (!matches(record, std::string_view(middle))) kept.append(record.data(), record.size());
      if (kept.size() + kSigLength > kChunk) {
        check(::write(out, kept.data(), kept.size()) == kept.size());
        written += kept.size();
        kept.clear();
      }
    });
    check(::write(out, kept.data(), kept.size()) == kept.size());
    written += kept.size();
    kept.clear();
    check(written == qint64{kRecords - 1} * kSigLength);
    check(::fsync(out) == 0 && ::close(out) == 0);
    ::close(in);
    check(::rename(temp.constData(), target.constData()) == 0);
    if (state.range(0)) syncFolder(s.dir);
  }
}

// ---- AppendRecord; the store is cut back to its records outside the timing

void BM_AppendRecord(benchmark::State& state) {
  const QByteArray sig = setup().path("Sig.qmd");
  requireFullStore();
  for (auto _ : state) {
    qm::AppendRecord(qm::kSignatures, "Appended");
    state.PauseTiming();
    check(::truncate(sig.constData(), off_t{kRecords} * kSigLength) == 0);
    state.ResumeTiming();
  }
  requireFullStore();
}

// Argument 1 syncs the record, as the stores do.
void BM_AppendFloor(benchmark::State& state) {
  const QByteArray sig = setup().path("Sig.qmd");
  const QByteArray record = QByteArray("Appended").leftJustified(kSigLength, ' ');
  for (auto _ : state) {
    const int fd = ::open(sig.constData(), O_WRONLY | O_CLOEXEC);
    check(fd >= 0 &&
          ::pwrite(fd, record.data(), kSigLength, off_t{kRecords} * kSigLength) == kSigLength);
    if (state.range(0)) check(::fdatasync(fd) == 0);
    ::close(fd);
    state.PauseTiming();
    check(::truncate(sig.constData(), off_t{kRecords} * kSigLength) == 0);
    state.ResumeTiming();
  }
}

BENCHMARK(BM_CountRecords)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CountFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindLast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NextWithLastShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PreviousWithSecondShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PreviousWithLastShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeleteMiddle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeleteFloor)->ArgName("durable")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AppendRecord)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AppendFloor)->ArgName("durable")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
