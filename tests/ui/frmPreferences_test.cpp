#include "ui/frmPreferences.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "startup/settings.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"
#include "ui/interval_slider.h"

namespace qm::ui {
namespace {

using test::ScriptedMsgBox;
using test::TempAppDir;

struct Prefs {
  explicit Prefs(const QByteArray& settings, const QByteArray& intervalCode = "4") {
    app.write("zq.ini", settings);
    ModSig.IniPath = app.file("zq.ini");
    ModSig.IntervalCode = intervalCode;
  }
  TempAppDir app;
};

TEST(PreferencesTest, OpeningShowsTheStoredSettings) {
  Prefs prefs("[Settings]\r\nSigLocation=/sig\r\nProg_Name=Eudora v4.x\r\nStart_Min=1\r\n", "3");
  const QByteArray before = prefs.app.read("zq.ini");
  frmPreferences dialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Preferences"));
  EXPECT_EQ(dialog.Slider1->value(), 3);
  EXPECT_EQ(dialog.SliderCaption->text(), QStringLiteral("30 Minutes"));
  EXPECT_EQ(ModSig.SwitchTicks, 3600);
  EXPECT_EQ(ModSig.SwitchMinutes, 30);
  EXPECT_EQ(dialog.txtsiglocation->text(), QStringLiteral("/sig"));
  EXPECT_EQ(dialog.cboProgramName->currentText(), QStringLiteral("Eudora v4.x"));
  EXPECT_TRUE(dialog.chkMin->isChecked());
  EXPECT_EQ(prefs.app.read("zq.ini"), before);
  const QStringList programs = {"Outlook 98/2000", "Eudora v4.x", "Other Text", "Other HTML"};
  for (int i = 0; i < programs.size(); ++i)
    EXPECT_EQ(dialog.cboProgramName->itemText(i), programs[i]);
  EXPECT_EQ(dialog.cmdFindFile->toolTip(), QStringLiteral("Click to locate file"));
}

TEST(PreferencesTest, AnUnknownMailProgramBecomesOtherText) {
  for (const QByteArray& stored : {QByteArray(), QByteArray("Prog_Name=Mutt\r\n")}) {
    Prefs prefs("[Settings]\r\n" + stored + "Start_Min=0\r\n");
    frmPreferences dialog;
    EXPECT_EQ(dialog.cboProgramName->currentText(), QStringLiteral("Other Text"));
    EXPECT_TRUE(prefs.app.read("zq.ini").contains("Prog_Name=Other Text\r\n")) << stored.data();
    EXPECT_EQ(dialog.txtsiglocation->text(), QStringLiteral("?"));  // no siglocation key
  }
}

TEST(PreferencesTest, BadStoredNumbersAreReportedNamingFormLoad) {
  const std::tuple<const char*, const char*, int> cases[] = {
      {"7", "0", 380},
      {"x", "0", 13},
      {"4", "abc", 13},
      {"4", "3", 380},
  };
  for (const auto& [interval, startMin, failure] : cases) {
    Prefs prefs(QByteArray("[Settings]\r\nProg_Name=Other Text\r\nStart_Min=") + startMin + "\r\n",
                interval);
    ScriptedMsgBox boxes{vbIgnore};
    frmPreferences dialog;
    ASSERT_EQ(boxes.shown().size(), 1u) << interval << startMin;
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(QStringLiteral("Error %1: ").arg(failure)));
    EXPECT_TRUE(boxes.shown()[0].prompt.endsWith(QStringLiteral("in Quillmate: Form_Load")));
    EXPECT_FALSE(dialog.chkMin->isChecked());
  }
}

TEST(PreferencesTest, TheSliderAppliesAtOnceWithoutSaving) {
  Prefs prefs("[Settings]\r\nInterval=4\r\nProg_Name=Other Text\r\nStart_Min=0\r\n");
  const QByteArray before = prefs.app.read("zq.ini");
  frmPreferences dialog;
  EXPECT_EQ(ModSig.SwitchTicks, 7200);
  dialog.Slider1->setValue(0);
  EXPECT_EQ(ModSig.SwitchTicks, 120);
  EXPECT_EQ(ModSig.SwitchMinutes, 1);
  EXPECT_EQ(dialog.SliderCaption->text(), QStringLiteral("One Minute"));
  dialog.cmdDone->click();
  EXPECT_EQ(prefs.app.read("zq.ini"), before);
  EXPECT_EQ(ModSig.IntervalCode, "4");
}

TEST(PreferencesTest, SaveWritesFiveKeysInOrderThenSwitchesOnce) {
  Prefs prefs("[Settings]\r\n");
  ScriptedMsgBox boxes{vbIgnore};  // Start_Min is missing: no number
  int switches = 0;
  frmPreferences dialog([&] { ++switches; });
  // A path is kept as the file system's bytes, whatever its letters.
  dialog.txtsiglocation->setText(QStringLiteral("/home/zo\u00eb/\u043f\u043e\u0447\u0442\u0430"));
  dialog.Slider1->setValue(1);
  dialog.cboProgramName->setCurrentText(QStringLiteral("Outlook 98/2000"));
  dialog.chkMin->setChecked(true);
  dialog.cmdSave->click();
  EXPECT_EQ(prefs.app.read("zq.ini"),
            "[Settings]\r\nProg_Name=Outlook 98/2000\r\nSigLocation=/home/zo\xc3\xab/"
            "\xd0\xbf\xd0\xbe\xd1\x87\xd1\x82\xd0\xb0\r\n"
            "Interval=1\r\nWrite_Type=Text & HTML\r\nStart_Min=1\r\n");
  EXPECT_EQ(ModSig.WriteType, "Text & HTML");
  EXPECT_EQ(ModSig.IntervalCode, "1");
  EXPECT_EQ(switches, 1);
}

TEST(PreferencesTest, TheMailProgramDecidesTheOutputKind) {
  const std::pair<int, const char*> cases[] = {
      {0, "Text & HTML"}, {1, "Text"}, {2, "Text"}, {3, "HTML"}, {-1, "Text"}};
  for (const auto& [index, kind] : cases) {
    Prefs prefs("[Settings]\r\nSigLocation=/keep\r\nProg_Name=Other Text\r\nStart_Min=0\r\n");
    frmPreferences dialog;
    dialog.cboProgramName->setCurrentIndex(index);
    dialog.txtsiglocation->clear();  // an empty box keeps the stored directory
    dialog.cmdSave->click();
    const QByteArray file = prefs.app.read("zq.ini");
    EXPECT_TRUE(file.contains(QByteArray("Write_Type=") + kind + "\r\n")) << index;
    EXPECT_TRUE(file.contains("SigLocation=/keep\r\n")) << index;
    EXPECT_EQ(ModSig.WriteType, kind);
    EXPECT_EQ(file.contains("Prog_Name=\r\n"), index < 0) << index;
  }
}

TEST(PreferencesTest, DuringStartUpLoadingOnlyClearsTheFlag) {
  Prefs prefs("[Settings]\r\n");
  ModSig.StartingUp = true;
  frmPreferences dialog;
  EXPECT_FALSE(ModSig.StartingUp);
  EXPECT_EQ(prefs.app.read("zq.ini"), "[Settings]\r\n");
  EXPECT_TRUE(dialog.txtsiglocation->text().isEmpty());
}

}  // namespace
}  // namespace qm::ui
