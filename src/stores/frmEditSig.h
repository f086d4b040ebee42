#pragma once

#include <QByteArray>
#include <QDialog>

class QPushButton;

namespace qm::ui {

class MultiLineBox;

// The signature taken out of the store for editing, as a record of 255 characters; Cancel
// puts it back.
inline QByteArray EditSigText;

// The signature editor. Save appends the edited text once; Cancel (also closing the window)
// appends the earlier text, but only when something was taken out of the store for it.
class frmEditSig : public QDialog {
  Q_OBJECT
 public:
  frmEditSig(bool takenOut, QWidget* parent = nullptr);

  MultiLineBox* txtEditSig;
  QPushButton* cmdSave;
  QPushButton* cmdCancel;

  void cmdSave_Click();
  void cmdCancel_Click();

 protected:
  void reject() override;

 private:
  bool takenOut_;
};

}  // namespace qm::ui
