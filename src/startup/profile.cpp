#include "startup/profile.h"

#include <vector>

#include "common/ansi.h"

namespace qm {
namespace {

// Several editors put a UTF-8 byte-order mark before the first line; it is no part of it.
QByteArrayView withoutMark(QByteArrayView file) {
  return file.startsWith("\xEF\xBB\xBF") ? file.sliced(3) : file;
}

std::vector<QByteArrayView> splitLines(QByteArrayView file) {
  std::vector<QByteArrayView> lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < file.size(); ++i) {
    if (file[i] != '\r' && file[i] != '\n') continue;
    lines.push_back(file.sliced(start, i - start));
    if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < file.size()) lines.push_back(file.sliced(start));
  return lines;
}

QByteArrayView trimBlanks(QByteArrayView text) {
  return trimOuter(text, " \t");
}

bool sameName(QByteArrayView a, QByteArrayView b) {
  return fromAnsi(a).compare(fromAnsi(b), Qt::CaseInsensitive) == 0;
}

std::optional<QByteArrayView> sectionName(QByteArrayView line) {
  const QByteArrayView text = trimBlanks(line);
  if (!text.startsWith('[')) return std::nullopt;
  const qsizetype close = text.indexOf(']');
  return trimBlanks(close < 0 ? text.sliced(1) : text.sliced(1, close - 1));
}

struct KeyLine {
  QByteArrayView key;
  QByteArrayView value;
};

std::optional<KeyLine> keyLine(QByteArrayView line) {
  const QByteArrayView text = trimBlanks(line);
  if (text.startsWith(';') || text.startsWith('[')) return std::nullopt;
  const qsizetype equals = text.indexOf('=');
  if (equals < 0) return std::nullopt;
  return KeyLine{trimBlanks(text.first(equals)), trimBlanks(text.sliced(equals + 1))};
}

// The lines of the first section of that name: [header, end).
struct SectionRange {
  std::size_t header;
  std::size_t end;
};

std::optional<SectionRange> findSection(const std::vector<QByteArrayView>& lines,
                                        QByteArrayView section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = sectionName(lines[i]);
    if (!name || !sameName(*name, section)) continue;
    std::size_t end = i + 1;
    while (end < lines.size() && !sectionName(lines[end])) ++end;
    return SectionRange{i, end};
  }
  return std::nullopt;
}

std::optional<std::size_t> findKey(const std::vector<QByteArrayView>& lines, SectionRange range,
                                   QByteArrayView key) {
  for (std::size_t i = range.header + 1; i < range.end; ++i) {
    const auto entry = keyLine(lines[i]);
    if (entry && sameName(entry->key, key)) return i;
  }
  return std::nullopt;
}

QByteArray unquoted(QByteArrayView value) {
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  return (quoted ? value.sliced(1, value.size() - 2) : value).toByteArray();
}

QByteArray keyValueLine(QByteArrayView key, QByteArrayView value) {
  qsizetype end = 0;
  while (end < value.size() && value[end] != '\r' && value[end] != '\n') ++end;
  return key.toByteArray() + '=' + value.first(end).toByteArray();
}

}  // namespace

std::optional<QByteArray> profileValue(QByteArrayView file, QByteArrayView section,
                                       QByteArrayView key) {
  const std::vector<QByteArrayView> lines = splitLines(withoutMark(file));
  const auto range = findSection(lines, section);
  if (!range) return std::nullopt;
  const auto index = findKey(lines, *range, key);
  if (!index) return std::nullopt;
  return unquoted(keyLine(lines[*index])->value);
}

QByteArray withProfileValue(QByteArrayView file, QByteArrayView section, QByteArrayView key,
                            QByteArrayView value) {
  const QByteArrayView body = withoutMark(file);
  const std::vector<QByteArrayView> lines = splitLines(body);
  std::vector<QByteArray> out;
  out.reserve(lines.size() + 2);  // a new section adds two lines
  for (QByteArrayView line : lines) out.push_back(line.toByteArray());
  const auto range = findSection(lines, section);
  if (!range) {
    out.push_back('[' + section.toByteArray() + ']');
    out.push_back(keyValueLine(key, value));
  } else if (const auto index = findKey(lines, *range, key)) {
    out[*index] = keyValueLine(keyLine(lines[*index])->key, value);
  } else {
    std::size_t last = range->end - 1;  // after the last non-blank line of the section
    while (last > range->header && trimBlanks(lines[last]).isEmpty()) --last;
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(last + 1), keyValueLine(key, value));
  }
  QByteArray bytes = file.first(file.size() - body.size()).toByteArray();  // the mark stays
  for (const QByteArray& line : out) bytes += line + "\r\n";
  return bytes;
}

}  // namespace qm
