// miravel [--folder DIR]: the desktop program.
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/ProgramLocation.h"
#include "core/AppError.h"
#include "core/AppState.h"
#include "core/Clock.h"
#include "core/DeviceSettings.h"
#include "core/OfficeFolder.h"
#include "terminal/WireTerminalClient.h"
#include "ui/ConfirmDialog.h"
#include "ui/MainWindow.h"
#include "ui/PersonnelWindow.h"
#include "ui/QtUiServices.h"
#include "ui/SettingsWindow.h"

namespace {

constexpr const char* kUsage =
    "Kullanım: miravel [--folder KLASÖR]\n"
    "\n"
    "Miravel'in ana penceresini açar.\n"
    "\n"
    "  --folder KLASÖR  cihazlar.ini, personel/ ve yedekler/ klasörünün bulunduğu\n"
    "                   ofis klasörü (verilmezse MIRAVEL_KLASORU; o da yoksa\n"
    "                   cihazlar.ini oradaysa programın kendi klasörü; değilse\n"
    "                   ~/.local/share/miravel, ilk açılışta oluşturulur)\n"
    "  --help           bu yardımı göster\n"
    "\n"
    "Qt'nin kendi seçenekleri (ör. -platform) de geçerlidir.\n"
    "\n"
    "Çıkış durumu: 0 pencere kapandı; 2 seçenek hatalı ya da ofis klasörü\n"
    "bulunamadı.\n";

constexpr int kBadStart = 2;

struct WindowArguments {
  std::optional<std::string> folder;
  bool help = false;
};

// Takes our own options out of argv before QApplication reads it, so that
// Qt's options (-platform, -style...) keep working beside them.
WindowArguments TakeWindowArguments(int& argc, char** argv) {
  WindowArguments arguments;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      arguments.help = true;
    } else if (argument == "--folder") {
      if (i + 1 >= argc) throw miravel::AppError("--folder bir değer bekliyor");
      arguments.folder = argv[++i];
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  argv[argc] = nullptr;
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace miravel;
  WindowArguments arguments;
  try {
    arguments = TakeWindowArguments(argc, argv);
  } catch (const AppError& error) {
    std::fprintf(stderr, "%s\n\n%s", error.what(), kUsage);
    return kBadStart;
  }
  if (arguments.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  QApplication application(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("miravel"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("miravel")));
  if (QCoreApplication::arguments().size() > 1) {
    std::fprintf(stderr, "Bilinmeyen seçenek: %s\n\n%s",
                 qPrintable(QCoreApplication::arguments().at(1)), kUsage);
    return kBadStart;
  }
  QtUiServices ui;

  AppState state;
  OfficeFolder office;
  bool firstStart = false;
  // The window has nowhere to keep anything without its office folder: say
  // why in a box (a menu entry has no terminal) and stop.
  if (!RunCommand(ui, nullptr, [&] {
        office = OfficeFolderOfThisProgram(arguments.folder);
        if (office.source == OfficeFolderSource::kUserData) {
          firstStart = PrepareOfficeFolder(office);
        }
        RequireOfficeFolder(office);
      })) {
    return kBadStart;
  }
  state.programFolder = office.path;
  state.recordFileBase = office.RecordFileBase();
  state.helpPage = HelpPagePath(ExecutableFolder());

  // COM ports map to serial devices through cihazlar.ini, read when a
  // connection is made.
  const auto serialDevicePath = [&state](int comPort) {
    if (state.settingsFile) return SerialDevicePath(*state.settingsFile, comPort);
    return "/dev/ttyS" + std::to_string(comPort - 1);
  };
  WireTerminalClient mainTerminal(serialDevicePath);
  WireTerminalClient settingsTerminal(serialDevicePath);
  WireTerminalClient personnelTerminal(serialDevicePath);

  // The main window first, so that cihazlar.ini is loaded before the others exist.
  MainWindow mainWindow(state, mainTerminal, ui);
  // The test of all connections tests the links at once, a client each. The
  // clients are made on the window's thread when the test starts, so they
  // take the serial ports' devices as cihazlar.ini names them then.
  const TerminalClientMaker makeSettingsClient = [&]() -> std::shared_ptr<TerminalClient> {
    return std::make_shared<WireTerminalClient>(
        state.settingsFile ? SerialDevicePathsNow(*state.settingsFile)
                           : WireTerminalClient::SerialDevicePathFor(serialDevicePath));
  };
  SettingsWindow settingsWindow(state, settingsTerminal, ui, SystemClock(), &mainWindow,
                                makeSettingsClient);
  PersonnelWindow personnelWindow(state, personnelTerminal, ui, &settingsWindow);
  ConfirmDialog confirmDialog(&settingsWindow);
  mainWindow.SetSettingsWindow(&settingsWindow);
  settingsWindow.SetPersonnelWindow(&personnelWindow);
  settingsWindow.SetConfirmDialog(&confirmDialog);

  mainWindow.show();
  if (firstStart) {
    // Over the painted window, once the event loop runs.
    QTimer::singleShot(0, &mainWindow, [&] {
      ui.ShowMessage(&mainWindow, QString::fromStdString(FirstStartMessage(office)));
    });
  }
  return application.exec();
}
