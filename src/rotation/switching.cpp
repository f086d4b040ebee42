// The main window's part in the rotation: the switch, the timer tick and "Write Sig Now".
#include <QCheckBox>
#include <QLabel>

#include "common/failure.h"
#include "rotation/output.h"
#include "rotation/rotation.h"
#include "startup/settings.h"
#include "stores/text_store.h"
#include "ui/frmMain.h"
#include "ui/text_boxes.h"

namespace qm::ui {

ShownEntries frmMain::shownEntries() const {
  return {txtHeader->ansiText(), txtSig->ansiText(), txtFooter->ansiText()};
}

void frmMain::Randomizer() {
  const FailureHandler handler("Randomizer");
  const auto draw = [&](QCheckBox* box, const TextStore& store, QByteArray& rec, auto show,
                        std::source_location where = std::source_location::current()) {
    if (!box->isChecked()) return true;
    return handler.run(
        [&] {
          // A signature being edited waits at the store's end, out of the list.
          RecCount = CountRecords(store) - (&store == &kSignatures ? heldSignatures() : 0);
          if (RecCount < 2) return;
          rec = ReadRecord(store, drawRecordNumber(RecCount));
          show(rec);
        },
        where);
  };
  if (!draw(Check2, kSignatures, SigRec, [&](const QByteArray& rec) {
        SigText = rec;
        txtSig->setAnsiText(rec);
      })) {
    return;
  }
  if (!draw(Check1, kHeaders, HeadRec,
            [&](const QByteArray& rec) { txtHeader->setAnsiText(rec); })) {
    return;
  }
  if (!draw(Check3, kFooters, FootRec,
            [&](const QByteArray& rec) { txtFooter->setAnsiText(rec); })) {
    return;
  }
  const bool anyTicked = Check1->isChecked() || Check2->isChecked() || Check3->isChecked();
  if (!anyTicked || ModSig.SwitchTicks == 0) {
    lblNext->clear();
    TickCount = 0;
    return;
  }
  OutputSig(shownEntries());
  TickCount = 0;
  lblNext->setText(nextSwitchText(clock()));
}

void frmMain::Timer1_Timer() {
  const QString now = longTimeText(clock());
  if (lblCurrent->text() != now) lblCurrent->setText(now);
  // While a switch waits for an answer to its failure box, ticks only keep the clock.
  if (switching_) return;
  ++TickCount;
  if (ModSig.SwitchTicks > 0 && TickCount >= ModSig.SwitchTicks) {
    switching_ = true;
    Randomizer();
    switching_ = false;
    TickCount = 0;
  }
}

void frmMain::Command1_Click() {
  OutputSig(shownEntries());
}

}  // namespace qm::ui
