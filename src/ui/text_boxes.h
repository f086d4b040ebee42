#pragma once

#include <QByteArray>
#include <QLineEdit>
#include <QPlainTextEdit>

// Text boxes that never hold more than their limit, whether the text is typed or set by the
// program. Their text crosses to and from the files as Windows-1252 bytes.
namespace qm::ui {

// What the lists need of a text box, whichever kind it is.
class AnsiTextBox {
 public:
  virtual ~AnsiTextBox() = default;
  virtual QByteArray ansiText() const = 0;
  virtual void setAnsiText(QByteArrayView text) = 0;
};

class LineBox : public QLineEdit, public AnsiTextBox {
  Q_OBJECT
 public:
  explicit LineBox(int limit, QWidget* parent = nullptr);

  QByteArray ansiText() const override;
  void setAnsiText(QByteArrayView text) override;  // cut to the limit
};

// Several lines; a line break is CR LF in the bytes and counts as two characters.
class MultiLineBox : public QPlainTextEdit, public AnsiTextBox {
  Q_OBJECT
 public:
  explicit MultiLineBox(int limit, QWidget* parent = nullptr);

  QByteArray ansiText() const override;
  void setAnsiText(QByteArrayView text) override;  // cut to the limit, never inside a CR LF

 private:
  int length() const;
  void keepWithinLimit(int position, int removed, int added);

  int limit_;
  bool cutting_ = false;
};

}  // namespace qm::ui
