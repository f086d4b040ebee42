#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <random>

// What a switch needs beyond the stores and the output: the draw and the times it shows.
namespace qm {

// A record number from 1 to count, each equally likely.
int drawRecord(int count, std::mt19937& generator);

// The same from a generator seeded from the clock at each call.
int drawRecord(int count);

// A time format without the zone it names (with the brackets and the blank around it): a clock
// shows the time of day.
QString withoutZone(const QString& format);

// The present time of day as the "Current Time" label shows it: the locale's long time format
// without the zone.
QString longTimeText(const QDateTime& now, const QLocale& locale = QLocale::system());

// The "Next Switch" text: tomorrow's short date for "One Day", otherwise the time of day
// SwitchMinutes from now, wrapping past midnight.
QString nextSwitchText(const QDateTime& now);

}  // namespace qm
