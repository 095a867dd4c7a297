// miravel: the desktop program.
#include <QApplication>

#include "core/AppState.h"
#include "core/DeviceSettings.h"
#include "terminal/WireTerminalClient.h"
#include "ui/MainForm.h"
#include "ui/PersonnelForm.h"
#include "ui/QtUiServices.h"
#include "ui/SettingsForm.h"
#include "ui/WarningForm.h"

int main(int argc, char** argv) {
  using namespace miravel;
  QApplication application(argc, argv);

  AppState state;
  state.programFolder = QCoreApplication::applicationDirPath().toStdString() + "/";
  QtUiServices ui;
  // COM ports map to serial devices through cihazlar.ini, read when a
  // connection is made.
  const auto serialDevicePath = [&state](int comPort) {
    if (state.settingsFile) return SerialDevicePath(*state.settingsFile, comPort);
    return "/dev/ttyS" + std::to_string(comPort - 1);
  };
  WireTerminalClient mainTerminal(serialDevicePath);
  WireTerminalClient settingsTerminal(serialDevicePath);
  WireTerminalClient personnelTerminal(serialDevicePath);

  // The windows in the order the program has always created them: the main
  // window first, so that cihazlar.ini is loaded before the others exist.
  Tmainform mainform(state, mainTerminal, ui);
  Tayarlarform ayarlarform(state, settingsTerminal, ui, &mainform);
  Tpersonelform personelform(state, personnelTerminal, ui, &ayarlarform);
  Tuyariform uyariform(&ayarlarform);
  mainform.SetSettingsWindow(&ayarlarform);

  mainform.show();
  return application.exec();
}
