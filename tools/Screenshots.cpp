// Opens the windows on a program folder (its cihazlar.ini names running
// terminals) and saves pictures of them: the main window before and after
// "Bilgileri Aktar", the settings window after "Tarihi Oku" on the first row
// and "Tüm  CihazlarıTest et", and the reset question of "Cihazı Sıfırla"
// (answered "Hayır": nothing is erased).
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "core/AppState.h"
#include "core/Clock.h"
#include "core/DeviceSettings.h"
#include "terminal/WireTerminalClient.h"
#include "ui/ConfirmDialog.h"
#include "ui/MainWindow.h"
#include "ui/QtUiServices.h"
#include "ui/SettingsWindow.h"

namespace {

void Click(const QWidget& window, const char* button) {
  window.findChild<QPushButton*>(button)->click();
  QApplication::processEvents();
}

}  // namespace

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
  const auto serialDevicePath = [&state](int comPort) {
    return SerialDevicePath(*state.settingsFile, comPort);
  };
  WireTerminalClient terminal(serialDevicePath);
  WireTerminalClient settingsTerminal(serialDevicePath);
  MainWindow window(state, terminal, ui);
  SettingsWindow settings(state, settingsTerminal, ui, SystemClock(), &window);
  ConfirmDialog confirm(&settings);
  settings.SetConfirmDialog(&confirm);

  const QString output = QDir(argv[2]).absolutePath();
  QStringList saved;
  const auto save = [&](QWidget& widget, const QString& name) {
    widget.grab().save(output + "/" + name);
    saved << output + "/" + name;
  };
  window.show();
  QApplication::processEvents();
  save(window, "ana-pencere-once.png");
  Click(window, "transferButton");
  save(window, "ana-pencere-sonra.png");

  settings.show();
  QApplication::processEvents();
  Click(settings, "readClockButton");
  Click(settings, "testAllConnectionsButton");
  save(settings, "ayarlar-penceresi.png");

  // The question is modal: it is pictured and answered from inside its own loop.
  QTimer::singleShot(200, [&] {
    save(confirm, "sifirlama-sorusu.png");
    confirm.findChild<QPushButton*>("noButton")->click();
  });
  Click(settings, "resetDeviceButton");
  for (const QString& path : saved) std::printf("%s\n", qPrintable(path));
  return 0;
}
