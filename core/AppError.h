#pragma once

#include <stdexcept>
#include <string>

namespace miravel {

// The one error type of the program. Its message is shown to the user as it
// stands, so it is always a finished sentence (file errors name the file).
class AppError : public std::runtime_error {
 public:
  explicit AppError(const std::string& message) : std::runtime_error(message) {}
};

// "Unable to write to <path>": the message every failed file write shows.
AppError WriteError(const std::string& path);

// A message for a failed file operation, naming the operation, the file and
// the system's reason, e.g. "Cannot open tr500.txt for reading: ...".
AppError FileError(const std::string& operation, const std::string& path, int errorNumber);

}  // namespace miravel
