// The settings a start leaves and loads, how values are read and written, the signature files.
#include <sys/stat.h>

#include "common/failure.h"
#include "rotation/output.h"
#include "startup/startup.h"
#include "startup/utility.h"
#include "support/support.h"

namespace qm {
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

// Missing or empty values are written, then loaded. <T>: the temp folder; <S>: the signatures'.
TEST(SettingsTest, AStartCompletesTheSettingsAndLoadsThem) {
  const QByteArray all =
      "fileloc=/q\r\nInterval=6\r\nHeadRandom=0\r\nFootRandom=0\r\nSigRandom=1\r\n"
      "siglocation=/s\r\nWrite_Type=HTML\r\nProg_Name=M\r\nStart_Min=";
  const auto ini = [](QByteArray interval, QByteArray kind) {
    return "[Settings]\r\nInterval=" + interval + "\r\nSigLocation=/s\r\nWrite_Type=" + kind;
  };
  // zq.ini before (empty: none) and after (empty: not compared), answers to the failure boxes
  // (Abort, Retry, Ignore), ticks, output kind, what the windows were asked after "load starting"
  const std::tuple<QByteArray, QByteArray, QByteArray, int, QByteArray, QByteArray> cases[] = {
      {"",
       "[settings]\r\nfileloc=<T>\r\nInterval=6\r\nHeadRandom=0\r\nFootRandom=0\r\nSigRandom=0\r\n"
       "SigLocation=<S>\r\nWrite_Type=Text\r\nProg_Name=Other Text\r\nStart_Min=0\r\n",
       "", 0, "Text", "dir <S>, slider 6, timer 500, unload, show"},
      {"\xEF\xBB\xBF[SETTINGS]\r\nfileloc=/q\r\nInterval=\r\nHeadRandom=?\r\nFootRandom=0\r\n"
       "SigRandom=1\r\nsiglocation=/s\r\nWrite_Type=HTML\r\nProg_Name=M\r\nStart_Min=2\r\n\r\n"
       "[O]\r\n",
       "\xEF\xBB\xBF[SETTINGS]\r\n" + all + "2\r\n\r\n[O]\r\n", "", 0, "HTML",
       "dir /s, slider 6, timer 500, unload, show"},
      {"[Settings]\r\n" + all + "1", "[Settings]\r\n" + all + "1", "", 0, "HTML",
       "dir /s, slider 6, timer 500, unload, tray"},
      {ini("0", "Text"), "", "", 120, "Text", "dir /s, slider 0, timer 500, unload, show"},
      {ini("2.5", "HTML"), "", "", 1800, "HTML", "dir /s, slider 2, timer 500, unload, show"},
      {ini("5", "Text & HTML"), "", "", 172800, "Text & HTML",
       "dir /s, slider 5, timer 500, unload, show"},
      {ini("6", "text"), "", "", 0, "", "dir /s, slider 6, timer 500, unload, show"},
      {ini("7", "Text&HTML"), "", "I", 0, "", "dir /s, timer 500, unload, show"},
      {ini("abc", "Text"), "", "RI", 0, "Text", "dir /s, timer 500, unload, show"},
      {ini("-1", "Text"), "", "A", 0, "Text", "dir /s, show"},
  };
  const QByteArray home = qgetenv("HOME"), signatures = home + "/.local/share/quillmate";
  const auto expand = [&](QByteArray text) {
    return text.replace("<T>", QFile::encodeName(QDir::tempPath())).replace("<S>", signatures);
  };
  for (const auto& [before, after, answers, ticks, output, calls] : cases) {
    test::TempAppDir app;
    if (!before.isEmpty()) app.write("zq.ini", before);
    QDir(home).removeRecursively();
    test::ScriptedMsgBox boxes;
    for (char a : answers)
      boxes.answers.push_back(a == 'A' ? vbAbort : a == 'R' ? vbRetry : vbIgnore);
    FakeWindows windows;
    ASSERT_TRUE(Main(windows));
    EXPECT_EQ(std::tuple(after.isEmpty() ? "" : app.read("zq.ini"), ModSig.SwitchTicks,
                         ModSig.WriteType, windows.calls.join(", ").toUtf8()),
              std::tuple(expand(after), ticks, output, expand("load starting, " + calls)));
    struct stat made {};  // made for the user alone, with its missing parents, when it is named
    for (const QByteArray& dir : {signatures, home + "/.local"})
      EXPECT_EQ(::stat(dir, &made) ? 0 : made.st_mode, after.contains("<S>") ? 040700 : 0);
    const bool number = before.contains("Interval=abc");
    if (!answers.isEmpty())
      test::expectFailureBox(boxes.shown.at(0), number ? 13 : 380,
                             number ? "Type mismatch" : "Invalid property value", "LoadSettings");
  }
}

TEST(SettingsTest, ReadingAndWriting) {
  test::TempAppDir app;
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

// A folder of any name (also one stored as Windows-1252 by an earlier build). zq.TXT is replaced
// whole (a second link keeps the old). Abort stops at once; an existing relative folder is refused.
TEST(OutputTest, TheKindChoosesTheFilesInTheFolderNamed) {
  const QByteArray text = "\r\nHi\r\n1\r\n2\r\nBye\r\n",
                   html = "<BR><P>Hi<BR>1<BR>2<BR>Bye</P>\r\n";
  // kind, folder, SigLocation after the application folder ("rel": relative), files written
  const std::tuple<QByteArray, QString, QByteArray, QByteArray> rows[] = {
      {"Text", "out", "/out", "zq.TXT"},
      {"HTML", "out", "/out", "ZQ.HTML"},
      {"Text & HTML", "\u0416 \U0001F4E7", "/\xd0\x96 \xf0\x9f\x93\xa7", "ZQ.HTML ZQ.rtf zq.TXT"},
      {"Text & HTML", "Caf\u00e9", "/Caf\xe9", "ZQ.HTML ZQ.rtf zq.TXT"},
      {"html", "out", "/out", ""},
      {"Text ", "out", "/out", ""},
      {"Text & HTML", "out", "/missing", "!"},
      {"Text", "out", "rel", "!"},
  };
  for (const auto& [kind, folder, stored, written] : rows) {
    test::TempAppDir app;
    QDir(app.path()).mkdir(folder), app.write(folder + "/zq.TXT", "old");
    const auto name = [&](const QString& file) { return QFile::encodeName(app.file(file)); };
    ASSERT_EQ(::link(name(folder + "/zq.TXT"), name(folder + "/held")), 0);
    const QByteArray path = stored == "rel"
                                ? QFile::encodeName(QDir().relativeFilePath(app.file(folder)))
                                : QFile::encodeName(app.path()) + stored;
    app.write("zq.ini", "[Settings]\r\nSigLocation=" + path);
    test::ScriptedMsgBox boxes;
    if (written == "!") boxes.answers = {vbAbort};
    ModSig.WriteType = kind, OutputSig({QByteArray("Hi").leftJustified(100), " 1\r\n2 ", " Bye "});
    if (!boxes.shown.empty())
      test::expectFailureBox(boxes.shown[0], 76, "Path not found", "OutputSig");
    std::map<QString, QByteArray> expected{{"held", "old"}, {"zq.TXT", "old"}}, found;
    for (const QByteArray& file : written.split(' '))
      if (file.contains('.')) expected[file] = file == "ZQ.HTML" ? html : text;
    for (const QString& file : QDir(app.file(folder)).entryList(QDir::Files | QDir::Hidden))
      found[file] = app.read(folder + '/' + file);
    EXPECT_EQ(found, expected) << kind.data();
  }
}
}  // namespace qm
