// The settings writer on any file (the rules and settings tests hold the reading cases). Input:
// eight control bytes at the end; from the front a value, a section, a key and an unused string,
// each ended by a backslash; the rest is the file. Control bits 0-1, 2-3: the section, the key:
// the input's (2) or the file's (bits 8-15, 16-23 pick which, in other letter case for 3).
#include <fuzzer/FuzzedDataProvider.h>
#include <QByteArrayList>

#include "common/ansi.h"
#include "startup/profile.h"

#define CHECK(c) ((c) ? void() : qFatal("violated: %s", #c))
static QByteArray trimmed(QByteArray t) {
  while (t.startsWith(' ') || t.startsWith('\t')) t.remove(0, 1);
  while (t.endsWith(' ') || t.endsWith('\t')) t.chop(1);
  return t;
}

extern "C" int LLVMFuzzerTestOneInput(const quint8* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const quint64 c = in.ConsumeIntegral<quint64>();
  QByteArray own[4];
  for (int i = 0; i < 4; ++i)
    own[i] = QByteArray::fromStdString(in.ConsumeRandomLengthString(i ? 300 : 600));
  const QByteArray file = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());
  QByteArrayList names[2];  // the file's sections and keys, found loosely
  for (QByteArray l : QByteArray(file).replace('\r', '\n').split('\n'))
    if ((l = trimmed(l)).startsWith('[') || l.contains('='))
      names[l[0] != '['] << trimmed(l[0] == '[' ? l.mid(1).split(']')[0] : l.split('=')[0]);
  // A section without "]", a key without "=" that does not start like a comment or a section.
  QByteArray pick[2];
  for (int i = 0; i < 2; ++i) {
    QByteArray& p = pick[i];
    const unsigned mode = c >> 2 * i & 3, which = c >> (8 + 8 * i) & 0xFF;
    p = mode == 2 || names[i].isEmpty() ? own[1 + i] : names[i][which % names[i].size()];
    if (mode == 3) p = which & 1 ? p.toUpper() : p.toLower();
    p = trimmed(p.replace('\r', "").replace('\n', "").replace(i ? '=' : ']', ""));
    while (i && (p.startsWith(';') || p.startsWith('['))) p = trimmed(p.mid(1));
  }
  const QByteArray &section = pick[0], &key = pick[1], value = "\t " + own[0] + " ";
  // It reads back as its first line without outer blanks and one pair of quotes.
  QByteArray back = trimmed(value.split('\n')[0].split('\r')[0]);
  if (back.size() > 1 && (back[0] == '"' || back[0] == '\'') && back.back() == back[0])
    back = back.mid(1, back.size() - 2);
  // The mark stays, lines end in CR LF, a rewrite changes nothing, another key (bits 24-31) stays.
  const QByteArray written = qm::withProfileValue(file, section, key, value);
  const QByteArray s = names[0].value(c >> 24 & 0xFF), k = names[1].value(c >> 24 & 0xFF);
  const qsizetype breaks = written.count("\r\n");
  CHECK(qm::profileValue(written, section, key) == back && written.endsWith("\r\n") &&
        written.startsWith("\xEF\xBB\xBF") == file.startsWith("\xEF\xBB\xBF") &&
        written.count('\r') == breaks && written.count('\n') == breaks &&
        qm::withProfileValue(written, section, key, value) == written);
  CHECK(
      !qm::fromAnsi(s + ']' + k).compare(qm::fromAnsi(section + ']' + key), Qt::CaseInsensitive) ||
      qm::profileValue(written, s, k) == qm::profileValue(file, s, k));
  return 0;
}
