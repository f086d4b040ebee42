// quillmate --print: the draw, the encoding, the failures, and reading beside a running rebuild.
#include "rotation/print.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QStringDecoder>
#include <clocale>
#include <set>

#include "stores/text_store.h"
#include "support/support.h"

namespace qm {
namespace {

struct Printed {
  int status;
  QByteArray out, err;
};

// One call in the locale named, which is restored afterwards.
Printed print(bool html = false, const char* locale = "C.UTF-8") {
  const std::string before = std::setlocale(LC_CTYPE, nullptr);
  EXPECT_TRUE(std::setlocale(LC_CTYPE, locale));
  char *out = nullptr, *err = nullptr;
  size_t outSize = 0, errSize = 0;
  std::FILE *outFile = open_memstream(&out, &outSize), *errFile = open_memstream(&err, &errSize);
  const int status = printComposition(html, outFile, errFile);
  std::fclose(outFile), std::fclose(errFile), std::setlocale(LC_CTYPE, before.c_str());
  Printed printed{status, QByteArray(out, qsizetype(outSize)), QByteArray(err, qsizetype(errSize))};
  std::free(out), std::free(err);
  return printed;
}

// Ticked lists give each of their entries; the others the entry a start shows: the last header,
// the first signature, the last footer. A value that is no 0 or 1 ticks nothing.
TEST(PrintTest, TickedListsDrawEveryEntryTheOthersShowTheStartsEntry) {
  const std::pair<QByteArray, std::set<QByteArray>> cases[] = {
      {"", {"\nH2\nS1\nF2\n"}},
      {"HeadRandom=abc\r\nSigRandom=2\r\nFootRandom=1\r\n", {"\nH2\nS1\nF1\n", "\nH2\nS1\nF2\n"}},
      {"HeadRandom=1\r\nSigRandom=1\r\n",
       {"\nH1\nS1\nF2\n", "\nH1\nS2\nF2\n", "\nH1\nS3\nF2\n", "\nH2\nS1\nF2\n", "\nH2\nS2\nF2\n",
        "\nH2\nS3\nF2\n"}},
  };
  for (const auto& [settings, expected] : cases) {
    test::TempAppDir app;
    app.write("zq.ini", "[Settings]\r\n" + settings);
    app.write("Head.qmd", test::records(100, {"H1", " H2 "}));
    app.write("Sig.qmd", test::records(255, {" S1", "S2", "S3"}));
    app.write("Foot.qmd", test::records(100, {"F1", "F2"}));
    std::set<QByteArray> seen;
    for (int i = 0; i < 200; ++i) seen.insert(print().out);
    EXPECT_EQ(seen, expected) << settings.data();
  }
}

// Every Windows-1252 character in UTF-8, or "?" where the locale has none; CR LF and a lone CR
// end lines with LF; a signature cut where its box cuts it. HTML as ZQ.HTML, with LF.
TEST(PrintTest, TheLocalesEncodingAndLfLineEnds) {
  QByteArray all;
  for (int b = 0x21; b < 0x100; ++b) all += char(b);
  QString unicode = QStringDecoder("windows-1252")(all);
  for (int i = 0; i < unicode.size(); ++i)  // undefined bytes stand for the control of their value
    if (unicode[i] == QChar::ReplacementCharacter) unicode[i] = QChar(0x21 + i);
  const QByteArray ascii = all.left(0x5F) + QByteArray(0x80, '?');
  const QByteArray breaks = "a\r\nb\rc" + QByteArray(246, 'x') + "\r\n";  // cut before its CR
  const std::tuple<QByteArray, bool, const char*, QByteArray> cases[] = {
      {all, false, "C.UTF-8", "\n\n" + unicode.toUtf8() + "\n\n"},
      {all, false, "C", "\n\n" + ascii + "\n\n"},
      {breaks, false, "C.UTF-8", "\n\na\nb\nc" + QByteArray(246, 'x') + "\n\n"},
      {"Zo\xEB\r\nQ", true, "C", "<BR><P><BR>Zo&#235;<BR>Q<BR></P>\n"},
  };
  for (const auto& [signature, html, locale, expected] : cases) {
    test::TempAppDir app;
    app.write("Sig.qmd", test::records(255, {signature}));
    EXPECT_EQ(print(html, locale).out, expected) << locale;
  }
}

// A file that is there but cannot be read: one line naming it, nothing else, at once.
TEST(PrintTest, AnUnreadableFileIsNamedOnStandardError) {
  const std::pair<const char*, const char*> cases[] = {
      {"zq.ini", "Path/File access error"},   // a folder
      {"Sig.qmd", "Path/File access error"},  // a FIFO
      {"Foot.qmd", "Permission denied"},
  };
  for (const auto& [name, reason] : cases) {
    test::TempAppDir app;
    const QString path = app.file(name);
    if (name[0] == 'z') QDir().mkdir(path);
    if (name[0] == 'S') ::mkfifo(QFile::encodeName(path), 0644);
    if (name[0] == 'F') app.write(name, "");
    test::FileHookScope hook([&](auto, const QString& at, auto...) {
      return name[0] == 'F' && at == path ? EACCES : 0;
    });
    const Printed printed = print();
    EXPECT_EQ(
        std::tuple(printed.status, printed.out.toStdString(), printed.err.toStdString()),
        std::tuple(1, "",
                   ("quillmate: " + QFile::encodeName(path) + ": " + reason + "\n").toStdString()));
  }
}

// Beside an instance that rebuilds the store over and over (a removal renames a new file into
// place, an append writes in place), every call reads one whole state and writes nothing.
TEST(PrintTest, ReadsOneStateWhileAnInstanceRebuildsAndWritesNothing) {
  test::TempAppDir app;
  app.write("zq.ini", "[Settings]\r\nSigRandom=1\r\n");
  app.write("Sig.qmd", test::records(255, {"A", "B", "C"}));
  const pid_t instance = ::fork();
  if (instance == 0)
    for (;;) RemoveRecord(kSignatures, "C"), AppendRecord(kSignatures, "C");
  int calls = 0;
  test::FileHookScope hook([&](platform::FileCall call, auto...) {
    return calls += call != platform::FileCall::Open, 0;
  });
  std::set<QByteArray> seen;
  for (int i = 0; i < 2000; ++i) seen.insert(print().out);
  ::kill(instance, SIGKILL), ::waitpid(instance, nullptr, 0);
  seen.erase("\n\nA\n\n"), seen.erase("\n\nB\n\n"), seen.erase("\n\nC\n\n");
  EXPECT_EQ(seen, std::set<QByteArray>());
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(QDir(app.path()).entryList({"Head.qmd", "Foot.qmd"}), QStringList());
}

}  // namespace
}  // namespace qm
