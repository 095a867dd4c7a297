// miravel-cihaz [--folder DIR] [--cihaz N,N... | --hepsi] KOMUT
#include <iostream>
#include <memory>

#include "app/CihazProgram.h"
#include "app/ProgramLocation.h"
#include "core/AppError.h"
#include "core/Clock.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "terminal/WireTerminalClient.h"

int main(int argc, char** argv) {
  using namespace miravel;
  CihazOptions options;
  try {
    options = ParseCihazArguments(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const AppError& error) {
    std::cerr << error.what() << "\n\n" << CihazUsage();
    return kCihazStopped;
  }
  if (options.help) {
    std::cout << CihazUsage();
    return kCihazAllDone;
  }
  try {
    const OfficeFolder office = OfficeFolderOfThisProgram(
        options.programFolder.empty() ? std::nullopt : std::optional(options.programFolder));
    RequireOfficeFolder(office);
    options.programFolder = office.path;
  } catch (const AppError& error) {
    std::cerr << error.what() << "\n";
    return kCihazStopped;
  }
  const std::string settingsPath = options.programFolder + "cihazlar.ini";
  // Called before the rows' threads start: each client takes the serial
  // ports' devices as cihazlar.ini names them then.
  const auto makeClient = [settingsPath]() -> std::shared_ptr<TerminalClient> {
    return std::make_shared<WireTerminalClient>(SerialDevicePathsNow(IniFile(settingsPath)));
  };
  return RunCihaz(options, makeClient, SystemClock(), std::cout, std::cerr);
}
