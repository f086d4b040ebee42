// The program with its window, loaded by main only when it starts: an answer on the command line
// (a signature for a mail program) then never loads the widget libraries.
#include <QApplication>

#include "platform/platform.h"
#include "startup/startup.h"
#include "ui/app_icon.h"
#include "ui/message_box.h"
#include "ui/startup_windows.h"

extern "C" __attribute__((visibility("default"))) int quillmateWindow(int& argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);  // the window may live in the tray alone
  // Docks and compositors tie the window to its menu entry by these two names; the first is
  // also the tray item's title.
  QApplication::setApplicationName(QStringLiteral("Quillmate"));
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quillmate.quillmate"));
  QApplication::setWindowIcon(qm::ui::appIcon());  // every window and box, in task lists too
  qm::ui::installMessageBoxes();
  qm::ui::StartupForms forms;
  // Shutdown and logout end the program as Quit does: every change is on disk already.
  qm::platform::onRequests([] { qm::platform::endNow(0); },
                           [&forms](const QByteArray& token) { forms.bringToFront(token); });
  if (!qm::Main(forms)) qm::platform::endNow(0);
  qm::platform::endNow(QApplication::exec());
}
