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

// A message for a failed file operation: what failed, the file, and the
// system's reason, e.g. "Kayıt dosyası okunamadı: tr500.txt (Permission denied)".
AppError FileError(const std::string& what, const std::string& path, int errorNumber);

}  // namespace miravel
