// The pure rules: Windows-1252, numbers, the settings file, the output forms, the clock format.
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
namespace {

TEST(AnsiTest, EveryByteIsItsWindows1252CharacterAndBack) {
  QByteArray all;
  for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
  QStringDecoder icu("windows-1252");
  ASSERT_TRUE(icu.isValid());
  const QString decoded = icu(all);
  ASSERT_EQ(decoded.size(), 256);
  const QString text = fromAnsi(all);
  for (int b = 0; b < 256; ++b) {
    // Bytes the code page leaves undefined stand for the control character of their value.
    const QChar expected = decoded[b] == QChar::ReplacementCharacter ? QChar(b) : decoded[b];
    EXPECT_EQ(text[b], expected) << b;
  }
  EXPECT_EQ(toAnsi(text), all);
  EXPECT_EQ(toAnsi(QStringLiteral("\u0416a\U0001F600b")), "?a?b");
  EXPECT_EQ(trimOuter("  \ta b\r\n  "), "\ta b\r\n");
}

TEST(ConvertTest, WholeNumbers) {
  const std::pair<const char*, int> numbers[] = {
      {"6", 6}, {" 3 ", 3}, {"2.5", 2}, {"3.5", 4}, {"-0.5", 0}, {"1e1", 10}, {"-32768", -32768}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(toWholeNumber(text), value) << text;
  const std::pair<const char*, int> failures[] = {{"abc", Err::TypeMismatch},
                                                  {"", Err::TypeMismatch},
                                                  {"nan", Err::TypeMismatch},
                                                  {"32768", Err::Overflow},
                                                  {"-32768.6", Err::Overflow}};
  for (const auto& [text, number] : failures) {
    try {
      toWholeNumber(text);
      ADD_FAILURE() << text;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), number) << text;
    }
  }
  EXPECT_THROW(toTicked("2"), Failure);
  EXPECT_TRUE(toTicked(" 1 "));
}

struct ReadCase {
  const char* name;
  QByteArray file;
  const char* key;  // in section "Settings"
  std::optional<QByteArray> value;
};

TEST(ProfileTest, Reading) {
  const ReadCase cases[] = {
      {"other letter case", "[SETTINGS]\r\nsigLOCATION=/home\r\n", "siglocation", "/home"},
      {"blanks around", "[ Settings ]\r\nk = \t x y \t\r\n", "k", "x y"},
      {"quotes", "[Settings]\r\nk=\" a \"\r\nj='b'\r\n", "k", " a "},
      {"unmatched quotes", "[Settings]\r\nk=\"a'\r\n", "k", "\"a'"},
      {"equals in the value", "[Settings]\r\nk=a=b\r\n", "k", "a=b"},
      {"LF ends", "[Settings]\nk=1\nj=2\n", "j", "2"},
      {"CR ends", "[Settings]\rk=1\rj=2", "j", "2"},
      {"first duplicate key", "[Settings]\r\nk=1\r\nk=2\r\n", "k", "1"},
      {"first duplicate section", "[Settings]\r\nk=1\r\n[settings]\r\nj=3\r\n", "j", std::nullopt},
      {"comment", "[Settings]\r\n;k=1\r\n", "k", std::nullopt},
      {"no equals", "[Settings]\r\nk\r\n", "k", std::nullopt},
      {"other section", "[Other]\r\nk=1\r\n[Settings]\r\n", "k", std::nullopt},
      {"before any section", "k=1\r\n[Settings]\r\n", "k", std::nullopt},
      {"byte-order mark", "\xEF\xBB\xBF[Settings]\r\nk=1\r\n", "k", "1"},
      {"mark inside a line", "[Settings]\r\n\xEF\xBB\xBFk=1\r\n", "k", std::nullopt},
  };
  for (const ReadCase& c : cases)
    EXPECT_EQ(profileValue(c.file, "Settings", c.key), c.value) << c.name;
}

struct WriteCase {
  const char* name;
  QByteArray before;
  const char* section;
  const char* key;
  const char* value;
  QByteArray after;
};

