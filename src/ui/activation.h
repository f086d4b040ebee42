#pragma once

#include <QByteArray>

class QWidget;

namespace qm::ui {

// Raises the window and asks for the focus with what the launcher gave a later start: on
// Wayland its activation token, on X11 the time in its startup id, so that compositors and
// window managers that stop focus stealing still let it come forward.
void bringForward(QWidget* window, const QByteArray& token);

// Makes the hidden window's next showing a normal one. Qt marks a window it minimises to start
// iconic and clears that only when it restores the window itself; a window that the window
// manager took out of minimised and the program then hid would come back minimised.
void showNextNormal(QWidget* window);

}  // namespace qm::ui
