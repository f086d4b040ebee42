#include "rotation/output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>
#include <vector>

#include "common/msgbox.h"
#include "startup/settings.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"

namespace qm {
namespace {

using test::ScriptedMsgBox;
using test::TempAppDir;

const QStringList kAllThree = {"ZQ.HTML", "ZQ.rtf", "ZQ.txt"};

const ShownEntries kExample = {"Hello", "Line one\r\nLine two", "Bye"};
const QByteArray kExampleText = "\r\nHello\r\nLine one\r\nLine two\r\nBye\r\n";
const QByteArray kExampleHtml = "<BR><P>Hello<BR>Line one<BR>Line two<BR>Bye</P>\r\n";

const QString kPathNotFound =
    QStringLiteral("Error 76: \r\nPath not found\r\n\t\toccurred at line ");
const QString kAccessError =
    QStringLiteral("Error 75: \r\nPath/File access error\r\n\t\toccurred at line ");
const QString kBoxEnd = QStringLiteral("\r\nin Quillmate: OutputSig");

// Everything in a directory, temporary and hidden files included, sorted by code point.
QStringList entries(const QString& dir) {
  QStringList names =
      QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  names.sort(Qt::CaseSensitive);
  return names;
}

QByteArray readFile(const QString& path) {
  QFile in(path);
  EXPECT_TRUE(in.open(QIODevice::ReadOnly)) << path.toStdString();
  return in.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile out(path);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly)) << path.toStdString();
  out.write(bytes);
}

// The line number a failure box names.
int boxLine(const QString& prompt) {
  const qsizetype at = prompt.indexOf(QStringLiteral("occurred at line ")) + 17;
  return prompt.mid(at, prompt.indexOf(QStringLiteral("\r\n"), at) - at).toInt();
}

void expectFailureBox(const test::ShownBox& box, const QString& start) {
  EXPECT_EQ(box.kind, MsgKind::Failure);
  EXPECT_EQ(box.title, QStringLiteral("Quillmate Error"));
  EXPECT_TRUE(box.prompt.startsWith(start)) << box.prompt.toStdString();
  EXPECT_TRUE(box.prompt.endsWith(kBoxEnd)) << box.prompt.toStdString();
  EXPECT_GT(boxLine(box.prompt), 0) << box.prompt.toStdString();
}

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ModSig.IniPath = app.file("zq.ini");
    ModSig.WriteType = "Text & HTML";
    pointTo("sigs");
  }

  // Stores the directory as siglocation and makes it, unless told not to.
  void pointTo(const QString& sub, bool create = true) {
    dir = app.file(sub);
    if (create) {
      ASSERT_TRUE(QDir().mkpath(dir));
    }
    app.write("zq.ini", "[Settings]\r\nInterval=2\r\nSigLocation=" + QFile::encodeName(dir) +
                            "\r\nWrite_Type=Text\r\n");
  }

  QString out(const QString& name) const { return QDir(dir).filePath(name); }
  QByteArray read(const QString& name) const { return readFile(out(name)); }
  QStringList files() const { return entries(dir); }

  // Each of these files holds its form of the worked example.
  void expectExample(const QStringList& written, const char* name) const {
    for (const QString& file : written) {
      EXPECT_EQ(read(file), file == "ZQ.HTML" ? kExampleHtml : kExampleText)
          << name << ": " << file.toStdString();
    }
  }

  TempAppDir app;
  QString dir;
};

TEST_F(OutputTest, TheWorkedExample) {
  ScriptedMsgBox boxes;
  OutputSig(kExample);
  EXPECT_EQ(files(), kAllThree);
  EXPECT_EQ(read("ZQ.txt"), kExampleText);
  EXPECT_EQ(read("ZQ.rtf"), kExampleText);
  EXPECT_EQ(read("ZQ.HTML"), kExampleHtml);
  EXPECT_EQ(ModSig.SigDir, QFile::encodeName(dir));
}

struct FormCase {
  const char* name;
  ShownEntries shown;
  QByteArray text;
  QByteArray html;
};

