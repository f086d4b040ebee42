#pragma once

#include <QString>
#include <functional>

// Every message box of the program goes through MsgBox, so that the widgets stay behind one
// adapter and tests can answer boxes without a window.
namespace qm {

enum class MsgKind {
  Question,  // Yes and No, question-mark icon
  Refusal,   // OK, stop (critical) icon
  Hint,      // OK, information icon
  Failure,   // Abort, Retry and Ignore, exclamation icon
};

// The codes of the buttons, as earlier builds numbered them.
enum MsgCode : int { vbOK = 1, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

// The code of the last question or refusal answered; read back at once by the asker.
inline int MsgAnswer = 0;

using MsgBoxShow = std::function<int(MsgKind kind, const QString& prompt, const QString& title)>;

// The widgets (or a test script) that show the boxes; returns the one it replaces.
MsgBoxShow installMsgBox(MsgBoxShow show);

// Shows a box and returns the code of the button pressed. Line breaks in the prompt are CR LF.
int MsgBox(MsgKind kind, const QString& prompt, const QString& title);

}  // namespace qm
