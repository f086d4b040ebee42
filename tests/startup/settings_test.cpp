// The settings file: what a start leaves in it, how values are read and written, and what
// start-up makes of them.
#include <QDir>
#include <cerrno>
#include <optional>

#include "common/failure.h"
#include "platform/files.h"
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
  const std::pair<std::optional<QByteArray>, QByteArray> cases[] = {
      {std::nullopt,  // <T>: the temporary folder
       "[settings]\r\nfileloc=<T>\r\nInterval=6\r\nHeadRandom=0\r\nFootRandom=0\r\nSigRandom=0\r\n"
       "SigLocation=<T>\r\nWrite_Type=Text\r\nProg_Name=Other Text\r\nStart_Min=0\r\n"},
      {"\xEF\xBB\xBF[SETTINGS]\r\nfileloc=/q\r\nInterval=\r\nHeadRandom=?\r\nFootRandom=0\r\n"
       "SigRandom=1\r\nsiglocation=/"
       "s\r\nWrite_Type=HTML\r\nProg_Name=M\r\nStart_Min=2\r\n\r\n[O]\r\n",
       "\xEF\xBB\xBF[SETTINGS]\r\nfileloc=/q\r\nInterval=6\r\nHeadRandom=0\r\nFootRandom=0\r\n"
       "SigRandom=1\r\nsiglocation=/"
       "s\r\nWrite_Type=HTML\r\nProg_Name=M\r\nStart_Min=2\r\n\r\n[O]\r\n"},
      {"[Settings]\nfileloc=/q\ninterval=3\nHeadRandom=0\nFootRandom=0\nSigRandom=0\n"
       "siglocation=/s\nWrite_Type=HTML\nProg_Name=Mail\nStart_Min=1",
       "[Settings]\nfileloc=/q\ninterval=3\nHeadRandom=0\nFootRandom=0\nSigRandom=0\n"
       "siglocation=/s\nWrite_Type=HTML\nProg_Name=Mail\nStart_Min=1"},
  };
  for (const auto& [before, after] : cases) {
    TempAppDir app;
    if (before) app.write("zq.ini", *before);
    FakeWindows windows;
    ASSERT_TRUE(Main(windows));
    EXPECT_EQ(app.read("zq.ini"),
              QByteArray(after).replace("<T>", QFile::encodeName(QDir::tempPath())));
    EXPECT_EQ(windows.calls.first(), "load starting");
    EXPECT_EQ(windows.calls.last(), after.contains("Start_Min=1") ? "tray" : "show");
  }
}

TEST(SettingsTest, ReadingAndWriting) {
  TempAppDir app;
  const QString ini = app.file("ZQ.INI");  // another letter case names the same file
  writeINI(app.file("zq.ini"), "Settings", "k", QByteArray(300, 'v'));
  EXPECT_EQ(app.read("zq.ini"), "[Settings]\r\nk=" + QByteArray(300, 'v') + "\r\n");
  EXPECT_EQ(sGetINI(ini, "settings", "K", "?"), QByteArray(254, 'v'));
  EXPECT_EQ(sGetINI(ini, "settings", "j", "?"), "?");
  EXPECT_EQ(QDir(app.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"zq.ini"});
  // A file that cannot be read whole is never replaced: its other keys would be lost.
  int failures = 1;
  platform::setFileHookForTest([&](platform::FileCall call, const QString&, qint64, qint64) {
    return call == platform::FileCall::Open && failures-- > 0 ? EIO : 0;
  });
  writeINI(ini, "Settings", "j", "1");
  platform::setFileHookForTest({});
  EXPECT_EQ(app.read("zq.ini"), "[Settings]\r\nk=" + QByteArray(300, 'v') + "\r\n");
}

TEST(SettingsTest, LoadingTurnsTheValuesIntoTheSchedule) {
  const QStringList whole = {"load", "dir /s", "timer 500", "unload"};
  const std::tuple<QByteArray, QByteArray, std::vector<int>, int, QByteArray, QStringList> cases[] =
      {
          // interval, Write_Type, answers to failure boxes, ticks, output kind, calls
          {"0", "Text", {}, 120, "Text", {"load", "dir /s", "slider 0", "timer 500", "unload"}},
          {"2.5", "HTML", {}, 1800, "HTML", {}},
          {"5", "Text & HTML", {}, 172800, "Text & HTML", {}},
          {"6", "text", {}, 0, "", {}},
          {"7", "Text&HTML", {vbIgnore}, 0, "", whole},
          {"abc", "Text", {vbRetry, vbIgnore}, 0, "Text", whole},
          {"-1", "Text", {vbAbort}, 0, "Text", {"load", "dir /s"}},
      };
  for (const auto& [interval, writeType, answers, ticks, kind, calls] : cases) {
    TempAppDir app;
    app.write("zq.ini", "[Settings]\r\nInterval=" + interval +
                            "\r\nSigLocation=/s\r\nWrite_Type=" + writeType + "\r\n");
    initprogram();
    test::ScriptedMsgBox boxes;
    boxes.answers = answers;
    FakeWindows windows;
    LoadSettings(windows);
    EXPECT_EQ(ModSig.SwitchTicks, ticks) << interval.data();
    EXPECT_EQ(ModSig.WriteType, kind) << interval.data();
    EXPECT_TRUE(calls.isEmpty() || windows.calls == calls)
        << windows.calls.join(", ").toStdString();
    if (answers.empty()) continue;
    const bool number = interval == "abc";
    test::expectFailureBox(boxes.shown.at(0), number ? 13 : 380,
                           number ? "Type mismatch" : "Invalid property value", "LoadSettings");
  }
}

}  // namespace
}  // namespace qm
