// miravel-aktar [--folder DIR] [--only N,N...] [--paralel N] [--yeniden-al]
#include <unistd.h>

#include <iostream>
#include <memory>

#include "app/AktarCommand.h"
#include "app/ProgramLocation.h"
#include "app/StopSignals.h"
#include "core/AppError.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "terminal/WireTerminalClient.h"

int main(int argc, char** argv) {
  using namespace miravel;
  AktarOptions options;
  try {
    // No default folder: an empty one after parsing means --folder was not
    // given, and the office folder is found as every program finds it.
    options = ParseAktarArguments(std::vector<std::string>(argv + 1, argv + argc), "");
  } catch (const AppError& error) {
    std::cerr << error.what() << "\n\n" << AktarUsage();
    return kAktarStopped;
  }
  if (options.help) {
    std::cout << AktarUsage();
    return kAktarAllTransferred;
  }
  try {
    const OfficeFolder office = OfficeFolderOfThisProgram(
        options.programFolder.empty() ? std::nullopt : std::optional(options.programFolder));
    RequireOfficeFolder(office);
    options.programFolder = office.path;
    options.recordFileBase = office.RecordFileBase();
  } catch (const AppError& error) {
    std::cerr << error.what() << "\n";
    return kAktarStopped;
  }
  const std::string settingsPath = options.programFolder + "cihazlar.ini";
  const auto makeClient = [settingsPath]() -> std::shared_ptr<TerminalClient> {
    return std::make_shared<WireTerminalClient>(
        [settingsPath](int comPort) { return SerialDevicePath(IniFile(settingsPath), comPort); });
  };
  static StopRequest stop;
  StopOnSignals(stop);
  return RunAktar(options, makeClient, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1, &stop);
}
