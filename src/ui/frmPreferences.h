#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm::ui {

class IntervalSlider;

// Where and how the signature is written, and how often it switches. Created afresh at each
// opening; its load step reads the settings file.
class frmPreferences : public QDialog {
  Q_OBJECT
 public:
  // switchNow runs one switch after Save; start-up, which never saves, passes nothing.
  explicit frmPreferences(std::function<void()> switchNow = {}, QWidget* parent = nullptr);

  QComboBox* cboProgramName;
  QLineEdit* txtsiglocation;
  QPushButton* cmdFindFile;
  IntervalSlider* Slider1;
  QLabel* SliderCaption;
  QCheckBox* chkMin;
  QPushButton* cmdSave;
  QPushButton* cmdDone;

  void cmdSave_Click();

 private:
  void Form_Load();
  void Slider1_Scroll();
  void cmdFindFile_Click();

  std::function<void()> switchNow_;
};

// The output kind that a mail-program entry needs.
QByteArray writeTypeFor(const QString& mailProgram);

}  // namespace qm::ui
