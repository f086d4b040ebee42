#include "ui/interval_slider.h"

#include "common/failure.h"
#include "startup/settings.h"

namespace qm::ui {

IntervalSlider::IntervalSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setRange(0, 6);
  setPageStep(1);
  setTickPosition(QSlider::TicksBelow);
  setTickInterval(1);
  setValue(kNeverCode);  // until a stored code is applied
}

void IntervalSlider::setPosition(int position) {
  if (position < minimum() || position > maximum()) throw Failure(Err::InvalidPropertyValue);
  setValue(position);
}

}  // namespace qm::ui
