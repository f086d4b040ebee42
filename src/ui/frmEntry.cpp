#include "ui/frmEntry.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

#include "common/ansi.h"
#include "common/failure.h"
#include "common/msgbox.h"
#include "ui/forms.h"
#include "ui/text_boxes.h"

namespace qm::ui {

const EntryDialogKind kAddHeader{.formName = "frmNewHead",
                                 .caption = "Add New Header",
                                 .labelName = "lblHead",
                                 .labelCaption = "Header",
                                 .boxName = "txtNewHead",
                                 .store = &kHeaders,
                                 .emptyPrompt = "You must enter a header",
                                 .emptyTitle = "Enter Header",
                                 .anotherTitle = "Continue.....",
                                 .noun = "header"};
const EntryDialogKind kAddSignature{.formName = "frmNewSignature",
                                    .caption = "Add New Signature",
                                    .labelName = "Label1",
                                    .labelCaption = "New Signature",
                                    .boxName = "txtNewSig",
                                    .store = &kSignatures,
                                    .emptyPrompt = "You must enter a signature",
                                    .emptyTitle = "Enter Signature",
                                    .anotherTitle = "Continue....",
                                    .noun = "signature"};
const EntryDialogKind kAddFooter{.formName = "frmNewFooter",
                                 .caption = "Add New Footer",
                                 .labelName = "Label2",
                                 .labelCaption = "New Footer",
                                 .boxName = "txtNewFoot",
                                 .store = &kFooters,
                                 .emptyPrompt = "You must enter a Footer",
                                 .emptyTitle = "Enter Footer",
                                 .anotherTitle = "Continue.....",
                                 .noun = "footer"};
const EntryDialogKind kEditSignature{.formName = "frmEditSig",
                                     .caption = "Edit Sig",
                                     .labelName = nullptr,
                                     .labelCaption = "Signature",
                                     .boxName = "txtEditSig",
                                     .store = &kSignatures,
                                     .emptyPrompt = "You must enter a signature",
                                     .emptyTitle = "Enter Signature",
                                     .anotherTitle = nullptr,
                                     .noun = "signature"};

namespace {

AnsiTextBox& ansiBox(QWidget* box) {
  return dynamic_cast<AnsiTextBox&>(*box);
}

}  // namespace

// Created in tab order: the box first, then Save, then Cancel.
frmEntry::frmEntry(const EntryDialogKind& kind, QWidget* opener, bool takenOut, QWidget* parent)
    : QDialog(parent),
      label(kind.labelName ? ui::label(this, kind.labelName, kind.labelCaption) : nullptr),
      textBox(entryBox(*kind.store, kind.boxName, this)),
      cmdSave(button(this, "cmdSave", "&Save")),
      cmdCancel(button(this, "cmdCancel", "&Cancel")),
      kind_(kind),
      opener_(opener),
      takenOut_(takenOut) {
  setObjectName(QString::fromLatin1(kind.formName));
  setWindowTitle(QString::fromLatin1(kind.caption));
  setModal(true);
  connect(cmdSave, &QPushButton::clicked, this, &frmEntry::cmdSave_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &frmEntry::cmdCancel_Click);
  // Enter in the editor's box is a line break, never a Save.
  if (edits()) {
    cmdSave->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);
  }

  auto* layout = new QVBoxLayout(this);
  if (label) layout->addWidget(label);
  layout->addWidget(textBox, kind.store->multiLine ? 1 : 0);
  layout->addWidget(buttonRow(this, {cmdSave, cmdCancel}));
  setMinimumWidth(fontMetrics().averageCharWidth() * 60);
  // The prompt over the box is the box's label; without one, the box carries the name itself.
  // An add dialog's texts follow from what it adds.
  const QString noun = QString::fromLatin1(kind.noun);
  const bool edit = edits();
  describe(
      this, edit ? "Change the shown " + noun : "Type a new " + noun,
      {
          {kind.boxName, label ? QString() : QString::fromLatin1(kind.labelCaption),
           edit ? "Text of the " + noun + " being edited" : "Text of the new " + noun,
           kind.labelName},
          {"cmdSave", {}, edit ? "Store the edited " + noun : "Add the " + noun + " to the list"},
          {"cmdCancel",
           {},
           edit ? "Close the editor; unless saved, the " + noun + " goes back as it was"
                : QStringLiteral("Close without adding")},
      });
  chainTabOrder(this, {kind.boxName, "cmdSave", "cmdCancel"});

  // The signature without the filling spaces of its record.
  if (edits()) ansiBox(textBox).setAnsiText(trimOuter(EditSigText));
  textBox->setFocus();
}

QByteArray frmEntry::ansiText() const {
  return ansiBox(textBox).ansiText();
}

void frmEntry::clearText() {
  ansiBox(textBox).setAnsiText({});
}

int frmEntry::heldRecords() const {
  return takenOut_ && !saved_ ? 1 : 0;
}

void frmEntry::cmdSave_Click() {
  const QByteArray text = ansiText();  // stored as typed: spaces and line breaks count
  if (text.isEmpty()) {
    MsgBox(MsgKind::Refusal, QString::fromLatin1(kind_.emptyPrompt),
           QString::fromLatin1(kind_.emptyTitle));
    return;
  }
  // No second save of the same text while this one runs; one that failed can be tried again.
  cmdSave->setEnabled(false);
  if (!save(text)) {
    cmdSave->setEnabled(true);
    return;
  }
  if (edits()) return;
  MsgBox(MsgKind::Question, QStringLiteral("Do you wish to add another?"),
         QString::fromLatin1(kind_.anotherTitle));
  if (MsgAnswer == vbYes) {
    clearText();
    cmdSave->setEnabled(true);
    textBox->setFocus();
  } else {
    accept();
  }
}

// False when the text could not be stored; Ignore on a failure stores nothing either.
bool frmEntry::save(const QByteArray& text) {
  const FailureHandler handler("cmdSave_Click");
  const bool held = heldRecords() > 0;
  bool stored = false;
  std::optional<int> replaced;
  if (held && handler.run([&] { replaced = MoveRecordToEnd(*kind_.store, EditSigText, text); })) {
    stored = replaced > 0;
  }
  // Also when the held record has left the file meanwhile (edited by hand): the text is kept.
  if (!held || replaced == 0) {
    handler.run([&] {
      AppendRecord(*kind_.store, text);
      stored = true;
    });
  }
  // The editor saves once; what it holds is the edited text from now on.
  if (stored && edits()) {
    saved_ = true;
    cmdCancel->setText(QStringLiteral("&Done"));
  }
  return stored;
}

void frmEntry::cmdCancel_Click() {
  // Nothing to put back: the editor's earlier text never left the store.
  QDialog::reject();
  if (opener_) opener_->setFocus();
}

void frmEntry::reject() {
  cmdCancel_Click();
}

}  // namespace qm::ui
