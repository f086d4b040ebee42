// The settings file's reader and writer on any bytes, one input in eight through the real file.
// Input (FuzzedDataProvider): eight control bytes at the end; from the front a value, a section,
// a key and a default, each ended by a backslash; the rest is the file. Control bits 0-1, 2-3:
// the section, the key: the input's (2) or the file's (bits 8-15, 16-23 pick which, in other
// letter case for 3); 4-6 all zero: the real file too, missing with bit 7.
#include <fuzzer/FuzzedDataProvider.h>

#include "common/ansi.h"
#include "fuzz_check.h"
#include "startup/profile.h"
#include "startup/utility.h"

namespace {
QByteArray trimmed(QByteArrayView t) {
  while (t.startsWith(' ') || t.startsWith('\t')) t = t.sliced(1);
  while (t.endsWith(' ') || t.endsWith('\t')) t.chop(1);
  return t.toByteArray();
}
// Lines end in CR LF, CR or LF; a written value is its first line without outer blanks and
// without one pair of enclosing quotes.
QByteArrayList lines(QByteArray t) {
  return t.replace("\r\n", "\n").replace('\r', '\n').split('\n');
}
QByteArray readBack(const QByteArray& value) {
  const QByteArray t = trimmed(lines(value)[0]);
  return t.size() > 1 && (t[0] == '"' || t[0] == '\'') && t.back() == t[0] ? t.mid(1, t.size() - 2)
                                                                           : t;
}
bool same(const QByteArray& a, const QByteArray& b) {
  return !qm::fromAnsi(a).compare(qm::fromAnsi(b), Qt::CaseInsensitive);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const quint8* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const quint64 c = in.ConsumeIntegral<quint64>();
  QByteArray own[4];  // value, section, key, default
  for (int i = 0; i < 4; ++i)
    own[i] = QByteArray::fromStdString(in.ConsumeRandomLengthString(i ? 300 : 600));
  const QByteArray file = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString()),
                   mark = "\xEF\xBB\xBF";
  QByteArrayList names[2];  // the file's sections and keys, found loosely
  for (const QByteArray& line : lines(file)) {
    const QByteArray t = trimmed(line);
    if (t.startsWith('[') || t.contains('='))
      names[!t.startsWith('[')] << trimmed(t.startsWith('[') ? t.mid(1, t.indexOf(']') - 1)
                                                             : t.left(t.indexOf('=')));
  }
  // A section without "]", a key without "=" that does not start like a comment or a section.
  QByteArray pick[2];
  for (int i = 0; i < 2; ++i) {
    const unsigned mode = c >> 2 * i & 3, which = c >> (8 + 8 * i) & 0xFF;
    pick[i] = mode == 2 || names[i].isEmpty() ? own[1 + i] : names[i][which % names[i].size()];
    if (mode == 3) pick[i] = which & 1 ? pick[i].toUpper() : pick[i].toLower();
    pick[i].replace('\r', "").replace('\n', "").replace(i ? '=' : ']', "");
    while ((pick[i] = trimmed(pick[i])).startsWith(i ? ";" : "\x01") ||
           (i && pick[i].startsWith('[')))
      pick[i].remove(0, 1);
  }
  const QByteArray &section = pick[0], &key = pick[1], value = "\t " + own[0] + " ";
  // The writer: the value reads back, the mark stays, lines end in CR LF, an existing key keeps
  // its line, a new one (and its section) adds one (two), and writing again changes nothing.
  const QByteArray written = qm::withProfileValue(file, section, key, value);
  const auto before = qm::profileValue(file, section, key);
  const auto count = [](const QByteArray& t) {
    return t.isEmpty() ? 0 : lines(t).size() - (t.endsWith('\r') || t.endsWith('\n'));
  };
  const qsizetype added = count(written) - count(file), breaks = written.count("\r\n");
  CHECK(qm::profileValue(written, section, key) == readBack(value) &&
        written.startsWith(mark) == file.startsWith(mark) && written.endsWith("\r\n"));
  CHECK(written.count('\r') == breaks && written.count('\n') == breaks &&
        (before ? added == 0 : added == 1 || added == 2));
  CHECK(qm::withProfileValue(written, section, key, value) == written);
  // The reader: one line, no comment, whatever the line ends, a byte-order mark, letter case;
  // the first of duplicate keys and sections wins; other keys stay as they were.
  for (const QByteArray& s : {section, names[0].value(c >> 24 & 0xFF)}) {
    for (const QByteArray& k : {key, names[1].value(c >> 24 & 0xFF)}) {
      const auto read = qm::profileValue(file, s, k);
      CHECK(!read || (!read->contains('\r') && !read->contains('\n')));
      CHECK(!qm::profileValue(file, s, ";" + k) &&
            qm::profileValue(lines(file).join('\n'), s, k) == read);
      CHECK(file.startsWith(mark) || qm::profileValue(mark + file, s, k) == read);
      CHECK(qm::profileValue(file, s.toUpper(), k.toLower()) == read);
      const QByteArray later = k + '=' + read.value_or("") + "+\r\n";
      CHECK(!read ||
            qm::profileValue(file + "\r\n" + later + '[' + s + "]\r\n" + later, s, k) == read);
      CHECK((same(s, section) && same(k, key)) || qm::profileValue(written, s, k) == read);
    }
  }
  // The real file: the same reads, at most 254 bytes, or the default; the same bytes written.
  if (c >> 4 & 7) return 0;
  const QString path = fuzz::scratch.filePath("zq.ini");
  QFile out(path);
  CHECK((c & 0x80 ? !out.exists() || out.remove()
                  : out.open(QIODevice::WriteOnly) && out.write(file) == file.size()));
  out.close();
  const QByteArray start = c & 0x80 ? "" : file;
  CHECK(qm::sGetINI(path, section, key, own[3]) ==
        qm::profileValue(start, section, key).value_or(own[3]).left(254));
  qm::writeINI(path, section, key, value);
  CHECK(out.open(QIODevice::ReadOnly) &&
        out.readAll() == qm::withProfileValue(start, section, key, value));
  CHECK(qm::sGetINI(path, section, key, own[3]) == readBack(value).left(254) &&
        fuzz::files() == QStringList{"zq.ini"});
  return 0;
}
