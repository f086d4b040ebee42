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
  ShownEntries shown;
  for (std::size_t i = 0; i < lists_.size(); ++i) shown[i] = lists_[i].shown->ansiText();
  return shown;
}

void frmMain::Randomizer() {
  const FailureHandler handler("Randomizer");
  for (const TextStore* store : kDrawOrder) {
    const List& list = listOf(*store);
    if (!list.ticked->isChecked()) continue;
    if (!handler.run([&] {
          // An entry being edited waits at the store's end, out of the list.
          const int count = CountRecords(*store) - heldRecords(list);
          if (count < 2) return;
          list.shown->setAnsiText(ReadRecord(*store, drawRecordNumber(count)));
        })) {
      return;
    }
  }
  const bool anyTicked = std::any_of(lists_.begin(), lists_.end(),
                                     [](const List& list) { return list.ticked->isChecked(); });
  if (!anyTicked || ModSig.SwitchTicks == 0) {
    lblNext->clear();
    schedule.TickCount = 0;
    return;
  }
  OutputSig(shownEntries());
  schedule.TickCount = 0;
  lblNext->setText(nextSwitchText(clock()));
}

void frmMain::Timer1_Timer() {
  showClock();
  schedule.tick();
}

void frmMain::showClock() {
  const QDateTime now = clock();
  // The text costs a look at the time zone: made once a second, not at every tick.
  if (now.toSecsSinceEpoch() == clockSecond_) return;
  clockSecond_ = now.toSecsSinceEpoch();
  const QString text = longTimeText(now);
  if (lblCurrent->text() != text) lblCurrent->setText(text);
}

void frmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  schedule.wake();
  showClock();
}

void frmMain::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  schedule.sleep();
}

void frmMain::Command1_Click() {
  OutputSig(shownEntries());
}

}  // namespace qm::ui
