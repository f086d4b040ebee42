#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// Files on the operating system's calls; linux_files.cpp provides them. Every failure throws
// Failure with the nearest failure number (failure.h). A name that holds no regular file (a FIFO, a
// device, a socket, a folder) is refused with "Path/File access error" before anything could
// wait on it, and a file with no write permission bit is refused for writing with "Permission
// denied", to root as well.
namespace qm::platform {

// An open regular file, closed when it goes out of scope.
class File {
 public:
  // ReadExisting never creates: a missing file is FileNotFound.
  enum class Access { Read, Write, ReadWrite, ReadExisting };

  // A missing file is created empty, except for ReadExisting.
  File(const QString& path, Access access);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  qint64 size() const;
  // Up to size bytes at offset; fewer only at the end of the file.
  qint64 readAt(char* data, qint64 size, qint64 offset) const;
  void writeAt(QByteArrayView bytes, qint64 offset);
  // Back to size bytes as far as that goes, reporting nothing: it only undoes a failed append,
  // whose leftover part, should this fail too, the next append overwrites.
  void truncate(qint64 size);
  // Returns once the written bytes are on the disk.
  void sync();

 private:
  QString path_;
  int fd_;
};

// The whole file; Failure FileNotFound when there is none.
QByteArray readFile(const QString& path);

// The size of the regular file named exactly path, by one open, fstat and close, creating
// nothing; nullopt when the name cannot be opened (missing, say), for the caller to take its
// slower way. A name that holds no regular file is refused as File refuses it.
std::optional<qint64> sizeByExactName(const QString& path);

// True when anything, a dangling link too, bears the name.
bool exists(const QString& path);

// Deletes the file (the target of a link, which stays) and makes the deletion durable.
void removeFile(const QString& path);

// A new version of a file, written beside it and put in its place by one rename: a reader sees
// the old file or the new one, never a part, and a failure leaves the old one. A link is
// followed and its target replaced, so the link stays, unless another user planted it in a
// folder shared with them; the new file keeps the old one's permission bits.
class Replacement {
 public:
  // fixedTempName, for a folder of the program's own: the temporary file's name beside path, any
  // earlier leftover of which is discarded first. Elsewhere, and where a link leads, the name is
  // new and unpredictable, made exclusively, never through a link and readable by no other user
  // until it is locked, as a folder shared with others needs; what killed writes left there is
  // cleared, but never a file another process is still writing, nor one the program did not make.
  explicit Replacement(const QString& path, const QString& fixedTempName = {});
  ~Replacement();  // deletes the temporary file unless it has replaced the target
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;

  void writeAt(QByteArrayView bytes, qint64 offset);
  // Later: the caller syncs the folder, once after the last of several renames in it.
  enum class FolderSync { Now, Later };
  // Syncs the new file, renames it over the target and syncs the folder, unless Later.
  void commit(FolderSync folderSync = FolderSync::Now);
  // The folder the target is renamed in, its links followed.
  QString folder() const;

 private:
  QString target_;
  QString temp_;
  QString marker_;  // names temp_ until it is gone
  int fd_ = -1;
  bool committed_ = false;
};

// The file's content replaced by bytes, through a Replacement with a new name; returns the
// folder renamed in, which the caller syncs when it asked for Later.
QString replaceFile(const QString& path, QByteArrayView bytes,
                    Replacement::FolderSync folderSync = Replacement::FolderSync::Now);

// Makes the renames and deletions made in the folder durable. A folder that cannot be opened or
// synced (a file system without the call) is left as it is: the changes have been made.
void syncFolder(const QString& folder);

// The calls a test can watch and fail.
enum class FileCall { Open, Write, Sync, Rename, Remove, SyncFolder };

// Test hook: runs before each such call with its path (and for a write its offset and size); a
// non-zero errno makes the call fail with it. An empty function turns it off.
using FileHook = std::function<int(FileCall call, const QString& path, qint64 offset, qint64 size)>;
void setFileHookForTest(FileHook hook);

}  // namespace qm::platform
