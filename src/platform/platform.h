#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// The desktop services the program asks of the operating system, besides files (files.h).
// linux.cpp provides them; another platform means one more such file.
namespace qm::platform {

// The directory of the running executable, without a trailing separator (except "/").
QString applicationDir();

// Tests run each case in an application directory of their own.
void setApplicationDir(const QString& dir);

// The system temporary directory, where a first start points fileloc.
QString temporaryDir();

// Where a first start points the signature files: a folder of the user's own that outlives a
// reboot and where no other user can plant or lock files, $XDG_DATA_HOME/quillmate
// (~/.local/share/quillmate). Root on another user's installation takes that user's.
QString privateSignatureDir();

// Creates the folder and its missing parents, open to their owner only; one already there stays
// as it is.
void createPrivateDir(const QString& path);

// A path as the file system's bytes, as the settings file keeps it, and back; any folder the
// user can pick is kept that way. Earlier builds kept the path as Windows-1252 text: such a
// value is read that way where only that reading names an existing folder, or where the bytes
// are no text in the file system's encoding.
QByteArray pathBytes(const QString& path);
QString pathFromBytes(const QByteArray& bytes);

// dir + "/" + name, using an existing file whose name differs from name only in letter case.
QString resolveFileName(const QString& dir, const QString& name);

// True when another instance runs on this application directory, started from whatever
// environment, by the user, by root or by the directory's owner. The first call takes a lock on a
// file in the directory, which the kernel lets go when the process ends however it ends; the
// file's content never matters. Where no lock can be had (a read-only directory, a file of
// another user's), nobody is kept out.
bool previousInstance();

// After previousInstance() said true: asks the instance that holds the lock to show itself, and
// hands it what the launcher gave this start to bring a window forward. False when it could not
// be reached, or the lock's holder is another program.
bool wakePreviousInstance();

// Runs onEnd on the user-interface thread, between two events, when the system asks the
// program to end (shutdown, logout, Ctrl+C), and onWake when a later start asks it to show
// itself, with the later start's activation token or startup id (empty when it had none).
void onRequests(std::function<void()> onEnd, std::function<void(const QByteArray&)> onWake);

// Ends the process at once: no further statement, no window's unload step. The instance lock's
// file goes with it.
[[noreturn]] void endNow(int exitCode);

}  // namespace qm::platform
