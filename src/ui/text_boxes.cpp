#include "ui/text_boxes.h"

#include <QScopedValueRollback>
#include <QTextCursor>
#include <utility>

#include "common/ansi.h"

namespace qm::ui {
namespace {

// A CR or LF alone in a record (written by hand or by another program) shows as a line break
// but must come back as the byte it was, while a line break the user types or pastes is CR LF.
// It is shown as a line separator after an invisible tag that says which byte it was; deleting
// the break leaves the tag alone, and a lone tag means nothing.
constexpr QChar kLoneLf(0x200C);  // zero-width non-joiner
constexpr QChar kLoneCr(0x200D);  // zero-width joiner

bool isBreak(QChar c) {
  return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// What a box shows for the bytes: CR LF as a new line, a lone CR or LF tagged.
QString shownText(QByteArrayView bytes) {
  QString shown;
  qsizetype start = 0;
  const auto plain = [&](qsizetype end) { shown += fromAnsi(bytes.sliced(start, end - start)); };
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    plain(i);
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      shown += u'\n';
      ++i;
    } else {
      shown += bytes[i] == '\n' ? kLoneLf : kLoneCr;
      shown += QChar::LineSeparator;
    }
    start = i + 1;
  }
  plain(bytes.size());
  return shown;
}

// The bytes of what a box shows: tagged breaks as their byte, every other line break as CR LF.
QByteArray storedBytes(QStringView shown) {
  QByteArray bytes;
  qsizetype start = 0;
  const auto plain = [&](qsizetype end) { bytes += toAnsi(shown.sliced(start, end - start)); };
  for (qsizetype i = 0; i < shown.size(); ++i) {
    const QChar c = shown[i];
    const bool tag = c == kLoneLf || c == kLoneCr;
    if (!tag && !isBreak(c)) continue;
    plain(i);
    if (tag && i + 1 < shown.size() && isBreak(shown[i + 1])) {
      bytes += c == kLoneLf ? '\n' : '\r';
      ++i;
    } else if (!tag) {
      bytes += "\r\n";
      if (c == u'\r' && i + 1 < shown.size() && shown[i + 1] == u'\n') ++i;
    }
    start = i + 1;
  }
  plain(shown.size());
  return bytes;
}

}  // namespace

LineBox::LineBox(int limit, QWidget* parent) : QLineEdit(parent) {
  setMaxLength(limit);
  connect(this, &QLineEdit::textChanged, this,
          [this](const QString& now) { beforeEdit_ = std::exchange(lastText_, now); });
  connect(this, &QLineEdit::textEdited, this, &LineBox::storeBreaksAsCrLf);
}

QByteArray LineBox::ansiText() const {
  return toAnsi(text());
}

void LineBox::setAnsiText(QByteArrayView text) {
  setText(fromAnsi(firstBytes(text, maxLength())));
  setCursorPosition(0);  // a record's filling spaces would otherwise scroll its text away
}

// One character a byte, so that a lone CR or LF of a record stays as it is; a line break the
// user pastes becomes CR LF and counts two against the limit.
void LineBox::storeBreaksAsCrLf(const QString& now) {
  const QString& before = lastText_ == now ? beforeEdit_ : lastText_;
  // What was pasted lies between the text kept at either end.
  qsizetype head = 0;
  while (head < before.size() && head < now.size() && before[head] == now[head]) ++head;
  qsizetype tail = 0;
  while (tail < before.size() - head && tail < now.size() - head &&
         before[before.size() - 1 - tail] == now[now.size() - 1 - tail]) {
    ++tail;
  }
  QString pasted = now.sliced(head, now.size() - head - tail);
  if (!pasted.contains(u'\r') && !pasted.contains(u'\n')) return;
  pasted.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
  pasted.replace(QLatin1String("\n"), QLatin1String("\r\n"));
  pasted.truncate(maxLength() - head - tail);
  if (pasted.endsWith(u'\r')) pasted.chop(1);
  setText(now.first(head) + pasted + now.last(tail));
  setCursorPosition(static_cast<int>(head + pasted.size()));
}

MultiLineBox::MultiLineBox(int limit, QWidget* parent) : QPlainTextEdit(parent), limit_(limit) {
  setTabChangesFocus(true);
  // A signature of several lines shows whole, wherever the box stands.
  setMinimumHeight(fontMetrics().lineSpacing() * 5 + 12);
  connect(document(), &QTextDocument::contentsChange, this, &MultiLineBox::keepWithinLimit);
}

QByteArray MultiLineBox::ansiText() const {
  return storedBytes(document()->toRawText());  // keeps no-break spaces as they are
}

void MultiLineBox::setAnsiText(QByteArrayView text) {
  const QScopedValueRollback own(ownEdit_, true);
  setPlainText(shownText(firstBytes(text, limit_)));
}

void MultiLineBox::keepWithinLimit(int position, int /*removed*/, int added) {
  if (ownEdit_) return;
  const QScopedValueRollback own(ownEdit_, true);
  untagTyped(position, added);
  if (ansiText().size() <= limit_) return;
  // Take back the end of what was just added, so text after the insertion stays.
  QTextCursor cursor(document());
  int end = std::min(position + added, document()->characterCount() - 1);
  while (ansiText().size() > limit_ && end > 0) {
    cursor.setPosition(end - 1);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    --end;
  }
}

// Only the box tags a lone break; a tag character the user types or pastes is a character like
// any other outside Windows-1252, stored as "?", and it shows as what it will be.
void MultiLineBox::untagTyped(int position, int added) {
  QTextCursor cursor(document());
  const int end = std::min(position + added, document()->characterCount() - 1);
  for (int i = position; i < end; ++i) {
    const QChar c = document()->characterAt(i);
    if (c != kLoneLf && c != kLoneCr) continue;
    cursor.setPosition(i);
    cursor.setPosition(i + 1, QTextCursor::KeepAnchor);
    cursor.insertText(QStringLiteral("?"));
  }
}

QWidget* entryBox(const TextStore& store, const char* name, QWidget* parent) {
  QWidget* box = store.multiLine ? static_cast<QWidget*>(new MultiLineBox(store.shownBytes, parent))
                                 : new LineBox(store.shownBytes, parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

}  // namespace qm::ui