TEST_F(OutputTest, ComposedForms) {
  const FormCase cases[] = {
      {"records with their filling spaces",
       {"Hello" + QByteArray(95, ' '), "  Line one\r\nLine two" + QByteArray(233, ' '),
        " Bye" + QByteArray(96, ' ')},
       kExampleText,
       kExampleHtml},
      {"empty header and footer", {"", "S", ""}, "\r\n\r\nS\r\n\r\n", "<BR><P><BR>S<BR></P>\r\n"},
      {"only spaces everywhere",
       {QByteArray(100, ' '), QByteArray(253, ' '), " "},
       "\r\n\r\n\r\n\r\n",
       "<BR><P><BR><BR></P>\r\n"},
      {"tabs and line breaks at the ends stay",
       {"\tHi ", " \r\nS\t", "\r\nBye\t  "},
       "\r\n\tHi\r\n\r\nS\t\r\n\r\nBye\t\r\n",
       "<BR><P>\tHi<BR><BR>S\t<BR>\r\nBye\t</P>\r\n"},
      {"header and footer keep their CR LF",
       {"Dear\r\nall", "S", "F\r\nG"},
       "\r\nDear\r\nall\r\nS\r\nF\r\nG\r\n",
       "<BR><P>Dear\r\nall<BR>S<BR>F\r\nG</P>\r\n"},
      {"lone LF", {"H", "a\nb", "F"}, "\r\nH\r\na\nb\r\nF\r\n", "<BR><P>H<BR>a\nb<BR>F</P>\r\n"},
      {"lone CR", {"H", "a\rb", "F"}, "\r\nH\r\na\rb\r\nF\r\n", "<BR><P>H<BR>a\rb<BR>F</P>\r\n"},
      {"LF CR is no pair",
       {"H", "a\n\rb", "F"},
       "\r\nH\r\na\n\rb\r\nF\r\n",
       "<BR><P>H<BR>a\n\rb<BR>F</P>\r\n"},
      {"CR before a pair",
       {"H", "a\r\r\nb", "F"},
       "\r\nH\r\na\r\r\nb\r\nF\r\n",
       "<BR><P>H<BR>a\r<BR>b<BR>F</P>\r\n"},
      {"LF after a pair",
       {"H", "a\r\n\nb", "F"},
       "\r\nH\r\na\r\n\nb\r\nF\r\n",
       "<BR><P>H<BR>a<BR>\nb<BR>F</P>\r\n"},
      {"pairs at both ends",
       {"H", "\r\n\r\nS\r\n", "F"},
       "\r\nH\r\n\r\n\r\nS\r\n\r\nF\r\n",
       "<BR><P>H<BR><BR><BR>S<BR><BR>F</P>\r\n"},
      {"markup passes through",
       {"<b>Hi</b>", "Tom & Jerry <i>x</i> &amp; &lt; >", "a<b"},
       "\r\n<b>Hi</b>\r\nTom & Jerry <i>x</i> &amp; &lt; >\r\na<b\r\n",
       "<BR><P><b>Hi</b><BR>Tom & Jerry <i>x</i> &amp; &lt; ><BR>a<b</P>\r\n"},
      {"accents and the euro sign",
       {"Caf\xE9", "Zo\xEB\r\n\x80 5", "\x80\xFF"},
       "\r\nCaf\xE9\r\nZo\xEB\r\n\x80 5\r\n\x80\xFF\r\n",
       "<BR><P>Caf&#233;<BR>Zo&#235;<BR>&#8364; 5<BR>&#8364;&#255;</P>\r\n"},
      {"no-break spaces are not trimmed",
       {"\xA0Hi\xA0 ", "S", " \xA0"},
       "\r\n\xA0Hi\xA0\r\nS\r\n\xA0\r\n",
       "<BR><P>&#160;Hi&#160;<BR>S<BR>&#160;</P>\r\n"},
      {"the other high controls and an undefined byte",
       {"\x9F", "\x99\x93\x94", "\x81"},
       "\r\n\x9F\r\n\x99\x93\x94\r\n\x81\r\n",
       "<BR><P>&#376;<BR>&#8482;&#8220;&#8221;<BR>&#129;</P>\r\n"},
  };
  for (const FormCase& c : cases) {
    ScriptedMsgBox boxes;
    OutputSig(c.shown);
    EXPECT_EQ(files(), kAllThree) << c.name;
    EXPECT_EQ(read("ZQ.txt"), c.text) << c.name;
    EXPECT_EQ(read("ZQ.rtf"), c.text) << c.name;
    EXPECT_EQ(read("ZQ.HTML"), c.html) << c.name;
  }
}

struct WriteTypeCase {
  QByteArray writeType;
  QStringList written;
};

