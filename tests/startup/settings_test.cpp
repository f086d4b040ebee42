// The files the program keeps and writes: the settings a start leaves, how values are read and
// written, what start-up makes of them, and the signature files.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>

#include "common/failure.h"
#include "platform/files.h"
#include "rotation/output.h"
#include "startup/startup.h"
#include "startup/utility.h"
#include "support/support.h"

namespace qm {
namespace {

using test::TempAppDir;

// Records what start-up asks of the windows; the slider takes 0..6 as the real one does.
struct FakeWindows : StartupWindows {
  void loadPreferences() override { calls << (ModSig.StartingUp ? "load starting" : "load"); }
  void setPreferencesDirectory(const QByteArray& dir) override { calls << "dir " + dir; }
  void setSliderPosition(int value) override {
    if (value < 0 || value > 6) throw Failure(Err::InvalidPropertyValue);
    calls << QString("slider %1").arg(position = value);
  }
  int sliderPosition() override { return position; }
  void unloadPreferences() override { calls << "unload"; }
  void setTimerInterval(int ms) override { calls << QString("timer %1").arg(ms); }
  void showMain() override { calls << "show"; }
  void hideMainInTray() override { calls << "tray"; }
  QStringList calls;
  int position = 6;
};

TEST(SettingsTest, AStartWritesEveryMissingOrEmptyValue) {
  const QByteArray all =
      "fileloc=/q\r\nInterval=6\r\nHeadRandom=0\r\nFootRandom=0\r\nSigRandom=1\r\n"
      "siglocation=/s\r\nWrite_Type=HTML\r\nProg_Name=M\r\nStart_Min=";
  const std::pair<QByteArray, QByteArray> cases[] = {
      // <T>: the temporary folder; the signatures go to a private folder of the home's
      {"",
       "[settings]\r\nfileloc=<T>\r\nInterval=6\r\nHeadRandom=0\r\nFootRandom=0\r\nSigRandom=0\r\n"
       "SigLocation=<H>/.local/share/quillmate\r\n"
       "Write_Type=Text\r\nProg_Name=Other Text\r\nStart_Min=0\r\n"},
      {"\xEF\xBB\xBF[SETTINGS]\r\n" +
           QByteArray(all)
               .replace("Interval=6", "Interval=")
               .replace("HeadRandom=0", "HeadRandom=?") +
           "2\r\n\r\n[O]\r\n",
       "\xEF\xBB\xBF[SETTINGS]\r\n" + all + "2\r\n\r\n[O]\r\n"},
      {"[Settings]\r\n" + all + "1", "[Settings]\r\n" + all + "1"},
  };
  const QByteArray home = qgetenv("HOME"), signatures = home + "/.local/share/quillmate",
                   temp = QFile::encodeName(QDir::tempPath());
  for (const auto& [before, after] : cases) {
    TempAppDir app;
    if (!before.isEmpty()) app.write("zq.ini", before);
    QDir(home).removeRecursively();
    FakeWindows windows;
    ASSERT_TRUE(Main(windows));
    EXPECT_EQ(app.read("zq.ini"), QByteArray(after).replace("<T>", temp).replace("<H>", home));
    struct stat made {};  // made for the user alone, with its missing parents, when it is named
    for (const QByteArray& dir : QByteArrayList{signatures, home + "/.local"})
      EXPECT_EQ(::stat(dir, &made) ? 0 : made.st_mode, after.contains("<H>") ? 040700 : 0);
    EXPECT_EQ(windows.calls.first() + " " + windows.calls.last(),
              after.endsWith("Start_Min=1") ? "load starting tray" : "load starting show");
  }
}

TEST(SettingsTest, ReadingAndWriting) {
  TempAppDir app;
  const QString ini = app.file("ZQ.INI");  // another letter case names the same file
  writeINI(app.file("zq.ini"), "Settings", "k", QByteArray(300, 'v'));
  const QByteArray file = "[Settings]\r\nk=" + QByteArray(300, 'v') + "\r\n";
  EXPECT_EQ(app.read("zq.ini"), file);
  EXPECT_EQ(sGetINI(ini, "settings", "K", "?"), QByteArray(254, 'v'));
  EXPECT_EQ(sGetINI(ini, "settings", "j", "?"), "?");
  EXPECT_EQ(QDir(app.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"zq.ini"});
  int failures = 1;  // a file that cannot be read whole is never replaced: keys would be lost
  test::FileHookScope hook([&](auto call, auto&&...) {
    return call == platform::FileCall::Open && failures-- > 0 ? EIO : 0;
  });
  writeINI(ini, "Settings", "j", "1");
  EXPECT_EQ(app.read("zq.ini"), file);
}

TEST(SettingsTest, LoadingTurnsTheValuesIntoTheSchedule) {
  const QStringList whole = {"load", "dir /s", "timer 500", "unload"};
  // interval, Write_Type, answers to failure boxes, ticks, output kind, calls
  using Row = std::tuple<QByteArray, QByteArray, std::vector<int>, int, QByteArray, QStringList>;
  const Row cases[] = {
      {"0", "Text", {}, 120, "Text", {"load", "dir /s", "slider 0", "timer 500", "unload"}},
      {"2.5", "HTML", {}, 1800, "HTML", {}},
      {"5", "Text & HTML", {}, 172800, "Text & HTML", {}},
      {"6", "text", {}, 0, "", {}},
      {"7", "Text&HTML", {vbIgnore}, 0, "", whole},
      {"abc", "Text", {vbRetry, vbIgnore}, 0, "Text", whole},
      {"-1", "Text", {vbAbort}, 0, "Text", {"load", "dir /s"}},
  };
  for (const auto& [interval, kind, answers, ticks, output, calls] : cases) {
    TempAppDir app;
    app.write("zq.ini",
              "[Settings]\r\nInterval=" + interval + "\r\nSigLocation=/s\r\nWrite_Type=" + kind);
    initprogram();
    test::ScriptedMsgBox boxes;
    boxes.answers = answers;
    FakeWindows windows;
    LoadSettings(windows);
    EXPECT_EQ(std::pair(ModSig.SwitchTicks, ModSig.WriteType), std::pair(ticks, output));
    EXPECT_TRUE(calls.isEmpty() || windows.calls == calls)
        << windows.calls.join(", ").toStdString();
    if (answers.empty()) continue;
    const bool number = interval == "abc";
    test::expectFailureBox(boxes.shown.at(0), number ? 13 : 380,
                           number ? "Type mismatch" : "Invalid property value", "LoadSettings");
  }
}

// A folder of any name (also one stored as Windows-1252 by an earlier build). zq.TXT is replaced
// whole: a reader holding the old one (a second link) keeps it. Abort ends at the first file.
TEST(OutputTest, TheKindChoosesTheFilesInTheFolderNamed) {
  const QByteArray text = "\r\nHi\r\n1\r\n2\r\nBye\r\n", old = "old";
  const QStringList all = {"ZQ.HTML", "ZQ.rtf", "zq.TXT"};
  const std::tuple<QByteArray, QString, QByteArray, QStringList> rows[] = {
      {"Text", "out", "/out", {"zq.TXT"}},
      {"HTML", "out", "/out", {"ZQ.HTML"}},
      {"Text & HTML", "\u041f\u043e\u0434 \U0001F4E7", "/\xd0\x9f\xd0\xbe\xd0\xb4 \xf0\x9f\x93\xa7",
       all},
      {"Text & HTML", "Caf\u00e9", "/Caf\xe9", all},
      {"html", "out", "/out", {}},
      {"Text ", "out", "/out", {}},
      {"Text", "out", "/missing", {"!"}},
      {"Text", "out", "rel", {"!"}},
  };
  for (const auto& [kind, folder, stored, written] : rows) {
    TempAppDir app;
    QDir(app.path()).mkdir(folder);
    app.write(folder + "/zq.TXT", old);
    const auto name = [&](const QString& file) { return QFile::encodeName(app.file(file)); };
    ASSERT_EQ(::link(name(folder + "/zq.TXT"), name("held")), 0);
    const QByteArray path = stored == "rel" ? stored : QFile::encodeName(app.path()) + stored;
    app.write("zq.ini", "[Settings]\r\nSigLocation=" + path);
    test::ScriptedMsgBox boxes;
    if (written == QStringList{"!"}) boxes.answers = {vbAbort};
    ModSig.WriteType = kind;
    OutputSig({"Hi", " 1\r\n2 ", "Bye"});
    if (!boxes.shown.empty())
      test::expectFailureBox(boxes.shown[0], 76, "Path not found", "OutputSig");
    QStringList files = (QStringList(written) << "zq.TXT").filter(".");
    files.removeDuplicates();
    files.sort();
    EXPECT_EQ(QDir(app.file(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name), files)
        << kind.data();
    EXPECT_EQ(app.read(folder + "/zq.TXT"), written.contains("zq.TXT") ? text : old);
    EXPECT_EQ(app.read(folder + "/ZQ.rtf"), written.contains("ZQ.rtf") ? text : "");
    EXPECT_EQ(app.read(folder + "/ZQ.HTML"),
              written.contains("ZQ.HTML") ? "<BR><P>Hi<BR>1<BR>2<BR>Bye</P>\r\n" : "");
    EXPECT_EQ(app.read("held"), old);
  }
}

}  // namespace
}  // namespace qm
