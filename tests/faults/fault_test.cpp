// Real file system faults, one forked child per case: a full tmpfs, read-only files and
// folders (as nobody when run as root, since root ignores file modes), a signature folder
// removed while running, a store replaced by a folder. Each operation goes through the failure
// handler as the windows call it; the child answers every box with Abort and reports the boxes
// and every file that changed.

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <string>

#include "common/failure.h"
#include "common/msgbox.h"
#include "platform/platform.h"
#include "rotation/output.h"
#include "startup/settings.h"
#include "startup/utility.h"
#include "stores/text_store.h"

namespace qm {
namespace {

constexpr uid_t kNobody = 65534;
const QByteArray kIni = "[Settings]\r\nSigLocation=%SIG%\r\nInterval=4\r\n";

enum class Fault {
  FullDisk,        // app and signature folders on a tmpfs with no room left
  ReadOnlyStore,   // Sig.qmd is mode 0444
  ReadOnlyAppDir,  // the application folder is mode 0555
  SigDirRemoved,   // the signature folder is gone
  StoreIsAFolder,  // a folder named Sig.qmd
};

enum class Operation { DeleteSignature, AppendSignature, WriteSignatureFiles, StoreSetting };

// What a child did: its boxes ("<number> <procedure>") and the files that changed, joined by
// "; ".
using Report = std::string;

struct Case {
  const char* name;
  Fault fault;
  Operation operation;
  Report expected;
};

[[noreturn]] void fail(const std::string& why) {
  std::fputs(("setup failed: " + why + '\n').c_str(), stderr);
  ::_exit(2);
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    fail("cannot write " + path.toStdString());
  }
}

// Every file of the folder with its bytes ("<folder>" for a folder in a file's place).
QMap<QString, QByteArray> snapshot(const QString& dir) {
  QMap<QString, QByteArray> files;
  for (const QFileInfo& info : QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
    QFile file(info.filePath());
    files[info.fileName()] =
        info.isDir() ? "<folder>" : (file.open(QIODevice::ReadOnly) ? file.readAll() : "<unread>");
  }
  return files;
}

QStringList changes(const QMap<QString, QByteArray>& before,
                    const QMap<QString, QByteArray>& after) {
  QStringList changed;
  for (auto it = before.begin(); it != before.end(); ++it) {
    if (after.value(it.key(), "<gone>") != it.value()) changed << "changed " + it.key();
  }
  for (auto it = after.begin(); it != after.end(); ++it) {
    if (!before.contains(it.key())) changed << "new " + it.key();
  }
  return changed;
}

// A private mount namespace (a user namespace too when not root) with a small tmpfs on dir;
// false where the system allows neither.
bool mountSmallTmpfs(const QString& dir) {
  if (::unshare(CLONE_NEWNS) != 0) {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    writeFile("/proc/self/setgroups", "deny");
    writeFile("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1");
    writeFile("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1");
  }
  return ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, "size=256k") == 0;
}

// Fills the tmpfs until it refuses another byte. Without one, a file size limit makes the
// kernel refuse every write past 16 bytes (EFBIG, the same "Disk full" to the program).
void fillDisk(const QString& dir, bool onTmpfs) {
  if (!onTmpfs) {
    const rlimit limit{16, 16};
    if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
      fail("file size limit");
    }
    std::fputs("no tmpfs here: a file size limit stands in for the full disk\n", stderr);
    return;
  }
  const int fd = ::open(QFile::encodeName(dir + "/filler").constData(), O_WRONLY | O_CREAT, 0600);
  if (fd < 0) fail("filler");
  const QByteArray block(4096, 'x');
  while (::write(fd, block.constData(), block.size()) > 0) {
  }
  while (::write(fd, "x", 1) > 0) {
  }
  ::close(fd);
}

void dropToNobodyIfRoot() {
  if (::geteuid() != 0) return;
  if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
      ::setresuid(kNobody, kNobody, kNobody) != 0) {
    fail("cannot become nobody");
  }
}

// Sixteen signatures (4,080 bytes, so that on the full tmpfs an append fits in part only),
// settings naming the signature folder, signature files from an earlier switch.
void seed(const QString& app, const QString& sig) {
  if (!QDir().mkpath(app) || !QDir().mkpath(sig)) fail("folders");
  QByteArray store =
      fittedRecord("first", kSignatures.length) + fittedRecord("second", kSignatures.length);
  for (int n = 3; n <= 16; ++n)
    store += fittedRecord("record " + QByteArray::number(n), kSignatures.length);
  writeFile(app + "/Sig.qmd", store);
  writeFile(app + "/zq.ini", QByteArray(kIni).replace("%SIG%", QFile::encodeName(sig)));
  writeFile(sig + "/ZQ.txt", "\r\nold header\r\nold signature\r\nold footer\r\n");
  writeFile(sig + "/ZQ.HTML", "<BR><P>old</P>\r\n");
  // Another user must reach the folders for the permission cases.
  ::chmod(QFile::encodeName(app).constData(), 0777);
  ::chmod(QFile::encodeName(sig).constData(), 0777);
  ::chmod(QFile::encodeName(app + "/Sig.qmd").constData(), 0666);
  ::chmod(QFile::encodeName(app + "/zq.ini").constData(), 0666);
}

