// The settings file: what a start leaves in it, how values are read and written, and what
// start-up makes of them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <optional>

#include "startup/settings.h"
#include "startup/startup.h"
#include "startup/utility.h"
#include "support/support.h"

namespace qm {
namespace {

using test::FakeWindows;
using test::ScriptedMsgBox;
using test::TempAppDir;

struct StartCase {
  const char* name;
  std::optional<QByteArray> before;  // none: no zq.ini; <T> is the temporary folder
  QByteArray after;
};

TEST(SettingsTest, AStartWritesEveryMissingOrEmptyValue) {
  const StartCase cases[] = {
      {"first start", std::nullopt,
       "[settings]\r\nfileloc=<T>\r\nInterval=6\r\nHeadRandom=0\r\nFootRandom=0\r\nSigRandom=0\r\n"
       "SigLocation=<T>\r\nWrite_Type=Text\r\nProg_Name=Other Text\r\nStart_Min=0\r\n"},
      {"empty and unknown values, other sections kept",
       "\xEF\xBB\xBF[SETTINGS]\r\nfileloc=/q\r\nInterval=\r\nHeadRandom=?\r\nFootRandom=0\r\n"
       "SigRandom=1\r\nsiglocation=/s\r\nWrite_Type=HTML\r\nProg_Name=M\r\nStart_Min=2\r\n\r\n"
       "[Other]\r\nk=v\r\n",
       "\xEF\xBB\xBF[SETTINGS]\r\nfileloc=/q\r\nInterval=6\r\nHeadRandom=0\r\nFootRandom=0\r\n"
       "SigRandom=1\r\nsiglocation=/s\r\nWrite_Type=HTML\r\nProg_Name=M\r\nStart_Min=2\r\n\r\n"
       "[Other]\r\nk=v\r\n"},
      {"a complete file is left alone",
       "[Settings]\nfileloc=/q\ninterval=3\nHeadRandom=0\nFootRandom=0\nSigRandom=0\n"
       "siglocation=/s\nWrite_Type=HTML\nProg_Name=Mail\nStart_Min=1",
       "[Settings]\nfileloc=/q\ninterval=3\nHeadRandom=0\nFootRandom=0\nSigRandom=0\n"
       "siglocation=/s\nWrite_Type=HTML\nProg_Name=Mail\nStart_Min=1"},
  };
  const QByteArray temp = QFile::encodeName(QDir::tempPath());
  for (const StartCase& c : cases) {
    TempAppDir app;
    if (c.before) app.write("zq.ini", *c.before);
    FakeWindows windows;
    ASSERT_TRUE(Main(windows));
    EXPECT_EQ(app.read("zq.ini"), QByteArray(c.after).replace("<T>", temp)) << c.name;
    EXPECT_EQ(windows.calls.first(), "load while starting") << c.name;
    EXPECT_EQ(windows.calls.last(), c.after.contains("Start_Min=1") ? "tray" : "show") << c.name;
  }
}

TEST(SettingsTest, ReadingAndWriting) {
  TempAppDir app;
  const QString ini = app.file("ZQ.INI");  // another letter case names the same file
  EXPECT_EQ(sGetINI(ini, "Settings", "k", "?"), "?");
  writeINI(app.file("zq.ini"), "Settings", "k", QByteArray(300, 'v'));
  EXPECT_EQ(app.read("zq.ini"), "[Settings]\r\nk=" + QByteArray(300, 'v') + "\r\n");
  EXPECT_EQ(sGetINI(ini, "settings", "K", "?"), QByteArray(254, 'v'));
  EXPECT_EQ(QDir(app.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"zq.ini"});
  // A file that cannot be read whole is never replaced: its other keys would be lost.
  QFile::remove(app.file("zq.ini"));
  QDir(app.path()).mkdir("zq.ini");
  writeINI(ini, "Settings", "k", "1");
  EXPECT_EQ(sGetINI(ini, "Settings", "k", "?"), "?");
  EXPECT_TRUE(QFileInfo(app.file("zq.ini")).isDir());
}

struct LoadCase {
  QByteArray interval;
  QByteArray writeType;
  std::vector<int> answers;  // to the failure boxes
  int ticks;
  QByteArray kind;
  QStringList calls;
};

TEST(SettingsTest, LoadingTurnsTheValuesIntoTheSchedule) {
  const QStringList whole = {"load", "directory /s", "timer 500", "unload"};
  const LoadCase cases[] = {
      {"0", "Text", {}, 120, "Text", {"load", "directory /s", "slider 0", "timer 500", "unload"}},
      {"2.5", "HTML", {}, 1800, "HTML", {}},
      {"5", "Text & HTML", {}, 172800, "Text & HTML", {}},
      {"6", "text", {}, 0, "", {}},
      {"7", "Text&HTML", {vbIgnore}, 0, "", whole},
      {"abc", "Text", {vbRetry, vbIgnore}, 0, "Text", whole},
      {"-1", "Text", {vbAbort}, 0, "Text", {"load", "directory /s"}},
  };
  for (const LoadCase& c : cases) {
    TempAppDir app;
    app.write("zq.ini", "[Settings]\r\nInterval=" + c.interval +
                            "\r\nSigLocation=/s\r\nWrite_Type=" + c.writeType + "\r\n");
    initprogram();
    ScriptedMsgBox boxes;
    for (const int answer : c.answers) boxes.answer({answer});
    FakeWindows windows;
    LoadSettings(windows);
    EXPECT_EQ(ModSig.SwitchTicks, c.ticks) << c.interval.data();
    EXPECT_EQ(ModSig.WriteType, c.kind) << c.interval.data();
    if (!c.calls.isEmpty()) {
      EXPECT_EQ(windows.calls, c.calls) << c.interval.data();
    }
    if (!c.answers.empty()) {
      test::expectFailureBox(boxes.shown().at(0), c.interval == "abc" ? 13 : 380,
                             c.interval == "abc" ? "Type mismatch" : "Invalid property value",
                             "LoadSettings");
    }
  }
}

}  // namespace
}  // namespace qm
