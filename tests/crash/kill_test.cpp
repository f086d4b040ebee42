// Kills a forked child with SIGKILL in the middle of signature edits and signature writes, many
// times, and checks that whatever it leaves is a state the child could legitimately have left;
// then lets two writers and a reader share one signature folder.
//
// QUILLMATE_KILLS=3000 runs ten times more kills than CI does (300); QUILLMATE_KILL_SEED
// repeats a run's choice of delays and positions (the kill timing itself still varies).
// The files go to /dev/shm when there is one, where syncs cost nothing and a run stays short;
// QUILLMATE_KILL_DIR names another parent directory (a disk, say).

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/msgbox.h"
#include "platform/platform.h"
#include "rotation/output.h"
#include "startup/settings.h"
#include "stores/text_store.h"

namespace qm {
namespace {

constexpr int kFixedCount = 2000;
constexpr int kLength = kSignatures.length;

// The texts that an edit moves to the end of the store and replaces, one at a time.
const std::array<QByteArray, 3> kMoving = {"moving text A", "moving text B (edited)",
                                           "moving text C, edited again"};

// Distinct header, signature and footer lengths, so that no form is a prefix of another.
const std::array<ShownEntries, 3> kShown = {{
    {"Header one", "Kind regards,\r\nAnn", "Footer one"},
    {"Second header line", "Best wishes,\r\nBob Example\r\nExample Ltd.", "The second footer"},
    {"H3", "Cheers\r\nCy", "Footer number three, the longest one of all three"},
}};

QByteArray expectedText(const ShownEntries& s) {
  return "\r\n" + s.header + "\r\n" + s.signature + "\r\n" + s.footer + "\r\n";
}

QByteArray expectedHtml(const ShownEntries& s) {
  return "<BR><P>" + s.header + "<BR>" + QByteArray(s.signature).replace("\r\n", "<BR>") + "<BR>" +
         s.footer + "</P>\r\n";
}

QByteArray fixedText(int i) {
  // Varied lengths up to the full record, so that a shifted or torn record shows.
  QByteArray text = "fixed record " + QByteArray::number(i) + " ";
  while (text.size() < (i * 37) % kLength) text += char('a' + (text.size() + i) % 26);
  return text.left(kLength);
}

QByteArray padded(const QByteArray& text) {
  return text + QByteArray(kLength - text.size(), ' ');
}

int envInt(const char* name, int fallback) {
  const QByteArray value = qgetenv(name);
  bool ok = false;
  const int n = value.toInt(&ok);
  return ok && n > 0 ? n : fallback;
}

QByteArray readFile(const QString& path, bool* exists = nullptr) {
  QFile in(path);
  const bool opened = in.open(QIODevice::ReadOnly);
  if (exists) *exists = opened;
  return opened ? in.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile out(path);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  ASSERT_EQ(out.write(bytes), bytes.size());
}

// One edit as the editor makes it: the text moves to the store's end, then Save replaces it.
void editTurn(int i) {
  MoveRecordToEnd(kSignatures, kMoving[i % 3], kMoving[i % 3]);
  MoveRecordToEnd(kSignatures, kMoving[i % 3], kMoving[(i + 1) % 3]);
}

// The child's whole life: edits and output writes, in a fixed order.
// SIGKILL after aimUs from the end of the second store part (the first warms up copy-on-write
// pages and lazy set-ups), unless aimUs is negative.
void armKill(int aimUs) {
  if (aimUs < 0) return;
  sigevent event{};
  event.sigev_notify = SIGEV_SIGNAL;
  event.sigev_signo = SIGKILL;
  timer_t timer{};
  itimerspec when{};
  when.it_value.tv_sec = aimUs / 1'000'000;
  when.it_value.tv_nsec = long(aimUs % 1'000'000) * 1000 + 1;  // zero would disarm it
  if (::timer_create(CLOCK_MONOTONIC, &event, &timer) != 0 ||
      ::timer_settime(timer, 0, &when, nullptr) != 0) {
    ::_exit(6);
  }
}

// It starts at turn `first` and says so on signalFd once it is ready.
[[noreturn]] void childLoop(int signalFd, int first, int aimUs) {
  // A failure box would wait for an answer that never comes; end with a code the parent names.
  installMsgBox([](MsgKind, const QString&, const QString&) -> int { ::_exit(3); });
  try {
    const char mark = 1;
    if (::write(signalFd, &mark, 1) != 1) ::_exit(5);
    ::close(signalFd);
    for (int i = first;; ++i) {
      editTurn(i);
      if (i == first + 1) armKill(aimUs);
      OutputSig(kShown[(i + 1) % 3]);
    }
  } catch (...) {
    ::_exit(4);
  }
}

// Which of the candidate store contents a state is, and which of kShown each output holds.
enum StoreId { kInitial, kBare, kWithMoving0, kWithMoving1, kWithMoving2, kNoStore };
struct Visible {
  int store;
  int txt, html, rtf;
  auto operator<=>(const Visible&) const = default;
};

// Every state the child can leave, stepping through its loop one file operation at a time
// from turn `first` on (the loop's period is three turns; six cover it twice). The store is
// never without the text being edited.
std::set<Visible> allowedStates(int first) {
  std::set<Visible> allowed;
  Visible v{kInitial, first, first, first};
  allowed.insert(v);
  for (int i = first; i < first + 6; ++i) {
    v.store = kWithMoving0 + i % 3;
    allowed.insert(v);
    const int next = (i + 1) % 3;
    v.store = kWithMoving0 + next;
    allowed.insert(v);
    v.txt = next;
    allowed.insert(v);
    v.html = next;
    allowed.insert(v);
    v.rtf = next;
    allowed.insert(v);
  }
  return allowed;
}

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app_.isValid());
    platform::setApplicationDir(app_.path());
    ModSig = {};
    MsgAnswer = 0;
    for (int i = 1; i <= kFixedCount; ++i) fixed_ += padded(fixedText(i));
    outDir_ = app_.filePath("out");
    ASSERT_TRUE(QDir().mkpath(outDir_));
    ModSig.IniPath = app_.filePath("zq.ini");
    ModSig.WriteType = "Text & HTML";
    writeFile(ModSig.IniPath, "[Settings]\r\nSigLocation=" + QFile::encodeName(outDir_) + "\r\n");
  }

  void TearDown() override { platform::setApplicationDir(QString()); }

  static QString baseDir() {
    const QByteArray chosen = qgetenv("QUILLMATE_KILL_DIR");
    if (!chosen.isEmpty()) return QString::fromLocal8Bit(chosen);
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
  }

  // How long the store part and the output part of one turn of the child's loop take here, so
  // that the kills can be aimed at both.
  struct Turn {
    long long storeUs, outputUs;
  };
  Turn measureTurn() {
    using Clock = std::chrono::steady_clock;
    const auto us = [](Clock::duration d) {
      return std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    };
    resetForChild(kFixedCount / 2, 0);
    Turn turn{0, 0};
    for (int i = 0; i < 3; ++i) {
      const auto start = Clock::now();
      editTurn(i);
      const auto stored = Clock::now();
      OutputSig(kShown[(i + 1) % 3]);
      turn.storeUs += us(stored - start) / 3;
      turn.outputUs += us(Clock::now() - stored) / 3;
    }
    return turn;
  }

  QByteArray initialStore(int movingAt, int first) const {
    return fixed_.left(movingAt * kLength) + padded(kMoving[first]) +
           fixed_.mid(movingAt * kLength);
  }

  // The candidates a store's bytes match; several when the moving text starts at the end.
  std::vector<int> storeIds(const QByteArray& bytes, int movingAt, int first) const {
    std::vector<int> ids;
    if (bytes == initialStore(movingAt, first)) ids.push_back(kInitial);
    if (bytes == fixed_) ids.push_back(kBare);
    for (int j = 0; j < 3; ++j) {
      if (bytes == fixed_ + padded(kMoving[j])) ids.push_back(kWithMoving0 + j);
    }
    return ids;
  }

  // What went wrong with a store that matches no candidate, record by record.
  std::string describeStore(const QByteArray& bytes) const {
    std::string why = std::to_string(bytes.size()) + " bytes";
    if (bytes.size() % kLength != 0) return why + ", not a whole number of records";
    std::vector<int> seen(kFixedCount + 1, 0);
    int moving = 0, unknown = 0, lastFixed = 0;
    bool inOrder = true;
    for (qsizetype at = 0; at < bytes.size(); at += kLength) {
      const QByteArray record = bytes.mid(at, kLength);
      bool known = false;
      for (const QByteArray& m : kMoving) known = known || record == padded(m);
      if (known) {
        ++moving;
        continue;
      }
      const int n = int(at / kLength) + 1 - moving;
      if (n <= kFixedCount && record == padded(fixedText(n))) {
        ++seen[n];
        inOrder = inOrder && n > lastFixed;
        lastFixed = n;
      } else {
        ++unknown;
      }
    }
    int missing = 0, doubled = 0;
    for (int n = 1; n <= kFixedCount; ++n) {
      missing += seen[n] == 0;
      doubled += seen[n] > 1;
    }
    return why + ", moving records " + std::to_string(moving) + ", unknown or shifted records " +
           std::to_string(unknown) + ", fixed records missing " + std::to_string(missing) +
           ", doubled " + std::to_string(doubled) + (inOrder ? "" : ", out of order");
  }

  // Which kShown a file holds in its complete form, or -1.
  int formOf(const QString& name, bool html) const {
    bool exists = false;
    const QByteArray bytes = readFile(QDir(outDir_).filePath(name), &exists);
    for (int k = 0; k < 3; ++k) {
      if (bytes == (html ? expectedHtml(kShown[k]) : expectedText(kShown[k]))) return k;
    }
    ADD_FAILURE() << name.toStdString() << (exists ? " holds no complete form: \"" : " is missing")
                  << bytes.toStdString() << (exists ? "\"" : "");
    return -1;
  }

  void resetForChild(int movingAt, int first) {
    writeFile(storePath(kSignatures), initialStore(movingAt, first));
    writeFile(QDir(outDir_).filePath("ZQ.txt"), expectedText(kShown[first]));
    writeFile(QDir(outDir_).filePath("ZQ.HTML"), expectedHtml(kShown[first]));
    writeFile(QDir(outDir_).filePath("ZQ.rtf"), expectedText(kShown[first]));
  }

  QTemporaryDir app_{baseDir() + QStringLiteral("/quillmate-kill-XXXXXX")};
  QByteArray fixed_;
  QString outDir_;
};

