// One switch over three full stores (32,767 records each) with "Text & HTML" output, beside a
// floor measured in the same run: reading the same three records and writing the same three
// files with plain write, fdatasync and rename, and (argument 1) a sync of the folder after
// each rename, as the program does. Then one signature write ("Text") into a folder where
// another user planted 100,000 files named as the program's temporary files, and into an empty
// one, each beside the floor's durable write of the same bytes into the same folder (program:0),
// on a tmpfs.
// Run: build/bench/switch_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <random>

#include "platform/platform.h"
#include "rotation/output.h"
#include "startup/settings.h"
#include "startup/startup.h"
#include "stores/text_store.h"
#include "ui/frmMain.h"
#include "ui/text_boxes.h"

namespace {

constexpr int kRecords = qm::kMostRecordNumber;

void fill(const QString& path, int length) {
  QByteArray bytes;
  bytes.reserve(qsizetype{kRecords} * length);
  for (int n = 1; n <= kRecords; ++n) {
    bytes += QByteArray("Entry number ").append(QByteArray::number(n)).leftJustified(length, ' ');
  }
  QFile out(path);
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) std::abort();
}

struct Setup {
  Setup() {
    qm::platform::setApplicationDir(dir.path());
    fill(dir.filePath("Head.qmd"), 100);
    fill(dir.filePath("Sig.qmd"), 255);
    fill(dir.filePath("Foot.qmd"), 100);
    QFile ini(dir.filePath("zq.ini"));
    if (!ini.open(QIODevice::WriteOnly)) std::abort();
    ini.write("[Settings]\r\nInterval=0\r\nWrite_Type=Text & HTML\r\nSigLocation=" +
              dir.path().toLocal8Bit() + "\r\n");
    ini.close();
    qm::initprogram();
    qm::ModSig.WriteType = "Text & HTML";
    qm::ModSig.SwitchTicks = qm::kIntervals[0].ticks;
    qm::ModSig.SwitchMinutes = qm::kIntervals[0].minutes;
    window = std::make_unique<qm::ui::frmMain>([] {});
    for (QCheckBox* box : {window->Check1, window->Check2, window->Check3}) box->setChecked(true);
  }
  QTemporaryDir dir;
  std::unique_ptr<qm::ui::frmMain> window;
};

Setup& setup() {
  static Setup s;
  return s;
}

void BM_Switch(benchmark::State& state) {
  qm::ui::frmMain& window = *setup().window;
  for (auto _ : state) window.Randomizer();
  state.SetLabel("floor: BM_Floor/durable:1");
}

QByteArray readRecord(const QString& path, int length, int n) {
  QByteArray record(length, ' ');
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
  if (::pread(fd, record.data(), length, off_t{n - 1} * length) != length) std::abort();
  ::close(fd);
  return record;
}

void writeAndRename(const QString& path, const QByteArray& bytes) {
  const QByteArray temp = QFile::encodeName(path + ".tmp");
  const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (::write(fd, bytes.data(), bytes.size()) != bytes.size() || ::fdatasync(fd) != 0) std::abort();
  ::close(fd);
  if (::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) std::abort();
}

void syncFolder(const QString& path) {
  const int folder = ::open(QFile::encodeName(path).constData(), O_RDONLY);
  if (::fsync(folder) != 0) std::abort();
  ::close(folder);
}

void BM_Floor(benchmark::State& state) {
  const QTemporaryDir& dir = setup().dir;
  std::mt19937 generator(1);
  for (auto _ : state) {
    const int n = std::uniform_int_distribution<int>(1, kRecords)(generator);
    const qm::ShownEntries shown{readRecord(dir.filePath("Head.qmd"), 100, n),
                                 readRecord(dir.filePath("Sig.qmd"), 255, n),
                                 readRecord(dir.filePath("Foot.qmd"), 100, n)};
    const QByteArray text = qm::textForm(shown);
    writeAndRename(dir.filePath("floor.txt"), text);
    writeAndRename(dir.filePath("floor.HTML"), qm::htmlForm(shown));
    writeAndRename(dir.filePath("floor.rtf"), text);
    if (state.range(0) != 0) syncFolder(dir.path());  // once, after the three renames
  }
}

// An application folder whose sig/ holds count files named as the temporary files of ZQ.txt,
// nobody's when root runs this; made once for each count.
const QTemporaryDir& plantedApp(int count) {
  static std::map<int, std::unique_ptr<QTemporaryDir>> made;
  std::unique_ptr<QTemporaryDir>& app = made[count];
  if (app) return *app;
  // In memory where there is a tmpfs: the disk's varying sync times would hide the work.
  const QString shm = QStringLiteral("/dev/shm");
  app = std::make_unique<QTemporaryDir>((QDir(shm).exists() ? shm : QDir::tempPath()) +
                                        "/bench-XXXXXX");
  const QString sig = app->filePath("sig");
  if (!QDir().mkdir(sig)) std::abort();
  for (int i = 0; i < count; ++i) {
    const QString name = QStringLiteral("/.ZQ.txt.Planted%1").arg(i, 6, 10, QLatin1Char('0'));
    const int fd = ::open(QFile::encodeName(sig + name).constData(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0 || (::geteuid() == 0 && ::fchown(fd, 65534, 65534) != 0)) std::abort();
    ::close(fd);
  }
  QFile ini(app->filePath("zq.ini"));
  if (!ini.open(QIODevice::WriteOnly)) std::abort();
  ini.write("[Settings]\r\nSigLocation=" + QFile::encodeName(sig) + "\r\n");
  return *app;
}

void BM_WriteBesidePlanted(benchmark::State& state) {
  const QTemporaryDir& app = plantedApp(static_cast<int>(state.range(0)));
  qm::platform::setApplicationDir(app.path());
  qm::ModSig.IniPath = app.filePath("zq.ini");
  qm::ModSig.WriteType = "Text";
  const qm::ShownEntries shown{"Header", "Kind regards,\r\nAnn", "Footer"};
  const QByteArray text = qm::textForm(shown);
  for (auto _ : state) {
    if (state.range(1)) {
      qm::OutputSig(shown);
    } else {
      writeAndRename(app.filePath("sig/floor.txt"), text);
      syncFolder(app.filePath("sig"));
    }
  }
  qm::platform::setApplicationDir(setup().dir.path());
}

BENCHMARK(BM_Switch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Floor)->ArgName("durable")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteBesidePlanted)
    ->ArgNames({"planted", "program"})
    ->ArgsProduct({{0, 100000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
