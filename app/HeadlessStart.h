#pragma once

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/ProgramLocation.h"
#include "core/AppError.h"

namespace miravel {

// How a headless program starts: reads its command line with parse (bad use:
// the message and the usage on stderr), answers --help with the usage, then
// finds its office folder from the --folder value (none: why, on stderr) and
// puts its path into options.programFolder. Returns the exit status when the
// program ends here (stopped on bad use or no office folder, 0 for --help).
template <typename Options, typename Parse>
std::optional<int> StartHeadless(int argc, char** argv, const Parse& parse,
                                 const std::string& usage, int stopped, Options& options) {
  try {
    options = parse(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const AppError& error) {
    std::cerr << error.what() << "\n\n" << usage;
    return stopped;
  }
  if (options.help) {
    std::cout << usage;
    return 0;
  }
  try {
    const OfficeFolder office = OfficeFolderOfThisProgram(
        options.programFolder.empty() ? std::nullopt : std::optional(options.programFolder));
    RequireOfficeFolder(office);
    options.programFolder = office.path;
  } catch (const AppError& error) {
    std::cerr << error.what() << "\n";
    return stopped;
  }
  return std::nullopt;
}

}  // namespace miravel
