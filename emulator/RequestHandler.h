#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "emulator/EmulatedTerminal.h"

namespace miravel::emulator {

// The bytes to send back for one request, and whether to hang up after them.
struct Response {
  std::string bytes;
  bool closeAfter = false;
  // Sent again and again after bytes, until the peer leaves: a terminal that
  // never finishes its reply.
  std::string repeat;
};

enum class Hostility;

// What a terminal does with a request to clear its log, for tests of a
// transfer stopped at its very end.
enum class ClearFault {
  kNone,
  kRefuse,     // refuses the clear and keeps its log
  kDropReply,  // clears, then drops the connection before its reply
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

  // Misbehaves on every request after the hello (see HostileReplies.h).
  void SetHostility(Hostility mode) { hostility_ = mode; }
  // Misbehaves only while a file of this name exists, so that a test can
  // turn a terminal bad in the middle of a connection that began well.
  void SetHostilitySwitch(std::string path) { hostilitySwitch_ = std::move(path); }
  void SetClearFault(ClearFault fault) { clearFault_ = fault; }

 private:
  EmulatedTerminal& terminal_;
  Hostility hostility_{};
  std::string hostilitySwitch_;
  ClearFault clearFault_ = ClearFault::kNone;
  std::optional<std::size_t> dropAfterRecords_;
};

}  // namespace miravel::emulator
