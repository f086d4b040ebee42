// Real file system faults, one forked child per case: a full tmpfs, read-only files and
// folders (as nobody when run as root, where root would be let through), a signature folder
// removed while running, folders and FIFOs in files' places, links. Each operation goes through
// the failure handler as the windows call it; the child answers every box with Abort and
// reports the boxes and every file that changed. A child that hangs is ended by an alarm.

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
#include <vector>

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
  ReadOnlyFiles,   // zq.ini and ZQ.txt are mode 0444, and root stays root
  SigDirRemoved,   // the signature folder is gone
  StoreIsAFolder,  // a folder named Sig.qmd
  FifoFiles,       // Sig.qmd and ZQ.txt are FIFOs nobody writes to
  FifoSettings,    // so is zq.ini
  OwnLinks,        // ZQ.txt and zq.ini are links of the user's to mode 0600 files
  ForeignLink,     // in a shared sticky folder ZQ.txt is another user's link to zq.ini
  PlantedTemps,    // there a link to zq.ini and a FIFO wait at the old temporary names
};

enum class Operation {
  DeleteSignature,
  AppendSignature,
  WriteSignatureFiles,
  StoreSetting,
  ReadSetting
};

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

// What a name is (its kind, mode, owner and a link's target) and, for a regular file, its bytes.
struct Entry {
  QByteArray identity;
  QByteArray bytes;
};

QMap<QString, Entry> snapshot(const QString& dir) {
  QMap<QString, Entry> files;
  for (const QString& name :
       QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
    const QByteArray path = QFile::encodeName(dir + '/' + name);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) continue;
    Entry& entry = files[name];
    entry.identity = QByteArray::number(st.st_mode, 8) + ' ' + QByteArray::number(st.st_uid);
    if (S_ISLNK(st.st_mode)) {
      entry.identity += " -> " + QFile::encodeName(QFile::symLinkTarget(dir + '/' + name));
    }
    QFile file(dir + '/' + name);
    if (S_ISREG(st.st_mode) && file.open(QIODevice::ReadOnly)) entry.bytes = file.readAll();
  }
  return files;
}

// "changed" for new bytes, "remade" for a name that now is another kind of thing or has
// another mode, owner or link target.
QStringList changes(const QMap<QString, Entry>& before, const QMap<QString, Entry>& after) {
  QStringList changed;
  for (auto it = before.begin(); it != before.end(); ++it) {
    if (!after.contains(it.key())) {
      changed << "gone " + it.key();
    } else if (after[it.key()].identity != it->identity) {
      changed << "remade " + it.key();
    } else if (after[it.key()].bytes != it->bytes) {
      changed << "changed " + it.key();
    }
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
    case Fault::ReadOnlyFiles:
      ::chmod(QFile::encodeName(app + "/zq.ini").constData(), 0444);
      ::chmod(QFile::encodeName(sig + "/ZQ.txt").constData(), 0444);
      break;
    case Fault::FifoFiles:
    case Fault::FifoSettings: {
      const QStringList paths = fault == Fault::FifoFiles
                                    ? QStringList{app + "/Sig.qmd", sig + "/ZQ.txt"}
                                    : QStringList{app + "/zq.ini"};
      for (const QString& path : paths) {
        if (!QFile::remove(path) || ::mkfifo(QFile::encodeName(path).constData(), 0666) != 0) {
          fail("fifo");
        }
      }
      break;
    }
    case Fault::OwnLinks:
      // The real files live elsewhere, as in a dotfiles folder.
      for (const QString& path : {app + "/zq.ini", sig + "/ZQ.txt"}) {
        const QString real = path + ".real";
        if (!QFile::rename(path, real) || ::chmod(QFile::encodeName(real).constData(), 0600) != 0 ||
            ::symlink(QFile::encodeName(QFileInfo(real).fileName()).constData(),
                      QFile::encodeName(path).constData()) != 0) {
          fail("link");
        }
      }
      break;
    case Fault::PlantedTemps: {
      const QByteArray link = QFile::encodeName(sig + "/.ZQ.txt.new");
      if (::chmod(QFile::encodeName(sig).constData(), 01777) != 0 ||
          ::symlink(QFile::encodeName(app + "/zq.ini").constData(), link.constData()) != 0 ||
          ::mkfifo(QFile::encodeName(sig + "/.ZQ.HTML.new").constData(), 0666) != 0) {
        fail("planted files");
      }
      [[maybe_unused]] const int other = ::lchown(link.constData(), kNobody, kNobody);
      break;
    }
    case Fault::ForeignLink: {
      const QByteArray link = QFile::encodeName(sig + "/ZQ.txt");
      if (::chmod(QFile::encodeName(sig).constData(), 01777) != 0 ||
          !QFile::remove(sig + "/ZQ.txt") ||
          ::symlink(QFile::encodeName(app + "/zq.ini").constData(), link.constData()) != 0 ||
          ::lchown(link.constData(), kNobody, kNobody) != 0) {
        fail("foreign link");
      }
      break;
    }
  }
}

void perform(Operation operation, const QString& app, QStringList& report) {
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
    case Operation::ReadSetting:
      report << "read " +
                    QString::fromLatin1(sGetINI(app + "/zq.ini", "Settings", "Interval", "?"));
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
  const QMap<QString, Entry> appBefore = snapshot(app);
  const QMap<QString, Entry> sigBefore = snapshot(sig);
  ::alarm(20);  // a hang ends the child
  perform(c.operation, app, report);
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
    // Root is refused a read-only file too; a settings write stays silent.
    {"ReadOnlyOutput", Fault::ReadOnlyFiles, Operation::WriteSignatureFiles, "70 OutputSig"},
    {"ReadOnlySetting", Fault::ReadOnlyFiles, Operation::StoreSetting, ""},
    // Nothing waits for a writer or a reader that never comes.
    {"FifoDelete", Fault::FifoFiles, Operation::DeleteSignature, "75 cmdDelSig_Click"},
    {"FifoAppend", Fault::FifoFiles, Operation::AppendSignature, "75 cmdSave_Click"},
    {"FifoOutput", Fault::FifoFiles, Operation::WriteSignatureFiles, "75 OutputSig"},
    {"FifoSetting", Fault::FifoSettings, Operation::StoreSetting, ""},
    {"FifoReadSetting", Fault::FifoSettings, Operation::ReadSetting, "read ?"},
    // The links stay and their targets change, keeping their mode.
    {"OwnLinkOutput", Fault::OwnLinks, Operation::WriteSignatureFiles,
     "changed ZQ.HTML; changed ZQ.txt.real; new ZQ.rtf"},
    {"OwnLinkSetting", Fault::OwnLinks, Operation::StoreSetting, "changed zq.ini.real"},
    {"ForeignLinkOutput", Fault::ForeignLink, Operation::WriteSignatureFiles, "70 OutputSig"},
    {"PlantedTempsOutput", Fault::PlantedTemps, Operation::WriteSignatureFiles,
     "changed ZQ.HTML; changed ZQ.txt; new ZQ.rtf"},
};

// Only root can make a link that belongs to another user.
std::vector<Case> casesForThisUser() {
  std::vector<Case> cases;
  for (const Case& c : kCases) {
    if (c.fault != Fault::ForeignLink || ::geteuid() == 0) cases.push_back(c);
  }
  return cases;
}

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class FaultTest : public ::testing::TestWithParam<Case> {};

TEST_P(FaultTest, ShowsTheFailureOrStaysSilentAndLeavesEveryFileIntact) {
  EXPECT_EQ(run(GetParam()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest, ::testing::ValuesIn(casesForThisUser()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qm
