// SIGKILL of a forked child at any moment of its edits, appends, removals and signature writes
// leaves only states the child passes through; two writers of one folder leave whole files.
// QUILLMATE_KILLS=3000 runs ten times the kills of CI.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <random>
#include <set>

#include "common/msgbox.h"
#include "platform/platform.h"
#include "rotation/output.h"
#include "startup/settings.h"
#include "stores/text_store.h"

namespace qm {
namespace {

constexpr int kFixed = 2000;
const QByteArray kAdded = "an appended record";
const QByteArray kMoving[] = {"moving A", "moving B (edited)", "moving C, edited again"};
const ShownEntries kShown[] = {{"Header one", "Kind regards,\r\nAnn", "Footer one"},
                               {"Second header", "Best,\r\nBob\r\nExample Ltd.", "Footer two"},
                               {"H3", "Cheers\r\nCy", "Footer number three, the longest"}};
QByteArray form(const ShownEntries& s, const QString& name) {
  if (!name.endsWith("HTML"))
    return "\r\n" + s.header + "\r\n" + s.signature + "\r\n" + s.footer + "\r\n";
  return "<BR><P>" + s.header + "<BR>" + QByteArray(s.signature).replace("\r\n", "<BR>") + "<BR>" +
         s.footer + "</P>\r\n";
}
QByteArray fitted(const QByteArray& text) {
  return text.leftJustified(kSignatures.length, ' ', true);
}

// One turn of the child: Edit Sig moves the text to the end and Save replaces it, the signature
// files follow, a record is appended and deleted again; `at` runs before each part.
void turn(int i, const std::function<void(int part)>& at) {
  at(0);
  MoveRecordToEnd(kSignatures, kMoving[i % 3], kMoving[i % 3]);
  MoveRecordToEnd(kSignatures, kMoving[i % 3], kMoving[(i + 1) % 3]);
  at(1);
  OutputSig(kShown[(i + 1) % 3]);
  at(2);
  AppendRecord(kSignatures, kAdded);
  RemoveRecord(kSignatures, kAdded);
}

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setApplicationDir(dir_.path());
    installMsgBox([](MsgKind, const QString&, const QString&) -> int { ::_exit(3); });
    ModSig = {};
    ModSig.IniPath = path("zq.ini");
    ModSig.WriteType = "Text & HTML";
    write("zq.ini", "[Settings]\r\nSigLocation=" + QFile::encodeName(dir_.path()) + "\r\n");
    for (int i = 1; i <= kFixed; ++i)
      fixed_ += fitted("fixed " + QByteArray::number(i).repeated(1 + i % 50));
    // The stores the child leaves between its steps: 1 + j with text j last, 4 + j and a record.
    for (int j = 0; j < 3; ++j) stores_[1 + j] = fixed_ + fitted(kMoving[j]);
    for (int j = 0; j < 3; ++j) stores_[4 + j] = stores_[1 + j] + fitted(kAdded);
  }
  QString path(const QString& name) const { return dir_.filePath(name); }
  QByteArray read(const QString& name) const {
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "(missing)";
  }
  void write(const QString& name, const QByteArray& bytes) const {
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
  }
  int formOf(const QString& name) const {
    for (int k = 0; k < 3; ++k)
      if (read(name) == form(kShown[k], name)) return k;
    ADD_FAILURE() << name.toStdString() << " holds no whole form: " << read(name).toStdString();
    return -1;
  }
  QTemporaryDir dir_{(QFile::exists("/dev/shm") ? "/dev/shm" : QDir::tempPath()) + "/kill-XXXXXX"};
  QByteArray fixed_;
  std::array<QByteArray, 7> stores_;
};

