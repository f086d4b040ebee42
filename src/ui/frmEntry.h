#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPointer>

#include "stores/text_store.h"

class QLabel;
class QPushButton;

// The dialogs that put a text into a list: the three add dialogs and the signature editor, one
// form driven by a table row.
namespace qm::ui {

struct EntryDialogKind {
  const char* formName;
  const char* caption;
  const char* labelName;  // nullptr: no label over the box, which then names itself
  const char* labelCaption;
  const char* boxName;
  const TextStore* store;
  const char* emptyPrompt;
  const char* emptyTitle;
  const char* anotherTitle;  // nullptr: the editor, which saves once and asks nothing
  const char* noun;          // what the dialog adds or edits, as assistive technology reads it
};

extern const EntryDialogKind kAddHeader;
extern const EntryDialogKind kAddSignature;
extern const EntryDialogKind kAddFooter;
extern const EntryDialogKind kEditSignature;

// The signature taken out for editing, as a whole record.
inline QByteArray EditSigText;

// Modal; made afresh for each opening. An add dialog starts empty and appends each text saved.
// The editor starts with EditSigText. What was taken out waits as the store's last record, so
// Save replaces that record by the edited text (or, when nothing was taken out, appends it) and
// Cancel leaves the store as it is, the earlier text last.
class frmEntry : public QDialog {
  Q_OBJECT
 public:
  // opener, the main-window button that opened the dialog, gets the focus back on Cancel;
  // takenOut: the editor's signature waits at the store's end.
  frmEntry(const EntryDialogKind& kind, QWidget* opener, bool takenOut = false,
           QWidget* parent = nullptr);

  QLabel* label;     // nullptr for the editor
  QWidget* textBox;  // a LineBox or a MultiLineBox, as the kind says
  QPushButton* cmdSave;
  QPushButton* cmdCancel;

  // The box's text as Windows-1252 bytes, line breaks CR LF.
  QByteArray ansiText() const;

  const TextStore* store() const { return kind_.store; }
  // 1 while the editor's taken-out signature waits at the store's end for Save, else 0.
  int heldRecords() const;

  void cmdSave_Click();
  void cmdCancel_Click();

  // Escape and the window frame close as Cancel does.
  void reject() override;

 private:
  bool edits() const { return kind_.anotherTitle == nullptr; }
  bool save(const QByteArray& text);
  void clearText();

  const EntryDialogKind& kind_;
  QPointer<QWidget> opener_;
  bool takenOut_;
  bool saved_ = false;
};

}  // namespace qm::ui
