// Fuzzes the settings file: the reader and the writer on bytes, and now and then the real
// file through sGetINI and writeINI.
//
// Input layout (FuzzedDataProvider): eight control bytes at the end, little-endian; from the
// front the value to write, a section, a key and a default, each ended by a backslash and any
// other byte; the rest is the settings file. Control bits:
//   0-1, 2-3: the section, the key: a name of the file (0, 1), the input's own (2), a name of
//             the file in other letter case (3); 8-15, 16-23: which name of the file
//   4-6: all zero to go through the real file too; 7: the real file is missing
//   24-31: which names to probe and which other line ends to try
//   32-33, 34-35: blanks before and after the value
#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "common/ansi.h"
#include "fuzz_check.h"
#include "startup/profile.h"
#include "startup/utility.h"

namespace {

using Value = std::optional<QByteArray>;

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

bool isBreak(char c) {
  return c == '\r' || c == '\n';
}

QByteArray trimmedBlanks(QByteArrayView text) {
  while (!text.isEmpty() && isBlank(text.front())) text = text.sliced(1);
  while (!text.isEmpty() && isBlank(text.back())) text.chop(1);
  return text.toByteArray();
}

QByteArray firstLine(QByteArrayView text) {
  qsizetype end = 0;
  while (end < text.size() && !isBreak(text[end])) ++end;
  return text.first(end).toByteArray();
}

// What the reader gives back for a written value: its first line without outer blanks and
// without one pair of enclosing quotes.
QByteArray readBack(QByteArrayView written) {
  const QByteArray text = trimmedBlanks(firstLine(written));
  const bool quoted = text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
                      text.back() == text.front();
  return quoted ? text.sliced(1, text.size() - 2) : text;
}

bool sameName(QByteArrayView a, QByteArrayView b) {
  return qm::fromAnsi(a).compare(qm::fromAnsi(b), Qt::CaseInsensitive) == 0;
}

// CR LF, a lone CR and a lone LF each end a line; a break at the very end opens no line.
struct Lines {
  std::vector<QByteArray> lines;
  bool brokenAtEnd = false;
};

Lines splitLines(QByteArrayView file) {
  Lines result;
  QByteArray current;
  for (qsizetype i = 0; i < file.size(); ++i) {
    if (!isBreak(file[i])) {
      current += file[i];
      continue;
    }
    result.lines.push_back(current);
    current.clear();
    if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') ++i;
  }
  result.brokenAtEnd = !file.isEmpty() && isBreak(file.back());
  if (!file.isEmpty() && !result.brokenAtEnd) result.lines.push_back(current);
  return result;
}

QByteArray joined(const Lines& split, QByteArrayView separator) {
  QByteArray file;
  for (std::size_t i = 0; i < split.lines.size(); ++i) {
    if (i > 0) file += separator;
    file += split.lines[i];
  }
  if (split.brokenAtEnd) file += separator;
  return file;
}

// Names a file offers, found loosely: a probe need not be a name the reader accepts.
struct Names {
  std::vector<QByteArray> sections;
  std::vector<QByteArray> keys;
};

Names namesIn(const Lines& split) {
  Names names;
  for (const QByteArray& line : split.lines) {
    const QByteArray text = trimmedBlanks(line);
    if (text.startsWith('[')) {
      const qsizetype close = text.indexOf(']');
      names.sections.push_back(
          trimmedBlanks(close < 0 ? text.sliced(1) : text.sliced(1, close - 1)));
    } else if (const qsizetype equals = text.indexOf('='); equals >= 0) {
      names.keys.push_back(trimmedBlanks(text.first(equals)));  // ";key" of a comment too
    }
  }
  return names;
}

// The program's names are plain words; a name the file format cannot hold is made one it can:
// a section without "]", a key without "=" that does not start like a comment or a section.
QByteArray writableSection(QByteArray name) {
  name.replace('\r', "").replace('\n', "").replace(']', "");
  return trimmedBlanks(name);
}

QByteArray writableKey(QByteArray name) {
  name.replace('\r', "").replace('\n', "").replace('=', "");
  for (;;) {
    name = trimmedBlanks(name);
    if (!name.startsWith(';') && !name.startsWith('[')) return name;
    name.remove(0, 1);
  }
}

QByteArray swappedCase(QByteArray name) {
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return name;
}

QByteArray otherCase(QByteArrayView name, bool upper) {
  const QString text = qm::fromAnsi(name);
  return qm::toAnsi(upper ? text.toUpper() : text.toLower());
}

// A name from the file (index picks it, maybe in other letter case) or the fuzzer's own.
QByteArray chosenName(unsigned mode, unsigned index, const std::vector<QByteArray>& fromFile,
                      const std::string& own) {
  if (mode == 2 || fromFile.empty()) return QByteArray::fromStdString(own);
  const QByteArray& name = fromFile[index % fromFile.size()];
  return mode == 3 ? otherCase(name, index & 1) : name;
}

// At most n entries, spread over the list.
std::vector<QByteArray> spread(const std::vector<QByteArray>& all, std::size_t n, unsigned offset) {
  std::vector<QByteArray> some;
  if (all.empty()) return some;
  const std::size_t step = all.size() <= n ? 1 : all.size() / n;
  for (std::size_t i = 0; i < all.size() && some.size() < n; i += step) {
    some.push_back(all[(i + offset) % all.size()]);
  }
  return some;
}

void checkValue(const Value& value) {
  if (!value) return;
  CHECK(!value->contains('\r') && !value->contains('\n'));
}

// The written file must keep every line of the old one and change exactly one key line, or
// add one key line, or add a section header and its key line at the end.
void checkLines(const Lines& before, const QByteArray& after, bool keyExisted,
                const QByteArray& section, const QByteArray& key, const QByteArray& keyLine) {
  CHECK(after.endsWith("\r\n"));
  const Lines out = splitLines(after);
  CHECK(joined(out, "\r\n") == after);  // every break is CR LF
  const std::vector<QByteArray>& old = before.lines;
  const std::vector<QByteArray>& now = out.lines;
  if (keyExisted) {
    CHECK(now.size() == old.size());
    std::size_t changed = 0;
    for (std::size_t i = 0; i < old.size(); ++i) {
      if (now[i] == old[i]) continue;
      ++changed;
      const QByteArray text = trimmedBlanks(old[i]);
      CHECK(text.contains('='));
      CHECK(now[i] == trimmedBlanks(text.first(text.indexOf('='))) + '=' + keyLine);
    }
    CHECK(changed <= 1);  // none when the line already held that value
    return;
  }
  const QByteArray added = key + '=' + keyLine;
  if (now.size() == old.size() + 2) {
    CHECK(std::equal(old.begin(), old.end(), now.begin()));
    CHECK(now[old.size()] == '[' + section + ']');
    CHECK(now[old.size() + 1] == added);
    return;
  }
  CHECK(now.size() == old.size() + 1);
  std::size_t at = 0;
  while (at < old.size() && now[at] == old[at]) ++at;
  CHECK(now[at] == added);
  // The last line of its section but blank ones: after the header or a non-blank line.
  CHECK(at > 0 && !trimmedBlanks(now[at - 1]).isEmpty());
  for (std::size_t i = at + 1; i < now.size() && !trimmedBlanks(now[i]).startsWith('['); ++i) {
    CHECK(trimmedBlanks(now[i]).isEmpty());
  }
  CHECK(std::equal(old.begin() + static_cast<std::ptrdiff_t>(at), old.end(),
                   now.begin() + static_cast<std::ptrdiff_t>(at) + 1));
}

QByteArray fileBytes(const QString& path) {
  QFile in(path);
  CHECK(in.open(QIODevice::ReadOnly));
  return in.readAll();
}

void writeFile(const QString& path, QByteArrayView bytes) {
  QFile out(path);
  CHECK(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
  CHECK(out.write(bytes.data(), bytes.size()) == bytes.size());
}

// The same write and reads through the real file.
void checkRealFile(bool missing, const QByteArray& file, const QByteArray& section,
                   const QByteArray& key, const QByteArray& value, const QByteArray& def,
                   const std::vector<QByteArray>& probeKeys) {
  const QString path = fuzz::scratch->filePath(QStringLiteral("zq.ini"));
  QFile::remove(path);
  const QByteArray before = missing ? QByteArray() : file;
  if (!missing) writeFile(path, file);
  const auto expected = [&](const Value& read) { return (read ? *read : def).left(254); };
  CHECK(qm::sGetINI(path, section, key, def) == expected(qm::profileValue(before, section, key)));
  qm::writeINI(path, section, key, value);
  const QByteArray after = fileBytes(path);
  CHECK(after == qm::withProfileValue(before, section, key, value));
  CHECK(qm::sGetINI(path, section, key, def) == readBack(value).left(254));
  for (const QByteArray& other : probeKeys) {
    CHECK(qm::sGetINI(path, section, other, def) ==
          expected(qm::profileValue(after, section, other)));
  }
  CHECK(QDir(fuzz::scratch->path()).entryList(QDir::Files | QDir::Hidden) ==
        QStringList{QStringLiteral("zq.ini")});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::makeScratch("settings_fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::uint64_t control = input.ConsumeIntegral<std::uint64_t>();
  const std::string ownValue = input.ConsumeRandomLengthString(600);
  const std::string ownSection = input.ConsumeRandomLengthString(64);
  const std::string ownKey = input.ConsumeRandomLengthString(64);
  const std::string ownDefault = input.ConsumeRandomLengthString(300);
  const std::vector<std::uint8_t> rest = input.ConsumeRemainingBytes<std::uint8_t>();
  const QByteArray file(reinterpret_cast<const char*>(rest.data()),
                        static_cast<qsizetype>(rest.size()));

  // A UTF-8 byte-order mark before the first line is read past and written back.
  const QByteArrayView mark = "\xEF\xBB\xBF";
  const bool marked = file.startsWith(mark);
  const Lines split = splitLines(marked ? file.sliced(mark.size()) : file);
  const Names names = namesIn(split);
  const auto pickedSection = static_cast<unsigned>(control >> 8) & 0xFF;
  const auto pickedKey = static_cast<unsigned>(control >> 16) & 0xFF;
  const auto probeOffset = static_cast<unsigned>(control >> 24) & 0xFF;
  const QByteArray section = writableSection(
      chosenName(static_cast<unsigned>(control & 3), pickedSection, names.sections, ownSection));
  const QByteArray key = writableKey(
      chosenName(static_cast<unsigned>(control >> 2) & 3, pickedKey, names.keys, ownKey));
  const char* const blanks[] = {"", " ", "\t", "\t \t"};
  const QByteArray value = blanks[(control >> 32) & 3] + QByteArray::fromStdString(ownValue) +
                           blanks[(control >> 34) & 3];

  // Probes: other names of the file, and the written ones, in every pairing.
  std::vector<QByteArray> probeSections = spread(names.sections, 2, probeOffset);
  std::vector<QByteArray> probeKeys = spread(names.keys, 2, probeOffset);
  probeSections.push_back(section);
  probeKeys.push_back(key);

  // Line ends and lines without "=" do not matter to the reader; one other kind of line end
  // per input keeps the runs quick.
  Lines keyLines = split;
  std::erase_if(keyLines.lines, [](const QByteArray& line) {
    return !line.contains('=') && !trimmedBlanks(line).startsWith('[');
  });
  const QByteArrayView separators[] = {"\n", "\r", "\r\n"};
  const QByteArray otherEnds = joined(keyLines, separators[probeOffset % 3]);
  for (const QByteArray& s : probeSections) {
    for (const QByteArray& k : probeKeys) {
      const Value read = qm::profileValue(file, s, k);
      checkValue(read);
      if (k.startsWith(';')) CHECK(!read);
      CHECK(qm::profileValue(otherEnds, s, k) == read);
      if (!marked) CHECK(qm::profileValue(mark.toByteArray() + file, s, k) == read);
      CHECK(qm::profileValue(file, swappedCase(s), swappedCase(k)) == read);
      // A later duplicate key at the end, and a later duplicate section, change nothing.
      if (read) {
        const QByteArray later = k + '=' + *read + "+\r\n";
        CHECK(qm::profileValue(file + "\r\n" + later + '[' + s + "]\r\n" + later, s, k) == read);
      }
    }
  }

  const Value old = qm::profileValue(file, section, key);
  const QByteArray written = qm::withProfileValue(file, section, key, value);
  CHECK(qm::profileValue(written, section, key) == readBack(value));
  CHECK(written.startsWith(mark) == marked);
  checkLines(split, marked ? written.sliced(mark.size()) : written, old.has_value(), section, key,
             firstLine(value));
  CHECK(qm::withProfileValue(written, section, key, value) == written);

  for (const QByteArray& s : probeSections) {
    for (const QByteArray& k : probeKeys) {
      if (sameName(s, section) && sameName(k, key)) continue;
      const Value now = qm::profileValue(written, s, k);
      checkValue(now);
      CHECK(now == qm::profileValue(file, s, k));
    }
  }

  // The real file costs a few system calls: one input in eight.
  if (((control >> 4) & 7) == 0) {
    checkRealFile(control & 0x80, file, section, key, value, QByteArray::fromStdString(ownDefault),
                  probeKeys);
  }
  return 0;
}
