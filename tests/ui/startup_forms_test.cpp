#include "ui/startup_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QTimer>

#include "common/failure.h"
#include "startup/settings.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"
#include "ui/frmMain.h"
#include "ui/frmPreferences.h"
#include "ui/interval_slider.h"

namespace qm {
namespace {

using test::ScriptedMsgBox;
using test::TempAppDir;

ui::frmPreferences* loadedPreferences() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* preferences = qobject_cast<ui::frmPreferences*>(widget)) return preferences;
  }
  return nullptr;
}

TEST(StartupFormsTest, LoadingSettingsCreatesTheMainWindowWithItsTimer) {
  TempAppDir app;
  app.write("zq.ini", "[Settings]\r\nInterval=0\r\n");
  initprogram();
  ModSig.StartingUp = true;
  ui::StartupForms forms;
  LoadSettings(forms);
  EXPECT_FALSE(ModSig.StartingUp);
  EXPECT_EQ(ModSig.SwitchTicks, 120);
  ui::frmMain& window = forms.mainWindow();
  EXPECT_EQ(window.windowTitle(), QStringLiteral("ZQ Quillmate 1.0.0"));
  EXPECT_EQ(window.Timer1->interval(), 500);
  // Hidden, the window sleeps; shown, it ticks.
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.Timer1->isActive());
  window.show();
  EXPECT_TRUE(window.Timer1->isActive());
  EXPECT_EQ(window.TrayIcon1->toolTip(), QStringLiteral("ZQ Quillmate"));
  EXPECT_EQ(loadedPreferences(), nullptr);
}

TEST(StartupFormsTest, TheSliderRefusesPositionsOutsideItsRange) {
  TempAppDir app;
  ModSig.StartingUp = true;  // loaded as start-up loads it
  ui::frmPreferences preferences;
  for (int position : {-1, 7, 100}) {
    try {
      preferences.Slider1->setPosition(position);
      ADD_FAILURE() << "position " << position << " was taken";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), Err::InvalidPropertyValue);
    }
    EXPECT_EQ(preferences.Slider1->value(), 6);
  }
  preferences.Slider1->setPosition(0);
  EXPECT_EQ(preferences.Slider1->value(), 0);
}

TEST(StartupFormsTest, ThePreferencesDirectoryBoxShowsTheStoredBytes) {
  TempAppDir app;
  ui::StartupForms forms;
  ModSig.StartingUp = true;
  forms.loadPreferences();
  forms.setPreferencesDirectory("/home/zo\xeb");
  const ui::frmPreferences* box = loadedPreferences();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->txtsiglocation->text(), QStringLiteral("/home/zo\u00eb"));
  forms.unloadPreferences();
}

// An Abort on a bad interval leaves the rest of the settings undone, but not the timer.
TEST(StartupFormsTest, TheTimerRunsFromTheLoadEvenAfterAnAbort) {
  TempAppDir app;
  app.write("zq.ini", "[Settings]\r\nInterval=soon\r\n");
  ScriptedMsgBox boxes{vbAbort};
  ui::StartupForms forms;
  ASSERT_TRUE(Main(forms));
  ASSERT_EQ(boxes.shown().size(), 1u);
  ui::frmMain& window = forms.mainWindow();
  ASSERT_TRUE(window.isVisible());
  EXPECT_TRUE(window.Timer1->isActive());
  EXPECT_EQ(window.Timer1->interval(), 500);
}

TEST(StartupFormsTest, MainShowsOrMinimisesTheWindow) {
  for (const char* startMin : {"0", "1"}) {
    TempAppDir app;
    app.write("zq.ini", QByteArray("[Settings]\r\nStart_Min=") + startMin + "\r\n");
    ui::StartupForms forms;
    ASSERT_TRUE(Main(forms));
    ui::frmMain& window = forms.mainWindow();
    if (QByteArray(startMin) == "0") {
      EXPECT_TRUE(window.isVisible());
      EXPECT_FALSE(window.isMinimized());
    } else if (QSystemTrayIcon::isSystemTrayAvailable()) {
      EXPECT_FALSE(window.isVisible());
      EXPECT_TRUE(window.TrayIcon1->isVisible());
    } else {
      // Without a notification area the window waits on the task bar instead.
      EXPECT_TRUE(window.isMinimized());
      EXPECT_FALSE(window.TrayIcon1->isVisible());
    }
  }
}

}  // namespace
}  // namespace qm
