// miravel-cihaz [--folder DIR] [--cihaz N,N... | --hepsi] KOMUT
#include <iostream>
#include <memory>

#include "app/CihazProgram.h"
#include "app/HeadlessStart.h"
#include "core/AppError.h"
#include "core/Clock.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "terminal/WireTerminalClient.h"

int main(int argc, char** argv) {
  using namespace miravel;
  CihazOptions options;
  if (const auto status =
          StartHeadless(argc, argv, ParseCihazArguments, CihazUsage(), kCihazStopped, options)) {
    return *status;
  }
  // The serial ports' devices as cihazlar.ini names them at the start, read
  // once for every client: the rows' threads must not read the file.
  WireTerminalClient::SerialDevicePathFor serialDevicePaths;
  try {
    serialDevicePaths = SerialDevicePathsNow(IniFile(options.programFolder + "cihazlar.ini"));
  } catch (const AppError& error) {
    std::cerr << error.what() << "\n";
    return kCihazStopped;
  }
  const auto makeClient = [&serialDevicePaths]() -> std::shared_ptr<TerminalClient> {
    return std::make_shared<WireTerminalClient>(serialDevicePaths);
  };
  return RunCihaz(options, makeClient, SystemClock(), std::cout, std::cerr);
}
