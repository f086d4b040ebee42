#include "ui/text_boxes.h"

#include <QTextCursor>

#include "common/ansi.h"

namespace qm::ui {

LineBox::LineBox(int limit, QWidget* parent) : QLineEdit(parent) {
  setMaxLength(limit);
}

QByteArray LineBox::ansiText() const {
  return toAnsi(text());
}

void LineBox::setAnsiText(QByteArrayView text) {
  setText(fromAnsi(text));
  setCursorPosition(0);  // a record's filling spaces would otherwise scroll its text away
}

MultiLineBox::MultiLineBox(int limit, QWidget* parent) : QPlainTextEdit(parent), limit_(limit) {
  setTabChangesFocus(true);
  // A signature of several lines shows whole, wherever the box stands.
  setMinimumHeight(fontMetrics().lineSpacing() * 5 + 12);
  connect(document(), &QTextDocument::contentsChange, this, &MultiLineBox::keepWithinLimit);
}

QByteArray MultiLineBox::ansiText() const {
  QString text = document()->toRawText();  // keeps no-break spaces as they are
  text.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
  text.replace(QChar::LineSeparator, QLatin1String("\r\n"));
  return toAnsi(text);
}

void MultiLineBox::setAnsiText(QByteArrayView text) {
  qsizetype end = std::min<qsizetype>(text.size(), limit_);
  if (end > 0 && end < text.size() && text[end - 1] == '\r' && text[end] == '\n') --end;
  QString shown = fromAnsi(text.first(end));
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  setPlainText(shown);
}

int MultiLineBox::length() const {
  // Every block after the first begins with a line break, which counts twice.
  return document()->characterCount() - 1 + document()->blockCount() - 1;
}

void MultiLineBox::keepWithinLimit(int position, int /*removed*/, int added) {
  if (cutting_ || length() <= limit_) return;
  cutting_ = true;
  // Take back the end of what was just added, so text after the insertion stays.
  QTextCursor cursor(document());
  int end = std::min(position + added, document()->characterCount() - 1);
  while (length() > limit_ && end > 0) {
    cursor.setPosition(end - 1);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    --end;
  }
  cutting_ = false;
}

}  // namespace qm::ui
