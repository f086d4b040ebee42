#pragma once

#include <QByteArray>
#include <memory>
#include <optional>

#include "startup/settings.h"
#include "startup/startup.h"

namespace qm::ui {

class frmMain;

// Start-up's view of the real forms. At a start the Preferences dialog's load step only ends the
// start-up and its slider only checks the stored interval code: both are done here without
// making the dialog, which costs a tenth of the start.
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
  void answerEarlyWake();

  int sliderPosition_ = kNeverCode;

  std::unique_ptr<frmMain> main_;
  std::optional<QByteArray> earlyWake_;
};

}  // namespace qm::ui
