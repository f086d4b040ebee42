#include "common/ansi.h"

#include <algorithm>
#include <array>

namespace qm {
namespace {

// What Windows-1252 makes of the bytes 0x80..0x9F (C1 controls in Latin-1); undefined ones keep
// their own value.
constexpr std::array<char16_t, 32> kBytes80To9F = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t decodeByte(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kBytes80To9F[byte - 0x80];
  return byte;
}

char encodeChar(char16_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<char>(ch);
  for (std::size_t i = 0; i < kBytes80To9F.size(); ++i) {
    if (kBytes80To9F[i] == ch) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

QString fromAnsi(QByteArrayView bytes) {
  QString text(bytes.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    text[i] = QChar(decodeByte(static_cast<unsigned char>(bytes[i])));
  }
  return text;
}

QByteArray toAnsi(QStringView text) {
  QByteArray bytes(text.size(), Qt::Uninitialized);
  qsizetype out = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    // A surrogate pair is one character outside the code page: one "?".
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
    bytes[out++] = encodeChar(text[i].unicode());
  }
  bytes.truncate(out);
  return bytes;
}

QByteArrayView trimOuter(QByteArrayView text, QByteArrayView outer) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && outer.contains(text[begin])) ++begin;
  while (end > begin && outer.contains(text[end - 1])) --end;
  return text.sliced(begin, end - begin);
}

QByteArrayView firstBytes(QByteArrayView bytes, int limit) {
  qsizetype end = std::min<qsizetype>(bytes.size(), limit);
  if (end > 0 && end < bytes.size() && bytes[end - 1] == '\r' && bytes[end] == '\n') --end;
  return bytes.first(end);
}

}  // namespace qm
