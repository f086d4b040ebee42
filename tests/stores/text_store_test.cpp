#include "stores/text_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <functional>
#include <optional>

#include "common/failure.h"
#include "support/support.h"

namespace qm {
namespace {

using test::records;
using test::ScriptedMsgBox;
using test::TempAppDir;

QByteArray heads(std::initializer_list<QByteArray> texts) {
  return records(100, texts);
}

QStringList files(const TempAppDir& dir) {
  return QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
}

// The failure number an operation throws, or 0.
int failureOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const Failure& failure) {
    return failure.number();
  }
  return 0;
}

struct Case {
  const char* name;
  std::optional<QByteArray> before;  // Head.qmd; none: missing
  std::function<QVariant()> act;
  QVariant result;
  std::optional<QByteArray> after;  // none: the file is gone
};

TEST(TextStoreTest, Operations) {
  const QByteArray rest(7, 'j');  // a remainder shorter than a record
  const auto find = [](const char* t) {
    return [t] { return QVariant::fromValue(FindRecord(kHeaders, t).value_or(0)); };
  };
  const auto remove = [](const char* t) {
    return [t] { return QVariant(int(RemoveRecord(kHeaders, t))); };
  };
  const auto moveX = [](const char* t) {
    return [t] { return QVariant(MoveRecordToEnd(kHeaders, t, "X").value_or(-1)); };
  };
  const auto append = [](QByteArray t) {
    return [t] {
      AppendRecord(kHeaders, t);
      return QVariant(CountRecords(kHeaders));
    };
  };
  const auto read = [](int n) { return [n] { return QVariant(ReadRecord(kHeaders, n)); }; };
  const int deleted = int(Removal::Deleted), rebuilt = int(Removal::Rebuilt);
  const Case cases[] = {
      {"count of a missing store", std::nullopt, [] { return QVariant(CountRecords(kHeaders)); }, 0,
       ""},
      {"count ignores a remainder", heads({"A", "B"}) + rest,
       [] { return QVariant(CountRecords(kHeaders)); }, 2, heads({"A", "B"}) + rest},
      {"read the second", heads({"A", "B", "C"}), read(2), heads({"B"}), heads({"A", "B", "C"})},
      {"read the third", heads({"A", "B", "C"}), read(3), heads({"C"}), heads({"A", "B", "C"})},
      {"append fills with spaces", heads({"A"}), append("Zo\xEB\r\n"), 2,
       heads({"A", "Zo\xEB\r\n"})},
      {"append cuts", std::nullopt, append(QByteArray(101, 'h')), 1, QByteArray(100, 'h')},
      {"append overwrites a remainder", heads({"A"}) + rest, append("N"), 2, heads({"A", "N"})},
      {"find trims the text and the record", heads({"A", "  B ", "B"}), find(" B  "), 2,
       heads({"A", "  B ", "B"})},
      {"find keeps case, tabs, breaks", heads({"b", "\tB", "B\r\n", "B"}), find("B"), 4,
       heads({"b", "\tB", "B\r\n", "B"})},
      {"find an empty text", heads({"A", ""}), find(""), 2, heads({"A", ""})},
      {"remove every copy", heads({"A", "B", " B", "C"}), remove("B"), rebuilt, heads({"A", "C"})},
      {"remove drops a remainder", heads({"A", "B"}) + rest, remove("B"), rebuilt, heads({"A"})},
      {"no match keeps all", heads({"A", "C"}) + rest, remove("B"), rebuilt,
       heads({"A", "C"}) + rest},
      {"remove the last ones", heads({"B", "B"}), remove("B"), deleted, std::nullopt},
      {"remove from an empty store", "", remove("B"), deleted, std::nullopt},
      {"remove from a missing store", std::nullopt, remove("B"), deleted, std::nullopt},
      {"move to the end", heads({"B", "A", "B", "C"}), moveX("B"), 2, heads({"A", "C", "X"})},
      {"move the only one", heads({"B"}), moveX("B"), 1, heads({"X"})},
      {"move without a match", heads({"A"}), moveX("B"), 0, heads({"A"})},
  };
  for (const Case& c : cases) {
    TempAppDir dir;
    if (c.before) dir.write("Head.qmd", *c.before);
    EXPECT_EQ(c.act(), c.result) << c.name;
    EXPECT_EQ(files(dir), c.after ? QStringList{"Head.qmd"} : QStringList{}) << c.name;
    EXPECT_EQ(dir.read("Head.qmd"), c.after.value_or("")) << c.name;
  }
}

