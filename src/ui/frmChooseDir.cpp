#include "ui/frmChooseDir.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/ansi.h"
#include "common/failure.h"
#include "common/msgbox.h"
#include "platform/platform.h"
#include "startup/settings.h"
#include "startup/utility.h"
#include "ui/folder_lists.h"
#include "ui/forms.h"

namespace qm::ui {

frmChooseDir::frmChooseDir(QLineEdit* target, QWidget* parent)
    : QDialog(parent),
      Drive1(named(new DriveList(this), "Drive1")),
      Dir1(named(new FolderList(this), "Dir1")),
      cmdSave(button(this, "cmdSave", "&Save")),
      cmdDone(button(this, "cmdDone", "&Done")),
      target_(target) {
  setObjectName(QStringLiteral("frmChooseDir"));
  setWindowTitle(QStringLiteral("Choose Directory for Signature Files"));
  setModal(true);
  cmdSave->setAutoDefault(false);
  cmdDone->setAutoDefault(false);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(Drive1, 1);
  bottom->addStretch();
  bottom->addWidget(buttonRow(this, {cmdSave, cmdDone}));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Dir1, 1);
  layout->addLayout(bottom);
  // The folder list has no label of its own, so its name says what it holds; a drop-down box
  // reads as the drive it shows.
  describe(this, "Pick the folder the signature files are written to",
           {
               {"Dir1", "Folders", "Folders around the current folder; open one to go into it"},
               {"Drive1", {}, "Drive whose folders the list shows"},
               {"cmdSave", {}, "Use the current folder for the signature files"},
               {"cmdDone", {}, "Close the chooser"},
           });
  chainTabOrder(this, {"Dir1", "Drive1", "cmdSave", "cmdDone"});

  Form_Load();
  // Connected after the load step, so only the user's own changes are handled.
  connect(Drive1, &QComboBox::currentIndexChanged, this, &frmChooseDir::Drive1_Change);
  connect(Dir1, &FolderList::clickedInList, this, &frmChooseDir::Dir1_Click);
  connect(cmdSave, &QPushButton::clicked, this, &frmChooseDir::cmdSave_Click);
  connect(cmdDone, &QPushButton::clicked, this, &frmChooseDir::cmdDone_Click);
  Dir1->setFocus();
}

void frmChooseDir::Form_Load() {
  const FailureHandler handler("Form_Load");
  ModSig.SigDir = sGetINI(ModSig.IniPath, "Settings", "siglocation", "?");
  // Home first, so that a stored folder that cannot be shown leaves the list there.
  handler.run([&] { Dir1->setPath(QDir::homePath()); });
  if (ModSig.SigDir == "?" || ModSig.SigDir.isEmpty()) return;
  const QString stored = platform::pathFromBytes(ModSig.SigDir);
  handler.run([&] { Dir1->setPath(stored); });
}

void frmChooseDir::Drive1_Change() {
  const FailureHandler handler("Drive1_Change");
  const QString root = Drive1->drive();
  handler.run([&] { Dir1->setPath(root); });
}

void frmChooseDir::Dir1_Click() {
  // The list's current folder, not the entry clicked: opening takes a double-click.
  ChosenDir = Dir1->path();
}

void frmChooseDir::cmdSave_Click() {
  if (ChosenDir.isEmpty()) {
    MsgBox(MsgKind::Hint, QStringLiteral("Please Choose a Directory"),
           QStringLiteral("Choose Directory"));
    return;
  }
  if (target_ != nullptr) target_->setText(ChosenDir);
}

void frmChooseDir::cmdDone_Click() {
  accept();
}

}  // namespace qm::ui
