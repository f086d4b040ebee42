#include "startup/startup.h"

#include <gtest/gtest.h>

#include <QDir>

#include "common/failure.h"
#include "platform/platform.h"
#include "startup/settings.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"

namespace qm {
namespace {

using test::ScriptedMsgBox;
using test::TempAppDir;

// Records what start-up asks of the windows, and the settings the main window's load sees.
class FakeWindows : public StartupWindows {
 public:
  QStringList calls;
  int position = 6;
  int ticksSeenByMainLoad = -1;
  QByteArray writeTypeSeenByMainLoad;
  bool startingUpWhenPreferencesLoaded = false;

  void loadPreferences() override {
    calls << "loadPreferences";
    startingUpWhenPreferencesLoaded = ModSig.StartingUp;
    ModSig.StartingUp = false;
  }
  void setPreferencesDirectory(const QByteArray& dir) override {
    calls << "setPreferencesDirectory " + QString::fromLatin1(dir);
  }
  void setSliderPosition(int value) override {
    if (value < 0 || value > 6) throw Failure(Err::InvalidPropertyValue);
    calls << QStringLiteral("setSliderPosition %1").arg(value);
    position = value;
  }
  int sliderPosition() override { return position; }
  void unloadPreferences() override { calls << "unloadPreferences"; }
  void setTimerInterval(int ms) override {
    calls << QStringLiteral("setTimerInterval %1").arg(ms);
    ticksSeenByMainLoad = ModSig.SwitchTicks;
    writeTypeSeenByMainLoad = ModSig.WriteType;
  }
  void showMain() override { calls << "showMain"; }
  void hideMainInTray() override { calls << "hideMainInTray"; }
};

QByteArray tempDir() {
  return QDir::tempPath().toLocal8Bit();
}

TEST(StartupTest, FirstStartWritesEveryDefault) {
  TempAppDir app;
  initprogram();
  const QByteArray temp = tempDir();
  EXPECT_EQ(app.read("zq.ini"), "[settings]\r\nfileloc=" + temp +
                                    "\r\nInterval=6\r\nHeadRandom=0\r\nFootRandom=0\r\n"
                                    "SigRandom=0\r\nSigLocation=" +
                                    temp +
                                    "\r\nWrite_Type=Text\r\nProg_Name=Other Text\r\n"
                                    "Start_Min=0\r\n");
  EXPECT_EQ(ModSig.IniPath, app.file("zq.ini"));
  EXPECT_EQ(ModSig.IntervalCode, "6");
  EXPECT_EQ(ModSig.SigDir, temp);
  EXPECT_EQ(ModSig.HeadRandomFlag, "0");
  EXPECT_FALSE(ModSig.StartMinimized);
}

TEST(StartupTest, AFullFileIsReadAndLeftAsItIs) {
  TempAppDir app;
  const QByteArray file =
      "[SETTINGS]\r\nFILELOC=/x\r\ninterval=3\r\nHeadRandom=1\r\nFootRandom=0\r\n"
      "SigRandom=1\r\nsiglocation=/sig dir\r\nWrite_Type=HTML\r\nProg_Name=Other HTML\r\n"
      "Start_Min=1\r\n";
  app.write("zq.ini", file);
  initprogram();
  EXPECT_EQ(app.read("zq.ini"), file);
  EXPECT_EQ(ModSig.IntervalCode, "3");
  EXPECT_EQ(ModSig.HeadRandomFlag, "1");
  EXPECT_EQ(ModSig.SigRandomFlag, "1");
  EXPECT_EQ(ModSig.FootRandomFlag, "0");
  EXPECT_EQ(ModSig.SigDir, "/sig dir");
  EXPECT_TRUE(ModSig.StartMinimized);
}

TEST(StartupTest, EmptyAndQuestionMarkValuesAreRewrittenInPlace) {
  TempAppDir app;
  app.write("zq.ini",
            "[Settings]\r\nInterval=\r\nSigLocation=?\r\nHeadRandom= \r\nfileloc=/f\r\n"
            "FootRandom=0\r\nSigRandom=0\r\nWrite_Type=Text\r\nProg_Name=Eudora v4.x\r\n"
            "Start_Min=0\r\n");
  initprogram();
  EXPECT_EQ(app.read("zq.ini"), "[Settings]\r\nInterval=6\r\nSigLocation=" + tempDir() +
                                    "\r\nHeadRandom=0\r\nfileloc=/f\r\nFootRandom=0\r\n"
                                    "SigRandom=0\r\nWrite_Type=Text\r\nProg_Name=Eudora "
                                    "v4.x\r\nStart_Min=0\r\n");
  EXPECT_EQ(ModSig.IntervalCode, "6");
  EXPECT_EQ(ModSig.HeadRandomFlag, "0");
}

TEST(StartupTest, OnlyStartMinOneStartsInTheTray) {
  const std::pair<const char*, bool> cases[] = {{"1", true},    {"0", false},  {"2", false},
                                                {"yes", false}, {" 1 ", true}, {"01", false}};
  for (const auto& [value, minimized] : cases) {
    TempAppDir app;
    app.write("zq.ini", QByteArray("[Settings]\r\nStart_Min=") + value + "\r\n");
    initprogram();
    EXPECT_EQ(ModSig.StartMinimized, minimized) << value;
  }
}

TEST(StartupTest, AnUnwritableDirectoryStartsWithTheDefaultsInMemory) {
  TempAppDir app;
  platform::setApplicationDir(app.file("missing"));
  initprogram();
  EXPECT_FALSE(QFileInfo::exists(app.file("missing/zq.ini")));
  EXPECT_EQ(ModSig.IntervalCode, "6");
  EXPECT_EQ(ModSig.SigDir, tempDir());
  FakeWindows windows;
  LoadSettings(windows);
  EXPECT_EQ(ModSig.WriteType, "");  // read again from the file: missing
  EXPECT_EQ(ModSig.SwitchTicks, 0);
}

TEST(StartupTest, LoadSettingsDrivesTheFormsInOrder) {
  TempAppDir app;
  app.write("zq.ini", "[Settings]\r\nInterval=4\r\nSigLocation=/out\r\nWrite_Type=Text\r\n");
  initprogram();
  ModSig.StartingUp = true;
  FakeWindows windows;
  LoadSettings(windows);
  EXPECT_EQ(windows.calls,
            QStringList({"loadPreferences", "setPreferencesDirectory /out", "setSliderPosition 4",
                         "setTimerInterval 500", "unloadPreferences"}));
  EXPECT_TRUE(windows.startingUpWhenPreferencesLoaded);
  EXPECT_FALSE(ModSig.StartingUp);
  EXPECT_EQ(windows.ticksSeenByMainLoad, 7200);
  EXPECT_EQ(windows.writeTypeSeenByMainLoad, "Text");
  EXPECT_EQ(ModSig.SwitchMinutes, 60);
}

TEST(StartupTest, IntervalCodesFollowTheTable) {
  const std::tuple<const char*, int, int> cases[] = {
      {"0", 120, 1},       {"1", 600, 5}, {"2", 1800, 15},   {"3", 3600, 30}, {"4", 7200, 60},
      {"5", 172800, 1440}, {"6", 0, 0},   {"2.5", 1800, 15}, {"0.6", 600, 5},
  };
  for (const auto& [code, ticks, minutes] : cases) {
    TempAppDir app;
    ModSig.IntervalCode = code;
    FakeWindows windows;
    LoadSettings(windows);
    EXPECT_EQ(ModSig.SwitchTicks, ticks) << code;
    EXPECT_EQ(ModSig.SwitchMinutes, minutes) << code;
  }
}

TEST(StartupTest, OnlyTheThreeExactOutputKindsAreTaken) {
  const std::pair<const char*, const char*> cases[] = {
      {"Text", "Text"},  {"Text & HTML", "Text & HTML"},
      {"HTML", "HTML"},  {"text", ""},
      {"Text&HTML", ""}, {"?", "Text"},  // missing: the default
  };
  for (const auto& [stored, kind] : cases) {
    TempAppDir app;
    app.write("zq.ini", QByteArray("[Settings]\r\nWrite_Type=") + stored + "\r\n");
    initprogram();
    FakeWindows windows;
    LoadSettings(windows);
    EXPECT_EQ(ModSig.WriteType, kind) << stored;
  }
}

struct BadIntervalCase {
  const char* code;
  int answer;
  int failure;
  QStringList calls;
};

TEST(StartupTest, ABadIntervalIsReportedNamingLoadSettings) {
  const QStringList ignored = {"loadPreferences", "setPreferencesDirectory ",
                               "setTimerInterval 500", "unloadPreferences"};
  const QStringList aborted = {"loadPreferences", "setPreferencesDirectory "};
  const BadIntervalCase cases[] = {
      {"7", vbIgnore, Err::InvalidPropertyValue, ignored},
      {"abc", vbIgnore, Err::TypeMismatch, ignored},
      {"-1", vbAbort, Err::InvalidPropertyValue, aborted},
      {"99999", vbIgnore, Err::Overflow, ignored},
  };
  for (const BadIntervalCase& c : cases) {
    TempAppDir app;
    ModSig.IntervalCode = c.code;
    ScriptedMsgBox boxes{c.answer};
    FakeWindows windows;
    LoadSettings(windows);
    ASSERT_EQ(boxes.shown().size(), 1u) << c.code;
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(QStringLiteral("Error %1: ").arg(c.failure)))
        << c.code;
    EXPECT_TRUE(boxes.shown()[0].prompt.endsWith(QStringLiteral("in Quillmate: LoadSettings")));
    EXPECT_EQ(windows.calls, c.calls) << c.code;
    EXPECT_EQ(ModSig.SwitchTicks, 0) << c.code;  // the slider's unchanged position is "Never"
  }
}

TEST(StartupTest, RetryConvertsTheIntervalAgain) {
  TempAppDir app;
  ModSig.IntervalCode = "x";
  FakeWindows windows;
  ScriptedMsgBox boxes{vbRetry};
  boxes.answer({vbIgnore});
  LoadSettings(windows);
  EXPECT_EQ(boxes.shown().size(), 2u);
}

TEST(StartupTest, MainShowsTheWindowOrLeavesItInTheTray) {
  const std::pair<const char*, const char*> cases[] = {{"0", "showMain"}, {"1", "hideMainInTray"}};
  for (const auto& [startMin, last] : cases) {
    TempAppDir app;
    app.write("zq.ini", QByteArray("[Settings]\r\nStart_Min=") + startMin + "\r\n");
    FakeWindows windows;
    ASSERT_TRUE(Main(windows));
    EXPECT_TRUE(windows.startingUpWhenPreferencesLoaded);
    EXPECT_EQ(windows.calls.last(), last);
    EXPECT_EQ(windows.calls.count(last), 1);
  }
}

}  // namespace
}  // namespace qm
