#include "stores/text_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <vector>

#include "common/failure.h"
#include "platform/files.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"

namespace qm {
namespace {

using test::ScriptedMsgBox;
using test::TempAppDir;

// The bytes of a store holding these texts, each padded to the record length.
QByteArray records(int length, const std::vector<QByteArray>& texts) {
  QByteArray bytes;
  for (const QByteArray& text : texts) bytes += text + QByteArray(length - text.size(), ' ');
  return bytes;
}

class TextStoreTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::setFileHookForTest({}); }

  QStringList files() const {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
  }

  TempAppDir dir;
};

TEST_F(TextStoreTest, AnEmptyOrMissingStoreCountsZeroAndLeavesAnEmptyFile) {
  EXPECT_EQ(CountRecords(kHeaders), 0);
  EXPECT_EQ(dir.read("Head.qmd"), QByteArray());
  dir.write("Sig.qmd", {});
  EXPECT_EQ(CountRecords(kSignatures), 0);
  EXPECT_EQ(files(), QStringList({"Head.qmd", "Sig.qmd"}));
}

TEST_F(TextStoreTest, AnAppendOverwritesATrailingRemainder) {
  const QByteArray old(530, 'x');
  dir.write("Sig.qmd", old);
  EXPECT_EQ(CountRecords(kSignatures), 2);
  AppendRecord(kSignatures, "New");
  const QByteArray file = dir.read("Sig.qmd");
  ASSERT_EQ(file.size(), 765);
  EXPECT_EQ(file.first(510), old.first(510));
  EXPECT_EQ(file.sliced(510), "New" + QByteArray(252, ' '));
  EXPECT_EQ(CountRecords(kSignatures), 3);
}

struct AppendCase {
  const char* name;
  const TextStore& store;
  QByteArray text;
  QByteArray stored;
};

TEST_F(TextStoreTest, AppendCutsOrFillsToTheRecordLength) {
  const QByteArray exact(100, 'h');
  const QByteArray longSig = QByteArray(255, 's') + QByteArray(45, 'z');
  const AppendCase cases[] = {
      {"short header", kHeaders, "Hello", "Hello" + QByteArray(95, ' ')},
      {"header of exactly 100", kHeaders, exact, exact},
      {"signature of 300", kSignatures, longSig, QByteArray(255, 's')},
      {"footer with CR LF and high bytes", kFooters, "Zo\xEB\r\n\x80",
       "Zo\xEB\r\n\x80" + QByteArray(94, ' ')},
      {"empty text", kFooters, "", QByteArray(100, ' ')},
  };
  for (const AppendCase& c : cases) {
    TempAppDir fresh;
    AppendRecord(c.store, c.text);
    EXPECT_EQ(fresh.read(c.store.fileName), c.stored) << c.name;
    EXPECT_EQ(ReadRecord(c.store, 1), c.stored) << c.name;
  }
}

TEST_F(TextStoreTest, WriteRecordReplacesOrLengthens) {
  dir.write("Foot.qmd", records(100, {"A", "B", "C"}));
  WriteRecord(storePath(kFooters), 100, 2, "X");
  EXPECT_EQ(dir.read("Foot.qmd"), records(100, {"A", "X", "C"}));
  EXPECT_EQ(ReadRecord(kFooters, 2), records(100, {"X"}));
  EXPECT_EQ(ReadRecord(kFooters, 3), records(100, {"C"}));
  WriteRecord(storePath(kFooters), 100, 5, "E");
  const QByteArray file = dir.read("Foot.qmd");
  ASSERT_EQ(file.size(), 500);
  EXPECT_EQ(file.sliced(400), records(100, {"E"}));
}

struct FindCase {
  const char* name;
  std::vector<QByteArray> stored;
  QByteArray text;
  std::optional<int> found;
};

