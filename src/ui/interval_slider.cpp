#include "ui/interval_slider.h"

#include "startup/settings.h"

namespace qm::ui {

IntervalSlider::IntervalSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setRange(0, static_cast<int>(kIntervals.size()) - 1);
  setPageStep(1);
  setTickPosition(QSlider::TicksBelow);
  setTickInterval(1);
  setValue(kNeverCode);  // until a stored code is applied
}

void IntervalSlider::setPosition(int position) {
  setValue(checkedIntervalCode(position));
}

}  // namespace qm::ui
