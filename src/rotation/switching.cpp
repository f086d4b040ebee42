// The main window's part in the rotation: the switch, the timer tick and "Write Sig Now".
#include <QCheckBox>
#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <climits>

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
  showClock();
  // While a switch waits for an answer to its failure box, ticks only keep the clock.
  if (switching_) return;
  ++TickCount;
  if (ModSig.SwitchTicks > 0 && TickCount >= ModSig.SwitchTicks) runDueSwitch();
}

void frmMain::showClock() {
  const QDateTime now = clock();
  // The text costs a look at the time zone: made once a second, not at every tick.
  if (now.toSecsSinceEpoch() == clockSecond_) return;
  clockSecond_ = now.toSecsSinceEpoch();
  const QString text = longTimeText(now);
  if (lblCurrent->text() != text) lblCurrent->setText(text);
}

void frmMain::runDueSwitch() {
  switching_ = true;
  Randomizer();
  switching_ = false;
  TickCount = 0;
  if (asleepAt_) {
    asleepAt_ = monotonicMs();
    scheduleSwitch();
  }
}

void frmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  wake();
}

void frmMain::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  sleep();
}

void frmMain::wake() {
  if (!asleepAt_) return;
  switchDue_->stop();
  countSleptTicks();
  asleepAt_.reset();
  showClock();
  Timer1->start();
}

void frmMain::sleep() {
  if (asleepAt_) return;
  Timer1->stop();
  asleepAt_ = monotonicMs();
  scheduleSwitch();
}

// Each 500 ms slept is a tick; the rest of one carries over.
void frmMain::countSleptTicks() {
  const qint64 ticks = (monotonicMs() - *asleepAt_) / Timer1->interval();
  TickCount += static_cast<int>(ticks);
  *asleepAt_ += ticks * Timer1->interval();
}

void frmMain::scheduleSwitch() {
  // With "Never", or while a switch waits for its failure box, there is nothing to wake for.
  if (switching_ || ModSig.SwitchTicks <= 0) return;
  const qint64 due =
      qint64{ModSig.SwitchTicks - TickCount} * Timer1->interval() - (monotonicMs() - *asleepAt_);
  switchDue_->start(static_cast<int>(std::clamp<qint64>(due, 0, INT_MAX)));
}

void frmMain::switchWhenDue() {
  countSleptTicks();
  if (ModSig.SwitchTicks > 0 && TickCount >= ModSig.SwitchTicks) {
    runDueSwitch();
  } else {
    scheduleSwitch();
  }
}

void frmMain::Command1_Click() {
  OutputSig(shownEntries());
}

}  // namespace qm::ui