TEST_F(TextStoreTest, FindRecord) {
  const FindCase cases[] = {
      {"outer spaces on both sides", {"Hello"}, "  Hello ", 1},
      {"spaces stored before the text", {"A", "   Hello"}, "Hello", 2},
      {"letter case counts", {"Hello"}, "hello", std::nullopt},
      {"a tab is not trimmed", {"\tHello"}, "Hello", std::nullopt},
      {"CR LF is not trimmed", {"Hello\r\n"}, "Hello", std::nullopt},
      {"inner spaces count", {"Hel lo"}, "Hello", std::nullopt},
      {"first of equal records", {"A", "B", "B"}, "B", 2},
      {"empty text finds a blank record", {"A", ""}, "", 2},
      {"empty store", {}, "A", std::nullopt},
  };
  for (const FindCase& c : cases) {
    dir.write("Sig.qmd", records(255, c.stored));
    EXPECT_EQ(FindRecord(kSignatures, c.text), c.found) << c.name;
  }
}

struct RemoveCase {
  const char* name;
  std::optional<QByteArray> before;  // none: no store file
  QByteArray text;
  Removal result;
  std::optional<QByteArray> after;  // none: the store file is gone
};

TEST_F(TextStoreTest, RemoveRecord) {
  const QByteArray partial(7, 'j');
  const RemoveCase cases[] = {
      {"middle", records(100, {"A", "B", "C"}), "B", Removal::Rebuilt, records(100, {"A", "C"})},
      {"all equal ones", records(100, {"A", "B", "B", "C"}), "B", Removal::Rebuilt,
       records(100, {"A", "C"})},
      {"outer spaces ignored", records(100, {" B", "A", "B  "}), "B", Removal::Rebuilt,
       records(100, {"A"})},
      {"no match", records(100, {"A", "C"}), "B", Removal::Rebuilt, records(100, {"A", "C"})},
      {"no match keeps a remainder", records(100, {"A", "C"}) + partial, "B", Removal::Rebuilt,
       records(100, {"A", "C"}) + partial},
      {"a rebuild drops a remainder", records(100, {"A", "B"}) + partial, "B", Removal::Rebuilt,
       records(100, {"A"})},
      {"every record matches", records(100, {"B", "B"}), "B", Removal::Deleted, std::nullopt},
      {"one matching record", records(100, {"B"}), "B", Removal::Deleted, std::nullopt},
      {"one other record", records(100, {"A"}), "B", Removal::Rebuilt, records(100, {"A"})},
      {"empty store", "", "B", Removal::Deleted, std::nullopt},
      {"only a remainder", partial, "B", Removal::Deleted, std::nullopt},
      {"missing store", std::nullopt, "B", Removal::Deleted, std::nullopt},
  };
  for (const RemoveCase& c : cases) {
    TempAppDir fresh;
    ScriptedMsgBox boxes;
    if (c.before) fresh.write("Head.qmd", *c.before);
    EXPECT_EQ(RemoveRecord(kHeaders, c.text), c.result) << c.name;
    const QStringList left = QDir(fresh.path()).entryList(QDir::Files);
    if (c.after) {
      EXPECT_EQ(left, QStringList{"Head.qmd"}) << c.name;
      EXPECT_EQ(fresh.read("Head.qmd"), *c.after) << c.name;
    } else {
      EXPECT_TRUE(left.isEmpty()) << c.name;
    }
  }
}

TEST_F(TextStoreTest, ALeftoverTemporaryFileIsDiscarded) {
  dir.write("Sig.qmd", records(255, {"A", "B", "C"}));
  dir.write("Tmp.qmd", records(255, {"junk", "junk", "junk", "junk"}));
  dir.write("TMP.QMD", records(255, {"junk"}));
  EXPECT_EQ(RemoveRecord(kSignatures, "B"), Removal::Rebuilt);
  EXPECT_EQ(files(), QStringList{"Sig.qmd"});
  EXPECT_EQ(dir.read("Sig.qmd"), records(255, {"A", "C"}));
}

