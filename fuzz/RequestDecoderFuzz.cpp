// Whatever a program sends to the emulator, the emulator answers each
// request it can read with well-formed frames (chunks, then one reply to
// that operation) and drops the connection on the first one it cannot read,
// with our error type: never a crash, another exception or unbounded memory.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/AppError.h"
#include "emulator/EmulatedTerminal.h"
#include "emulator/RequestHandler.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzWire.h"
#include "terminal/WireProtocol.h"

namespace {

using miravel::fuzz::Check;
namespace wire = miravel::wire;

// The answer to one request, as the program's decoder will cut it.
void CheckResponse(std::string_view request, const miravel::emulator::Response& response) {
  wire::FrameDecoder decoder;
  decoder.Feed(response.bytes.data(), response.bytes.size());
  wire::Frame frame;
  bool replied = false;
  while (decoder.Next(frame)) {
    Check(!replied, "frames after the reply");
    Check(frame.kind != wire::FrameKind::kRequest, "the terminal sent a request");
    Check(!frame.payload.empty() && frame.payload[0] == request[0], "an answer to another op");
    replied = frame.kind == wire::FrameKind::kReply;
  }
  Check(decoder.Buffered() == 0, "a cut frame in the answer");
  Check(replied || response.closeAfter || response.bytes.empty(), "an answer without a reply");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Bit 0 of the first byte: a serial line, where requests for another
  // machine number get no answer at all.
  const bool serial = (data[0] & 1) != 0;
  const std::string stream = miravel::fuzz::StreamOf(data, size);
  const std::size_t piece = miravel::fuzz::PieceSize(data[1]);

  // No state file: the terminal lives in memory only.
  miravel::emulator::EmulatedTerminal terminal(miravel::fuzz::SampleTerminal(), "");
  miravel::emulator::RequestHandler handler(terminal, std::nullopt);
  wire::FrameDecoder decoder;
  try {
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      decoder.Feed(stream.data() + at, std::min(piece, stream.size() - at));
      wire::Frame frame;
      while (decoder.Next(frame)) {
        // The server hangs up on anything but a request.
        if (frame.kind != wire::FrameKind::kRequest) return 0;
        const miravel::emulator::Response response = handler.Handle(frame.payload, serial);
        CheckResponse(frame.payload, response);
      }
    }
  } catch (const miravel::AppError&) {
    // A request it cannot read: the server closes the connection.
  }
  return 0;
}
