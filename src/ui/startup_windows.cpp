#include "ui/startup_windows.h"

#include <QLineEdit>
#include <QTimer>
#include <utility>

#include "common/ansi.h"
#include "platform/platform.h"
#include "ui/frmMain.h"
#include "ui/frmPreferences.h"
#include "ui/interval_slider.h"

namespace qm::ui {

StartupForms::StartupForms() = default;
StartupForms::~StartupForms() = default;

void StartupForms::loadPreferences() {
  preferences_ = std::make_unique<frmPreferences>();
}

void StartupForms::setPreferencesDirectory(const QByteArray& dir) {
  preferences_->txtsiglocation->setText(platform::pathFromBytes(dir));
}

void StartupForms::setSliderPosition(int position) {
  preferences_->Slider1->setPosition(position);
}

int StartupForms::sliderPosition() {
  return preferences_->Slider1->value();
}

void StartupForms::unloadPreferences() {
  preferences_.reset();
}

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