TEST_F(TextStoreTest, AStoreNamedInOtherLetterCaseIsUsed) {
  dir.write("SIG.QMD", records(255, {"A", "B", "C"}));
  EXPECT_EQ(CountRecords(kSignatures), 3);
  EXPECT_EQ(FindRecord(kSignatures, "C"), 3);
  AppendRecord(kSignatures, "D");
  EXPECT_EQ(RemoveRecord(kSignatures, "B"), Removal::Rebuilt);
  EXPECT_EQ(files(), QStringList{"SIG.QMD"});
  EXPECT_EQ(dir.read("SIG.QMD"), records(255, {"A", "C", "D"}));
}

// Fails the first `times` writes of a temporary file that cover record `n` with `err`.
struct Fault {
  int n;
  int times;
  int err = ENOSPC;
  int length = 255;
  int operator()(platform::FileCall call, const QString& path, qint64 offset, qint64 size) {
    const qint64 at = qint64(n - 1) * length;
    const bool covers = call == platform::FileCall::Write &&
                        QFileInfo(path).fileName().startsWith("Tmp") && offset <= at &&
                        at < offset + size;
    return covers && times-- > 0 ? err : 0;
  }
};

struct WriterCase {
  const TextStore& store;
  const char* writer;
};

TEST_F(TextStoreTest, AbortingAFailedTemporaryWriteLeavesTheStoreAsItWas) {
  const WriterCase cases[] = {
      {kHeaders, "MoveHead"}, {kSignatures, "MoveSig"}, {kFooters, "MoveFoot"}};
  for (const WriterCase& c : cases) {
    TempAppDir fresh;
    const QByteArray before = records(c.store.length, {"A", "B", "C", "D"});
    fresh.write(c.store.fileName, before);
    platform::setFileHookForTest(Fault{2, 1, ENOSPC, c.store.length});
    ScriptedMsgBox boxes{vbAbort};
    EXPECT_EQ(RemoveRecord(c.store, "B"), Removal::Abandoned) << c.writer;
    EXPECT_EQ(fresh.read(c.store.fileName), before) << c.writer;
    EXPECT_EQ(QDir(fresh.path()).entryList(QDir::Files), QStringList{c.store.fileName});
    ASSERT_EQ(boxes.shown().size(), 1u) << c.writer;
    const test::ShownBox& box = boxes.shown()[0];
    EXPECT_EQ(box.kind, MsgKind::Failure);
    EXPECT_EQ(box.title, QStringLiteral("Quillmate Error"));
    EXPECT_TRUE(
        box.prompt.startsWith(QStringLiteral("Error 61: \r\nDisk full\r\n\t\toccurred at line ")))
        << box.prompt.toStdString();
    EXPECT_TRUE(box.prompt.endsWith(QStringLiteral("\r\nin Quillmate: ") + c.writer))
        << box.prompt.toStdString();
  }
}

struct AnswerCase {
  const char* name;
  std::vector<int> answers;
  Fault fault;
  Removal result;
  bool rebuilt;
  const char* boxStart;
};

