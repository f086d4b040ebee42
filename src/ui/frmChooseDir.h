#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace qm::ui {

class DriveList;
class FolderList;

// The directory chooser that the Preferences "..." button opens, created afresh each time.
// Save copies the folder recorded by the last click in the folder list into the Preferences
// directory box; nothing goes to the settings file from here.
class frmChooseDir : public QDialog {
  Q_OBJECT
 public:
  explicit frmChooseDir(QLineEdit* target, QWidget* parent = nullptr);

  DriveList* Drive1;
  FolderList* Dir1;
  QPushButton* cmdSave;
  QPushButton* cmdDone;

  QString ChosenDir;  // empty until the user clicks in the folder list

  void cmdSave_Click();
  void cmdDone_Click();

 private:
  void Form_Load();
  void Drive1_Change();
  void Dir1_Click();

  QLineEdit* target_;
};

}  // namespace qm::ui
