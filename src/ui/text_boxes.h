#pragma once

#include <QByteArray>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "stores/text_store.h"

// Text boxes that never hold more than their limit in bytes, whether the text is typed, pasted
// or set by the program. Their text crosses to and from the files as Windows-1252 bytes; a line
// break the user makes is CR LF and counts two, while a lone CR or LF that a record holds
// shows as a line break and comes back as it was.
namespace qm::ui {

// What the lists need of a text box, whichever kind it is.
class AnsiTextBox {
 public:
  virtual ~AnsiTextBox() = default;
  virtual QByteArray ansiText() const = 0;
  virtual void setAnsiText(QByteArrayView text) = 0;
  virtual int limit() const = 0;  // most bytes it holds
};

class LineBox : public QLineEdit, public AnsiTextBox {
  Q_OBJECT
 public:
  explicit LineBox(int limit, QWidget* parent = nullptr);

  QByteArray ansiText() const override;
  void setAnsiText(QByteArrayView text) override;  // cut to the limit, never inside a CR LF
  int limit() const override { return maxLength(); }

 private:
  void storeBreaksAsCrLf(const QString& now);

  QString lastText_;    // the text as it is
  QString beforeEdit_;  // and as it was before its last change
};

// Several lines.
class MultiLineBox : public QPlainTextEdit, public AnsiTextBox {
  Q_OBJECT
 public:
  explicit MultiLineBox(int limit, QWidget* parent = nullptr);

  QByteArray ansiText() const override;
  void setAnsiText(QByteArrayView text) override;  // cut to the limit, never inside a CR LF
  int limit() const override { return limit_; }

 private:
  void keepWithinLimit(int position, int removed, int added);
  void untagTyped(int position, int added);

  int limit_;
  bool ownEdit_ = false;  // the box changes its own text: loading, untagging, cutting
};

// A box for a list's entries, named: several lines or one, as the list's, holding as much as
// the main window shows, so that a text saved in a dialog is never cut on its way there.
QWidget* entryBox(const TextStore& store, const char* name, QWidget* parent);

}  // namespace qm::ui