const WriteTypeCase kWriteTypes[] = {
    {"Text", {"ZQ.txt"}}, {"HTML", {"ZQ.HTML"}}, {"Text & HTML", kAllThree}, {"", {}},
    {"text", {}},         {"html", {}},          {"Text & html", {}},        {"Text ", {}},
    {" HTML", {}},        {"Text&HTML", {}},
};

TEST_F(OutputTest, WriteTypeChoosesTheFiles) {
  for (const WriteTypeCase& c : kWriteTypes) {
    TempAppDir fresh;
    ModSig.IniPath = fresh.file("zq.ini");
    ModSig.WriteType = c.writeType;
    dir = fresh.file("out");
    ASSERT_TRUE(QDir().mkpath(dir));
    fresh.write("zq.ini", "[Settings]\r\nSigLocation=" + QFile::encodeName(dir) + "\r\n");
    ScriptedMsgBox boxes;
    OutputSig(kExample);
    EXPECT_EQ(files(), c.written) << c.writeType.constData();
    expectExample(c.written, c.writeType.constData());
  }
}

TEST_F(OutputTest, NoOutputMeansNoFailureEvenWithoutADirectory) {
  for (const QByteArray writeType : {"", "text", "Other"}) {
    ModSig.WriteType = writeType;
    pointTo("missing", false);
    ScriptedMsgBox boxes;  // any box fails the test
    OutputSig(kExample);
    EXPECT_FALSE(QFileInfo::exists(dir)) << writeType.constData();
  }
}

struct SwitchCase {
  QByteArray second;
  QStringList changed;
};

TEST_F(OutputTest, FilesOfAKindNotWrittenNowAreLeftAlone) {
  const SwitchCase cases[] = {
      {"HTML", {"ZQ.HTML"}},
      {"Text", {"ZQ.txt"}},
      {"", {}},
  };
  const ShownEntries later = {"Later", "New", "End"};
  const QByteArray laterText = "\r\nLater\r\nNew\r\nEnd\r\n";
  const QByteArray laterHtml = "<BR><P>Later<BR>New<BR>End</P>\r\n";
  for (const SwitchCase& c : cases) {
    ScriptedMsgBox boxes;
    ModSig.WriteType = "Text & HTML";
    OutputSig(kExample);
    ModSig.WriteType = c.second;
    OutputSig(later);
    const char* name = c.second.constData();
    EXPECT_EQ(files(), kAllThree) << name;
    EXPECT_EQ(read("ZQ.txt"), c.changed.contains("ZQ.txt") ? laterText : kExampleText) << name;
    EXPECT_EQ(read("ZQ.rtf"), kExampleText) << name;
    EXPECT_EQ(read("ZQ.HTML"), c.changed.contains("ZQ.HTML") ? laterHtml : kExampleHtml) << name;
  }
}

TEST_F(OutputTest, TheDirectoryIsReadAfreshAtEveryCall) {
  ScriptedMsgBox boxes;
  const QString first = dir;
  ModSig.WriteType = "Text";
  OutputSig(kExample);
  EXPECT_EQ(ModSig.SigDir, QFile::encodeName(first));

  pointTo("second");
  ModSig.SigDir = QFile::encodeName(first);  // memory still names the old directory
  OutputSig({"", "Two", ""});
  EXPECT_EQ(ModSig.SigDir, QFile::encodeName(dir));
  EXPECT_EQ(read("ZQ.txt"), "\r\n\r\nTwo\r\n\r\n");
  EXPECT_EQ(readFile(first + "/ZQ.txt"), kExampleText);
  EXPECT_EQ(entries(first), QStringList{"ZQ.txt"});
}

TEST_F(OutputTest, AFileNamedInOtherLetterCaseIsTheOneWritten) {
  ScriptedMsgBox boxes;
  writeFile(out("zq.TXT"), "old text");
  writeFile(out("Zq.Html"), "old html");
  writeFile(out("zq.RTF"), "old rtf");
  OutputSig(kExample);
  EXPECT_EQ(files(), QStringList({"Zq.Html", "zq.RTF", "zq.TXT"}));
  EXPECT_EQ(read("zq.TXT"), kExampleText);
  EXPECT_EQ(read("zq.RTF"), kExampleText);
  EXPECT_EQ(read("Zq.Html"), kExampleHtml);
}

