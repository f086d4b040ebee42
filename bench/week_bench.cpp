// A simulated week at "One Minute": 10,080 switches driven tick by tick through the main
// window's timer, with open file descriptors and resident memory after each thousand, beside a
// floor: the same number of bare atomic replaces (write, fdatasync, rename, folder fsync) of
// ZQ.txt. Every tick, as in the program, is an event of a running event loop, so what a switch
// posts (the text boxes' updates, deferred deletions) is handled before the next tick.
// Run by hand: build/bench/week_bench
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "platform/platform.h"
#include "startup/settings.h"
#include "startup/startup.h"
#include "ui/frmMain.h"

namespace {

constexpr int kSwitches = 7 * 24 * 60;

long residentKiB() {
  long pages = 0, resident = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm && std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
  if (statm) std::fclose(statm);
  return resident * ::sysconf(_SC_PAGESIZE) / 1024;
}

int openDescriptors() {
  int count = -1;  // the listing's own descriptor
  DIR* dir = ::opendir("/proc/self/fd");
  while (dir && ::readdir(dir)) ++count;
  if (dir) ::closedir(dir);
  return count - 2;  // "." and ".."
}

void write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) std::abort();
}

QByteArray records(int count, int length) {
  QByteArray bytes;
  for (int n = 1; n <= count; ++n)
    bytes += ("Entry " + QByteArray::number(n)).leftJustified(length);
  return bytes;
}

// Runs kSwitches switches of `ticks` calls of `tick` each, one call per turn of an event loop,
// printing descriptors and resident memory per thousand, then the growth per thousand after the
// first thousand (a warm-up for caches and allocator pools).
void measure(const char* what, int ticks, const std::function<void()>& tick) {
  std::printf("%-24s %8s %6s %10s\n", what, "switches", "fds", "RSS KiB");
  long warm = 0, last = 0;
  int calls = 0;
  QEventLoop loop;
  QTimer ticker;
  ticker.setInterval(0);
  QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
    tick();
    if (++calls % ticks != 0) return;
    const int n = calls / ticks;
    if (n % 1000 != 0 && n != kSwitches) return;
    // Descriptors first: their listing touches memory of its own, counted from then on.
    const int fds = openDescriptors();
    const long rss = residentKiB();
    std::printf("%-24s %8d %6d %10ld\n", "", n, fds, rss);
    if (n == 1000) warm = rss;
    if (n == kSwitches) {
      last = rss;  // before the loop's own ending
      loop.quit();
    }
  });
  ticker.start();
  loop.exec();
  std::printf("%-24s %+.1f KiB per thousand after the first\n\n", what,
              (last - warm) * 1000.0 / (kSwitches - 1000));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  QDir(dir.path()).mkdir("sig");
  qm::platform::setApplicationDir(dir.path());
  write(dir.filePath("zq.ini"), "[Settings]\r\nInterval=0\r\nWrite_Type=Text\r\nSigLocation=" +
                                    QFile::encodeName(dir.filePath("sig")) + "\r\n");
  write(dir.filePath("Sig.qmd"), records(100, 255));
  write(dir.filePath("Head.qmd"), records(100, 100));
  write(dir.filePath("Foot.qmd"), records(100, 100));
  qm::initprogram();
  qm::ModSig.WriteType = "Text";
  qm::ModSig.SwitchTicks = qm::kIntervals[0].ticks;
  qm::ModSig.SwitchMinutes = qm::kIntervals[0].minutes;
  qm::ui::frmMain window([] {});
  window.Timer1->stop();  // only the bench ticks, on a clock of its own
  QDateTime now(QDate(2026, 3, 2), QTime(0, 0), Qt::UTC);
  window.clock = [&now] { return now; };
  for (QCheckBox* box : {window.Check1, window.Check2, window.Check3}) box->setChecked(true);
  measure("switches at One Minute", qm::ModSig.SwitchTicks, [&] {
    now = now.addMSecs(500);
    window.Timer1_Timer();
  });
  const QByteArray path = QFile::encodeName(dir.filePath("sig/floor.txt"));
  const QByteArray temp = path + ".tmp", bytes = records(3, 40);
  measure("floor: bare replaces", 1, [&] {
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::write(fd, bytes.data(), bytes.size()) != bytes.size() || ::fdatasync(fd) != 0)
      std::abort();
    ::close(fd);
    if (::rename(temp.constData(), path.constData()) != 0) std::abort();
    const int folder = ::open(QFile::encodeName(dir.filePath("sig")).constData(), O_RDONLY);
    ::fsync(folder);
    ::close(folder);
  });
  return 0;
}
