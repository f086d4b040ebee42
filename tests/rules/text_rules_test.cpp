// The pure rules: Windows-1252, numbers, the settings file, the output forms, clock and draw.
#include <gtest/gtest.h>

#include <QStringDecoder>
#include <optional>

#include "common/ansi.h"
#include "common/convert.h"
#include "common/failure.h"
#include "rotation/output.h"
#include "rotation/rotation.h"
#include "startup/profile.h"

namespace qm {
TEST(RulesTest, EveryByteIsItsWindows1252CharacterAndBack) {
  QByteArray all;
  for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
  const QString icu = QStringDecoder("windows-1252")(all), text = fromAnsi(all);
  ASSERT_EQ(icu.size(), 256);
  for (int b = 0; b < 256; ++b)  // undefined bytes stand for the control of their value
    EXPECT_EQ(text[b], icu[b] == QChar::ReplacementCharacter ? QChar(b) : icu[b]) << b;
  EXPECT_EQ(toAnsi(text), all);
  EXPECT_EQ(toAnsi(QStringLiteral("\u0416a\U0001F600b")), "?a?b");
  EXPECT_EQ(trimOuter("  \ta b\r\n  "), "\ta b\r\n");
}

TEST(RulesTest, WholeNumbers) {
  const std::pair<const char*, int> numbers[] = {
      // below 0: the failure number, negated
      {" 3 ", 3},   {"2.5", 2}, {"3.5", 4},    {"-0.5", 0},        {"1e1", 10},
      {"abc", -13}, {"", -13},  {"32768", -6}, {"-32768", -32768}, {"-32768.6", -6}};
  for (const auto& [number, value] : numbers) try {
      EXPECT_EQ(toWholeNumber(number), value) << number;
    } catch (const Failure& failure) {
      EXPECT_EQ(-failure.number(), value) << number;
    }
  EXPECT_THROW(toTicked("2"), Failure);
}

TEST(RulesTest, ReadingAndWritingTheSettingsFile) {
  const std::tuple<QByteArray, const char*, std::optional<QByteArray>> cases[] = {
      {"[SETTINGS]\r\nsigLOCATION=/home\r\n", "siglocation", "/home"},
      {"[ Settings ]\r\nk = \t x y \t\r\n", "k", "x y"},
      {"[Settings]\r\nk=\" a \"\r\n", "k", " a "},
      {"[Settings]\r\nk='a\"\r\n", "k", "'a\""},
      {"[Settings]\r\nk=a=b\r\n", "k", "a=b"},
      {"[Settings]\nk=1\nj=2\n", "j", "2"},
      {"[Settings]\rk=1\rj=2", "j", "2"},
      {"[Settings]\r\nk=1\r\nk=2\r\n", "k", "1"},
      {"[Settings]\r\nk=1\r\n[settings]\r\nj=3\r\n", "j", std::nullopt},
      {"[Settings]\r\nk\r\n;k=1\r\n", "k", std::nullopt},
      {"k=1\r\n[Other]\r\nk=1\r\n[Settings]\r\n", "k", std::nullopt},
      {"\xEF\xBB\xBF[Settings]\r\nk=1\r\n", "k", "1"},
      {"[Settings]\r\n\xEF\xBB\xBFk=1\r\n", "k", std::nullopt},
  };
  for (const auto& [file, key, value] : cases)
    EXPECT_EQ(profileValue(file, "Settings", key), value) << file.data();
  const std::tuple<QByteArray, const char*, const char*, QByteArray> writes[] = {
      {"[Settings]\r\na=1\r\n\r\n[B]\r\n", "c", "3", "[Settings]\r\na=1\r\nc=3\r\n\r\n[B]\r\n"},
      {"[SETTINGS]\r\nC=\r\nC=2\r\n", "c", "6", "[SETTINGS]\r\nC=6\r\nC=2\r\n"},
      {"[A]\r\na=1", "k", "v", "[A]\r\na=1\r\n[settings]\r\nk=v\r\n"},
      {"; mine\n[settings]\njunk\n", "k", "a\r\nb=0", "; mine\r\n[settings]\r\njunk\r\nk=a\r\n"},
      {"\xEF\xBB\xBF[settings]\nk=1\n", "K", "2", "\xEF\xBB\xBF[settings]\r\nk=2\r\n"},
  };
  for (const auto& [before, key, value, after] : writes)
    EXPECT_EQ(withProfileValue(before, "settings", key, value), after) << before.data();
}

TEST(RulesTest, TheOutputForms) {  // the output test has entries with outer blanks
  const std::tuple<ShownEntries, QByteArray, QByteArray> cases[] = {
      {{"  ", " ", ""}, "\r\n\r\n\r\n\r\n", "<BR><P><BR><BR></P>\r\n"},
      {{"\tH\r\n", "a\nb\r\r\nc\n\rd", "<b>&"},
       "\r\n\tH\r\n\r\na\nb\r\r\nc\n\rd\r\n<b>&\r\n",
       "<BR><P>\tH\r\n<BR>a\nb\r<BR>c\n\rd<BR><b>&</P>\r\n"},
      {{"Caf\xE9", "\x80\x99\x81", "\xA0\xFF"},
       "\r\nCaf\xE9\r\n\x80\x99\x81\r\n\xA0\xFF\r\n",
       "<BR><P>Caf&#233;<BR>&#8364;&#8482;&#129;<BR>&#160;&#255;</P>\r\n"},
  };
  for (const auto& [shown, text, html] : cases)
    EXPECT_EQ(std::pair(textForm(shown), htmlForm(shown)), std::pair(text, html));
}

TEST(RulesTest, TheClockAndTheDraw) {
  EXPECT_EQ(withoutZone("t h:mm:ss AP"), "h:mm:ss AP");
  EXPECT_EQ(withoutZone("H 'at' mm (tttt)"), "H 'at' mm");
  std::mt19937 generator(7);
  std::vector<int> seen(6);
  for (int i = 0; i < 2000; ++i) ++seen.at(static_cast<std::size_t>(drawRecord(4, generator)));
  EXPECT_EQ(seen[0] + seen[5], 0);
  for (int n = 1; n <= 4; ++n) EXPECT_GT(seen[static_cast<std::size_t>(n)], 400) << n;
  EXPECT_EQ(drawRecord(1), 1);
}
}  // namespace qm
