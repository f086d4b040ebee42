#include "ui/startup_windows.h"

#include <QTimer>
#include <utility>

#include "platform/platform.h"
#include "ui/frmMain.h"

namespace qm::ui {

StartupForms::StartupForms() = default;
StartupForms::~StartupForms() = default;

void StartupForms::loadPreferences() {
  ModSig.StartingUp = false;
}

void StartupForms::setPreferencesDirectory(const QByteArray&) {}

void StartupForms::setSliderPosition(int position) {
  sliderPosition_ = checkedIntervalCode(position);
}

int StartupForms::sliderPosition() {
  return sliderPosition_;
}

void StartupForms::unloadPreferences() {}

void StartupForms::setTimerInterval(int milliseconds) {
  // Running since the window's load, the timer ticks while the window is shown.
  mainWindow().Timer1->setInterval(milliseconds);
}

void StartupForms::showMain() {
  mainWindow().show();
  answerEarlyWake();
}

void StartupForms::hideMainInTray() {
  mainWindow().cmdMin_Click();
  answerEarlyWake();
}

void StartupForms::bringToFront(const QByteArray& token) {
  if (main_) {
    main_->comeBack(token);
  } else {
    earlyWake_ = token;  // a start refused while this one still loads
  }
}

void StartupForms::answerEarlyWake() {
  if (const auto token = std::exchange(earlyWake_, std::nullopt)) main_->comeBack(*token);
}

frmMain& StartupForms::mainWindow() {
  // The window's load runs the event loop once, where a wake may come before main_ is set.
  if (!main_) main_ = std::make_unique<frmMain>([] { platform::endNow(0); });
  return *main_;
}

}  // namespace qm::ui
