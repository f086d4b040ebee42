#include "rotation/switch_schedule.h"

#include <QTimer>
#include <algorithm>
#include <climits>

#include "startup/settings.h"

namespace qm {

SwitchSchedule::SwitchSchedule() : ticker(new QTimer(this)), alarm_(new QTimer(this)) {
  ticker->setInterval(500);
  alarm_->setSingleShot(true);
  alarm_->setTimerType(Qt::PreciseTimer);
  connect(alarm_, &QTimer::timeout, this, &SwitchSchedule::ring);
  monotonic_.start();
  monotonicMs = [this] { return monotonic_.elapsed(); };
}

bool SwitchSchedule::isDue() const {
  return ModSig.SwitchTicks > 0 && TickCount >= ModSig.SwitchTicks;
}

void SwitchSchedule::tick() {
  if (switching_) return;
  ++TickCount;
  if (isDue()) runSwitch();
}

void SwitchSchedule::runSwitch() {
  switching_ = true;
  emit due();
  switching_ = false;
  TickCount = 0;
  if (asleepAt_) {
    asleepAt_ = monotonicMs();
    setAlarm();
  }
}

void SwitchSchedule::sleep() {
  if (asleepAt_) return;
  ticker->stop();
  asleepAt_ = monotonicMs();
  setAlarm();
}

void SwitchSchedule::wake() {
  if (!asleepAt_) return;
  alarm_->stop();
  countSleptTicks();
  asleepAt_.reset();
  ticker->start();
}

void SwitchSchedule::ring() {
  countSleptTicks();
  if (isDue()) {
    runSwitch();
  } else {
    setAlarm();
  }
}

// Each tick's length slept is a tick; the rest of one carries over.
void SwitchSchedule::countSleptTicks() {
  const qint64 ticks = (monotonicMs() - *asleepAt_) / ticker->interval();
  TickCount += static_cast<int>(ticks);
  *asleepAt_ += ticks * ticker->interval();
}

void SwitchSchedule::setAlarm() {
  // With "Never", or while a switch waits for its failure box, there is nothing to wake for.
  if (switching_ || ModSig.SwitchTicks <= 0) return;
  const qint64 due =
      qint64{ModSig.SwitchTicks - TickCount} * ticker->interval() - (monotonicMs() - *asleepAt_);
  alarm_->start(static_cast<int>(std::clamp<qint64>(due, 0, INT_MAX)));
}

}  // namespace qm
