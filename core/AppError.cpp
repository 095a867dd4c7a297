#include "core/AppError.h"

#include <cstring>

namespace miravel {

AppError WriteError(const std::string& path) { return AppError("Unable to write to " + path); }

AppError FileError(const std::string& operation, const std::string& path, int errorNumber) {
  std::string message = operation + " " + path;
  if (errorNumber != 0) message += ": " + std::string(std::strerror(errorNumber));
  return AppError(message);
}

}  // namespace miravel
