#include "ui/frmPreferences.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "startup/settings.h"
#include "ui/interval_slider.h"

namespace qm::ui {

frmPreferences::frmPreferences(QWidget* parent)
    : QDialog(parent),
      txtsiglocation(new QLineEdit(this)),
      Slider1(new IntervalSlider(this)),
      SliderCaption(new QLabel(this)) {
  setObjectName(QStringLiteral("frmPreferences"));
  setWindowTitle(QStringLiteral("Preferences"));
  txtsiglocation->setObjectName(QStringLiteral("txtsiglocation"));
  Slider1->setObjectName(QStringLiteral("Slider1"));
  SliderCaption->setObjectName(QStringLiteral("SliderCaption"));

  auto* layout = new QFormLayout(this);
  layout->addRow(QStringLiteral("Location of Signature File"), txtsiglocation);
  layout->addRow(QStringLiteral("Random Interval"), Slider1);
  layout->addRow(QString(), SliderCaption);
  Form_Load();
}

void frmPreferences::Form_Load() {
  // At start-up the dialog is only loaded to convert the stored interval.
  ModSig.StartingUp = false;
}

}  // namespace qm::ui
