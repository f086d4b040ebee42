#include "stores/add_dialog.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "common/failure.h"
#include "common/msgbox.h"
#include "ui/forms.h"
#include "ui/text_boxes.h"

namespace qm::ui {

const AddDialogKind kAddHeader{.formName = "frmNewHead",
                               .caption = "Add New Header",
                               .labelName = "lblHead",
                               .labelCaption = "Header",
                               .boxName = "txtNewHead",
                               .multiLine = false,
                               .limit = 100,
                               .store = &kHeaders,
                               .emptyPrompt = "You must enter a header",
                               .emptyTitle = "Enter Header",
                               .anotherTitle = "Continue.....",
                               .noun = "header"};
const AddDialogKind kAddSignature{.formName = "frmNewSignature",
                                  .caption = "Add New Signature",
                                  .labelName = "Label1",
                                  .labelCaption = "New Signature",
                                  .boxName = "txtNewSig",
                                  .multiLine = true,
                                  .limit = 253,  // two under the record: a cut never applies
                                  .store = &kSignatures,
                                  .emptyPrompt = "You must enter a signature",
                                  .emptyTitle = "Enter Signature",
                                  .anotherTitle = "Continue....",
                                  .noun = "signature"};
const AddDialogKind kAddFooter{.formName = "frmNewFooter",
                               .caption = "Add New Footer",
                               .labelName = "Label2",
                               .labelCaption = "New Footer",
                               .boxName = "txtNewFoot",
                               .multiLine = false,
                               .limit = 100,
                               .store = &kFooters,
                               .emptyPrompt = "You must enter a Footer",
                               .emptyTitle = "Enter Footer",
                               .anotherTitle = "Continue.....",
                               .noun = "footer"};

namespace {

QPushButton* button(QWidget* parent, const char* name, const char* caption) {
  auto* widget = new QPushButton(QString::fromLatin1(caption), parent);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QWidget* makeBox(const AddDialogKind& kind, QWidget* parent) {
  QWidget* box = kind.multiLine ? static_cast<QWidget*>(new MultiLineBox(kind.limit, parent))
                                : new LineBox(kind.limit, parent);
  box->setObjectName(QString::fromLatin1(kind.boxName));
  return box;
}

}  // namespace

// Created in tab order: the box first, then Save, then Cancel.
frmNewEntry::frmNewEntry(const AddDialogKind& kind, QWidget* opener, QWidget* parent)
    : QDialog(parent),
      label(new QLabel(QString::fromLatin1(kind.labelCaption), this)),
      textBox(makeBox(kind, this)),
      cmdSave(button(this, "cmdSave", "&Save")),
      cmdCancel(button(this, "cmdCancel", "&Cancel")),
      kind_(kind),
      opener_(opener) {
  setObjectName(QString::fromLatin1(kind.formName));
  setWindowTitle(QString::fromLatin1(kind.caption));
  setModal(true);
  label->setObjectName(QString::fromLatin1(kind.labelName));
  connect(cmdSave, &QPushButton::clicked, this, &frmNewEntry::cmdSave_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &frmNewEntry::cmdCancel_Click);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdSave);
  buttons->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(textBox, kind.multiLine ? 1 : 0);
  layout->addLayout(buttons);
  setMinimumWidth(fontMetrics().averageCharWidth() * 60);
  // The prompt over the box is the box's label.
  const QString noun = QString::fromLatin1(kind.noun);
  describe(this, "Type a new " + noun,
           {
               {kind.boxName, {}, "Text of the new " + noun, kind.labelName},
               {"cmdSave", {}, "Add the " + noun + " to the list"},
               {"cmdCancel", {}, "Close without adding"},
           });
  chainTabOrder(this, {kind.boxName, "cmdSave", "cmdCancel"});
  textBox->setFocus();
}

QByteArray frmNewEntry::ansiText() const {
  return dynamic_cast<const AnsiTextBox&>(*textBox).ansiText();
}

void frmNewEntry::clearText() {
  dynamic_cast<AnsiTextBox&>(*textBox).setAnsiText({});
}

void frmNewEntry::cmdSave_Click() {
  const FailureHandler handler("cmdSave_Click");
  const QByteArray text = ansiText();  // stored as typed: spaces and line breaks count
  if (text.isEmpty()) {
    MsgBox(MsgKind::Refusal, QString::fromLatin1(kind_.emptyPrompt),
           QString::fromLatin1(kind_.emptyTitle));
    return;
  }
  // No second save of the same text while this one runs.
  cmdSave->setEnabled(false);
  if (!handler.run([&] { AppendRecord(*kind_.store, text); })) return;
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

void frmNewEntry::cmdCancel_Click() {
  QDialog::reject();
  if (opener_) opener_->setFocus();
}

void frmNewEntry::reject() {
  cmdCancel_Click();
}

}  // namespace qm::ui
