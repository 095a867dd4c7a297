#include "app/ProgramLocation.h"

#include <filesystem>

namespace miravel {

std::string ExecutableFolder() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string("./") : path.parent_path().string() + "/";
}

OfficeFolder OfficeFolderOfThisProgram(const std::optional<std::string>& folderOption) {
  return ResolveOfficeFolder(folderOption, ReadOfficeEnvironment(), ExecutableFolder());
}

}  // namespace miravel
