#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPointer>

#include "stores/text_store.h"

class QLabel;
class QPushButton;

// The three add dialogs (headers, signatures, footers): one form driven by a table row.
namespace qm::ui {

struct AddDialogKind {
  const char* formName;
  const char* caption;
  const char* labelName;
  const char* labelCaption;
  const char* boxName;
  bool multiLine;
  int limit;  // most characters the box accepts
  const TextStore* store;
  const char* emptyPrompt;
  const char* emptyTitle;
  const char* anotherTitle;
  const char* noun;  // what the dialog adds, as assistive technology reads it
};

extern const AddDialogKind kAddHeader;
extern const AddDialogKind kAddSignature;
extern const AddDialogKind kAddFooter;

// Modal; made afresh for each opening, so it always starts empty with Save enabled.
class frmNewEntry : public QDialog {
  Q_OBJECT
 public:
  // opener, the main-window button that opened the dialog, gets the focus back on Cancel.
  frmNewEntry(const AddDialogKind& kind, QWidget* opener, QWidget* parent = nullptr);

  QLabel* label;
  QWidget* textBox;  // a LineBox or a MultiLineBox, as the kind says
  QPushButton* cmdSave;
  QPushButton* cmdCancel;

  // The box's text as Windows-1252 bytes, line breaks CR LF.
  QByteArray ansiText() const;

  void cmdSave_Click();
  void cmdCancel_Click();

  // Escape and the window frame close as Cancel does.
  void reject() override;

 private:
  void clearText();

  const AddDialogKind& kind_;
  QPointer<QWidget> opener_;
};

}  // namespace qm::ui
