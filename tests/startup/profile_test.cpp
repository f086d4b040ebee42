#include "startup/profile.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

struct ReadCase {
  const char* name;
  QByteArray file;
  const char* section;
  const char* key;
  std::optional<QByteArray> value;
};

TEST(ProfileTest, Reading) {
  const QByteArray nothing;
  const ReadCase cases[] = {
      {"plain", "[Settings]\r\nInterval=3\r\n", "Settings", "Interval", "3"},
      {"section in other case", "[SETTINGS]\r\nInterval=3\r\n", "settings", "Interval", "3"},
      {"key in other case", "[Settings]\r\nsigLOCATION=/home\r\n", "Settings", "siglocation",
       "/home"},
      {"blanks around the value", "[Settings]\r\nk = \t x y \t\r\n", "Settings", "k", "x y"},
      {"empty value", "[Settings]\r\nk=\r\n", "Settings", "k", ""},
      {"question mark", "[Settings]\r\nk=?\r\n", "Settings", "k", "?"},
      {"double quotes", "[Settings]\r\nk=\" a \"\r\n", "Settings", "k", " a "},
      {"single quotes", "[Settings]\r\nk='a'\r\n", "Settings", "k", "a"},
      {"unmatched quote", "[Settings]\r\nk=\"a'\r\n", "Settings", "k", "\"a'"},
      {"one quote", "[Settings]\r\nk=\"\r\n", "Settings", "k", "\""},
      {"equals in the value", "[Settings]\r\nk=a=b\r\n", "Settings", "k", "a=b"},
      {"LF line ends", "[Settings]\nk=1\nj=2\n", "Settings", "j", "2"},
      {"CR line ends", "[Settings]\rk=1\rj=2\r", "Settings", "j", "2"},
      {"no line end at the end", "[Settings]\r\nk=1", "Settings", "k", "1"},
      {"first duplicate key wins", "[Settings]\r\nk=1\r\nk=2\r\n", "Settings", "k", "1"},
      {"first duplicate section wins", "[Settings]\r\nk=1\r\n[settings]\r\nk=2\r\nj=3\r\n",
       "Settings", "j", std::nullopt},
      {"blanks inside brackets", "[ Settings ]\r\nk=1\r\n", "Settings", "k", "1"},
      {"comment line", "[Settings]\r\n;k=1\r\n", "Settings", "k", std::nullopt},
      {"line without equals", "[Settings]\r\nk\r\n", "Settings", "k", std::nullopt},
      {"key of another section", "[Other]\r\nk=1\r\n[Settings]\r\n", "Settings", "k", std::nullopt},
      {"key before any section", "k=1\r\n[Settings]\r\n", "Settings", "k", std::nullopt},
      {"missing section", "[Other]\r\nk=1\r\n", "Settings", "k", std::nullopt},
      {"empty file", nothing, "Settings", "k", std::nullopt},
      {"byte-order mark", "\xEF\xBB\xBF[Settings]\r\nk=1\r\n", "Settings", "k", "1"},
      {"mark inside a line", "[Settings]\r\n\xEF\xBB\xBFk=1\r\n", "Settings", "k", std::nullopt},
  };
  for (const ReadCase& c : cases) {
    EXPECT_EQ(profileValue(c.file, c.section, c.key), c.value) << c.name;
  }
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
      {"new key after the last one of its section", "[settings]\r\na=1\r\n\r\n[Other]\r\nb=2\r\n",
       "Settings", "c", "3", "[settings]\r\na=1\r\nc=3\r\n\r\n[Other]\r\nb=2\r\n"},
      {"existing key keeps its line and spelling", "[Settings]\r\nINTERVAL=\r\nk=1\r\n", "settings",
       "Interval", "6", "[Settings]\r\nINTERVAL=6\r\nk=1\r\n"},
      {"only the first duplicate key changes", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "9",
       "[S]\r\nk=9\r\nk=2\r\n"},
      {"new section at the end under the name given", "[A]\r\na=1", "Settings", "k", "v",
       "[A]\r\na=1\r\n[Settings]\r\nk=v\r\n"},
      {"empty section", "[Settings]\r\n[B]\r\n", "Settings", "k", "v",
       "[Settings]\r\nk=v\r\n[B]\r\n"},
      {"comments and stray lines are kept", "; mine\n[S]\njunk\nk=1\n", "S", "k", "2",
       "; mine\r\n[S]\r\njunk\r\nk=2\r\n"},
      {"a value is one line", "[S]\r\n", "S", "k", "a\r\nInterval=0", "[S]\r\nk=a\r\n"},
      {"empty value", "[S]\r\nk=1\r\n", "S", "k", "", "[S]\r\nk=\r\n"},
      {"byte-order mark kept, key in place", "\xEF\xBB\xBF[S]\nk=1\n", "s", "K", "2",
       "\xEF\xBB\xBF[S]\r\nk=2\r\n"},
  };
  for (const WriteCase& c : cases) {
    EXPECT_EQ(withProfileValue(c.before, c.section, c.key, c.value), c.after) << c.name;
  }
}

TEST(ProfileTest, AWrittenValueReadsBack) {
  QByteArray file;
  file = withProfileValue(file, "Settings", "SigLocation", "C:\\Temp");
  file = withProfileValue(file, "settings", "Write_Type", "Text & HTML");
  EXPECT_EQ(profileValue(file, "Settings", "siglocation"), QByteArray("C:\\Temp"));
  EXPECT_EQ(profileValue(file, "SETTINGS", "write_type"), QByteArray("Text & HTML"));
}

}  // namespace
}  // namespace qm
