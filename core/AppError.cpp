#include "core/AppError.h"

#include <cstring>

namespace miravel {

AppError WriteError(const std::string& path) {
  return AppError("Unable to write to " + path);
}

AppError FileError(const std::string& what, const std::string& path, int errorNumber) {
  std::string message = what + ": " + path;
  if (errorNumber != 0) message += " (" + std::string(std::strerror(errorNumber)) + ")";
  return AppError(message);
}

}  // namespace miravel
