#pragma once

#include <QSlider>

namespace qm::ui {

// The Preferences slider: seven positions, 0 at the left to 6 at the right.
class IntervalSlider : public QSlider {
  Q_OBJECT
 public:
  explicit IntervalSlider(QWidget* parent = nullptr);

  // Refuses a position outside 0..6 with Failure InvalidPropertyValue, changing nothing.
  void setPosition(int position);
};

}  // namespace qm::ui
