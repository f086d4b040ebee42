#include "startup/utility.h"

#include <gtest/gtest.h>

#include <QDir>

#include "support/temp_app_dir.h"

namespace qm {
namespace {

using test::TempAppDir;

TEST(UtilityTest, MissingFileSectionOrKeyReadsAsTheDefault) {
  TempAppDir app;
  const QString ini = app.file("zq.ini");
  EXPECT_EQ(sGetINI(ini, "Settings", "Interval", "?"), QByteArray("?"));
  app.write("zq.ini", "[Other]\r\nInterval=3\r\n");
  EXPECT_EQ(sGetINI(ini, "Settings", "Interval", "?"), QByteArray("?"));
  app.write("zq.ini", "[Settings]\r\nfileloc=3\r\n");
  EXPECT_EQ(sGetINI(ini, "Settings", "Interval", "?"), QByteArray("?"));
}

TEST(UtilityTest, LongValuesAreCutTo254Characters) {
  TempAppDir app;
  const QByteArray value(300, 'x');
  app.write("zq.ini", "[Settings]\r\nSigLocation=" + value + "\r\n");
  EXPECT_EQ(sGetINI(app.file("zq.ini"), "Settings", "siglocation", "?"), value.left(254));
}

TEST(UtilityTest, AFileNameInOtherLetterCaseIsTheSameFile) {
  TempAppDir app;
  app.write("ZQ.INI", "[Settings]\r\nInterval=2\r\n");
  EXPECT_EQ(sGetINI(app.file("zq.ini"), "Settings", "Interval", "?"), QByteArray("2"));
  writeINI(app.file("zq.ini"), "Settings", "Interval", "4");
  EXPECT_EQ(QDir(app.path()).entryList(QDir::Files), QStringList{"ZQ.INI"});
  EXPECT_EQ(app.read("ZQ.INI"), QByteArray("[Settings]\r\nInterval=4\r\n"));
}

TEST(UtilityTest, WritesReplaceTheFileAndLeaveNothingElse) {
  TempAppDir app;
  writeINI(app.file("zq.ini"), "settings", "fileloc", "/tmp");
  writeINI(app.file("zq.ini"), "Settings", "Interval", "6");
  EXPECT_EQ(app.read("zq.ini"), QByteArray("[settings]\r\nfileloc=/tmp\r\nInterval=6\r\n"));
  EXPECT_EQ(QDir(app.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"zq.ini"});
}

TEST(UtilityTest, WritesThatCannotBeDoneAreSilentlyLost) {
  TempAppDir app;
  const QString missingDir = app.file("gone/zq.ini");
  writeINI(missingDir, "Settings", "Interval", "6");
  EXPECT_FALSE(QFileInfo::exists(missingDir));
  EXPECT_EQ(sGetINI(missingDir, "Settings", "Interval", "?"), QByteArray("?"));

  // A directory in the settings file's place reads as missing and is left alone.
  ASSERT_TRUE(QDir(app.path()).mkdir("zq.ini"));
  writeINI(app.file("zq.ini"), "Settings", "Interval", "6");
  EXPECT_TRUE(QFileInfo(app.file("zq.ini")).isDir());
  EXPECT_EQ(sGetINI(app.file("zq.ini"), "Settings", "Interval", "?"), QByteArray("?"));
}

}  // namespace
}  // namespace qm
