#pragma once

#include <QByteArray>
#include <QString>

// The only way any part of the program reads or writes a setting. Every read goes to the file.
namespace qm {

// The value under key in section of file, or def when the file, the section or the key is
// missing or the file cannot be read; at most 254 characters, the most that earlier builds
// read, so a longer value reads as it always did.
QByteArray sGetINI(const QString& file, QByteArrayView section, QByteArrayView key,
                   QByteArrayView def);

// Stores value under key in section of file, creating what is missing. The file is replaced
// atomically; a write that cannot be done (no write access, an unreadable or read-only file)
// is silently lost.
void writeINI(const QString& file, QByteArrayView section, QByteArrayView key,
              QByteArrayView value);

}  // namespace qm
