#pragma once

#include <optional>
#include <string>

#include "core/OfficeFolder.h"

namespace miravel {

// The folder of the running executable, ending in '/'.
std::string ExecutableFolder();

// The office folder of this process: from --folder when given, else from the
// environment and the executable's folder (see ResolveOfficeFolder).
OfficeFolder OfficeFolderOfThisProgram(const std::optional<std::string>& folderOption);

}  // namespace miravel
