#pragma once

#include <QIcon>

namespace qm::ui {

// The program's icon, for the windows.
QIcon appIcon();

// The tray's: the installed icon by its name in the icon theme, when the theme has it, so that a
// panel draws it at its own size; else the program's. Either way the item sends pixmaps too.
QIcon trayItemIcon();

}  // namespace qm::ui
