#include "stores/frmEditSig.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/ansi.h"
#include "common/failure.h"
#include "common/msgbox.h"
#include "stores/text_store.h"
#include "ui/forms.h"
#include "ui/text_boxes.h"

namespace qm::ui {

frmEditSig::frmEditSig(bool takenOut, QWidget* parent)
    : QDialog(parent),
      txtEditSig(new MultiLineBox(253, this)),
      cmdSave(new QPushButton(QStringLiteral("&Save"), this)),
      cmdCancel(new QPushButton(QStringLiteral("&Cancel"), this)),
      takenOut_(takenOut) {
  setObjectName(QStringLiteral("frmEditSig"));
  setWindowTitle(QStringLiteral("Edit Sig"));
  txtEditSig->setObjectName(QStringLiteral("txtEditSig"));
  cmdSave->setObjectName(QStringLiteral("cmdSave"));
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  cmdSave->setAutoDefault(false);
  cmdCancel->setAutoDefault(false);
  connect(cmdSave, &QPushButton::clicked, this, &frmEditSig::cmdSave_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &frmEditSig::cmdCancel_Click);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdSave);
  buttons->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(txtEditSig);
  layout->addLayout(buttons);
  setMinimumWidth(fontMetrics().averageCharWidth() * 60);
  // The box has no label on the form, so it carries its name itself.
  describe(
      this, "Change the shown signature",
      {
          {"txtEditSig", "Signature", "Text of the signature being edited"},
          {"cmdSave", {}, "Store the edited signature"},
          {"cmdCancel", {}, "Close the editor; unless saved, the signature goes back as it was"},
      });
  chainTabOrder(this, {"txtEditSig", "cmdSave", "cmdCancel"});

  // Form_Load: the signature without its outer spaces.
  txtEditSig->setAnsiText(trimSpaces(EditSigText));
  txtEditSig->setFocus();
}

void frmEditSig::cmdSave_Click() {
  const FailureHandler handler("cmdSave_Click");
  const QByteArray text = txtEditSig->ansiText();
  if (text.isEmpty()) {
    MsgBox(MsgKind::Refusal, QStringLiteral("You must enter a signature"),
           QStringLiteral("Enter Signature"));
    return;
  }
  const bool held = heldRecords() > 0;
  cmdSave->setEnabled(false);
  cmdCancel->setText(QStringLiteral("&Done"));
  std::optional<int> replaced;
  if (held && !handler.run([&] { replaced = MoveRecordToEnd(kSignatures, EditSigText, text); })) {
    return;
  }
  // Also when the held record has left the file meanwhile (edited by hand): the text is kept.
  if (!held || replaced == 0) handler.run([&] { AppendRecord(kSignatures, text); });
}

int frmEditSig::heldRecords() const {
  return takenOut_ && withoutMnemonic(cmdCancel->text()) == QLatin1String("Cancel") ? 1 : 0;
}

void frmEditSig::cmdCancel_Click() {
  // Nothing to put back: the earlier text never left the store.
  done(QDialog::Rejected);
}

void frmEditSig::reject() {
  cmdCancel_Click();
}

}  // namespace qm::ui
