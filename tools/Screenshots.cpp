// Opens the windows on a program folder (its cihazlar.ini names running
// terminals) and saves pictures of them: the main window before and after
// "Bilgileri Aktar", the settings window after "Tarihi Oku" on the first row
// and "Tüm  CihazlarıTest et", the reset question of "Cihazı Sıfırla"
// (answered "Hayır": nothing is erased), and the personnel window of the first
// terminal opened by "Personel İşlemleri", both lists loaded, a few rows ticked
// and the store list sorted by name (left by "Çıkış": nothing is copied).
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <cstdio>

#include "core/AppState.h"
#include "core/Clock.h"
#include "core/DeviceSettings.h"
#include "terminal/WireTerminalClient.h"
#include "ui/CommandGuard.h"
#include "ui/ConfirmDialog.h"
#include "ui/MainWindow.h"
#include "ui/PersonnelWindow.h"
#include "ui/QtUiServices.h"
#include "ui/SettingsWindow.h"
#include "ui/grid/ReportGrid.h"

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
  WireTerminalClient personnelTerminal(serialDevicePath);
  PersonnelWindow personnel(state, personnelTerminal, ui, &settings);
  settings.SetPersonnelWindow(&personnel);

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

  // The personnel window is modal too: pictured once it has loaded both lists.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* terminalGrid = personnel.findChild<QTableView*>("terminalGrid");
    auto* storeGrid = personnel.findChild<QTableView*>("storeGrid");
    if (QApplication::activeModalWidget() != &personnel || CommandGuard::IsRunning() ||
        terminalGrid->model()->rowCount() == 0) {
      return;
    }
    poll.stop();
    // Ticked as by a click on the box.
    const auto tick = [](QTableView* list, int row) {
      list->model()->setData(list->model()->index(row, 6), static_cast<int>(Qt::Checked),
                             Qt::CheckStateRole);
    };
    for (int row : {1, 2, 4}) tick(terminalGrid, row);
    tick(storeGrid, 3);
    emit storeGrid->horizontalHeader()->sectionClicked(1);  // sorted by name, as by a click
    save(personnel, "personel-penceresi.png");
    Click(personnel, "exitButton");
  });
  poll.start(50);
  settings.findChild<ReportGrid*>("deviceGrid")->setCurrentCell(0, 0);
  Click(settings, "personnelButton");
  for (const QString& path : saved) std::printf("%s\n", qPrintable(path));
  return 0;
}