TEST_F(OutputTest, EachFileIsReplacedNotRewrittenInPlace) {
  ScriptedMsgBox boxes;
  const QByteArray old = QByteArray(4000, 'o') + "\r\n";
  for (const QString& name : kAllThree) writeFile(out(name), old);
  // A reader that opened the old file, here a second link to it, keeps seeing it whole.
  const QString held = app.file("held");
  ASSERT_EQ(
      ::link(QFile::encodeName(out("ZQ.txt")).constData(), QFile::encodeName(held).constData()), 0);
  OutputSig(kExample);
  EXPECT_EQ(readFile(held), old);
  EXPECT_EQ(read("ZQ.txt"), kExampleText);
  EXPECT_EQ(read("ZQ.rtf"), kExampleText);
  EXPECT_EQ(read("ZQ.HTML"), kExampleHtml);
  EXPECT_EQ(files(), kAllThree);  // no temporary file is left behind
}

struct FolderNameCase {
  const char* name;
  QString folder;     // as the file system names it
  QByteArray stored;  // as zq.ini holds it, after the application directory
};

// A folder of any name is where the files go; one that an earlier build stored as Windows-1252
// text still is.
TEST_F(OutputTest, TheDirectoryIsTheFileSystemsBytes) {
  const FolderNameCase cases[] = {
      {"Cyrillic", QStringLiteral("\u041f\u043e\u0434\u043f\u0438\u0441\u0438"),
       "\xd0\x9f\xd0\xbe\xd0\xb4\xd0\xbf\xd0\xb8\xd1\x81\xd0\xb8"},
      {"CJK and emoji", QStringLiteral("\u7f72\u540d \U0001F4E7"),
       "\xe7\xbd\xb2\xe5\x90\x8d \xf0\x9f\x93\xa7"},
      {"Latin-1, stored as the file system names it", QStringLiteral("Caf\u00e9"), "Caf\xc3\xa9"},
      {"Latin-1, stored by an earlier build", QStringLiteral("Caf\u00e9 old"), "Caf\xe9 old"},
  };
  ModSig.WriteType = "Text";
  for (const FolderNameCase& c : cases) {
    ASSERT_TRUE(QDir(app.path()).mkdir(c.folder)) << c.name;
    app.write("zq.ini", "[Settings]\r\nSigLocation=" + QFile::encodeName(app.path()) + '/' +
                            c.stored + "\r\n");
    ScriptedMsgBox boxes;
    OutputSig(kExample);
    EXPECT_TRUE(boxes.shown().empty()) << c.name;
    EXPECT_EQ(readFile(app.file(c.folder + "/ZQ.txt")), kExampleText) << c.name;
  }
}

struct MissingCase {
  const char* name;
  std::optional<QByteArray> ini;  // none: no settings file
  QByteArray sigDir;
};

TEST_F(OutputTest, AMissingDirectoryIsPathNotFound) {
  const QString missing = app.file("missing");
  const QByteArray stored = QFile::encodeName(missing);
  const MissingCase cases[] = {
      {"missing directory", "[Settings]\r\nSigLocation=" + stored + "\r\n", stored},
      {"no siglocation key", "[Settings]\r\nWrite_Type=Text\r\n", "?"},
      {"no settings file", std::nullopt, "?"},
      // A relative directory would land wherever the program was started.
      {"empty directory", "[Settings]\r\nSigLocation=\r\n", ""},
      {"relative directory", "[Settings]\r\nSigLocation=.\r\n", "."},
  };
  for (const MissingCase& c : cases) {
    ModSig.WriteType = "Text";
    QFile::remove(app.file("zq.ini"));
    if (c.ini) app.write("zq.ini", *c.ini);
    ScriptedMsgBox boxes{vbAbort};
    OutputSig(kExample);
    ASSERT_EQ(boxes.shown().size(), 1u) << c.name;
    expectFailureBox(boxes.shown()[0], kPathNotFound);
    EXPECT_EQ(ModSig.SigDir, c.sigDir) << c.name;
    EXPECT_FALSE(QFileInfo::exists(missing)) << c.name;
    EXPECT_EQ(files(), QStringList()) << c.name;  // nothing went to the previous directory
  }
}

struct AnswerCase {
  const char* name;
  std::vector<int> answers;
  int makeDirAtBox;  // the box during which the directory appears; 0: never
  QStringList written;
};

