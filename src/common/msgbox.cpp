#include "common/msgbox.h"

#include <QtGlobal>
#include <utility>

namespace qm {
namespace {

MsgBoxShow& installed() {
  static MsgBoxShow show;
  return show;
}

}  // namespace

MsgBoxShow installMsgBox(MsgBoxShow show) {
  return std::exchange(installed(), std::move(show));
}

int MsgBox(MsgKind kind, const QString& prompt, const QString& title) {
  if (!installed()) qFatal("No message box adapter installed for \"%s\"", qPrintable(title));
  const int answer = installed()(kind, prompt, title);
  if (kind == MsgKind::Question || kind == MsgKind::Refusal) MsgAnswer = answer;
  return answer;
}

}  // namespace qm