void applyFault(Fault fault, const QString& root, const QString& app, const QString& sig,
                bool onTmpfs) {
  switch (fault) {
    case Fault::FullDisk:
      fillDisk(root, onTmpfs);
      break;
    case Fault::ReadOnlyStore:
      ::chmod(QFile::encodeName(app + "/Sig.qmd").constData(), 0444);
      dropToNobodyIfRoot();
      break;
    case Fault::ReadOnlyAppDir:
      ::chmod(QFile::encodeName(app).constData(), 0555);
      dropToNobodyIfRoot();
      break;
    case Fault::SigDirRemoved:
      if (!QDir(sig).removeRecursively()) fail("remove signature folder");
      break;
    case Fault::StoreIsAFolder:
      if (!QFile::remove(app + "/Sig.qmd") || !QDir(app).mkdir("Sig.qmd")) fail("store folder");
      break;
  }
}

void perform(Operation operation, const QString& app) {
  switch (operation) {
    case Operation::DeleteSignature:
      FailureHandler("cmdDelSig_Click").run([] { RemoveRecord(kSignatures, "second"); });
      break;
    case Operation::AppendSignature:
      FailureHandler("cmdSave_Click").run([] { AppendRecord(kSignatures, "fourth"); });
      break;
    case Operation::WriteSignatureFiles:
      OutputSig({"new header", "new signature", "new footer"});
      break;
    case Operation::StoreSetting:
      writeINI(app + "/zq.ini", "Settings", "Interval", "6");
      break;
  }
}

// Runs in the child: sets the case up, performs it and writes the report to fd.
[[noreturn]] void child(const Case& c, const QString& root, int fd) {
  const QString app = root + "/app";
  const QString sig = root + "/sig";
  const bool onTmpfs = c.fault == Fault::FullDisk && mountSmallTmpfs(root);
  seed(app, sig);
  platform::setApplicationDir(app);
  ModSig = {};
  ModSig.IniPath = app + "/zq.ini";
  ModSig.WriteType = "Text & HTML";
  QStringList report;
  installMsgBox([&report](MsgKind kind, const QString& prompt, const QString& title) {
    static const QRegularExpression failure(
        "^Error (\\d+): \\r\\n[^\\r]+\\r\\n\\t\\toccurred at line \\d+\\r\\nin Quillmate: (\\w+)$");
    const QRegularExpressionMatch match = failure.match(prompt);
    report << (kind == MsgKind::Failure && title == "Quillmate Error" && match.hasMatch()
                   ? match.captured(1) + ' ' + match.captured(2)
                   : "unexpected box: " + prompt);
    return int(vbAbort);
  });

  applyFault(c.fault, root, app, sig, onTmpfs);
  const QMap<QString, QByteArray> appBefore = snapshot(app);
  const QMap<QString, QByteArray> sigBefore = snapshot(sig);
  perform(c.operation, app);
  report << changes(appBefore, snapshot(app)) << changes(sigBefore, snapshot(sig));

  const QByteArray bytes = report.join("; ").toUtf8();
  if (::write(fd, bytes.constData(), bytes.size()) != bytes.size()) ::_exit(2);
  ::_exit(0);
}

Report run(const Case& c) {
  QTemporaryDir root;
  EXPECT_TRUE(root.isValid());
  ::chmod(QFile::encodeName(root.path()).constData(), 0755);
  int pipeFds[2];
  EXPECT_EQ(::pipe(pipeFds), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFds[0]);
    child(c, root.path(), pipeFds[1]);
  }
  ::close(pipeFds[1]);
  QByteArray bytes;
  char buffer[4096];
  for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
    bytes.append(buffer, got);
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child did not finish";
  // Lets the temporary folder go after a read-only case.
  ::chmod(QFile::encodeName(root.filePath("app")).constData(), 0755);
  return bytes.toStdString();
}

const Case kCases[] = {
    // The removal's writer reports the full disk; the store keeps its three records.
    {"FullDiskDelete", Fault::FullDisk, Operation::DeleteSignature, "61 MoveSig"},
    // The part of the record that fitted is taken back.
    {"FullDiskAppend", Fault::FullDisk, Operation::AppendSignature, "61 cmdSave_Click"},
    {"FullDiskOutput", Fault::FullDisk, Operation::WriteSignatureFiles, "61 OutputSig"},
    {"FullDiskSetting", Fault::FullDisk, Operation::StoreSetting, ""},
    {"ReadOnlyStoreDelete", Fault::ReadOnlyStore, Operation::DeleteSignature, "70 cmdDelSig_Click"},
    {"ReadOnlyStoreAppend", Fault::ReadOnlyStore, Operation::AppendSignature, "70 cmdSave_Click"},
    {"ReadOnlyAppDirDelete", Fault::ReadOnlyAppDir, Operation::DeleteSignature,
     "70 cmdDelSig_Click"},
    {"ReadOnlyAppDirSetting", Fault::ReadOnlyAppDir, Operation::StoreSetting, ""},
    {"SigDirRemovedOutput", Fault::SigDirRemoved, Operation::WriteSignatureFiles, "76 OutputSig"},
    {"StoreIsAFolderDelete", Fault::StoreIsAFolder, Operation::DeleteSignature,
     "75 cmdDelSig_Click"},
    {"StoreIsAFolderAppend", Fault::StoreIsAFolder, Operation::AppendSignature, "75 cmdSave_Click"},
};

class FaultTest : public ::testing::TestWithParam<Case> {};

TEST_P(FaultTest, ShowsTheFailureOrStaysSilentAndLeavesEveryFileIntact) {
  EXPECT_EQ(run(GetParam()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qm
