// Whatever a terminal sends back, the program's side of the protocol only
// ever answers with a result or our error type: no crash, no other
// exception, no allocation beyond what the bytes can justify (libFuzzer's
// malloc limit), no endless loop. Two operations run on one link, so that
// bytes left over from the first meet the second.
#include <cstddef>
#include <cstdint>

#include "core/AppError.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzWire.h"
#include "fuzz/Operations.h"
#include "terminal/WireSession.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  miravel::fuzz::ReplayStream stream(miravel::fuzz::StreamOf(data, size),
                                     miravel::fuzz::PieceSize(data[1]));
  miravel::WireSession session(stream);
  try {
    miravel::fuzz::CallOperation(session, data[0] & 0x0F);
    miravel::fuzz::CallOperation(session, data[1] & 0x0F);
  } catch (const miravel::AppError&) {
    // A broken reply, or the link running dry: the program's own message.
  }
  return 0;
}
