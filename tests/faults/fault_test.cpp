// Real file system faults, one forked child per row: the child seeds a store of sixteen records,
// settings and signature files, applies the row's setup, runs its operations (every failure box
// answered Abort) and reports the watched file calls, the boxes, and each changed name.
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
#include <QTemporaryFile>

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

// shell runs in the root folder, which holds app/ and sig/; ops: Delete "2", Append "17", Output
// "h s f", Store Interval=6; w: watch the calls, f: fail syncs, m: mount a full disk, n: become
// nobody. A changed name shows its mode and bytes, a box its number, text and procedure.
struct Row {
  const char *name, *shell, *ops, *expected;
};
#define TXT "\r\nh\r\ns\r\nf\r\n"
#define OUT(txt) "ZQ.HTML 644=<BR><P>h<BR>s<BR>f</P>\r\n; ZQ.rtf 644=" TXT "; " txt "=" TXT
#define CALLS_A "open Sig.qmd; write Sig.qmd; sync Sig.qmd"
#define CALLS_D "; open Sig.qmd; open Tmp.qmd; write Tmp.qmd; sync Tmp.qmd"
#define CALLS_O "; open zq.ini; open .ZQ.txt.*; write .ZQ.txt.*; sync .ZQ.txt.*"
#define DAO(t) t " cmdDelSig_Click; " t " cmdSave_Click; " t " OutputSig"
#define ACCESS "75 Path/File access error"
#define DENIED "70 Permission denied"
const Row kRows[] = {
    // A change counts once it is on the disk: data synced before the rename, the folder after.
    {"Calls", "", "wADO",
     CALLS_A CALLS_D "; rename Sig.qmd; sync folder" CALLS_O "; rename ZQ.txt; sync folder; "
                     "Sig.qmd 644=1,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,; ZQ.txt 644=" TXT},
    {"CallsDeletingTheLast", "printf %-255s 2 >app/Sig.qmd", "wD",
     "open Sig.qmd; open Tmp.qmd; remove Sig.qmd; sync folder; Sig.qmd gone"},
    // A failed sync leaves the old file, no temporary one, and takes an append back.
    {"SyncFails", "", "wfADO",
     CALLS_A "; " ACCESS " cmdSave_Click" CALLS_D "; " ACCESS " cmdDelSig_Click" CALLS_O "; " ACCESS
             " OutputSig"},
    // On a full disk too the part of a record that fitted is taken back; settings stay silent.
    {"FullDisk", "cat /dev/zero 2>/dev/null >filler; true", "mDAOS",
     "61 Disk full MoveSig; 61 Disk full cmdSave_Click; 61 Disk full OutputSig"},
    // Root, too, is refused files without a write bit.
    {"ReadOnly", "chmod 444 app/Sig.qmd app/zq.ini sig/ZQ.txt", "DAOS", DAO(DENIED)},
    {"AppDirAsNobody", "chmod 555 app", "nDS", DENIED " cmdDelSig_Click"},
    {"StoreAsNobody", "chmod 444 app/Sig.qmd", "nA", DENIED " cmdSave_Click"},
    {"NoSigDir", "rm -r sig", "O", "76 Path not found OutputSig"},
    // Nothing waits for a FIFO's other end.
    {"Fifos", "rm app/Sig.qmd sig/ZQ.txt; mkfifo app/Sig.qmd sig/ZQ.txt", "DAO", DAO(ACCESS)},
    // Links of the user's stay, their targets change and keep their mode; another user's link in
    // a folder others may write to is refused.
    {"OwnLinks",
     "cd app; mv zq.ini zq.ini.real; ln -s zq.ini.real zq.ini; cd ../sig; mv ZQ.txt ZQ.txt.real;"
     "chmod 600 ZQ.txt.real; ln -s ZQ.txt.real ZQ.txt",
     "OS",
     OUT("ZQ.txt.real 600") "; zq.ini.real "
                            "644=[Settings]\r\nSigLocation=%ROOT%/sig\r\nInterval=6\r\n"},
    {"ForeignLink", "chmod 1777 sig; ln -sf $PWD/app/zq.ini sig/ZQ.txt; chown -h nobody sig/ZQ.txt",
     "O", DENIED " OutputSig"},
    // Only abandoned temporary files go: not a locked one, another user's, a link or a FIFO.
    {"Leftovers",
     "cd sig; chmod 640 ZQ.txt; touch .ZQ.txt.Abandoned001 .ZQ.rtf.Abandoned001 .ZQ.txt.short "
     ".ZQ.txt.StillWriting .ZQ.txt.OtherUser001 ZQ.txt.Abandoned001; chown nobody .ZQ.txt.Other*; "
     "ln -s ../app/zq.ini .ZQ.txt.LinkToIni001; mkfifo .ZQ.HTML.FifoFifo0001",
     "O", ".ZQ.rtf.Abandoned001 gone; .ZQ.txt.Abandoned001 gone; " OUT("ZQ.txt 640")},
    // A removal's leftover goes whatever its letter case, a link without its target.
    {"StaleTemporaryStore", "ln -s zq.ini app/tmp.QMD", "D",
     "Sig.qmd 644=1,3,4,5,6,7,8,9,10,11,12,13,14,15,16,; tmp.QMD gone"},
};

const auto n = [](const QString& path) { return QFile::encodeName(path); };