TEST(TextStoreTest, AStoreInOtherLetterCaseIsUsedAndALeftoverTemporaryDiscarded) {
  TempAppDir dir;
  dir.write("SIG.QMD", records(255, {"A", "B", "C"}));
  dir.write("tmp.QMD", records(255, {"junk", "junk", "junk", "junk"}));
  AppendRecord(kSignatures, "D");
  EXPECT_EQ(FindRecord(kSignatures, "D"), 4);
  EXPECT_EQ(RemoveRecord(kSignatures, "B"), Removal::Rebuilt);
  EXPECT_EQ(files(dir), QStringList{"SIG.QMD"});
  EXPECT_EQ(dir.read("SIG.QMD"), records(255, {"A", "C", "D"}));
}

struct AnswerCase {
  const TextStore& store;
  const char* writer;
  std::vector<int> answers;
  int failures;  // writes of the temporary file that fail
  int err;
  bool rebuilt;
};

// A failed write of the temporary file asks; Retry writes again, Abort and Ignore give the
// removal up, leaving the store exactly as it was.
TEST(TextStoreTest, AFailedTemporaryWriteAsksAndNeverLosesARecord) {
  const AnswerCase cases[] = {
      {kHeaders, "MoveHead", {vbAbort}, 9, ENOSPC, false},
      {kFooters, "MoveFoot", {vbIgnore}, 9, ENOSPC, false},
      {kSignatures, "MoveSig", {vbRetry, vbRetry}, 2, ENOSPC, true},
      {kSignatures, "MoveSig", {vbRetry, vbIgnore}, 9, EIO, false},
  };
  for (const AnswerCase& c : cases) {
    TempAppDir dir;
    const QByteArray before = records(c.store.length, {"A", "B", "C"});
    dir.write(c.store.fileName, before);
    int failures = c.failures;
    platform::setFileHookForTest([&](platform::FileCall call, const QString& path, qint64, qint64) {
      const bool temp = call == platform::FileCall::Write && !path.endsWith(c.store.fileName);
      return temp && failures-- > 0 ? c.err : 0;
    });
    ScriptedMsgBox boxes;
    for (const int answer : c.answers) boxes.answer({answer});
    EXPECT_EQ(RemoveRecord(c.store, "B"), c.rebuilt ? Removal::Rebuilt : Removal::Abandoned);
    platform::setFileHookForTest({});
    EXPECT_EQ(dir.read(c.store.fileName), c.rebuilt ? records(c.store.length, {"A", "C"}) : before);
    EXPECT_EQ(files(dir), QStringList{c.store.fileName});
    ASSERT_EQ(boxes.shown().size(), c.answers.size());
    test::expectFailureBox(boxes.shown()[0], c.err == EIO ? 75 : 61,
                           c.err == EIO ? "Path/File access error" : "Disk full", c.writer);
  }
}

TEST(TextStoreTest, AFolderInAStoresPlaceAndTooManyRecordsFail) {
  TempAppDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("sig.qmd"));
  EXPECT_EQ(failureOf([] { CountRecords(kSignatures); }), Err::PathFileAccess);
  EXPECT_EQ(failureOf([] { AppendRecord(kSignatures, "A"); }), Err::PathFileAccess);
  EXPECT_EQ(failureOf([] { RemoveRecord(kSignatures, "A"); }), Err::PathFileAccess);
  EXPECT_TRUE(QFileInfo(dir.file("sig.qmd")).isDir());
  EXPECT_EQ(checkedRecordNumber(32767), 32767);
  EXPECT_EQ(failureOf([] { checkedRecordNumber(32768); }), Err::Overflow);
}

}  // namespace
}  // namespace qm
