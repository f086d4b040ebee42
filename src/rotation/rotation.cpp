#include "rotation/rotation.h"

#include <QLocale>
#include <chrono>

#include "startup/settings.h"

namespace qm {

int drawRecord(int count, std::mt19937& generator) {
  return std::uniform_int_distribution<int>(1, count)(generator);
}

int drawRecord(int count) {
  const auto seed = std::chrono::system_clock::now().time_since_epoch().count();
  std::mt19937 generator(static_cast<std::mt19937::result_type>(seed));
  return drawRecord(count, generator);
}

QString longTimeText(const QDateTime& now) {
  return QLocale::system().toString(now.time(), QLocale::LongFormat);
}

QString nextSwitchText(const QDateTime& now) {
  if (ModSig.SwitchTicks == kIntervals[5].ticks) {
    return QLocale::system().toString(now.date().addDays(1), QLocale::ShortFormat);
  }
  return QLocale::system().toString(now.time().addSecs(ModSig.SwitchMinutes * 60),
                                    QLocale::LongFormat);
}

}  // namespace qm
