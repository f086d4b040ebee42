#pragma once

#include <QByteArray>

// The start-up sequence: refuse a second instance, make sure every setting exists, load the
// settings, then show the main window or leave it in the tray.
namespace qm {

// What start-up asks of the windows: the real forms in the program, a fake in tests.
class StartupWindows {
 public:
  virtual ~StartupWindows() = default;

  // Loads the Preferences dialog without showing it, which runs its load step.
  virtual void loadPreferences() = 0;
  virtual void setPreferencesDirectory(const QByteArray& dir) = 0;
  // The interval slider; a position outside 0..6 throws Failure InvalidPropertyValue.
  virtual void setSliderPosition(int position) = 0;
  virtual int sliderPosition() = 0;
  virtual void unloadPreferences() = 0;

  // Sets the main window's timer period, creating the window (and running its load step)
  // when it does not exist yet.
  virtual void setTimerInterval(int milliseconds) = 0;
  virtual void showMain() = 0;
  // Hides the main window with its tray icon showing, as the "Minimize" button does.
  virtual void hideMainInTray() = 0;
};

// Returns false when another instance runs: the refusal has been shown and the caller ends
// the process at once.
bool Main(StartupWindows& windows);

// Reads the nine settings and writes the default of every missing or empty one.
void initprogram();

// Turns the stored settings into the output kind and the switch schedule.
void LoadSettings(StartupWindows& windows);

}  // namespace qm