TEST_F(TextStoreTest, AnswersToAFailedTemporaryWrite) {
  const AnswerCase cases[] = {
      {"retry once", {vbRetry}, {2, 1}, Removal::Rebuilt, true, "Error 61: "},
      {"retry twice", {vbRetry, vbRetry}, {2, 2}, Removal::Rebuilt, true, "Error 61: "},
      {"abort", {vbAbort}, {2, 9}, Removal::Abandoned, false, "Error 61: "},
      {"ignore keeps every record", {vbIgnore}, {2, 9}, Removal::Abandoned, false, "Error 61: "},
      {"retry then ignore", {vbRetry, vbIgnore}, {3, 9}, Removal::Abandoned, false, "Error 61: "},
      {"input/output error", {vbAbort}, {1, 9, EIO}, Removal::Abandoned, false, "Error 75: "},
  };
  const QByteArray before = records(255, {"A", "B", "C", "D"});
  for (const AnswerCase& c : cases) {
    TempAppDir fresh;
    fresh.write("Sig.qmd", before);
    platform::setFileHookForTest(c.fault);
    ScriptedMsgBox boxes;
    for (const int answer : c.answers) boxes.answer({answer});
    EXPECT_EQ(RemoveRecord(kSignatures, "B"), c.result) << c.name;
    EXPECT_EQ(fresh.read("Sig.qmd"), c.rebuilt ? records(255, {"A", "C", "D"}) : before) << c.name;
    EXPECT_EQ(QDir(fresh.path()).entryList(QDir::Files), QStringList{"Sig.qmd"}) << c.name;
    EXPECT_EQ(boxes.shown().size(), c.answers.size()) << c.name;
    for (const test::ShownBox& box : boxes.shown()) {
      EXPECT_TRUE(box.prompt.startsWith(c.boxStart)) << c.name;
    }
  }
}

TEST_F(TextStoreTest, RecordNumbersStopAt32767) {
  for (const int count : {0, 1, 32767}) EXPECT_EQ(checkedRecordNumber(count), count);
  for (const int count : {32768, 100000}) {
    try {
      checkedRecordNumber(count);
      ADD_FAILURE() << count;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), Err::Overflow);
    }
  }
}

// The failure number an operation throws, or 0.
template <typename Operation>
int failureOf(Operation operation) {
  try {
    operation();
  } catch (const Failure& failure) {
    return failure.number();
  }
  return 0;
}

TEST_F(TextStoreTest, ADirectoryInTheStoresPlaceFails) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("sig.qmd"));
  const std::pair<const char*, std::function<void()>> operations[] = {
      {"count", [] { CountRecords(kSignatures); }},
      {"read", [] { ReadRecord(kSignatures, 1); }},
      {"write", [] { WriteRecord(storePath(kSignatures), 255, 1, "A"); }},
      {"append", [] { AppendRecord(kSignatures, "A"); }},
      {"find", [] { FindRecord(kSignatures, "A"); }},
      {"remove", [] { RemoveRecord(kSignatures, "A"); }},
  };
  for (const auto& [name, operation] : operations) {
    EXPECT_EQ(failureOf(operation), Err::PathFileAccess) << name;
  }
  EXPECT_TRUE(QFileInfo(dir.file("sig.qmd")).isDir());
}

TEST_F(TextStoreTest, ADirectoryInTheTemporaryFilesPlaceFailsWithTheStoreIntact) {
  const QByteArray before = records(100, {"A", "B", "C"});
  dir.write("Foot.qmd", before);
  ASSERT_TRUE(QDir(dir.path()).mkdir("tmpf.qmd"));
  EXPECT_EQ(failureOf([] { RemoveRecord(kFooters, "B"); }), Err::PathFileAccess);
  EXPECT_EQ(dir.read("Foot.qmd"), before);
}

TEST_F(TextStoreTest, AFullStoreLosesOnlyTheRemovedRecord) {
  QByteArray store;
  QByteArray expected;
  for (int n = 1; n <= kMostRecordNumber; ++n) {
    const QByteArray record = records(255, {"R" + QByteArray::number(n)});
    store += record;
    if (n != 16000) expected += record;
  }
  dir.write("Sig.qmd", store);
  EXPECT_EQ(checkedRecordNumber(CountRecords(kSignatures)), kMostRecordNumber);
  EXPECT_EQ(FindRecord(kSignatures, "R32767"), 32767);
  EXPECT_EQ(RemoveRecord(kSignatures, "R16000"), Removal::Rebuilt);
  EXPECT_EQ(dir.read("Sig.qmd"), expected);
  EXPECT_EQ(CountRecords(kSignatures), 32766);
}

}  // namespace
}  // namespace qm
