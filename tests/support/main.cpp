#include <gtest/gtest.h>
#include <QtWidgets>

// No display needed (a ScriptedMsgBox answers every message box); own home spares the user's.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const QTemporaryDir home;
  qputenv("HOME", QFile::encodeName(home.path()));
  qunsetenv("XDG_DATA_HOME");
  QApplication app(argc, argv);
  return (::testing::InitGoogleTest(&argc, argv), RUN_ALL_TESTS());
}
