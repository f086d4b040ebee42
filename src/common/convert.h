#pragma once

#include <QByteArray>

namespace qm {

// A stored text as a whole number, the way the settings are converted: blanks around it are
// ignored, a decimal fraction goes to the nearest whole number and a half to the even one.
// Throws Failure TypeMismatch when the text is no number, Overflow outside -32768..32767.
int toWholeNumber(const QByteArray& text);

// A stored check box value: "0" unticked, "1" ticked. Throws as toWholeNumber does, and
// Failure InvalidPropertyValue for any other number.
bool toTicked(const QByteArray& text);

}  // namespace qm
