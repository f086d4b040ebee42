// quillmate --print: the draw, the encoding, the failures, and reading beside a running rebuild.
#include "rotation/print.h"

#include <sys/stat.h>

#include <QStringDecoder>
#include <clocale>
#include <set>

#include "stores/text_store.h"
#include "support/support.h"

namespace qm {
// One call in the locale named, restored afterwards: status, standard output, standard error.
std::tuple<int, QByteArray, QByteArray> print(bool html = false, const char* locale = "C.UTF-8") {
  const std::string before = std::setlocale(LC_CTYPE, nullptr);
  EXPECT_TRUE(std::setlocale(LC_CTYPE, locale));
  char* text[2] = {};
  size_t size[2] = {};
  std::FILE *out = open_memstream(&text[0], &size[0]), *err = open_memstream(&text[1], &size[1]);
  const int status = printComposition(html, out, err);
  std::fclose(out), std::fclose(err), std::setlocale(LC_CTYPE, before.c_str());
  QByteArray got[2];
  for (int i : {0, 1}) got[i] = QByteArray(text[i], qsizetype(size[i])), std::free(text[i]);
  return {status, got[0], got[1]};
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
    for (int i = 0; i < 200; ++i) seen.insert(std::get<1>(print()));
    EXPECT_EQ(seen, expected) << settings.data();
  }
}

// Windows-1252 in UTF-8, else "?"; CR LF and lone CR become LF; cut as its box cuts; HTML with LF.
TEST(PrintTest, TheLocalesEncodingAndLfLineEnds) {
  QByteArray all;
  for (int b = 0x21; b < 0x100; ++b) all += char(b);
  QString unicode = QStringDecoder("windows-1252")(all);
  for (int i = 0; i < unicode.size(); ++i)  // undefined bytes stand for the control of their value
    if (unicode[i] == QChar::ReplacementCharacter) unicode[i] = QChar(0x21 + i);
  const QByteArray ascii = all.left(0x5F) + QByteArray(0x80, '?'),
                   breaks = "a\r\nb\rc" + QByteArray(246, 'x') + "\r\n";  // cut before its CR
  const std::tuple<QByteArray, bool, const char*, QByteArray> cases[] = {
      {all, false, "C.UTF-8", "\n\n" + unicode.toUtf8() + "\n\n"},
      {all, false, "C", "\n\n" + ascii + "\n\n"},
      {breaks, false, "C.UTF-8", "\n\na\nb\nc" + QByteArray(246, 'x') + "\n\n"},
      {"Zo\xEB\r\nQ", true, "C", "<BR><P><BR>Zo&#235;<BR>Q<BR></P>\n"},
  };
  for (const auto& [signature, html, locale, expected] : cases) {
    test::TempAppDir app;
    app.write("Sig.qmd", test::records(255, {signature}));
    EXPECT_EQ(std::get<1>(print(html, locale)), expected) << locale;
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
    EXPECT_EQ(print(),
              std::tuple(1, "", "quillmate: " + QFile::encodeName(path) + ": " + reason + "\n"));
  }
}

// Beside an instance rebuilding (by rename) and appending (in place), one whole state, no writes.
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
  for (int i = 0; i < 2000; ++i) seen.insert(std::get<1>(print()));
  ::kill(instance, SIGKILL), ::waitpid(instance, nullptr, 0);
  for (const char* whole : {"\n\nA\n\n", "\n\nB\n\n", "\n\nC\n\n"}) seen.erase(whole);
  EXPECT_EQ(std::tuple(seen, calls, QDir(app.path()).entryList({"Head.qmd", "Foot.qmd"})),
            std::tuple(std::set<QByteArray>(), 0, QStringList()));
}
}  // namespace qm
