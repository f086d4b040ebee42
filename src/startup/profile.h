#pragma once

#include <QByteArray>
#include <optional>

// The rules of the settings file, on its bytes: one byte per character, sections in square
// brackets, key=value lines. Section and key names match without regard to letter case; the
// first of duplicate sections or keys wins; a line starting with ";" is a comment; a line
// without "=" is no key. Lines may end in CR LF, LF or CR; the file is written with CR LF. A
// UTF-8 byte-order mark at the start is read past and written back.
namespace qm {

// The value under key in section, with blanks around it and one pair of enclosing quotes
// removed; nullopt when the section or the key is missing.
std::optional<QByteArray> profileValue(QByteArrayView file, QByteArrayView section,
                                       QByteArrayView key);

// The file with value stored under key in section: an existing key keeps its line and its
// spelling, a new key becomes the last line of its section, a new section is added at the end
// under the name given. A value is one line: it ends at its first line break.
QByteArray withProfileValue(QByteArrayView file, QByteArrayView section, QByteArrayView key,
                            QByteArrayView value);

}  // namespace qm
