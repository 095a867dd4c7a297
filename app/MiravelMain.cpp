// miravel: the desktop program.
#include <QApplication>

#include "core/AppState.h"
#include "core/Clock.h"
#include "core/DeviceSettings.h"
#include "terminal/WireTerminalClient.h"
#include "ui/ConfirmDialog.h"
#include "ui/MainWindow.h"
#include "ui/PersonnelWindow.h"
#include "ui/QtUiServices.h"
#include "ui/SettingsWindow.h"

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
  MainWindow mainWindow(state, mainTerminal, ui);
  SettingsWindow settingsWindow(state, settingsTerminal, ui, SystemClock(), &mainWindow);
  PersonnelWindow personnelWindow(state, personnelTerminal, ui, &settingsWindow);
  ConfirmDialog confirmDialog(&settingsWindow);
  mainWindow.SetSettingsWindow(&settingsWindow);
  settingsWindow.SetPersonnelWindow(&personnelWindow);
  settingsWindow.SetConfirmDialog(&confirmDialog);

  mainWindow.show();
  return application.exec();
}
