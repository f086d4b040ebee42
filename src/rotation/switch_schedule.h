#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <optional>

class QTimer;

namespace qm {

// When the next switch is due. Awake, the ticker counts 500-ms ticks; asleep, nothing ticks and
// one alarm waits for the switch, the ticks slept counted on a clock that never jumps.
class SwitchSchedule : public QObject {
  Q_OBJECT
 public:
  SwitchSchedule();

  // Runs while awake; its owner calls tick() at each timeout. Its interval is the tick length.
  QTimer* const ticker;
  int TickCount = 0;  // ticks since the last switch
  // Milliseconds on a monotonic clock; tests replace it.
  std::function<qint64()> monotonicMs;

  void tick();
  // Stops ticking and sets the alarm; counts on from where the ticks stood.
  void sleep();
  // Counts the ticks slept and ticks again.
  void wake();
  // The alarm went off: the switch when it is due, else the alarm again.
  void ring();
  const QTimer& alarm() const { return *alarm_; }

 signals:
  // The switch; while it runs (a failure box may wait for an answer) ticks count nothing.
  void due();

 private:
  bool isDue() const;
  void runSwitch();
  void countSleptTicks();
  void setAlarm();

  QTimer* const alarm_;
  QElapsedTimer monotonic_;
  std::optional<qint64> asleepAt_;  // while asleep: when the slept ticks were last counted
  bool switching_ = false;
};

}  // namespace qm
