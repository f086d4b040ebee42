#pragma once

#include <QByteArray>

class QWidget;

namespace qm::ui {

// Raises the window and asks for the focus with what the launcher gave a later start: on
// Wayland its activation token, on X11 the time in its startup id, so that compositors and
// window managers that stop focus stealing still let it come forward.
void bringForward(QWidget* window, const QByteArray& token);

}  // namespace qm::ui
