#include "stores/text_store.h"

#include <cerrno>
#include <optional>

#include "common/failure.h"
#include "support/support.h"

namespace qm {
TEST(TextStoreTest, Operations) {
  const auto heads = [](std::initializer_list<QByteArray> t) { return test::records(100, t); };
  const QByteArray rest(7, 'j');  // a remainder shorter than a record
  const auto count = [] { return CountRecords(kHeaders); };
  const auto read = [](int n) { return [n] { return ReadRecord(kHeaders, n); }; };
  const auto append = [](QByteArray t) { return [t] { return AppendRecord(kHeaders, t), 0; }; };
  const auto find = [](auto t) { return [t] { return FindRecord(kHeaders, t).value_or(0); }; };
  const auto remove = [](auto t) { return [t] { return int(RemoveRecord(kHeaders, t)); }; };
  const auto move = [](auto t) { return [t] { return *MoveRecordToEnd(kHeaders, t, "X"); }; };
  const int deleted = int(Removal::Deleted), rebuilt = int(Removal::Remaining);
  using Bytes = std::optional<QByteArray>;
  const std::tuple<Bytes, std::function<QVariant()>, QVariant, Bytes> cases[] = {
      // Head.qmd before (none: missing), operation, result, Head.qmd after (none: gone)
      {std::nullopt, count, 0, ""},
      {heads({"A", "B"}) + rest, count, 2, heads({"A", "B"}) + rest},
      {heads({"A", "B", "C"}), read(2), heads({"B"}), heads({"A", "B", "C"})},
      {heads({"A", "B", "C"}), read(3), heads({"C"}), heads({"A", "B", "C"})},
      {heads({"A"}) + rest, append("Zo\xEB\r\n"), 0, heads({"A", "Zo\xEB\r\n"})},
      {std::nullopt, append(QByteArray(101, 'h')), 0, QByteArray(100, 'h')},
      {heads({"A", "  B ", "B"}), find(" B  "), 2, heads({"A", "  B ", "B"})},
      {heads({"b", "\tB", "B\r\n", "B"}), find("B"), 4, heads({"b", "\tB", "B\r\n", "B"})},
      {heads({"A", ""}), find(""), 2, heads({"A", ""})},
      {heads({"A", "B", " B", "C"}), remove("B"), rebuilt, heads({"A", "C"})},
      {heads({"A", "B"}) + rest, remove("B"), rebuilt, heads({"A"})},
      {heads({"A", "C"}) + rest, remove("B"), rebuilt, heads({"A", "C"}) + rest},
      {heads({"B", "B"}), remove("B"), deleted, std::nullopt},
      {std::nullopt, remove("B"), deleted, std::nullopt},
      {heads({"B", "A", "B", "C"}), move("B"), 2, heads({"A", "C", "X"})},
      {heads({"A"}), move("B"), 0, heads({"A"})},
  };
  for (const auto& [before, operation, result, after] : cases) {
    test::TempAppDir dir;
    if (before) dir.write("Head.qmd", *before);
    EXPECT_EQ(operation(), result) << before.value_or("(none)").data();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              after ? QStringList{"Head.qmd"} : QStringList{});
    EXPECT_EQ(dir.read("Head.qmd"), after.value_or(""));
  }
  EXPECT_EQ(checkedRecordNumber(32767), 32767);  // record numbers are 16-bit
  EXPECT_THROW(checkedRecordNumber(32768), Failure);
}

// A failed temporary write asks: Retry writes again, Abort and Ignore leave the store untouched.
TEST(TextStoreTest, AFailedTemporaryWriteNeverLosesARecord) {
  const std::tuple<const TextStore&, const char*, std::vector<int>, int, int> cases[] = {
      {kHeaders, "MoveHead", {vbAbort}, 9, ENOSPC},
      {kFooters, "MoveFoot", {vbIgnore}, 9, ENOSPC},
      {kSignatures, "MoveSig", {vbRetry, vbRetry}, 2, ENOSPC},
      {kSignatures, "MoveSig", {vbRetry, vbIgnore}, 9, EIO},
  };
  for (const auto& [store, writer, answers, failing, err] : cases) {
    test::TempAppDir dir;
    const QByteArray before = test::records(store.length, {"A", "B", "C"});
    dir.write(store.fileName, before);
    test::FileHookScope hook([&, left = failing](auto call, const QString& path, auto...) mutable {
      const bool temp = call == platform::FileCall::Write && !path.endsWith(store.fileName);
      return temp && left-- > 0 ? err : 0;
    });
    test::ScriptedMsgBox boxes(answers);
    const bool rebuilt = failing < 9;
    EXPECT_EQ(RemoveRecord(store, "B"), rebuilt ? Removal::Remaining : Removal::Abandoned);
    EXPECT_EQ(dir.read(store.fileName), rebuilt ? test::records(store.length, {"A", "C"}) : before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{store.fileName});
    test::expectFailureBox(boxes.shown.at(0), err == EIO ? 75 : 61,
                           err == EIO ? "Path/File access error" : "Disk full", writer);
  }
}
}  // namespace qm
