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
// puts its path into options.programFolder (and the folder into office, when
// given). Returns the exit status when the program ends here (stopped on bad
// use or no office folder, 0 for --help).
template <typename Options, typename Parse>
std::optional<int> StartHeadless(int argc, char** argv, const Parse& parse,
                                 const std::string& usage, int stopped, Options& options,
                                 OfficeFolder* office = nullptr) {
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
    const OfficeFolder found = OfficeFolderOfThisProgram(
        options.programFolder.empty() ? std::nullopt : std::optional(options.programFolder));
    RequireOfficeFolder(found);
    options.programFolder = found.path;
    if (office != nullptr) *office = found;
  } catch (const AppError& error) {
    std::cerr << error.what() << "\n";
    return stopped;
  }
  return std::nullopt;
}

}  // namespace miravel
