// miravel_window_driver OFFICE STEP...: opens the settings window on the office
// folder as the program does and runs the steps one after the other, as a
// user would click them, then ends. A test kills it at chosen moments to see
// what the windows' writes leave on disk.
//
//   kaydet        names the devices "Bina 1", "Bina 2" … and presses "Kaydet"
//   personel-al   opens the personnel window on device 1 (through
//                 "Personel İşlemleri"), ticks every terminal user, "Al" of
//                 the personal data
//   parmakizi-al  the same with "Al" of the fingerprints
//   sil           the same, ticking the first person of the store as well, with "Sil"
//
// The personnel steps leave the window by "Çıkış". Dialogs are answered by
// the fake dialog services; any error or message the windows show is printed
// and makes the exit status 1. Exit status 3: the window never loaded.
#include <QApplication>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/AppState.h"
#include "core/Clock.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "terminal/WireTerminalClient.h"
#include "tests/support/FakeUiServices.h"
#include "tests/ui/FindControl.h"
#include "ui/CommandGuard.h"
#include "ui/PersonnelModel.h"
#include "ui/PersonnelWindow.h"
#include "ui/SettingsWindow.h"
#include "ui/grid/ReportGrid.h"

namespace miravel {
namespace {

using test::FindControl;

void Click(QWidget& window, const char* name) {
  FindControl<QPushButton>(window, name).click();
}

// Inside the personnel window's own loop: once it has loaded, tick every
// terminal user (and for "Sil" the store's first person), press the button,
// and leave.
void RunInPersonnelWindow(PersonnelWindow& personnel, const char* button) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, &personnel, button] {
    if (QApplication::activeModalWidget() != &personnel || CommandGuard::IsRunning() ||
        FindControl<QTableView>(personnel, "terminalGrid").model()->rowCount() == 0) {
      return;
    }
    poll->stop();
    poll->deleteLater();
    Click(personnel, "terminalTickAllButton");
    if (std::string(button) == "deleteButton") {
      QAbstractItemModel& store = *FindControl<QTableView>(personnel, "storeGrid").model();
      store.setData(store.index(0, PersonnelModel::kTick), static_cast<int>(Qt::Checked),
                    Qt::CheckStateRole);
    }
    Click(personnel, button);
    Click(personnel, "exitButton");
  });
  poll->start(5);
}

}  // namespace
}  // namespace miravel

int main(int argc, char** argv) {
  using namespace miravel;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  if (argc < 3) {
    std::fputs("miravel_window_driver OFFICE STEP...\n", stderr);
    return 2;
  }
  AppState state;
  state.programFolder = argv[1];
  if (state.programFolder.back() != '/') state.programFolder += '/';
  state.settingsFile = std::make_unique<IniFile>(state.SettingsFilePath());
  state.settings = LoadAppSettings(*state.settingsFile);
  state.devices = LoadDeviceList(*state.settingsFile);

  WireTerminalClient settingsTerminal(nullptr);
  WireTerminalClient personnelTerminal(nullptr);
  test::FakeUiServices ui;
  SettingsWindow settings(state, settingsTerminal, ui, SystemClock());
  PersonnelWindow personnel(state, personnelTerminal, ui, &settings);
  settings.SetPersonnelWindow(&personnel);
  settings.show();

  const std::vector<std::string> steps(argv + 2, argv + argc);
  bool done = false;
  QTimer::singleShot(0, [&] {
    auto& grid = FindControl<ReportGrid>(settings, "deviceGrid");
    for (const std::string& step : steps) {
      if (step == "kaydet") {
        for (int row = 0; row < grid.RowCount(); ++row) {
          grid.SetCellText(row, SettingsWindow::kName, QStringLiteral("Bina %1").arg(row + 1));
        }
        Click(settings, "saveDevicesButton");
      } else {
        RunInPersonnelWindow(personnel, step == "personel-al"    ? "takePersonalButton"
                                        : step == "parmakizi-al" ? "takeFingerprintsButton"
                                                                 : "deleteButton");
        grid.setCurrentCell(0, 0);
        Click(settings, "personnelButton");
      }
    }
    done = true;
    QApplication::quit();
  });
  // A window that never loads must not hold the test until its time-out.
  QTimer::singleShot(60000, [] { QApplication::exit(3); });
  const int status = application.exec();

  for (const QString& text : ui.errors + ui.messages) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
  }
  if (!done) return status == 0 ? 3 : status;
  return ui.errors.isEmpty() && ui.messages.isEmpty() ? 0 : 1;
}
