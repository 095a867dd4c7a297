#pragma once

#include <string>
#include <string_view>

namespace miravel {

// The file or folder called name inside folder. A folder is written with or
// without its closing '/', as the user or a settings file gave it; an empty
// one is the current folder.
inline std::string PathInFolder(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace miravel
