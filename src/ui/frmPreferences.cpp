#include "ui/frmPreferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/ansi.h"
#include "common/convert.h"
#include "common/failure.h"
#include "platform/platform.h"
#include "startup/settings.h"
#include "startup/utility.h"
#include "ui/forms.h"
#include "ui/frmChooseDir.h"
#include "ui/interval_slider.h"

namespace qm::ui {
namespace {

const QStringList kMailPrograms = {"Outlook 98/2000", "Eudora v4.x", "Other Text", "Other HTML"};

void write(const char* key, const QByteArray& value) {
  writeINI(ModSig.IniPath, "Settings", key, value);
}

}  // namespace

QByteArray writeTypeFor(const QString& mailProgram) {
  if (mailProgram == QLatin1String("Outlook 98/2000")) return "Text & HTML";
  if (mailProgram == QLatin1String("Other HTML")) return "HTML";
  return "Text";
}

frmPreferences::frmPreferences(std::function<void()> switchNow, QWidget* parent)
    : QDialog(parent),
      cboProgramName(named(new QComboBox(this), "cboProgramName")),
      txtsiglocation(named(new QLineEdit(this), "txtsiglocation")),
      cmdFindFile(named(new CompactButton(QStringLiteral("..."), this), "cmdFindFile")),
      Slider1(named(new IntervalSlider(this), "Slider1")),
      SliderCaption(named(new QLabel(this), "SliderCaption")),
      chkMin(named(new QCheckBox(QStringLiteral("Start &Minimized in Tray"), this), "chkMin")),
      cmdSave(button(this, "cmdSave", "&Save")),
      cmdDone(button(this, "cmdDone", "&Done")),
      switchNow_(std::move(switchNow)) {
  setObjectName(QStringLiteral("frmPreferences"));
  setWindowTitle(QStringLiteral("Preferences"));
  cboProgramName->addItems(kMailPrograms);
  cboProgramName->setCurrentIndex(-1);
  cmdFindFile->setToolTip(QStringLiteral("Click to locate file"));
  txtsiglocation->setToolTip(
      QStringLiteral("At first ~/.local/share/quillmate, a folder of your own"));
  SliderCaption->setAlignment(Qt::AlignCenter);
  for (QPushButton* b : {cmdFindFile, cmdSave, cmdDone}) b->setAutoDefault(false);

  auto* directory = new QHBoxLayout;
  directory->addWidget(txtsiglocation);
  directory->addWidget(cmdFindFile);
  auto* form = new QFormLayout;
  form->addRow(label(this, "Label3", "Mail Program"), cboProgramName);
  form->addRow(label(this, "Label1", "Location of Signature File"), directory);
  form->addRow(label(this, "Label2", "Random Interval"), Slider1);
  form->addRow(QString(), SliderCaption);
  form->addRow(QString(), chkMin);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttonRow(this, {cmdSave, cmdDone}));
  setMinimumWidth(fontMetrics().averageCharWidth() * 64);
  describe(this, "Where and how the signature is written, and how often it switches",
           {
               {"cboProgramName", {}, "Mail program, which decides the kind of file", "Label3"},
               {"txtsiglocation", {}, "Folder the signature files are written to", "Label1"},
               {"cmdFindFile", "Choose directory", "Pick the folder from a list of folders"},
               {"Slider1", {}, "Time between two switches", "Label2"},
               {"SliderCaption", {}, "Chosen interval in words"},
               {"chkMin", {}, "Start with only the tray icon showing"},
               {"cmdSave", {}, "Save these preferences and switch at once"},
               {"cmdDone", {}, "Close the preferences"},
           });
  chainTabOrder(this, {"cboProgramName", "txtsiglocation", "cmdFindFile", "Slider1", "chkMin",
                       "cmdSave", "cmdDone"});

  connect(Slider1, &QSlider::valueChanged, this, &frmPreferences::Slider1_Scroll);
  connect(cmdSave, &QPushButton::clicked, this, &frmPreferences::cmdSave_Click);
  connect(cmdDone, &QPushButton::clicked, this, &QDialog::accept);
  connect(cmdFindFile, &QPushButton::clicked, this, &frmPreferences::cmdFindFile_Click);
  Form_Load();
  txtsiglocation->setFocus();
}

void frmPreferences::Form_Load() {
  // Start-up only loads the dialog to convert the stored interval with its slider.
  if (!ModSig.StartingUp) {
    const FailureHandler handler("Form_Load");
    if (!ModSig.IntervalCode.isEmpty()) {
      if (!handler.run([&] { Slider1->setPosition(toWholeNumber(ModSig.IntervalCode)); })) return;
    }
    Slider1_Scroll();

    ModSig.SigDir = sGetINI(ModSig.IniPath, "Settings", "siglocation", "?");
    txtsiglocation->setText(platform::pathFromBytes(ModSig.SigDir));

    const QString program = fromAnsi(sGetINI(ModSig.IniPath, "Settings", "Prog_Name", "?"));
    if (kMailPrograms.contains(program)) {
      cboProgramName->setCurrentText(program);
    } else {
      cboProgramName->setCurrentText(QStringLiteral("Other Text"));
      write("Prog_Name", "Other Text");
    }

    const QByteArray startMin = sGetINI(ModSig.IniPath, "Settings", "Start_Min", "?");
    if (!handler.run([&] { chkMin->setChecked(toTicked(startMin)); })) return;
  }
  ModSig.StartingUp = false;
}

void frmPreferences::Slider1_Scroll() {
  // The new interval is in force at once; the settings file changes only on Save.
  const Interval* row = intervalAt(Slider1->value());
  if (!row) return;
  SliderCaption->setText(QString::fromLatin1(row->caption));
  ModSig.SwitchTicks = row->ticks;
  ModSig.SwitchMinutes = row->minutes;
}

void frmPreferences::cmdSave_Click() {
  const QByteArray position = QByteArray::number(Slider1->value());
  if (!txtsiglocation->text().isEmpty())
    write("SigLocation", platform::pathBytes(txtsiglocation->text()));
  write("Interval", position);
  ModSig.WriteType = writeTypeFor(cboProgramName->currentText());
  write("Write_Type", ModSig.WriteType);
  write("Prog_Name", toAnsi(cboProgramName->currentText()));
  write("Start_Min", chkMin->isChecked() ? "1" : "0");
  ModSig.IntervalCode = position;
  if (switchNow_) switchNow_();
  cmdDone->setFocus();
}

void frmPreferences::cmdFindFile_Click() {
  frmChooseDir chooser(txtsiglocation, this);
  chooser.exec();
}

}  // namespace qm::ui
