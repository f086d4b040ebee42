#pragma once

#include <QByteArrayView>
#include <QString>

// The desktop services the program asks of the operating system. This header is the whole
// interface; linux.cpp provides it, and another platform means one more such file.
namespace qm::platform {

// The directory of the running executable, without a trailing separator (except "/").
QString applicationDir();

// Tests run each case in an application directory of their own.
void setApplicationDir(const QString& dir);

// The system temporary directory, where a first start points its paths.
QString temporaryDir();

// dir + "/" + name, using an existing file whose name differs from name only in letter case.
QString resolveFileName(const QString& dir, const QString& name);

// Replaces the file with bytes in one atomic step: a reader sees the old file or the new one,
// never a part. Throws Failure with the nearest classic number.
void replaceFile(const QString& path, QByteArrayView bytes);

// True when another instance of this installation runs for this user. The first call takes
// the instance lock and holds it until the process ends; a lock left by a killed process is
// taken over.
bool previousInstance();

// Ends the process at once: no further statement, no window's unload step.
[[noreturn]] void endNow(int exitCode);

}  // namespace qm::platform