TEST_F(KillTest, StoreAndSignatureFilesSurviveSigkillAtAnyMoment) {
  int kills = qEnvironmentVariableIntValue("QUILLMATE_KILLS");
  if (kills <= 0) kills = 300;
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const auto draw = [&](int most) { return std::uniform_int_distribution<int>(0, most)(random); };
  // A turn and its output part, with half as much again, aim the kills.
  using Clock = std::chrono::steady_clock;
  Clock::time_point marks[3];
  write("Sig.qmd", fixed_ + fitted(kMoving[0]));
  turn(0, [&](int part) { marks[part] = Clock::now(); });
  const auto us = [](Clock::duration d) {
    return int(std::clamp<long long>(d / std::chrono::microseconds(1) * 3 / 2, 100, 300'000));
  };
  const int turnUs = us(Clock::now() - marks[0]), outputUs = us(marks[2] - marks[1]);
  int tempLeft = 0, outputMidWork = 0, midWork = 0;
  for (int round = 0; round < kills && !HasFailure(); ++round) {
    SCOPED_TRACE("kill " + std::to_string(round + 1));
    const int movingAt = draw(kFixed), first = draw(2), kind = round % 10;
    stores_[0] = fixed_.left(movingAt * kSignatures.length) + fitted(kMoving[first]) +
                 fixed_.mid(movingAt * kSignatures.length);
    write("Sig.qmd", stores_[0]);
    for (const char* name : {"ZQ.txt", "ZQ.HTML", "ZQ.rtf"}) write(name, form(kShown[first], name));
    // Kind 0 before the first write lands, 1-3 in the output part, the rest anywhere from the
    // second turn on. The child times itself: on busy cores the parent would wake too late.
    const int part = kind == 0 ? 0 : kind <= 3 ? 1 : 2;
    const int delay = draw(kind == 0 ? 100 : kind <= 3 ? outputUs : turnUs);
    const pid_t child = ::fork();
    if (child == 0) {
      for (int i = first;; ++i) {
        turn(i, [&](int p) {
          if (p != part || i != first + (part > 0)) return;
          ::signal(SIGALRM, [](int) { ::kill(::getpid(), SIGKILL); });
          ::ualarm(delay + 1, 0);
        });
      }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "exit " << WEXITSTATUS(status) << " (3: a failure box)";

    // The store is one the child leaves between steps; each file holds a whole form; ZQ.txt,
    // ZQ.HTML and ZQ.rtf are written in that order; beside them at most one temporary file each.
    const int id =
        int(std::find(stores_.begin(), stores_.end(), read("Sig.qmd")) - stores_.begin());
    ASSERT_LT(id, 7) << "a store the child never leaves: " << read("Sig.qmd").size() << " bytes";
    const int t = formOf("ZQ.txt"), h = formOf("ZQ.HTML"), r = formOf("ZQ.rtf");
    ASSERT_TRUE(r >= 0 && (t - h + 3) % 3 <= 1 && (h - r + 3) % 3 <= 1 && (t - r + 3) % 3 <= 1)
        << "forms " << t << h << r;
    static const QRegularExpression temporary(R"(^\.ZQ\.(txt|HTML|rtf)\.[A-Za-z0-9]{12}$)");
    const QStringList left = QDir(dir_.path()).entryList({".ZQ*"}, QDir::Files | QDir::Hidden);
    for (const QString& name : left)
      ASSERT_TRUE(temporary.match(name).hasMatch() && left.filter(name.chopped(12)).size() == 1)
          << left.join(", ").toStdString();
    const bool temp = QFile::exists(path(kSignatures.tempFileName));
    tempLeft += temp;
    outputMidWork += !left.isEmpty() || t != r;
    midWork += temp || id != 0 || !left.isEmpty() || t != r;
    // Removals after the crash discard the leftover and neither lose nor repeat a record.
    for (const QByteArray& text : {kAdded, kMoving[0], kMoving[1], kMoving[2]})
      ASSERT_EQ(RemoveRecord(kSignatures, text), Removal::Rebuilt);
    ASSERT_TRUE(read("Sig.qmd") == fixed_ && !QFile::exists(path(kSignatures.tempFileName)));
  }
  // Without kills inside the work the test would prove nothing.
  EXPECT_TRUE(tempLeft > 0 && outputMidWork > 0 && midWork * 10 >= kills)
      << tempLeft << " left the temporary store, " << outputMidWork << " hit the output, "
      << midWork << " landed mid-work";
}

// Two installations write one folder while a mail program reads: every read is a whole form.
TEST_F(KillTest, TwoWritersAndAReaderSeeOnlyWholeFiles) {
  ModSig.WriteType = "Text";
  write("ZQ.txt", form(kShown[0], "ZQ.txt"));
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    if ((writers[w] = ::fork()) != 0) continue;
    for (int i = 0; i < 4000; ++i) OutputSig(kShown[1 + w]);
    ::_exit(0);
  }
  for (int running = 2, status = 0; running > 0;) {
    const QByteArray bytes = read("ZQ.txt");
    ASSERT_TRUE(bytes == form(kShown[0], "") || bytes == form(kShown[1], "") ||
                bytes == form(kShown[2], ""))
        << bytes.toStdString();
    for (const pid_t w : writers)
      if (::waitpid(w, &status, WNOHANG) == w && --running >= 0) {
        EXPECT_EQ(status, 0);
      }
  }
  EXPECT_EQ(QDir(dir_.path()).entryList({"*ZQ*"}, QDir::Files | QDir::Hidden | QDir::CaseSensitive),
            QStringList{"ZQ.txt"});
}

}  // namespace
}  // namespace qm
