#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

namespace qm::ui {

class IntervalSlider;

// The Preferences dialog. So far it holds what start-up needs: the directory box and the
// interval slider with its caption.
class frmPreferences : public QDialog {
  Q_OBJECT
 public:
  explicit frmPreferences(QWidget* parent = nullptr);

  QLineEdit* txtsiglocation;
  IntervalSlider* Slider1;
  QLabel* SliderCaption;

 private:
  void Form_Load();
};

}  // namespace qm::ui
