// SIGKILL of a forked child at any moment of its edits, appends, removals and signature writes
// leaves only states the child passes through; two writers of one folder leave whole files.
// QUILLMATE_KILLS=3000 runs ten times the kills of CI. The forms' bytes are the output tests'.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <random>

#include "common/msgbox.h"
#include "platform/platform.h"
#include "rotation/output.h"
#include "startup/settings.h"
#include "stores/text_store.h"

namespace qm {
namespace {

const QByteArray kAdded = "an appended record";
const QByteArray kMoving[] = {"moving A", "moving B (edited)", "moving C, edited again"};
const ShownEntries kShown[] = {{"Header one", "Kind regards,\r\nAnn", "Footer one"},
                               {"Second header", "Best,\r\nBob\r\nExample Ltd.", "Footer two"},
                               {"H3", "Cheers\r\nCy", "Footer number three, the longest"}};
const auto fit = [](const QByteArray& text) { return text.leftJustified(255, ' ', true); };
QTemporaryDir dir((QFile::exists("/dev/shm") ? "/dev/shm" : QDir::tempPath()) + "/kill-XXXXXX");

QByteArray read(const QString& name) {
  QFile file(dir.filePath(name));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : "(missing)";
}
void write(const QString& name, const QByteArray& bytes) {
  QFile file(dir.filePath(name));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}
QByteArray form(int k, const QString& name) {
  return name.endsWith("HTML") ? htmlForm(kShown[k]) : textForm(kShown[k]);
}
int formOf(const QString& name) {  // which of kShown the file holds whole, or -1
  return QByteArrayList{form(0, name), form(1, name), form(2, name)}.indexOf(read(name));
}

// A turn of the child: Edit Sig's move and Save's, the signature files, an append, its removal.
void turn(int i) {
  MoveRecordToEnd(kSignatures, kMoving[i % 3], kMoving[i % 3]);
  MoveRecordToEnd(kSignatures, kMoving[i % 3], kMoving[(i + 1) % 3]);
  OutputSig(kShown[(i + 1) % 3]);
  AppendRecord(kSignatures, kAdded);
  RemoveRecord(kSignatures, kAdded);
}

TEST(KillTest, StoreAndSignatureFilesSurviveSigkillAtAnyMomentAndTwoWritersLeaveWholeFiles) {
  platform::setApplicationDir(dir.path());
  installMsgBox([](MsgKind, const QString&, const QString&) -> int { ::_exit(3); });
  ModSig.IniPath = dir.filePath("zq.ini");
  ModSig.WriteType = "Text & HTML";
  write("zq.ini", "[Settings]\r\nSigLocation=" + QFile::encodeName(dir.path()) + "\r\n");
  QByteArray fixed;
  for (int i = 1; i <= 2000; ++i) fixed += fit("fixed " + QByteArray::number(i).repeated(i % 9));
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const auto draw = [&](int most) { return std::uniform_int_distribution<int>(0, most)(random); };
  for (int round = std::max(300, qEnvironmentVariableIntValue("QUILLMATE_KILLS")); round; --round) {
    SCOPED_TRACE("kill " + std::to_string(round));
    const int at = draw(2000) * 255, first = draw(2);
    const QByteArray start = fixed.left(at) + fit(kMoving[first]) + fixed.mid(at);
    write("Sig.qmd", start);
    for (const char* name : {"ZQ.txt", "ZQ.HTML", "ZQ.rtf"}) write(name, form(first, name));
    // The kill comes up to 100 us after one of the first 60 file calls, a turn and a half.
    const pid_t child = ::fork();
    if (child == 0) {
      platform::setFileHookForTest([&, call = draw(59), delay = draw(100)](
                                       platform::FileCall, const QString&, qint64, qint64) mutable {
        if (call-- == 0) ::signal(SIGALRM, [](int) { ::kill(::getpid(), SIGKILL); });
        if (call == -1) ::ualarm(delay + 1, 0);
        return 0;
      });
      for (int i = first;; ++i) turn(i);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "exit 3: a failure box";
    // The store is one the child passes through; each file holds a whole form, written in the
    // order ZQ.txt, ZQ.HTML, ZQ.rtf; beside them at most one temporary file each, named randomly
    // and by the one marker the next write clears it by.
    QByteArrayList states{start};
    for (const QByteArray& text : kMoving)
      states << fixed + fit(text) << fixed + fit(text) + fit(kAdded);
    ASSERT_TRUE(states.contains(read("Sig.qmd"))) << read("Sig.qmd").size() << " bytes";
    const int t = formOf("ZQ.txt"), h = formOf("ZQ.HTML"), r = formOf("ZQ.rtf");
    ASSERT_TRUE(std::min({t, h, r}) >= 0 && (t - h + 3) % 3 <= 1 && (h - r + 3) % 3 <= 1 &&
                (t - r + 3) % 3 <= 1)
        << "forms " << t << h << r;
    static const QRegularExpression temporary(R"(^\.ZQ\.(txt|HTML|rtf)\.[A-Za-z0-9]{12}$)");
    const QStringList left = QDir(dir.path()).entryList({".ZQ*"}, QDir::Files | QDir::Hidden);
    const QStringList markers =
        QDir(dir.path())
            .entryList({".quillmate.writing.*"}, QDir::Files | QDir::System | QDir::Hidden);
    ASSERT_LE(markers.size(), 1);
    for (const QString& name : left)
      ASSERT_TRUE(temporary.match(name).hasMatch() && left.filter(name.chopped(12)).size() == 1 &&
                  QFile::symLinkTarget(dir.filePath(markers.value(0))) == dir.filePath(name))
          << left.join(", ").toStdString();
  }
  // Two installations write one folder while a mail program reads: every read is a whole form.
  ModSig.WriteType = "Text";
  pid_t writers[2];
  for (int w = 0; w < 2; ++w)
    if ((writers[w] = ::fork()) == 0) {
      for (int i = 0; i < 4000; ++i) OutputSig(kShown[1 + w]);
      ::_exit(0);
    }
  for (int running = 2, status = 0; running > 0;) {
    ASSERT_GE(formOf("ZQ.txt"), 0) << read("ZQ.txt").toStdString();
    for (const pid_t w : writers)
      EXPECT_TRUE(::waitpid(w, &status, WNOHANG) != w || (--running, status == 0));
  }
  EXPECT_EQ(QDir(dir.path()).entryList({".ZQ.txt.*"}, QDir::Files | QDir::Hidden), QStringList());
}

}  // namespace
}  // namespace qm
