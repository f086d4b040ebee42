// The floors of bench/idle_cost.sh: a bare Qt program that shows a tray icon and sleeps
// ("tray"), or shows an empty window ("window"). Nothing else: no timer, no file.
#include <QApplication>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QWidget>
#include <cstring>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const bool tray = argc > 1 && std::strcmp(argv[1], "tray") == 0;
  QSystemTrayIcon icon(app.style()->standardIcon(QStyle::SP_ComputerIcon));
  QWidget window;
  if (tray) {
    icon.show();
  } else {
    window.setWindowTitle(QStringLiteral("Bare Qt window"));
    window.resize(460, 500);
    window.show();
  }
  return QApplication::exec();
}
