// SIGKILL amid a child's writes leaves only states it passes through, each synced before needed.
// QUILLMATE_KILLS=3000: 10x CI's kills; QUILLMATE_KILL_SEED=n: a failed run's draws again.
#include <random>

#include "rotation/output.h"
#include "stores/text_store.h"
#include "support/support.h"

namespace qm {
const QByteArray kAdded = "an appended record";
const QByteArray kMoving[] = {"moving A", "moving B (edited)", "moving C, edited again"};
const ShownEntries kShown[] = {{"Header one", "Kind regards,\r\nAnn", "Footer one"},
                               {"Second header", "Best,\r\nBob\r\nExample Ltd.", "Footer two"},
                               {"H3", "Cheers\r\nCy", "Footer number three, the longest"}};
const auto fit = [](const QByteArray& text) { return text.leftJustified(255, ' ', true); };
QByteArray form(int k, const QString& name) {  // the bytes are the output tests'
  return name.endsWith("HTML") ? htmlForm(kShown[k]) : textForm(kShown[k]);
}

// The children sync at every step: their folder is in memory where there is /dev/shm.
[[maybe_unused]] const bool kInMemory = QFile::exists("/dev/shm") && qputenv("TMPDIR", "/dev/shm");
struct KillTest : ::testing::Test {
  KillTest() {
    installMsgBox([](MsgKind, const QString&, const QString&) -> int { ::_exit(3); });
    ModSig.WriteType = "Text & HTML";
    app.write("zq.ini", "[Settings]\r\nSigLocation=" + QFile::encodeName(app.path()) + "\r\n");
  }
  int formOf(const QString& name) const {  // which of kShown the file holds whole, or -1
    return QByteArrayList{form(0, name), form(1, name), form(2, name)}.indexOf(app.read(name));
  }
  test::TempAppDir app;
};

// A turn of the child: Edit Sig's move and Save's, the signature files, an append, its removal.
void turn(int i) {
  MoveRecordToEnd(kSignatures, kMoving[i % 3], kMoving[i % 3]);
  MoveRecordToEnd(kSignatures, kMoving[i % 3], kMoving[(i + 1) % 3]);
  OutputSig(kShown[(i + 1) % 3]);
  AppendRecord(kSignatures, kAdded), RemoveRecord(kSignatures, kAdded);
}

TEST_F(KillTest, StoreAndSignatureFilesSurviveSigkillAtAnyMoment) {
  QByteArray fixed;
  for (int i = 1; i <= 2000; ++i) fixed += fit("fixed " + QByteArray::number(i).repeated(i % 9));
  const QString given = qEnvironmentVariable("QUILLMATE_KILL_SEED");
  const unsigned seed = given.isEmpty() ? std::random_device{}() : given.toUInt();
  SCOPED_TRACE("QUILLMATE_KILL_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  const auto draw = [&](int most) { return std::uniform_int_distribution<int>(0, most)(random); };
  for (int round = std::max(300, qEnvironmentVariableIntValue("QUILLMATE_KILLS")); round; --round) {
    SCOPED_TRACE("kill " + std::to_string(round));
    const int at = draw(2000) * 255, first = draw(2);
    const QByteArray start = fixed.left(at) + fit(kMoving[first]) + fixed.mid(at);
    app.write("Sig.qmd", start);
    for (const char* name : {"ZQ.txt", "ZQ.HTML", "ZQ.rtf"}) app.write(name, form(first, name));
    // The kill comes up to 100 us after one of the first 60 file calls, a turn and a half.
    const int status = test::forked([&] {
      const test::FileHookScope hook([&, call = draw(59), delay = draw(100)](auto...) mutable {
        if (call-- == 0) ::signal(SIGALRM, [](int) { ::kill(::getpid(), SIGKILL); });
        if (call == -1) ::ualarm(delay + 1, 0);
        return 0;
      });
      for (int i = first;; ++i) turn(i);
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "exit 3: a failure box";
    // Whole forms, written txt, HTML, rtf in turn; a temporary each at most, named by the marker.
    QByteArrayList states{start};
    for (const QByteArray& text : kMoving)
      states << fixed + fit(text) << fixed + fit(text) + fit(kAdded);
    ASSERT_TRUE(states.contains(app.read("Sig.qmd"))) << app.read("Sig.qmd").size() << " bytes";
    const int t = formOf("ZQ.txt"), h = formOf("ZQ.HTML"), r = formOf("ZQ.rtf");
    ASSERT_TRUE(std::min({t, h, r}) >= 0 && (t - h + 3) % 3 <= 1 && (h - r + 3) % 3 <= 1 &&
                (t - r + 3) % 3 <= 1)
        << "forms " << t << h << r;
    static const QRegularExpression temporary(R"(^\.ZQ\.(txt|HTML|rtf)\.[A-Za-z0-9]{12}$)");
    const QDir dir(app.path(), {}, QDir::Name, QDir::Files | QDir::System | QDir::Hidden);
    const QStringList left = dir.entryList({".ZQ*"}), markers = dir.entryList({".quillmate.w*"});
    ASSERT_LE(markers.size(), 1);
    for (const QString& name : left)
      ASSERT_TRUE(temporary.match(name).hasMatch() && left.filter(name.chopped(12)).size() == 1 &&
                  QFile::symLinkTarget(app.file(markers.value(0))) == app.file(name))
          << left.join(", ").toStdString();
  }
}

// Per strace of this test: data synced before a rename, the folder after, and after (un)making.
TEST_F(KillTest, EachChangeIsOnTheDiskBeforeTheNextStepCountsOnIt) {
  if (const QString traced = qEnvironmentVariable("QUILLMATE_TRACED"); !traced.isEmpty()) {
    platform::setApplicationDir(traced), ModSig.IniPath = traced + "/zq.ini";
    turn(0), AppendRecord(kHeaders, "H"), RemoveRecord(kHeaders, "H");  // a store made and removed
    return;
  }
  const QString folder = QFileInfo(app.path()).canonicalFilePath();
  const QString strace =  // LeakSanitizer cannot work under a tracer
      "QUILLMATE_TRACED='%1' ASAN_OPTIONS=detect_leaks=0 strace -fy -s0 -o '%1/trace' -e 'trace=/^("
      "pwrite64|f(data)?sync|(rename|unlink).*)$' /proc/%2/exe --gtest_filter='*.%3' >/dev/null";
  app.write("Sig.qmd", fit("A") + fit(kMoving[0]) + fit("B"));
  const char* self = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  ASSERT_EQ(std::system(qPrintable(strace.arg(folder).arg(::getpid()).arg(self))), 0)
      << "strace (Debian package strace) ran the steps";
  static const QRegularExpression path(R"re(<([^>]+)>|"([^"]+)")re"),
      random(R"(\.[A-Za-z0-9]{12}\b)");
  QStringList calls;  // each call's name and paths, the folder as "."
  for (QString line : QString(app.read("trace")).split('\n').filter(folder)) {
    line.replace(folder + '/', "").replace(folder, ".").replace(random, ".*");
    QStringList call{line.section('(', 0, 0).section(' ', -1).remove(QRegularExpression("at2?$"))};
    for (const auto& found : path.globalMatch(line)) call << found.captured(1) + found.captured(2);
    calls << call.join(' ');
  }
#define RENAMED(temp, name, marker) \
  "pwrite64 " temp "; fdatasync " temp "; rename " temp " " name "; " marker
#define WRITTEN(ext) RENAMED(".ZQ." ext ".*", "ZQ." ext, "unlink .quillmate.writing.*; ")
  const std::string rebuilt = RENAMED("Tmp.qmd", "Sig.qmd", "") "fsync .; ";
  // A switch's files share their folder's one sync, after the last rename.
  EXPECT_EQ((calls.join("; ") + "; ").toStdString(),
            rebuilt + rebuilt + WRITTEN("txt") WRITTEN("HTML") WRITTEN("rtf") "fsync .; "
            "pwrite64 Sig.qmd; fdatasync Sig.qmd; " + rebuilt + "fsync .; pwrite64 Head.qmd; fdatasync Head.qmd; "
            "unlink Head.qmd; fsync .; unlink TmpH.qmd; ");
}
}  // namespace qm
