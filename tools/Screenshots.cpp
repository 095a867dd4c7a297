// Opens the main window on a program folder (its cihazlar.ini names running
// terminals), saves a picture of it, runs "Bilgileri Aktar" and saves another.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <cstdio>

#include "core/AppState.h"
#include "core/DeviceSettings.h"
#include "terminal/WireTerminalClient.h"
#include "ui/MainWindow.h"
#include "ui/QtUiServices.h"

int main(int argc, char** argv) {
  using namespace miravel;
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PROGRAM_FOLDER OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  AppState state;
  state.programFolder = QDir(argv[1]).absolutePath().toStdString() + "/";
  QDir::setCurrent(QString::fromStdString(state.programFolder));
  QtUiServices ui;
  WireTerminalClient terminal(
      [&state](int comPort) { return SerialDevicePath(*state.settingsFile, comPort); });
  MainWindow window(state, terminal, ui);
  window.show();
  QApplication::processEvents();
  const QString output = QDir(argv[2]).absolutePath();
  window.grab().save(output + "/ana-pencere-once.png");
  window.findChild<QPushButton*>("transferButton")->click();
  QApplication::processEvents();
  window.grab().save(output + "/ana-pencere-sonra.png");
  std::printf("%s/ana-pencere-once.png\n%s/ana-pencere-sonra.png\n", qPrintable(output),
              qPrintable(output));
  return 0;
}