TEST(ProfileTest, Writing) {
  const WriteCase cases[] = {
      {"missing file", "", "settings", "fileloc", "/tmp", "[settings]\r\nfileloc=/tmp\r\n"},
      {"after the section's last key", "[settings]\r\na=1\r\n\r\n[Other]\r\nb=2\r\n", "Settings",
       "c", "3", "[settings]\r\na=1\r\nc=3\r\n\r\n[Other]\r\nb=2\r\n"},
      {"a key keeps its spelling", "[Settings]\r\nINTERVAL=\r\nk=1\r\n", "settings", "Interval",
       "6", "[Settings]\r\nINTERVAL=6\r\nk=1\r\n"},
      {"first duplicate only", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "9", "[S]\r\nk=9\r\nk=2\r\n"},
      {"new section at the end", "[A]\r\na=1", "Settings", "k", "v",
       "[A]\r\na=1\r\n[Settings]\r\nk=v\r\n"},
      {"empty section", "[Settings]\r\n[B]\r\n", "Settings", "k", "v",
       "[Settings]\r\nk=v\r\n[B]\r\n"},
      {"other lines kept, CR LF ends", "; mine\n[S]\njunk\nk=1\n", "S", "k", "2",
       "; mine\r\n[S]\r\njunk\r\nk=2\r\n"},
      {"a value is one line", "[S]\r\n", "S", "k", "a\r\nInterval=0", "[S]\r\nk=a\r\n"},
      {"byte-order mark kept", "\xEF\xBB\xBF[S]\nk=1\n", "s", "K", "2",
       "\xEF\xBB\xBF[S]\r\nk=2\r\n"},
  };
  for (const WriteCase& c : cases) {
    EXPECT_EQ(withProfileValue(c.before, c.section, c.key, c.value), c.after) << c.name;
  }
}

struct FormCase {
  const char* name;
  ShownEntries shown;
  QByteArray text;
  QByteArray html;
};

TEST(OutputFormsTest, TextAndHtml) {
  const FormCase cases[] = {
      {"records with their filling",
       {QByteArray("Hello").leftJustified(100), "  Line one\r\nLine two   ", " Bye "},
       "\r\nHello\r\nLine one\r\nLine two\r\nBye\r\n",
       "<BR><P>Hello<BR>Line one<BR>Line two<BR>Bye</P>\r\n"},
      {"only spaces", {"  ", " ", ""}, "\r\n\r\n\r\n\r\n", "<BR><P><BR><BR></P>\r\n"},
      {"tabs and breaks at the ends stay",
       {"\tHi ", " \r\nS\t", "\r\nBye"},
       "\r\n\tHi\r\n\r\nS\t\r\n\r\nBye\r\n",
       "<BR><P>\tHi<BR><BR>S\t<BR>\r\nBye</P>\r\n"},
      {"lone and odd breaks",
       {"H", "a\nb\r\r\nc\n\rd", "F"},
       "\r\nH\r\na\nb\r\r\nc\n\rd\r\nF\r\n",
       "<BR><P>H<BR>a\nb\r<BR>c\n\rd<BR>F</P>\r\n"},
      {"markup passes",
       {"<b>", "a & b", "<"},
       "\r\n<b>\r\na & b\r\n<\r\n",
       "<BR><P><b><BR>a & b<BR><</P>\r\n"},
      {"high bytes as references",
       {"Caf\xE9", "\x80\x99\x81", "\xA0\xFF"},
       "\r\nCaf\xE9\r\n\x80\x99\x81\r\n\xA0\xFF\r\n",
       "<BR><P>Caf&#233;<BR>&#8364;&#8482;&#129;<BR>&#160;&#255;</P>\r\n"},
  };
  for (const FormCase& c : cases) {
    EXPECT_EQ(textForm(c.shown), c.text) << c.name;
    EXPECT_EQ(htmlForm(c.shown), c.html) << c.name;
  }
  PrepHTML("  a\r\nb ");
  EXPECT_EQ(HtmlSig, "a<BR>b");
}

TEST(ClockTest, TheLongTimeFormatWithoutItsZone) {
  const std::pair<QString, QString> formats[] = {
      {"HH:mm:ss t", "HH:mm:ss"},     {"h:mm:ss AP t", "h:mm:ss AP"},
      {"t HH:mm:ss", "HH:mm:ss"},     {"H:mm:ss (t)", "H:mm:ss"},
      {"HH:mm:ss tttt", "HH:mm:ss"},  {"HH 'at' mm t", "HH 'at' mm"},
      {"H:mm 'ttt' t", "H:mm 'ttt'"},
  };
  for (const auto& [format, shown] : formats)
    EXPECT_EQ(withoutZone(format), shown) << format.toStdString();
}

TEST(DrawTest, EveryRecordIsDrawnAndNoOther) {
  std::mt19937 generator(7);
  std::vector<int> seen(5);
  for (int i = 0; i < 2000; ++i) {
    const int n = drawRecord(4, generator);
    ASSERT_TRUE(n >= 1 && n <= 4) << n;
    ++seen[static_cast<std::size_t>(n)];
  }
  for (int n = 1; n <= 4; ++n) EXPECT_GT(seen[static_cast<std::size_t>(n)], 400) << n;
  for (int i = 0; i < 50; ++i) EXPECT_EQ(drawRecord(1), 1);
}

}  // namespace
}  // namespace qm
