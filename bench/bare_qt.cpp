// The floors of the cost scripts: a bare Qt program that shows a tray icon and sleeps ("tray"),
// an empty window ("window"), or a window with one label and one button ("widgets"), which
// loads the fonts as any window with text does. Nothing else: no timer, no file.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>
#include <cstring>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const char* mode = argc > 1 ? argv[1] : "window";
  QSystemTrayIcon icon;
  QWidget window;
  if (std::strcmp(mode, "tray") == 0) {
    icon.setIcon(app.style()->standardIcon(QStyle::SP_ComputerIcon));
    icon.show();
  } else {
    window.setWindowTitle(QStringLiteral("Bare Qt window"));
    if (std::strcmp(mode, "widgets") == 0) {
      auto* layout = new QVBoxLayout(&window);
      layout->addWidget(new QLabel(QStringLiteral("A label")));
      layout->addWidget(new QPushButton(QStringLiteral("A button")));
    }
    window.resize(460, 500);
    window.show();
  }
  return QApplication::exec();
}
