// The signature files as the mail program finds them.
#include "rotation/output.h"

#include <unistd.h>

#include <QDir>

#include "support/support.h"

namespace qm {
namespace {

const ShownEntries kShown = {"Hi", " Line one\r\nLine two ", "Bye"};
const QByteArray kText = "\r\nHi\r\nLine one\r\nLine two\r\nBye\r\n";
const QByteArray kHtml = "<BR><P>Hi<BR>Line one<BR>Line two<BR>Bye</P>\r\n";
const QByteArray kOld(4000, 'o');

// Writes with SigLocation at `folder`: bytes after the application folder, or "rel" alone.
void writeInto(const test::TempAppDir& app, const QByteArray& kind, const QByteArray& folder) {
  const QByteArray dir = folder == "rel" ? folder : QFile::encodeName(app.path()) + folder;
  app.write("zq.ini", "[Settings]\r\nSigLocation=" + dir + "\r\nWrite_Type=Text\r\n");
  ModSig.WriteType = kind;
  OutputSig(kShown);
}

// An existing zq.TXT is the text file, replaced whole: a reader that opened the old one (here a
// second link to it) keeps it.
TEST(OutputTest, TheKindChoosesTheFiles) {
  const std::pair<QByteArray, QStringList> kinds[] = {
      {"Text", {"zq.TXT"}},
      {"HTML", {"ZQ.HTML", "zq.TXT"}},
      {"Text & HTML", {"ZQ.HTML", "ZQ.rtf", "zq.TXT"}},
      {"", {"zq.TXT"}},
      {"html", {"zq.TXT"}},
      {"Text ", {"zq.TXT"}}};
  for (const auto& [kind, files] : kinds) {
    test::TempAppDir app;
    QDir(app.path()).mkdir("out");
    app.write("out/zq.TXT", kOld);
    ASSERT_EQ(
        ::link(QFile::encodeName(app.file("out/zq.TXT")), QFile::encodeName(app.file("held"))), 0);
    writeInto(app, kind, "/out");
    EXPECT_EQ(QDir(app.file("out")).entryList(QDir::Files | QDir::Hidden, QDir::Name), files);
    const bool text = kind.startsWith("Text") && !kind.endsWith(' ');
    EXPECT_EQ(app.read("out/zq.TXT"), text ? kText : kOld) << kind.data();
    EXPECT_EQ(app.read("out/ZQ.rtf"), files.contains("ZQ.rtf") ? kText : "");
    EXPECT_EQ(app.read("out/ZQ.HTML"), files.contains("ZQ.HTML") ? kHtml : "");
    EXPECT_EQ(app.read("held"), kOld);
  }
}

// Folders of any name; one that an earlier build stored as Windows-1252 text still is found.
TEST(OutputTest, TheFolderIsTheFileSystemsBytes) {
  const std::pair<QString, QByteArray> folders[] = {
      {"\u041f\u043e\u0434 \U0001F4E7", "/\xd0\x9f\xd0\xbe\xd0\xb4 \xf0\x9f\x93\xa7"},
      {"Caf\u00e9 old", "/Caf\xe9 old"}};
  for (const auto& [folder, stored] : folders) {
    test::TempAppDir app;
    QDir(app.path()).mkdir(folder);
    writeInto(app, "Text", stored);
    EXPECT_EQ(app.read(folder + "/ZQ.txt"), kText);
  }
  for (const QByteArray folder : {"/missing", "rel"}) {
    test::TempAppDir app;
    test::ScriptedMsgBox boxes{vbAbort};  // Abort ends the output at its first file
    writeInto(app, "Text & HTML", folder);
    test::expectFailureBox(boxes.shown.at(0), 76, "Path not found", "OutputSig");
    EXPECT_EQ(QDir(app.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"zq.ini"});
  }
}

}  // namespace
}  // namespace qm
