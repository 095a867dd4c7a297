#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/AppError.h"

namespace miravel {

// Walks the arguments of a headless program: miravel-aktar and
// miravel-personel read their options the same way and say the same when an
// option lacks its value.
class ArgumentReader {
 public:
  explicit ArgumentReader(const std::vector<std::string>& arguments) : arguments_(arguments) {}

  // The next argument; none once all are read.
  const std::string* Next() { return next_ < arguments_.size() ? &arguments_[next_++] : nullptr; }
  // The value of the option Next just gave.
  const std::string& Value() {
    if (next_ >= arguments_.size()) throw AppError(arguments_[next_ - 1] + " bir değer bekliyor");
    return arguments_[next_++];
  }

 private:
  const std::vector<std::string>& arguments_;
  std::size_t next_ = 0;
};

// A --folder value as the programs join file names to it: ending in '/'
// (an empty value, the current folder, stays empty).
inline void EndFolderWithSlash(std::string& folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
}

}  // namespace miravel
