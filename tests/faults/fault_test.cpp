// Real file system faults, one forked child per row: the child seeds a store of sixteen records,
// settings and signature files, applies the row's setup, runs its operations (every failure box
// answered Abort) and reports the watched file calls, the boxes, and each changed name. Rows that
// need another user run as root only, and are skipped visibly otherwise.
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
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
// "h s f", Store Interval=6, P: a start asks whether another runs and knocks; w: watch the calls,
// f: fail syncs, m: mount a full disk, n: become nobody from here on, i: nobody locks every file
// made in sig/; the instance lock held till the row ends, as the program takes it by l: the
// caller, o: nobody, or by hand by 4: user 4242, s: the caller, who then becomes a sleep (which a
// knock would end). A changed name shows its mode and bytes, a box its number, text and procedure.
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
#define LOCK ".quillmate.lock 600="
#define WAKE ".quillmate.wake 644="  // a start without a launcher's token hands over none
#define INI6 "644=[Settings]\r\nSigLocation=%ROOT%/sig\r\nInterval=6\r\n"
const Row kRows[] = {
    // A change counts once it is on the disk: data synced before the rename, the folder after.
    {"Calls", "", "wADO",
     CALLS_A CALLS_D "; rename Sig.qmd; sync folder" CALLS_O "; rename ZQ.txt; sync folder; "
                     "Sig.qmd 644=1,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,; ZQ.txt 644=" TXT},
    {"CallsDeletingTheLast", "printf %-255s 2 >app/Sig.qmd", "wD",
     "open Sig.qmd; open Tmp.qmd; remove Sig.qmd; sync folder; Sig.qmd gone"},
    {"CallsCreatingAStore", "rm app/Sig.qmd", "wA",
     "open Sig.qmd; sync folder; write Sig.qmd; sync Sig.qmd; Sig.qmd 644=17,"},
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
     "OS", OUT("ZQ.txt.real 600") "; zq.ini.real " INI6},
    {"ForeignLink", "chmod 1777 sig; ln -sf $PWD/app/zq.ini sig/ZQ.txt; chown -h nobody sig/ZQ.txt",
     "O", DENIED " OutputSig"},
    // Files the program did not make stay, whatever their names: the user's, one still locked,
    // another user's, a link, a FIFO (a killed write's own leftover is the kill test's).
    {"Leftovers",
     "cd sig; chmod 640 ZQ.txt; touch .ZQ.txt.Abandoned001 .ZQ.rtf.Abandoned001 .ZQ.txt.short "
     ".ZQ.txt.StillWriting .ZQ.txt.OtherUser001 ZQ.txt.Abandoned001; chown nobody .ZQ.txt.Other*; "
     "ln -s ../app/zq.ini .ZQ.txt.LinkToIni001; mkfifo .ZQ.HTML.FifoFifo0001",
     "O", OUT("ZQ.txt 640")},
    // A removal's leftover goes whatever its letter case, a link without its target; but in the
    // folder a linked store points into, a tmp.qmd is the user's own.
    {"StaleTemporaryStore", "ln -s zq.ini app/tmp.QMD", "D",
     "Sig.qmd 644=1,3,4,5,6,7,8,9,10,11,12,13,14,15,16,; tmp.QMD gone"},
    {"LinkedStore",
     "mv app/Sig.qmd sig/Signatures.qmd; ln -s ../sig/Signatures.qmd app/Sig.qmd; echo mine "
     ">sig/tmp.qmd; echo mine >sig/TMP.QMD",
     "D", "Signatures.qmd 644=1,3,4,5,6,7,8,9,10,11,12,13,14,15,16,"},
    // In a shared folder nobody can open a new file before it is locked, so nobody can hold the
    // writes up; root writes no other user's file, and what root makes its owner can use.
    {"NeighbourLocksNewFiles", "chmod 1777 sig; rm sig/ZQ.txt", "iO", OUT("ZQ.txt 644")},
    {"AnotherUsersFileAsRoot", "chmod 1777 sig; chown nobody sig/ZQ.txt", "O", DENIED " OutputSig"},
    {"RootWritesThenOwner", "rm app/Sig.qmd sig/ZQ.*; chmod 755 app sig; chown -R nobody app sig",
     "AOnAOS", "Sig.qmd 644=17,17,; " OUT("ZQ.txt 644") "; zq.ini " INI6},
    // One installation, nobody's, runs once for its owner and root, started in either order;
    // another user's lock file keeps nobody out; a start knocks only at the program itself, and
    // leaves it what the launcher gave.
    {"OwnerThenRoot", "chown nobody app", "oP", "running, woken; " LOCK "; " WAKE},
    {"RootThenOwner", "chown nobody app", "lnP", "running; " LOCK},
    {"AnotherUsersLockFile", "touch app/" LOCK "; chmod 666 app/.q*; chown 4242 app/.q*", "4nP",
     "alone"},
    {"AnotherProgramHoldsTheLock", "", "sP", "running; " LOCK},
    {"ItselfHoldsTheLock", "", "lP", "running, woken; " LOCK "; " WAKE},
};

const auto n = [](const QString& path) { return QFile::encodeName(path); };

// As root, the user uid; others stay themselves.
void become(uid_t uid) {
  if (::geteuid() == 0 && uid != 0 && (::setresgid(uid, uid, uid) || ::setresuid(uid, uid, uid)))
    ::_exit(4);
}

// Runs body in a process that stays until the row's end kills its process group; returns once
// body wrote to the descriptor it is given.
template <typename Body>
pid_t helper(Body body) {
  int fds[2];
  if (::pipe(fds) != 0) ::_exit(4);
  const pid_t pid = ::fork();
  if (pid == 0) {
    body(fds[1]);
    for (;;) ::pause();
  }
  return ::read(fds[0], fds, 1) == 1 ? pid : (::_exit(4), 0);
}

