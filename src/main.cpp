#include <QApplication>

#include "platform/platform.h"
#include "startup/startup.h"
#include "ui/message_box.h"
#include "ui/startup_windows.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);  // the window may live in the tray alone
  // Shutdown and logout end the program as Quit does: every change is on disk already.
  qm::platform::onEndRequest([] { qm::platform::endNow(0); });
  qm::ui::installMessageBoxes();
  qm::ui::StartupForms forms;
  if (!qm::Main(forms)) qm::platform::endNow(0);
  qm::platform::endNow(QApplication::exec());
}
