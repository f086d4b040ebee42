#include "common/ansi.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(AnsiTest, EveryByteSurvivesTheRoundTrip) {
  QByteArray all;
  for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
  EXPECT_EQ(toAnsi(fromAnsi(all)), all);
}

TEST(AnsiTest, MapsTheWindows1252Characters) {
  struct Case {
    QString text;
    QByteArray bytes;
  };
  const Case cases[] = {
      {QStringLiteral("Zo\u00eb"), "Zo\xeb"},
      {QStringLiteral("\u20ac 5"), "\x80 5"},
      {QStringLiteral("\u201cquoted\u201d"), "\x93quoted\x94"},
      {QStringLiteral("\u0178\u017e"), "\x9f\x9e"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(toAnsi(c.text), c.bytes) << c.text.toStdString();
    EXPECT_EQ(fromAnsi(c.bytes), c.text) << c.text.toStdString();
  }
}

TEST(AnsiTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(toAnsi(QStringLiteral("\u0416a\U0001F600b")), QByteArray("?a?b"));
}

TEST(AnsiTest, TrimmingRemovesSpacesOnly) {
  EXPECT_EQ(trimSpaces("  Hello   "), QByteArray("Hello"));
  EXPECT_EQ(trimSpaces("\tHello\r\n "), QByteArray("\tHello\r\n"));
  EXPECT_EQ(trimSpaces(" a b "), QByteArray("a b"));
  EXPECT_EQ(trimSpaces("    "), QByteArray());
}

}  // namespace
}  // namespace qm
