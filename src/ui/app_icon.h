#pragma once

#include <QIcon>

namespace qm::ui {

// The program's icon, for the window and the tray.
QIcon appIcon();

}  // namespace qm::ui
