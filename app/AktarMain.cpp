// miravel-aktar [--folder DIR] [--only N,N...] [--paralel N] [--yeniden-al]
#include <unistd.h>

#include <iostream>
#include <memory>

#include "app/AktarCommand.h"
#include "app/HeadlessStart.h"
#include "app/StopSignals.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "terminal/WireTerminalClient.h"

int main(int argc, char** argv) {
  using namespace miravel;
  AktarOptions options;
  // No default folder: an empty one after parsing means --folder was not
  // given, and the office folder is found as every program finds it.
  const auto parse = [](const std::vector<std::string>& arguments) {
    return ParseAktarArguments(arguments, "");
  };
  OfficeFolder office;
  if (const auto status =
          StartHeadless(argc, argv, parse, AktarUsage(), kAktarStopped, options, &office)) {
    return *status;
  }
  options.recordFileBase = office.RecordFileBase();
  const std::string settingsPath = options.programFolder + "cihazlar.ini";
  const auto makeClient = [settingsPath]() -> std::shared_ptr<TerminalClient> {
    return std::make_shared<WireTerminalClient>(
        [settingsPath](int comPort) { return SerialDevicePath(IniFile(settingsPath), comPort); });
  };
  static StopRequest stop;
  StopOnSignals(stop);
  return RunAktar(options, makeClient, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1, &stop);
}
