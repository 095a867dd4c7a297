#pragma once

#include <cstddef>
#include <string_view>

namespace miravel {

// A two-way byte link to a terminal: a TCP socket, a serial line, or memory in
// tests. Failures of the link throw AppError with a message for the user.
class ByteStream {
 public:
  virtual ~ByteStream() = default;

  // Waits for at least one byte and reads up to size bytes into buffer.
  // Returns 0 when the peer closed the link.
  virtual std::size_t ReadSome(char* buffer, std::size_t size) = 0;
  virtual void WriteAll(std::string_view bytes) = 0;
};

}  // namespace miravel
