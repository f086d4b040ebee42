#include "common/convert.h"

#include <cmath>

#include "common/failure.h"

namespace qm {

int toWholeNumber(const QByteArray& text) {
  const QByteArray number = text.trimmed();
  bool ok = false;
  const double value = number.toDouble(&ok);
  if (!ok || !std::isfinite(value)) throw Failure(Err::TypeMismatch);
  const double whole = std::nearbyint(value);  // default rounding: half to even
  if (whole < -32768.0 || whole > 32767.0) throw Failure(Err::Overflow);
  return static_cast<int>(whole);
}

bool toTicked(const QByteArray& text) {
  const int value = toWholeNumber(text);
  if (value != 0 && value != 1) throw Failure(Err::InvalidPropertyValue);
  return value == 1;
}

}  // namespace qm
