#include "startup/startup.h"

#include <QDir>

#include "common/ansi.h"
#include "common/convert.h"
#include "common/failure.h"
#include "common/msgbox.h"
#include "platform/platform.h"
#include "startup/settings.h"
#include "startup/utility.h"

namespace qm {

bool Main(StartupWindows& windows) {
  if (platform::previousInstance()) {
    // The running one comes to the front, so the user sees where it was.
    platform::wakePreviousInstance();
    MsgBox(MsgKind::Refusal, QStringLiteral("ZQ Quillmate is already running!!"),
           QStringLiteral("Already Running"));
    return false;
  }
  ModSig.StartingUp = true;
  initprogram();
  LoadSettings(windows);
  if (ModSig.StartMinimized) {
    windows.hideMainInTray();
  } else {
    windows.showMain();
  }
  return true;
}

void initprogram() {
  ModSig.IniPath = QDir(platform::applicationDir()).filePath(QStringLiteral("zq.ini"));
  const QByteArray temp = platform::pathBytes(platform::temporaryDir());
  const QString signatures = platform::privateSignatureDir();
  const QByteArray sigDefault = platform::pathBytes(signatures);
  QByteArray fileloc, writeType, progName, startMin;

  // In the order they are read, checked and, when missing or empty, written with their
  // default under the section spelling that a first start leaves in the file.
  struct Key {
    const char* readAs;
    const char* writtenAs;
    const char* section;
    QByteArray defaultValue;
    QByteArray& value;
  };
  Key keys[] = {
      {"fileloc", "fileloc", "settings", temp, fileloc},
      {"Interval", "Interval", "Settings", "6", ModSig.IntervalCode},
      {"HeadRandom", "HeadRandom", "Settings", "0", ModSig.HeadRandomFlag},
      {"FootRandom", "FootRandom", "Settings", "0", ModSig.FootRandomFlag},
      {"SigRandom", "SigRandom", "Settings", "0", ModSig.SigRandomFlag},
      {"siglocation", "SigLocation", "Settings", sigDefault, ModSig.SigDir},
      {"Write_Type", "Write_Type", "settings", "Text", writeType},
      {"Prog_Name", "Prog_Name", "settings", "Other Text", progName},
      {"Start_Min", "Start_Min", "Settings", "0", startMin},
  };
  for (Key& key : keys) key.value = sGetINI(ModSig.IniPath, "Settings", key.readAs, "?");
  for (Key& key : keys) {
    if (key.value != "?" && !key.value.isEmpty()) continue;
    key.value = key.defaultValue;
    writeINI(ModSig.IniPath, key.section, key.writtenAs, key.defaultValue);
  }
  ModSig.StartMinimized = startMin == "1";
  // Made afresh should it have gone: no other folder is ever made for the user.
  if (ModSig.SigDir == sigDefault) platform::createPrivateDir(signatures);
}

void LoadSettings(StartupWindows& windows) {
  const FailureHandler handler("LoadSettings");
  windows.loadPreferences();
  windows.setPreferencesDirectory(ModSig.SigDir);

  const QByteArray writeType = sGetINI(ModSig.IniPath, "Settings", "Write_Type", "?");
  if (writeType == "Text" || writeType == "Text & HTML" || writeType == "HTML") {
    ModSig.WriteType = writeType;
  }

  if (!handler.run([&] { windows.setSliderPosition(toWholeNumber(ModSig.IntervalCode)); })) {
    return;
  }
  if (const Interval* row = intervalAt(windows.sliderPosition())) {
    ModSig.SwitchTicks = row->ticks;
    ModSig.SwitchMinutes = row->minutes;
  }

  windows.setTimerInterval(500);
  windows.unloadPreferences();
}

}  // namespace qm