TEST_F(KillTest, StoreAndSignatureFilesSurviveSigkillAtAnyMoment) {
  const int kills = envInt("QUILLMATE_KILLS", 300);
  const unsigned seed = unsigned(envInt("QUILLMATE_KILL_SEED", int(std::random_device{}() >> 1)));
  SCOPED_TRACE("QUILLMATE_KILL_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  const QString tempPath = app_.filePath(QString::fromLatin1(kSignatures.tempFileName));

  const Turn turn = measureTurn();
  ASSERT_TRUE(readFile(storePath(kSignatures)) == fixed_ + padded(kMoving[0]));
  // Kills spread over the first turn and a half, or aimed at the first turn's output part; the
  // child starts at any of the three turns of its loop, so every state still comes up.
  const auto clampUs = [](long long us) { return int(std::clamp<long long>(us, 100, 300'000)); };
  const int longest = clampUs((turn.storeUs + turn.outputUs) * 3 / 2);
  const int outputLongest = clampUs(turn.outputUs * 2);
  int tempLeft = 0, mixedOutputs = 0, writerLeft = 0, midWork = 0;
  for (int round = 0; round < kills; ++round) {
    SCOPED_TRACE("kill " + std::to_string(round + 1));
    // The moving text starts anywhere, including first and last.
    const int movingAt = std::uniform_int_distribution<int>(0, kFixedCount)(random);
    const int first = std::uniform_int_distribution<int>(0, 2)(random);
    const std::set<Visible> allowed = allowedStates(first);
    resetForChild(movingAt, first);
    if (HasFatalFailure()) return;

    int marks[2];
    ASSERT_EQ(::pipe(marks), 0);
    const int kind = round % 10;
    // Some kills before the first write lands, some aimed at the output files, the rest anywhere.
    // An aimed kill comes from a timer in the child: on 2 busy cores the parent often wakes too
    // late to land inside the short output part.
    const int aimUs =
        kind >= 1 && kind <= 3 ? std::uniform_int_distribution<int>(0, outputLongest)(random) : -1;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(marks[0]);
      childLoop(marks[1], first, aimUs);
    }
    ::close(marks[1]);
    char byte = 0;
    const bool started = ::read(marks[0], &byte, 1) == 1;
    if (aimUs < 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(
          kind == 0 ? std::uniform_int_distribution<int>(0, 100)(random)
                    : std::uniform_int_distribution<int>(0, longest)(random)));
    }
    if (aimUs < 0) ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(marks[0]);
    ASSERT_TRUE(started) << "the child died before its loop";
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the child ended by itself with code " << WEXITSTATUS(status)
        << " (3: a failure box, 4: an exception, 6: no kill timer)";

    // The store and the three files, as the kill left them.
    bool storeExists = false;
    const QByteArray store = readFile(storePath(kSignatures), &storeExists);
    ASSERT_TRUE(storeExists) << "the store is gone";
    const std::vector<int> ids = storeIds(store, movingAt, first);
    Visible seen{kNoStore, formOf("ZQ.txt", false), formOf("ZQ.HTML", true),
                 formOf("ZQ.rtf", false)};
    bool matched = false;
    for (int id : ids) {
      seen.store = id;
      matched = matched || allowed.count(seen) > 0;
    }
    ASSERT_FALSE(ids.empty()) << "the store holds no state the child could leave: "
                              << describeStore(store) << " (moving text started at record "
                              << movingAt + 1 << ")";
    ASSERT_TRUE(matched) << "store state " << ids.front() << " (0 initial, 1 without the edited "
                         << "text, 2+j with text j at the end) with output forms " << seen.txt
                         << "/" << seen.html << "/" << seen.rtf
                         << " (txt/HTML/rtf) is not an order the child writes in";

    // A leftover temporary file holds the start of a rebuilt store.
    bool leftover = false;
    const QByteArray temp = readFile(tempPath, &leftover);
    if (leftover) {
      ++tempLeft;
      bool prefix = false;
      for (const QByteArray& m : kMoving) prefix = prefix || (fixed_ + padded(m)).startsWith(temp);
      EXPECT_TRUE(prefix) << "the leftover " << kSignatures.tempFileName
                          << " is not the start of a rebuilt store";
    }
    // Beside the three files only writers' temporary files of a kill, never piling up: each
    // write clears what earlier kills left of its file.
    QStringList extra = QDir(outDir_).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const char* name : {"ZQ.txt", "ZQ.HTML", "ZQ.rtf"}) extra.removeAll(QLatin1String(name));
    static const QRegularExpression temporary(R"(^\.ZQ\.(txt|HTML|rtf)\.[A-Za-z0-9]{12}$)");
    QSet<QString> named;
    for (const QString& name : extra) {
      const QRegularExpressionMatch match = temporary.match(name);
      ASSERT_TRUE(match.hasMatch()) << "unexpected " << name.toStdString();
      ASSERT_FALSE(named.contains(match.captured(1)))
          << "leftovers pile up: " << extra.join(", ").toStdString();
      named.insert(match.captured(1));
    }
    writerLeft += !extra.isEmpty();

    const bool mixed = seen.txt != seen.html || seen.html != seen.rtf;
    mixedOutputs += mixed;
    midWork += leftover || ids.front() != kInitial || mixed || !extra.isEmpty();

    // A removal after the crash discards the leftover and neither loses nor repeats a record.
    QByteArray present = kMoving[first];
    if (ids.front() >= kWithMoving0) present = kMoving[ids.front() - kWithMoving0];
    ASSERT_EQ(RemoveRecord(kSignatures, present), Removal::Rebuilt);
    const QByteArray after = readFile(storePath(kSignatures));
    ASSERT_EQ(after, fixed_) << "after the parent's removal: " << describeStore(after);
    ASSERT_FALSE(QFileInfo::exists(tempPath)) << "the removal left its temporary file";
    ASSERT_EQ(CountRecords(kSignatures), kFixedCount);
  }

  std::cout << "[ kills    ] " << kills << " in " << app_.path().toStdString() << ", one turn "
            << turn.storeUs << " + " << turn.outputUs << " us: " << tempLeft << " left "
            << kSignatures.tempFileName << ", " << mixedOutputs << " between two output files, "
            << writerLeft << " left a writer's temporary file in the signature directory; "
            << midWork << " mid-work\n";
  // Without kills inside the work the test would prove nothing.
  EXPECT_GE(tempLeft, 1) << "no kill landed while a removal wrote its temporary file";
  EXPECT_GE(mixedOutputs + writerLeft, 1) << "no kill landed while the output files were written";
  EXPECT_GE(midWork * 10, kills) << "fewer than a tenth of the kills landed mid-work";
}

// Two installations writing one signature folder while a mail program reads it: every read is
// one whole form, and nothing is left beside the file.
TEST_F(KillTest, TwoWritersAndAReaderSeeOnlyWholeFiles) {
  constexpr int kWrites = 4000;
  ModSig.WriteType = "Text";
  const QString path = QDir(outDir_).filePath("ZQ.txt");
  writeFile(path, expectedText(kShown[0]));
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = ::fork();
    ASSERT_GE(writers[w], 0);
    if (writers[w] == 0) {
      installMsgBox([](MsgKind, const QString&, const QString&) -> int { ::_exit(3); });
      for (int i = 0; i < kWrites; ++i) OutputSig(kShown[1 + w]);
      ::_exit(0);
    }
  }
  int reads = 0;
  int statuses[2] = {-1, -1};
  for (int running = 2; running > 0;) {
    bool exists = false;
    const QByteArray bytes = readFile(path, &exists);
    ++reads;
    ASSERT_TRUE(exists && (bytes == expectedText(kShown[0]) || bytes == expectedText(kShown[1]) ||
                           bytes == expectedText(kShown[2])))
        << "read " << reads << ": \"" << bytes.toStdString() << "\"";
    for (int w = 0; w < 2; ++w) {
      if (statuses[w] == -1 && ::waitpid(writers[w], &statuses[w], WNOHANG) == writers[w])
        --running;
    }
  }
  for (const int status : statuses) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(QDir(outDir_).entryList(QDir::Files | QDir::Hidden | QDir::System),
            QStringList{"ZQ.txt"});
  std::cout << "[ readers  ] " << reads << " whole reads beside " << 2 * kWrites << " writes\n";
}

}  // namespace
}  // namespace qm