TEST_F(OutputTest, AnswersToAMissingDirectory) {
  const AnswerCase cases[] = {
      {"abort stops the call", {vbAbort}, 0, {}},
      {"ignore goes on to each file", {vbIgnore, vbIgnore, vbIgnore}, 0, {}},
      {"retry, retry, abort", {vbRetry, vbRetry, vbAbort}, 0, {}},
      {"retry once the directory is there", {vbRetry}, 1, kAllThree},
      {"retry twice, the second time with the directory", {vbRetry, vbRetry}, 2, kAllThree},
      {"ignore skips the text file only", {vbIgnore}, 1, {"ZQ.HTML", "ZQ.rtf"}},
      {"abort after the directory appeared", {vbAbort}, 1, {}},
  };
  for (const AnswerCase& c : cases) {
    TempAppDir fresh;
    ModSig.IniPath = fresh.file("zq.ini");
    ModSig.WriteType = "Text & HTML";
    dir = fresh.file("later");
    fresh.write("zq.ini", "[Settings]\r\nSigLocation=" + QFile::encodeName(dir) + "\r\n");
    ScriptedMsgBox boxes;
    for (const int answer : c.answers) boxes.answer({answer});
    boxes.whileShown = [&] {
      if (static_cast<int>(boxes.shown().size()) == c.makeDirAtBox) QDir().mkpath(dir);
    };
    OutputSig(kExample);
    ASSERT_EQ(boxes.shown().size(), c.answers.size()) << c.name;
    for (const test::ShownBox& box : boxes.shown()) expectFailureBox(box, kPathNotFound);
    EXPECT_EQ(QFileInfo::exists(dir), c.makeDirAtBox > 0) << c.name;
    EXPECT_EQ(files(), c.written) << c.name;
    expectExample(c.written, c.name);

    // Retry repeats the failing statement; Ignore moves to another one.
    std::vector<int> lines;
    for (const test::ShownBox& box : boxes.shown()) lines.push_back(boxLine(box.prompt));
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const bool sameStatement = c.answers[i - 1] == vbRetry;
      EXPECT_EQ(lines[i] == lines[i - 1], sameStatement) << c.name << ", box " << i + 1;
    }
  }
}

struct BlockedCase {
  const char* blocked;  // a directory in this file's place
  int answer;
  QStringList whileShown;  // files written when the box comes up
  QStringList after;
};

// The order of writes shows in which files exist when one of them fails.
TEST_F(OutputTest, FilesWrittenBeforeAFailureStayWritten) {
  const BlockedCase cases[] = {
      {"ZQ.txt", vbAbort, {}, {}},
      {"ZQ.txt", vbIgnore, {}, {"ZQ.HTML", "ZQ.rtf"}},
      {"ZQ.HTML", vbAbort, {"ZQ.txt"}, {"ZQ.txt"}},
      {"ZQ.HTML", vbIgnore, {"ZQ.txt"}, {"ZQ.rtf", "ZQ.txt"}},
      {"zq.rtf", vbAbort, {"ZQ.HTML", "ZQ.txt"}, {"ZQ.HTML", "ZQ.txt"}},
      {"zq.rtf", vbIgnore, {"ZQ.HTML", "ZQ.txt"}, {"ZQ.HTML", "ZQ.txt"}},
  };
  for (const BlockedCase& c : cases) {
    TempAppDir fresh;
    ModSig.IniPath = fresh.file("zq.ini");
    ModSig.WriteType = "Text & HTML";
    dir = fresh.file("out");
    ASSERT_TRUE(QDir().mkpath(QDir(dir).filePath(c.blocked)));
    fresh.write("zq.ini", "[Settings]\r\nSigLocation=" + QFile::encodeName(dir) + "\r\n");
    ScriptedMsgBox boxes{c.answer};
    QStringList seen;
    boxes.whileShown = [&] {
      seen = files();
      seen.removeOne(c.blocked);
    };
    OutputSig(kExample);
    ASSERT_EQ(boxes.shown().size(), 1u) << c.blocked;
    expectFailureBox(boxes.shown()[0], kAccessError);
    EXPECT_EQ(seen, c.whileShown) << c.blocked << " " << c.answer;
    QStringList after = files();
    after.removeOne(c.blocked);
    EXPECT_EQ(after, c.after) << c.blocked << " " << c.answer;
    EXPECT_TRUE(QFileInfo(QDir(dir).filePath(c.blocked)).isDir());
  }
}

}  // namespace
}  // namespace qm
