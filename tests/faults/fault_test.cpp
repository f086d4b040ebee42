// Real file system faults, one forked child per row: the child seeds a store of sixteen records,
// settings and signature files, applies the row's setup, runs its operations through their
// failure handlers (every box answered Abort) and reports the watched file calls, the boxes,
// and each name that changed with its new bytes (a store as its records without the padding).
#include <grp.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <set>

#include "common/failure.h"
#include "common/msgbox.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "rotation/output.h"
#include "startup/settings.h"
#include "startup/utility.h"
#include "stores/text_store.h"

namespace qm {
namespace {

enum Flags { kWatch = 1, kFailSync = 2, kFullDisk = 4, kNobody = 8, kLock = 16, kRootOnly = 32 };
struct Row {
  const char* name;
  int flags;
  const char* shell;  // run in the root folder, which holds app/ and sig/
  const char* ops;    // Delete "2", Append "17", Output "h s f", Store Interval=6, Read Interval
  const char* expected;
};
#define TXT "\r\nh\r\ns\r\nf\r\n"
#define HTML "<BR><P>h<BR>s<BR>f</P>\r\n"
#define OUT "changed ZQ.HTML=" HTML "; new ZQ.rtf 644=" TXT "; changed ZQ.txt=" TXT
#define CALLS_A "open Sig.qmd; write Sig.qmd; sync Sig.qmd"
#define CALLS_D "; open Sig.qmd; open Tmp.qmd; write Tmp.qmd; sync Tmp.qmd"
#define CALLS_O "; open zq.ini; open .ZQ.txt.*; write .ZQ.txt.*; sync .ZQ.txt.*"
#define DAOS(n, text) \
#n " " text " cmdDelSig_Click; " #n " " text " cmdSave_Click; " #n " " text " OutputSig"
#define ACCESS "Path/File access error"
const Row kRows[] = {
    // A change counts once it is on the disk: data synced before the rename, the folder after.
    {"Calls", kWatch, "", "ADO",
     CALLS_A CALLS_D
     "; rename Sig.qmd; sync folder" CALLS_O "; rename ZQ.txt; sync folder; "
     "changed Sig.qmd=1,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17; changed ZQ.txt=" TXT},
    {"CallsDeletingTheLast", kWatch, "printf %-255s 2 >app/Sig.qmd", "D",
     "open Sig.qmd; open Tmp.qmd; remove Sig.qmd; sync folder; gone Sig.qmd"},
    // A failed sync leaves the old file, no temporary one, and takes an append back.
    {"SyncFails", kWatch | kFailSync, "", "ADO",
     CALLS_A "; 75 " ACCESS " cmdSave_Click" CALLS_D "; 75 " ACCESS " cmdDelSig_Click" CALLS_O
             "; 75 " ACCESS " OutputSig"},
    // On a full disk too the part of a record that fitted is taken back; settings stay silent.
    {"FullDisk", kFullDisk | kRootOnly, "", "DAOS",
     "61 Disk full MoveSig; 61 Disk full cmdSave_Click; 61 Disk full OutputSig"},
    // Root, too, is refused files without a write bit.
    {"ReadOnly", 0, "chmod 444 app/Sig.qmd app/zq.ini sig/ZQ.txt", "DAOS",
     DAOS(70, "Permission denied")},
    {"ReadOnlyAppDir", kNobody, "chmod 555 app", "DS", "70 Permission denied cmdDelSig_Click"},
    {"ReadOnlyStoreAsNobody", kNobody, "chmod 444 app/Sig.qmd", "A",
     "70 Permission denied cmdSave_Click"},
    {"NoSigDir", 0, "rm -r sig", "O", "76 Path not found OutputSig"},
    {"StoreIsAFolder", 0, "rm app/Sig.qmd; mkdir app/Sig.qmd", "DA",
     "75 " ACCESS " cmdDelSig_Click; 75 " ACCESS " cmdSave_Click"},
    // Nothing waits for a FIFO's other end.
    {"Fifos", 0, "rm app/Sig.qmd sig/ZQ.txt; mkfifo app/Sig.qmd sig/ZQ.txt", "DAO",
     DAOS(75, ACCESS)},
    {"SettingsFifo", 0, "rm app/zq.ini; mkfifo app/zq.ini", "SR", "read ?"},
    // The user's links stay and their targets change, keeping their mode; another user's link
    // in a folder others may write to is refused.
    {"OwnLinks", 0,
     "cd app; mv zq.ini zq.ini.real; ln -s zq.ini.real zq.ini; cd ../sig; mv ZQ.txt ZQ.txt.real;"
     "chmod 600 ZQ.txt.real; ln -s ZQ.txt.real ZQ.txt",
     "OS",
     "changed zq.ini.real=[Settings]\r\nSigLocation=%SIG%\r\nInterval=6\r\n; changed ZQ.HTML=" HTML
     "; new ZQ.rtf 644=" TXT "; changed ZQ.txt.real=" TXT},
    {"ForeignLink", kRootOnly,
     "chmod 1777 sig; ln -sf $PWD/app/zq.ini sig/ZQ.txt; chown -h nobody sig/ZQ.txt", "O",
     "70 Permission denied OutputSig"},
    // Only abandoned temporary files go: not a locked one, another user's, a link or a FIFO.
    {"Leftovers", kLock | kRootOnly,
     "cd sig; chmod 640 ZQ.txt; touch .ZQ.txt.Abandoned001 .ZQ.rtf.Abandoned001 .ZQ.txt.short "
     ".ZQ.txt.StillWriting .ZQ.txt.OtherUser001 ZQ.txt.Abandoned001; chown nobody .ZQ.txt.Other*; "
     "ln -s ../app/zq.ini .ZQ.txt.LinkToIni001; mkfifo .ZQ.HTML.FifoFifo0001",
     "O", "gone .ZQ.rtf.Abandoned001; gone .ZQ.txt.Abandoned001; " OUT},
    // A removal's leftover goes whatever its letter case, a link without its target.
    {"StaleTemporaryStore", 0, "ln -s zq.ini app/tmp.QMD", "D",
     "changed Sig.qmd=1,3,4,5,6,7,8,9,10,11,12,13,14,15,16; gone tmp.QMD"},
};

QByteArray n(const QString& path) {
  return QFile::encodeName(path);
}
void put(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) ::_exit(4);
}

// Each name's kind, mode, owner and link target, then "=" and a regular file's bytes.
QMap<QString, QString> snapshot(const QString& dir, const QString& sig) {
  QMap<QString, QString> files;
  for (const QString& name :
       QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
    struct stat st {};
    QFile file(dir + '/' + name);
    ::lstat(n(file.fileName()), &st);
    QByteArray bytes = S_ISREG(st.st_mode) && file.open(QIODevice::ReadOnly) ? file.readAll() : "";
    if (name.endsWith(".qmd")) {
      QByteArrayList records;
      for (qsizetype at = 0; at < bytes.size(); at += 255) records << bytes.mid(at, 255);
      for (QByteArray& record : records)
        while (record.endsWith(' ')) record.chop(1);
      bytes = records.join(',');
    }
    files[name] =
        QString("%1 %2 %3=").arg(st.st_mode, 0, 8).arg(st.st_uid).arg(file.symLinkTarget()) +
        QString::fromLatin1(bytes).replace(sig, "%SIG%");
  }
  return files;
}

void reportChanges(const QMap<QString, QString>& before, const QMap<QString, QString>& after,
                   QStringList& report) {
  QStringList names = before.keys() + after.keys();
  names.sort();
  names.removeDuplicates();
  for (const QString& name : names) {
    const QString was = before.value(name), now = after.value(name);
    const QString id = now.left(now.indexOf('=')), mode = id.section(' ', 0, 0).right(3);
    if (was == now) continue;
    if (now.isEmpty())
      report << "gone " + name;
    else if (was.isEmpty())
      report << "new " + name + ' ' + mode + now.mid(id.size());
    else
      report << (was.startsWith(id + '=') ? "changed " : "remade ") + name + now.mid(id.size());
  }
}

[[noreturn]] void child(const Row& row, const QString& root, int fd) {
  const QString app = root + "/app", sig = root + "/sig";
  // A full 256 KiB tmpfs in a mount namespace of its own, but for the store's last page.
  if (row.flags & kFullDisk &&
      (::unshare(CLONE_NEWNS) || ::mount("", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
       ::mount("tmpfs", n(root), "tmpfs", 0, "size=256k")))
    ::_exit(5);
  ::umask(022);
  QByteArray store;  // 4,080 bytes: on the full disk an append fits in part only
  for (int i = 1; i <= 16; ++i) store += QByteArray::number(i).leftJustified(255);
  if (!QDir().mkpath(app) || !QDir().mkpath(sig)) ::_exit(4);
  put(app + "/Sig.qmd", store);
  put(app + "/zq.ini", "[Settings]\r\nSigLocation=" + n(sig) + "\r\nInterval=4\r\n");
  put(sig + "/ZQ.txt", "old text");
  put(sig + "/ZQ.HTML", "old html");
  ::chmod(n(app), 0777);
  ::chmod(n(sig), 0777);
  platform::setApplicationDir(app);
  ModSig = {};
  ModSig.IniPath = app + "/zq.ini";
  ModSig.WriteType = row.flags & kWatch ? "Text" : "Text & HTML";
  QStringList report, names;  // names: the temporary files it made
  installMsgBox([&report](MsgKind kind, const QString& prompt, const QString& title) {
    static const QRegularExpression box(
        "^Error (\\d+): \\r\\n([^\\r]+)\\r\\n\\t\\toccurred at line \\d+\\r\\nin Quillmate: "
        "(\\w+)$");
    const QRegularExpressionMatch m = box.match(prompt);
    report << (kind == MsgKind::Failure && title == "Quillmate Error" && m.hasMatch()
                   ? m.captured(1) + ' ' + m.captured(2) + ' ' + m.captured(3)
                   : "unexpected box: " + prompt);
    return int(vbAbort);
  });
  platform::setFileHookForTest([&](platform::FileCall call, const QString& path, qint64, qint64) {
    static const char* said[] = {"open ", "write ", "sync ", "rename ", "remove ", "sync folder"};
    static const QRegularExpression random(R"(\.[A-Za-z0-9]{12}$)");
    QString name = call == platform::FileCall::SyncFolder ? "" : QFileInfo(path).fileName();
    if (call == platform::FileCall::Open && random.match(name).hasMatch()) names << name;
    if (row.flags & kWatch) report << said[int(call)] + name.replace(random, ".*");
    return row.flags & kFailSync && call == platform::FileCall::Sync ? EIO : 0;
  });
  if (std::system(qPrintable("cd '" + root + "' || exit 1; " + row.shell)) != 0) ::_exit(4);
  if (row.flags & kFullDisk) {
    QFile filler(root + "/filler");
    filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qint64 size : {4096, 1})
      while (filler.write(QByteArray(size, 'x')) == size) {
      }
  }
  if (row.flags & kLock) ::flock(::open(n(sig + "/.ZQ.txt.StillWriting"), O_RDONLY), LOCK_EX);
  if (row.flags & kNobody && ::geteuid() == 0 &&
      (::setgroups(0, nullptr) || ::setresgid(65534, 65534, 65534) ||
       ::setresuid(65534, 65534, 65534)))
    ::_exit(4);
  const auto appBefore = snapshot(app, sig), sigBefore = snapshot(sig, sig);
  ::alarm(20);  // a hang ends the child
  for (const char* op = row.ops; *op; ++op) {
    if (*op == 'D') FailureHandler("cmdDelSig_Click").run([] { RemoveRecord(kSignatures, "2"); });
    if (*op == 'A') FailureHandler("cmdSave_Click").run([] { AppendRecord(kSignatures, "17"); });
    if (*op == 'O') OutputSig({"h", "s", "f"});
    if (*op == 'S') writeINI(app + "/zq.ini", "Settings", "Interval", "6");
    if (*op == 'R')
      report << "read " + QString(sGetINI(app + "/zq.ini", "Settings", "Interval", "?"));
  }
  reportChanges(appBefore, snapshot(app, sig), report);
  reportChanges(sigBefore, snapshot(sig, sig), report);
  const QByteArray bytes = (report.join("; ") + '\x1e' + names.join(' ')).toUtf8();
  ::_exit(::write(fd, bytes.constData(), bytes.size()) == bytes.size() ? 0 : 2);
}

class FaultTest : public ::testing::TestWithParam<Row> {};

TEST_P(FaultTest, ShowsTheFailureOrStaysSilentAndLeavesExactBytes) {
  QTemporaryDir root;
  ::chmod(n(root.path()), 0755);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  if (pid == 0) child(GetParam(), root.path(), fds[1]);
  ::close(fds[1]);
  QFile out;
  ASSERT_TRUE(out.open(fds[0], QIODevice::ReadOnly, QFile::AutoCloseHandle));
  const QStringList parts = QString::fromUtf8(out.readAll()).split('\x1e');
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::chmod(n(root.filePath("app")), 0755);  // lets the folder go after a read-only case
  ASSERT_TRUE(status == 0 && parts.size() == 2) << "the child ended with " << status;
  EXPECT_EQ(parts[0].toStdString(), GetParam().expected);
  // Children forked from one state must not foresee each other's temporary names.
  static std::set<QString> seen;
  for (const QString& name : parts[1].split(' ', Qt::SkipEmptyParts))
    EXPECT_TRUE(seen.insert(name).second) << name.toStdString() << " again";
}

// Only root can mount, or give a file to another user.
std::vector<Row> rowsForThisUser() {
  std::vector<Row> rows;
  for (const Row& row : kRows)
    if (::geteuid() == 0 || !(row.flags & kRootOnly)) rows.push_back(row);
  return rows;
}
INSTANTIATE_TEST_SUITE_P(Faults, FaultTest, ::testing::ValuesIn(rowsForThisUser()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qm
