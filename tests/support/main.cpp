#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

// Widget tests run without a display; every message box is answered by a ScriptedMsgBox. A
// home of their own keeps the user's untouched.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const QTemporaryDir home;
  qputenv("HOME", QFile::encodeName(home.path()));
  qunsetenv("XDG_DATA_HOME");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
