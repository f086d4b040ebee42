#pragma once

#include <QByteArray>
#include <memory>
#include <optional>

#include "startup/startup.h"

namespace qm::ui {

class frmMain;
class frmPreferences;

// Start-up's view of the real forms.
class StartupForms : public StartupWindows {
 public:
  StartupForms();
  ~StartupForms() override;

  void loadPreferences() override;
  void setPreferencesDirectory(const QByteArray& dir) override;
  void setSliderPosition(int position) override;
  int sliderPosition() override;
  void unloadPreferences() override;
  void setTimerInterval(int milliseconds) override;
  void showMain() override;
  void hideMainInTray() override;

  // The main window, created (and loaded) on first use.
  frmMain& mainWindow();
  // Restores the main window from the tray and brings it forward with a launcher's token, once
  // it exists.
  void bringToFront(const QByteArray& token);

 private:
  std::unique_ptr<frmPreferences> preferences_;
  void answerEarlyWake();

  std::unique_ptr<frmMain> main_;
  std::optional<QByteArray> earlyWake_;
};

}  // namespace qm::ui
