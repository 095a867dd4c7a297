#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "emulator/EmulatedTerminal.h"

namespace miravel::emulator {

// The bytes to send back for one request, and whether to hang up after them.
struct Response {
  std::string bytes;
  bool closeAfter = false;
};

// The terminal's side of the wire protocol: decodes one request payload, lets
// the terminal do the work and encodes the reply frames.
class RequestHandler {
 public:
  // dropAfterRecords: a fault for tests; a log reply stops after that many
  // records and the connection is closed.
  RequestHandler(EmulatedTerminal& terminal, std::optional<std::size_t> dropAfterRecords);

  // Over a serial line several terminals share the wire, so a request for
  // another machine number gets no answer at all (empty bytes). Throws
  // AppError on a malformed request.
  Response Handle(std::string_view requestPayload, bool serialLine);

  EmulatedTerminal& Terminal() { return terminal_; }

 private:
  EmulatedTerminal& terminal_;
  std::optional<std::size_t> dropAfterRecords_;
};

}  // namespace miravel::emulator
