#pragma once

#include <QByteArray>
#include <QString>

// Texts that touch files are one byte per character in Windows-1252; these two functions are
// the only crossing between those bytes and QString.
namespace qm {

// Every byte maps to one character; the five bytes that Windows-1252 leaves undefined map to
// the control characters of the same value, so any file reads back unchanged.
QString fromAnsi(QByteArrayView bytes);

// A character outside Windows-1252 becomes "?".
QByteArray toAnsi(QStringView text);

// The text without the characters of `outer` at either end: by default the space (0x20) alone,
// so tabs and line breaks stay.
QByteArrayView trimOuter(QByteArrayView text, QByteArrayView outer = " ");

// The first bytes up to the limit, never half of a CR LF.
QByteArrayView firstBytes(QByteArrayView bytes, int limit);

}  // namespace qm