// A neighbour, nobody, who opens and locks every file made in folder the moment it appears: on
// the same processor as the caller, who yields to it at once.
pid_t lockEveryNewFile(const QString& folder) {
  cpu_set_t one{};
  CPU_SET(sched_getcpu(), &one);
  const sched_param idle{};
  if (::sched_setaffinity(0, sizeof one, &one) != 0) ::_exit(4);
  const pid_t pid = helper([&](int ready) {
    const int watch = ::inotify_init();
    become(65534);
    if (::inotify_add_watch(watch, n(folder), IN_CREATE) < 0 || ::write(ready, "r", 1) != 1)
      ::_exit(4);
    alignas(inotify_event) char events[4096];
    for (ssize_t got; (got = ::read(watch, events, sizeof events)) > 0;)
      for (char* e = events; e < events + got;
           e += sizeof(inotify_event) + ((inotify_event*)e)->len)
        ::flock(::open(n(folder + '/' + ((inotify_event*)e)->name), O_RDONLY | O_NONBLOCK),
                LOCK_EX);
  });
  if (::sched_setscheduler(0, SCHED_IDLE, &idle) != 0) ::_exit(4);
  return pid;
}

// A holder of the instance lock (see the ops); the sleep says it is ready once it runs.
pid_t holdLock(char how, const QString& lock) {
  return helper([&](int ready) {
    ::signal(SIGUSR1, [](int) {});  // a knock it hears; an exec forgets the handler
    become(how == 'o' ? 65534 : how == '4' ? 4242 : 0);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    if (how == 'l' || how == 'o'
            ? platform::previousInstance()
            : ::fcntl(::open(n(lock), O_RDWR | O_CREAT, 0600), F_SETLK, &whole))
      ::_exit(4);
    const QByteArray sleep = "printf r >&" + QByteArray::number(ready) + "; exec sleep 30";
    if (how == 's') ::execl("/bin/sh", "sh", "-c", sleep.constData(), nullptr);
    if (::write(ready, "r", 1) != 1) ::_exit(4);
  });
}

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
  const pid_t neighbour = has('i') ? lockEveryNewFile(root + "/sig") : 0;
  std::vector<pid_t> holders;
  const auto before = snapshot(root);
  ::alarm(20);  // a hang ends the child
  for (const char* op = row.ops; *op; ++op) {
    if (*op == 'n') become(65534);
    if (std::strchr("lo4s", *op)) holders.push_back(holdLock(*op, root + "/app/.quillmate.lock"));
    if (*op == 'P')
      report << (!platform::previousInstance()      ? "alone"
                 : platform::wakePreviousInstance() ? "running, woken"
                                                    : "running");
    if (*op == 'D') FailureHandler("cmdDelSig_Click").run([] { RemoveRecord(kSignatures, "2"); });
    if (*op == 'A') FailureHandler("cmdSave_Click").run([] { AppendRecord(kSignatures, "17"); });
    if (*op == 'O') OutputSig({"h", "s", "f"});
    if (*op == 'S') writeINI(ModSig.IniPath, "Settings", "Interval", "6");
  }
  const sched_param normal{};  // back to a fair share, which a busy machine would deny
  if (neighbour) ::sched_setscheduler(0, SCHED_OTHER, &normal);
  if (!holders.empty()) ::usleep(100000);  // a knock is on its way
  for (const pid_t holder : holders)
    if (::waitpid(holder, nullptr, WNOHANG) != 0) report << "a holder ended";
  auto after = snapshot(root), all = before;
  all.insert(after);
  for (const QString& name : all.keys())
    if (before.value(name) != after.value(name)) report << name + ' ' + after.value(name, "gone");
  const QByteArray bytes = (report.join("; ") + '\x1e' + names.join(' ')).toUtf8();
  ::_exit(::pwrite(fd, bytes.constData(), bytes.size(), 0) == bytes.size() ? 0 : 2);
}

TEST(FaultTest, EachRowShowsItsFailuresOrStaysSilentAndLeavesExactBytes) {
  QStringList seen, skipped;  // children forked from one state must not foresee each other's names
  for (const Row& row : kRows) {
    // Only root mounts, gives files away or acts as another user.
    if (::geteuid() != 0 && (std::strpbrk(row.ops, "mi") || std::strstr(row.shell, "chown"))) {
      skipped << row.name;
      continue;
    }
    SCOPED_TRACE(row.name);
    QTemporaryDir root;
    ::chmod(n(root.path()), 0755);
    QTemporaryFile out;  // opened here: neither a full disk nor nobody keeps the child out
    int status = 0;
    ASSERT_TRUE(out.open());
    const pid_t pid = ::fork();
    if (pid == 0) ::setpgid(0, 0), child(row, root.path(), out.handle());
    ::waitpid(pid, &status, 0);
    ::kill(-pid, SIGKILL);  // the helpers it left
    const QStringList parts = QString::fromUtf8(out.readAll()).split('\x1e');
    ::chmod(n(root.filePath("app")), 0755);  // lets the folder go after a read-only case
    EXPECT_EQ(status == 0 ? parts.value(0).toStdString() : "ended with " + std::to_string(status),
              row.expected);
    seen += parts.value(1).split(' ', Qt::SkipEmptyParts);
  }
  EXPECT_EQ(seen.removeDuplicates(), 0) << seen.join(' ').toStdString();
  if (!skipped.isEmpty()) GTEST_SKIP() << "as root only: " << skipped.join(", ").toStdString();
}

}  // namespace
}  // namespace qm
