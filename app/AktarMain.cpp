// miravel-aktar [--folder DIR] [--only N,N...]
#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "app/AktarCommand.h"
#include "core/AppError.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "terminal/WireTerminalClient.h"

namespace {

std::string ExecutableFolder() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string("./") : path.parent_path().string() + "/";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace miravel;
  AktarOptions options;
  try {
    options =
        ParseAktarArguments(std::vector<std::string>(argv + 1, argv + argc), ExecutableFolder());
  } catch (const AppError& error) {
    std::cerr << error.what() << "\n\n" << AktarUsage();
    return kAktarStopped;
  }
  if (options.help) {
    std::cout << AktarUsage();
    return kAktarAllTransferred;
  }
  const std::string settingsPath = options.programFolder + "cihazlar.ini";
  WireTerminalClient terminal(
      [settingsPath](int comPort) { return SerialDevicePath(IniFile(settingsPath), comPort); });
  return RunAktar(options, terminal, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
