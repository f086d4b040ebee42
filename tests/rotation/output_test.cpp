// The signature files as the mail program finds them.
#include "rotation/output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include "startup/settings.h"
#include "support/support.h"

namespace qm {
namespace {

using test::ScriptedMsgBox;
using test::TempAppDir;

const ShownEntries kShown = {"Hi", " Line one\r\nLine two ", "Bye"};
const QByteArray kText = "\r\nHi\r\nLine one\r\nLine two\r\nBye\r\n";
const QByteArray kHtml = "<BR><P>Hi<BR>Line one<BR>Line two<BR>Bye</P>\r\n";

QStringList entries(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Points SigLocation at `folder` (bytes after the application directory) and writes.
void writeInto(const TempAppDir& app, const QByteArray& writeType, const QByteArray& folder) {
  app.write("zq.ini", "[Settings]\r\nSigLocation=" + QFile::encodeName(app.path()) + folder +
                          "\r\nWrite_Type=Text\r\n");
  ModSig.WriteType = writeType;
  OutputSig(kShown);
}

TEST(OutputTest, TheKindChoosesTheFiles) {
  const std::pair<QByteArray, QStringList> kinds[] = {
      {"Text", {"ZQ.txt"}},
      {"HTML", {"ZQ.HTML"}},
      {"Text & HTML", {"ZQ.HTML", "ZQ.rtf", "ZQ.txt"}},
      {"", {}},
      {"html", {}},
      {"Text ", {}},
  };
  for (const auto& [kind, files] : kinds) {
    TempAppDir app;
    QDir(app.path()).mkdir("out");
    ScriptedMsgBox boxes;
    writeInto(app, kind, "/out");
    EXPECT_EQ(entries(app.file("out")), files) << kind.data();
    for (const QString& file : files) {
      EXPECT_EQ(app.read("out/" + file), file == "ZQ.HTML" ? kHtml : kText) << file.toStdString();
    }
  }
}

TEST(OutputTest, FilesAreReplacedWholeUnderTheNameTheyHave) {
  TempAppDir app;
  QDir(app.path()).mkdir("out");
  app.write("out/zq.TXT", QByteArray(4000, 'o'));
  app.write("out/Zq.Html", "old");
  // A reader that opened the old file, here a second link to it, keeps seeing it whole.
  ASSERT_EQ(::link(QFile::encodeName(app.file("out/zq.TXT")), QFile::encodeName(app.file("held"))),
            0);
  ScriptedMsgBox boxes;
  writeInto(app, "Text & HTML", "/out");
  EXPECT_EQ(app.read("held"), QByteArray(4000, 'o'));
  EXPECT_EQ(entries(app.file("out")), QStringList({"ZQ.rtf", "Zq.Html", "zq.TXT"}));
  EXPECT_EQ(app.read("out/zq.TXT"), kText);
  EXPECT_EQ(app.read("out/Zq.Html"), kHtml);
}

// Folders of any name; one that an earlier build stored as Windows-1252 text still is found.
TEST(OutputTest, TheFolderIsTheFileSystemsBytes) {
  const std::pair<QString, QByteArray> folders[] = {
      {"/\u041f\u043e\u0434 \U0001F4E7", "/\xd0\x9f\xd0\xbe\xd0\xb4 \xf0\x9f\x93\xa7"},
      {"/Caf\u00e9 old", "/Caf\xe9 old"},
  };
  for (const auto& [folder, stored] : folders) {
    TempAppDir app;
    ASSERT_TRUE(QDir().mkdir(app.path() + folder));
    ScriptedMsgBox boxes;
    writeInto(app, "Text", stored);
    EXPECT_EQ(app.read(folder.mid(1) + "/ZQ.txt"), kText) << stored.data();
  }
}

TEST(OutputTest, AMissingOrRelativeFolderIsPathNotFound) {
  for (const QByteArray folder : {"/missing", "", "?"}) {
    TempAppDir app;
    ScriptedMsgBox boxes{vbAbort};
    app.write("zq.ini",
              folder == "?"
                  ? ""
                  : "[Settings]\r\nSigLocation=" +
                        (folder.isEmpty() ? "rel" : QFile::encodeName(app.path()) + folder) +
                        "\r\n");
    ModSig.WriteType = "Text & HTML";
    OutputSig(kShown);
    ASSERT_EQ(boxes.shown().size(), 1u);  // Abort ends the output at its first file
    test::expectFailureBox(boxes.shown()[0], 76, "Path not found", "OutputSig");
    EXPECT_EQ(entries(app.path()), QStringList{"zq.ini"});
  }
}

}  // namespace
}  // namespace qm
