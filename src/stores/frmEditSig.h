#pragma once

#include <QByteArray>
#include <QDialog>

class QPushButton;

namespace qm::ui {

class MultiLineBox;

// The signature taken out for editing, as a record of 255 characters.
inline QByteArray EditSigText;

// The signature editor. What was taken out waits as the store's last record, so Save replaces
// that record by the edited text (or, when nothing was taken out, appends the text) and Cancel
// (also closing the window) leaves the store as it is, the earlier text last.
class frmEditSig : public QDialog {
  Q_OBJECT
 public:
  frmEditSig(bool takenOut, QWidget* parent = nullptr);

  // 1 while the taken-out signature waits at the store's end for Save, else 0.
  int heldRecords() const;

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