// Each name in both folders: its mode, "=" and a regular file's bytes, a store's padding as commas.
QMap<QString, QString> snapshot(const QString& root) {
  QMap<QString, QString> files;
  for (const QString& dir : {root + "/app", root + "/sig"})
    for (const QString& name : QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                   QDir::Hidden | QDir::System)) {
      struct stat st {};
      QFile file(dir + '/' + name);
      ::lstat(n(file.fileName()), &st);
      QString bytes;
      if (S_ISREG(st.st_mode) && file.open(QIODevice::ReadOnly)) bytes = file.readAll();
      if (name.endsWith(".qmd")) bytes.replace(QRegularExpression(" {2,}"), ",");
      files[name] = QString("%1=").arg(st.st_mode & 0777, 0, 8) + bytes.replace(root, "%ROOT%");
    }
  return files;
}

[[noreturn]] void child(const Row& row, const QString& root, int fd) {
  // A full 256 KiB tmpfs of its own but for the store's last page: an append fits in part only.
  if (std::strchr(row.ops, 'm') &&
      (::unshare(CLONE_NEWNS) || ::mount("", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
       ::mount("tmpfs", n(root), "tmpfs", 0, "size=256k")))
    ::_exit(5);
  ::umask(022);
  const char* seed =
      "mkdir -m 777 app sig && for i in $(seq 16); do printf %-255s $i; done >app/Sig.qmd && "
      "printf '[Settings]\\r\\nSigLocation=%s\\r\\nInterval=4\\r\\n' \"$PWD/sig\" >app/zq.ini && "
      "printf 'old text' >sig/ZQ.txt && printf 'old html' >sig/ZQ.HTML || exit 1; ";
  if (std::system(qPrintable("cd '" + root + "' && " + seed + row.shell)) != 0) ::_exit(4);
  platform::setApplicationDir(root + "/app");
  ModSig.IniPath = root + "/app/zq.ini";
  const auto has = [&](char flag) { return std::strchr(row.ops, flag) != nullptr; };
  ModSig.WriteType = has('w') ? "Text" : "Text & HTML";
  QStringList report, names;  // names: the temporary files it made
  installMsgBox([&report](MsgKind kind, const QString& prompt, const QString& title) {
    static const QRegularExpression box(
        "^Error (\\d+): \\r\\n(.+)\\r\\n\\t\\toccurred at line \\d+\\r\\nin Quillmate: (\\w+)$");
    const bool failure = kind == MsgKind::Failure && title == "Quillmate Error";
    report << (failure ? "" : "another box: ") + QString(prompt).replace(box, "\\1 \\2 \\3");
    return int(vbAbort);
  });
  platform::setFileHookForTest([&](platform::FileCall call, const QString& path, qint64, qint64) {
    static const char* said[] = {"open ", "write ", "sync ", "rename ", "remove ", "sync folder"};
    static const QRegularExpression random(R"(\.[A-Za-z0-9]{12}$)");
    QString name = call == platform::FileCall::SyncFolder ? "" : QFileInfo(path).fileName();
    if (call == platform::FileCall::Open && random.match(name).hasMatch()) names << name;
    if (has('w')) report << said[int(call)] + name.replace(random, ".*");
    return has('f') && call == platform::FileCall::Sync ? EIO : 0;
  });
  ::flock(::open(n(root + "/sig/.ZQ.txt.StillWriting"), O_RDONLY), LOCK_EX);
  if (has('n') && ::geteuid() == 0 &&
      (::setresgid(65534, 65534, 65534) || ::setresuid(65534, 65534, 65534)))
    ::_exit(4);
  const auto before = snapshot(root);
  ::alarm(20);  // a hang ends the child
  for (const char* op = row.ops; *op; ++op) {
    if (*op == 'D') FailureHandler("cmdDelSig_Click").run([] { RemoveRecord(kSignatures, "2"); });
    if (*op == 'A') FailureHandler("cmdSave_Click").run([] { AppendRecord(kSignatures, "17"); });
    if (*op == 'O') OutputSig({"h", "s", "f"});
    if (*op == 'S') writeINI(ModSig.IniPath, "Settings", "Interval", "6");
  }
  auto after = snapshot(root), all = before;
  all.insert(after);
  for (const QString& name : all.keys())
    if (before.value(name) != after.value(name)) report << name + ' ' + after.value(name, "gone");
  const QByteArray bytes = (report.join("; ") + '\x1e' + names.join(' ')).toUtf8();
  ::_exit(::pwrite(fd, bytes.constData(), bytes.size(), 0) == bytes.size() ? 0 : 2);
}

TEST(FaultTest, EachRowShowsItsFailuresOrStaysSilentAndLeavesExactBytes) {
  QStringList seen;  // children forked from one state must not foresee each other's temp names
  for (const Row& row : kRows) {
    if (::geteuid() != 0 && (std::strchr(row.ops, 'm') || std::strstr(row.shell, "chown")))
      continue;  // only root mounts or gives files away
    SCOPED_TRACE(row.name);
    QTemporaryDir root;
    ::chmod(n(root.path()), 0755);
    QTemporaryFile out;  // opened here: neither a full disk nor nobody keeps the child out
    int status = 0;
    ASSERT_TRUE(out.open());
    const pid_t pid = ::fork();
    if (pid == 0) child(row, root.path(), out.handle());
    ::waitpid(pid, &status, 0);
    const QStringList parts = QString::fromUtf8(out.readAll()).split('\x1e');
    ::chmod(n(root.filePath("app")), 0755);  // lets the folder go after a read-only case
    ASSERT_TRUE(status == 0 && parts.size() == 2) << "the child ended with " << status;
    EXPECT_EQ(parts[0].toStdString(), row.expected);
    seen += parts[1].split(' ', Qt::SkipEmptyParts);
  }
  EXPECT_EQ(seen.removeDuplicates(), 0) << seen.join(' ').toStdString();
}

}  // namespace
}  // namespace qm
