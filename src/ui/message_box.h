#pragma once

namespace qm::ui {

// Shows every MsgBox of the program as a QMessageBox with its documented buttons and icon.
void installMessageBoxes();

}  // namespace qm::ui
