// miravel-personel [--folder DIR] --cihaz N KOMUT [--per-no A,B,...]
#include <unistd.h>

#include <iostream>

#include "app/HeadlessStart.h"
#include "app/PersonelProgram.h"
#include "app/StopSignals.h"
#include "core/AppError.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "core/StopRequest.h"
#include "terminal/WireTerminalClient.h"

int main(int argc, char** argv) {
  using namespace miravel;
  PersonelOptions options;
  if (const auto status = StartHeadless(argc, argv, ParsePersonelArguments, PersonelUsage(),
                                        kPersonelStopped, options)) {
    return *status;
  }
  const std::string settingsPath = options.programFolder + "cihazlar.ini";
  WireTerminalClient terminal(
      [settingsPath](int comPort) { return SerialDevicePath(IniFile(settingsPath), comPort); });
  // Ctrl+C and a service stop end the command at its next person, with what
  // it copied until then written.
  StopRequest stop;
  StopOnSignals(stop);
  return RunPersonel(options, terminal, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1,
                     &stop);
}
