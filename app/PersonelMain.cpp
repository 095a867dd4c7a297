// miravel-personel [--folder DIR] --cihaz N KOMUT [--per-no A,B,...]
#include <unistd.h>

#include <iostream>

#include "app/PersonelProgram.h"
#include "app/ProgramLocation.h"
#include "core/AppError.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "terminal/WireTerminalClient.h"

int main(int argc, char** argv) {
  using namespace miravel;
  PersonelOptions options;
  try {
    options = ParsePersonelArguments(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const AppError& error) {
    std::cerr << error.what() << "\n\n" << PersonelUsage();
    return kPersonelStopped;
  }
  if (options.help) {
    std::cout << PersonelUsage();
    return kPersonelDone;
  }
  try {
    const OfficeFolder office = OfficeFolderOfThisProgram(
        options.programFolder.empty() ? std::nullopt : std::optional(options.programFolder));
    RequireOfficeFolder(office);
    options.programFolder = office.path;
  } catch (const AppError& error) {
    std::cerr << error.what() << "\n";
    return kPersonelStopped;
  }
  const std::string settingsPath = options.programFolder + "cihazlar.ini";
  WireTerminalClient terminal(
      [settingsPath](int comPort) { return SerialDevicePath(IniFile(settingsPath), comPort); });
  return RunPersonel(options, terminal, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
