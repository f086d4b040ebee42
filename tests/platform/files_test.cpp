#include "platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <functional>

#include "stores/text_store.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"

namespace qm::platform {
namespace {

using test::records;
using test::TempAppDir;

// Each watched call as "<call> <file name>", a temporary file's random part as "*"; a folder's
// sync without its (random) name.
class CallLog {
 public:
  CallLog() {
    setFileHookForTest([this](FileCall call, const QString& path, qint64, qint64) {
      static const char* names[] = {"open ",   "write ",  "sync ",
                                    "rename ", "remove ", "sync folder"};
      static const QRegularExpression random(R"(\.[A-Za-z0-9]{12}$)");
      QString name = call == FileCall::SyncFolder ? QString() : QFileInfo(path).fileName();
      calls_ << QString::fromLatin1(names[int(call)]) + name.replace(random, ".*");
      return 0;
    });
  }
  ~CallLog() { setFileHookForTest({}); }
  const QStringList& calls() const { return calls_; }

 private:
  QStringList calls_;
};

struct DurabilityCase {
  const char* name;
  std::function<void(const TempAppDir&)> operation;
  QStringList calls;
};

// A change counts once it is on the disk: data synced before a rename, the folder after it.
TEST(FilesTest, EveryChangeReachesTheDiskInOrder) {
  const DurabilityCase cases[] = {
      {"append",
       [](const TempAppDir&) { AppendRecord(kSignatures, "C"); },
       {"open Sig.qmd", "write Sig.qmd", "sync Sig.qmd"}},
      {"rebuild",
       [](const TempAppDir&) { RemoveRecord(kSignatures, "A"); },
       {"open Sig.qmd", "open Tmp.qmd", "write Tmp.qmd", "sync Tmp.qmd", "rename Sig.qmd",
        "sync folder"}},
      {"deletion",
       [](const TempAppDir& app) {
         app.write("Sig.qmd", records({"B"}, 255));
         RemoveRecord(kSignatures, "B");
       },
       {"open Sig.qmd", "open Tmp.qmd", "remove Sig.qmd", "sync folder"}},
      {"replace",
       [](const TempAppDir& app) { replaceFile(app.file("ZQ.txt"), "new"); },
       {"open .ZQ.txt.*", "write .ZQ.txt.*", "sync .ZQ.txt.*", "rename ZQ.txt", "sync folder"}},
  };
  for (const DurabilityCase& c : cases) {
    TempAppDir app;
    app.write("Sig.qmd", records({"A", "B"}, 255));
    app.write("ZQ.txt", "old");
    test::ScriptedMsgBox boxes;
    CallLog log;
    c.operation(app);
    EXPECT_EQ(log.calls().join(", ").toStdString(), c.calls.join(", ").toStdString()) << c.name;
  }
}

// Leftovers of killed writes go; a file another writer still holds, another user's file and a
// name not of that pattern stay.
TEST(FilesTest, AReplaceClearsOnlyAbandonedTemporaryFiles) {
  TempAppDir app;
  for (const char* name : {".ZQ.txt.Abandoned001", ".ZQ.txt.Abandoned002", ".ZQ.txt.StillWriting",
                           ".ZQ.txt.OtherUser001", ".ZQ.txt.short", "ZQ.txt.Abandoned003"}) {
    app.write(name, "left");
  }
  const int held = ::open(QFile::encodeName(app.file(".ZQ.txt.StillWriting")), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(QFile::encodeName(app.file(".ZQ.txt.OtherUser001")), 65534, 65534), 0);
  }
  replaceFile(app.file("ZQ.txt"), "new");
  ::close(held);
  QStringList expected = {".ZQ.txt.StillWriting", ".ZQ.txt.short", "ZQ.txt", "ZQ.txt.Abandoned003"};
  if (root) expected.prepend(".ZQ.txt.OtherUser001");
  QStringList left = QDir(app.path()).entryList(QDir::Files | QDir::Hidden);
  left.sort(Qt::CaseSensitive);
  expected.sort(Qt::CaseSensitive);
  EXPECT_EQ(left.join(' ').toStdString(), expected.join(' ').toStdString());
  EXPECT_EQ(app.read("ZQ.txt"), "new");
}

}  // namespace
}  // namespace qm::platform
