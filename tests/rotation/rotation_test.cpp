#include "rotation/rotation.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <cmath>
#include <set>
#include <vector>

#include "startup/settings.h"
#include "support/temp_app_dir.h"

namespace qm {
namespace {

using test::TempAppDir;

struct DrawCase {
  int count;
  double chiSquare999;  // the 0.999 quantile for count - 1 degrees of freedom
};

TEST(RotationTest, DrawsAreUniformOverEveryRecord) {
  const DrawCase cases[] = {{2, 10.828}, {3, 13.816}, {10, 27.877}};
  constexpr int kDraws = 60000;
  for (const DrawCase& c : cases) {
    std::mt19937 generator(20240611u);
    std::vector<int> seen(static_cast<std::size_t>(c.count) + 1, 0);
    for (int i = 0; i < kDraws; ++i) {
      const int n = drawRecord(c.count, generator);
      ASSERT_GE(n, 1) << c.count;
      ASSERT_LE(n, c.count) << c.count;
      ++seen[static_cast<std::size_t>(n)];
    }
    const double expected = static_cast<double>(kDraws) / c.count;
    const double sd = std::sqrt(expected * (1.0 - 1.0 / c.count));
    double chiSquare = 0;
    for (int n = 1; n <= c.count; ++n) {
      const double got = seen[static_cast<std::size_t>(n)];
      // Halved end records would sit hundreds of standard deviations below this.
      EXPECT_LT(std::abs(got - expected), 5 * sd) << "record " << n << " of " << c.count;
      chiSquare += (got - expected) * (got - expected) / expected;
    }
    EXPECT_LT(chiSquare, c.chiSquare999) << c.count;
  }
}

TEST(RotationTest, OneRecordIsAlwaysTheFirst) {
  std::mt19937 generator(7u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(drawRecord(1, generator), 1);
}

TEST(RotationTest, ClockSeededDrawsStayInRange) {
  for (const int count : {1, 2, 3, 10, 32767}) {
    for (int i = 0; i < 500; ++i) {
      const int n = drawRecord(count);
      ASSERT_GE(n, 1) << count;
      ASSERT_LE(n, count) << count;
    }
  }
}

TEST(RotationTest, ClockSeededDrawsInQuickSuccessionDiffer) {
  // A seed of whole seconds would give one number for every draw of a switch.
  std::set<int> drawn;
  for (int i = 0; i < 200; ++i) drawn.insert(drawRecord(32767));
  EXPECT_GT(drawn.size(), 10u);
}

QString longTime(int h, int m, int s) {
  return longTimeText(QDateTime(QDate(2000, 1, 1), QTime(h, m, s)));
}

QString shortDate(int y, int m, int d) {
  return QLocale::system().toString(QDate(y, m, d), QLocale::ShortFormat);
}

struct NextCase {
  int row;
  QDateTime now;
  QString shown;
};

TEST(RotationTest, NextSwitchText) {
  const NextCase cases[] = {
      {0, {QDate(2024, 5, 6), QTime(12, 0, 0)}, longTime(12, 1, 0)},
      {0, {QDate(2024, 5, 6), QTime(23, 59, 30)}, longTime(0, 0, 30)},
      {1, {QDate(2024, 5, 6), QTime(10, 58, 7)}, longTime(11, 3, 7)},
      {2, {QDate(2024, 5, 6), QTime(23, 50, 0)}, longTime(0, 5, 0)},
      {3, {QDate(2024, 5, 6), QTime(8, 45, 15)}, longTime(9, 15, 15)},
      {4, {QDate(2024, 5, 6), QTime(23, 30, 0)}, longTime(0, 30, 0)},
      {4, {QDate(2023, 12, 31), QTime(23, 59, 59)}, longTime(0, 59, 59)},
      {5, {QDate(2024, 5, 6), QTime(10, 0, 0)}, shortDate(2024, 5, 7)},
      {5, {QDate(2024, 1, 31), QTime(23, 59, 59)}, shortDate(2024, 2, 1)},
      {5, {QDate(2024, 2, 28), QTime(0, 0, 0)}, shortDate(2024, 2, 29)},
      {5, {QDate(2023, 2, 28), QTime(12, 0, 0)}, shortDate(2023, 3, 1)},
      {5, {QDate(2023, 12, 31), QTime(18, 0, 0)}, shortDate(2024, 1, 1)},
  };
  for (const NextCase& c : cases) {
    TempAppDir app;
    const Interval& row = kIntervals[static_cast<std::size_t>(c.row)];
    ModSig.SwitchTicks = row.ticks;
    ModSig.SwitchMinutes = row.minutes;
    EXPECT_EQ(nextSwitchText(c.now), c.shown)
        << row.caption << " from " << c.now.toString(Qt::ISODate).toStdString();
  }
}

// Long time formats of real locales: the clock shows the time of day, never a zone.
TEST(RotationTest, ZonesLeaveTheLongTimeFormat) {
  const std::pair<QString, QString> cases[] = {
      {"HH:mm:ss t", "HH:mm:ss"},
      {"h:mm:ss AP t", "h:mm:ss AP"},
      {"t HH:mm:ss", "HH:mm:ss"},
      {"H:mm:ss (t)", "H:mm:ss"},
      {"H:mm:ss '\u0447'. t", "H:mm:ss '\u0447'."},
      {"HH:mm:ss tttt", "HH:mm:ss"},
      {"HH 'at' mm t", "HH 'at' mm"},
      {"HH:mm:ss", "HH:mm:ss"},
  };
  for (const auto& [format, clock] : cases)
    EXPECT_EQ(withoutZone(format), clock) << format.toStdString();
}

TEST(RotationTest, LongTimeTextIsTheTimeOfDayAlone) {
  const QDateTime morning(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
  const QDateTime evening(QDate(1999, 12, 31), QTime(23, 59, 59), Qt::UTC);
  EXPECT_EQ(longTimeText(morning, QLocale::c()), "07:08:09");
  EXPECT_EQ(longTimeText(evening, QLocale(QLocale::English, QLocale::UnitedStates)), "11:59:59 PM");
  EXPECT_EQ(longTimeText(morning, QLocale(QLocale::Chinese, QLocale::China)), "07:08:09");
}

}  // namespace
}  // namespace qm
