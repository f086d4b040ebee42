#pragma once

#include <QByteArray>
#include <QString>
#include <array>

#include "common/failure.h"

// The settings held in memory for the whole process, and the interval table that turns the
// stored interval code into the switch schedule.
namespace qm {

struct SettingsInMemory {
  QString IniPath;            // full path of zq.ini
  QByteArray SigDir;          // the signature directory as last read
  QByteArray IntervalCode;    // "0".."6" as stored
  QByteArray HeadRandomFlag;  // the randomize choices as read at start-up
  QByteArray SigRandomFlag;
  QByteArray FootRandomFlag;
  QByteArray WriteType;  // "Text", "Text & HTML", "HTML", or empty: no output
  int SwitchTicks = 0;   // 500-ms ticks between switches; 0 is "Never"
  int SwitchMinutes = 0;
  bool StartMinimized = false;
  bool StartingUp = false;
};

inline SettingsInMemory ModSig;

struct Interval {
  const char* caption;
  int minutes;
  int ticks;
};

// Indexed by the interval code; one minute is 120 ticks of 500 ms.
inline constexpr std::array<Interval, 7> kIntervals = {{
    {"One Minute", 1, 120},
    {"5 Minutes", 5, 600},
    {"15 Minutes", 15, 1800},
    {"30 Minutes", 30, 3600},
    {"One Hour", 60, 7200},
    {"One Day", 1440, 172800},
    {"Never", 0, 0},
}};

// The default interval code, "Never".
inline constexpr int kNeverCode = 6;

// The one interval whose next switch is shown as a date.
inline constexpr const Interval& kOneDay = kIntervals[5];

// The row of an interval code, or nullptr for a code without one.
inline const Interval* intervalAt(int code) {
  if (code < 0 || code >= static_cast<int>(kIntervals.size())) return nullptr;
  return &kIntervals[static_cast<std::size_t>(code)];
}

// A slider position checked against the table: Failure InvalidPropertyValue beyond its ends.
inline int checkedIntervalCode(int position) {
  if (!intervalAt(position)) throw Failure(Err::InvalidPropertyValue);
  return position;
}

}  // namespace qm
