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

QString withoutZone(const QString& format) {
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format[i];
    if (c == u'\'') quoted = !quoted;
    if (quoted || c != u't') {
      out += c;
      continue;
    }
    while (i + 1 < format.size() && format[i + 1] == u't') ++i;
    const bool closing = i + 1 < format.size() && format[i + 1] == u')';
    if (out.endsWith(u'(') && closing) {
      out.chop(1);
      ++i;
    }
    if (out.endsWith(u' ')) {
      out.chop(1);
    } else if (i + 1 < format.size() && format[i + 1] == u' ') {
      ++i;
    }
  }
  return out.trimmed();
}

QString longTimeText(const QDateTime& now, const QLocale& locale) {
  return locale.toString(now.time(), withoutZone(locale.timeFormat(QLocale::LongFormat)));
}

QString nextSwitchText(const QDateTime& now) {
  if (ModSig.SwitchTicks == kOneDay.ticks) {
    return QLocale::system().toString(now.date().addDays(1), QLocale::ShortFormat);
  }
  return longTimeText(now.addSecs(qint64{ModSig.SwitchMinutes} * 60));
}

}  // namespace qm
