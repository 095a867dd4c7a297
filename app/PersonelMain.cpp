// miravel-personel [--folder DIR] --cihaz N KOMUT [--per-no A,B,...]
#include <signal.h>
#include <unistd.h>

#include <iostream>

#include "app/HeadlessStart.h"
#include "app/PersonelProgram.h"
#include "core/AppError.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "core/StopRequest.h"
#include "terminal/WireTerminalClient.h"

namespace {

// Ctrl+C and a service stop end the command at its next person, with what it
// copied until then written; the handler only sets the request.
miravel::StopRequest stopRequest;

void RequestStop(int) {
  stopRequest.Request();
}

void StopOnSignals() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  // Reads and writes in progress go on; the command looks at the request
  // between persons.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

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
  StopOnSignals();
  return RunPersonel(options, terminal, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1,
                     &stopRequest);
}
