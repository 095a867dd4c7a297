#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/FdStream.h"
#include "terminal/WireProtocol.h"
#include "terminal/WireTimeouts.h"

namespace miravel::conformance {

// Where the terminal or bridge under test is.
struct LinkTarget {
  std::string host;  // TCP when not empty
  int port = 0;
  std::string serialDevice;  // a serial line otherwise
  int baudRate = 115200;
};

// The waits of the program's own client, which a terminal must meet, and one
// of the checker's own.
struct LinkTimes : WireTimeouts {
  // How long a request that must go unanswered on a serial line is listened to.
  std::chrono::milliseconds silence{1500};
};

// How one exchange ended.
enum class Ending {
  kReply,       // a well-formed reply to the request's operation
  kClosed,      // the peer closed the link (or the line failed)
  kSilent,      // no byte for the quiet time-out
  kNoProgress,  // bytes, but neither the reply nor an item within the progress bound
  kBroken,      // something the program would call a broken reply
};

// Everything the checker saw of one exchange.
struct Answer {
  Ending ending = Ending::kSilent;
  std::vector<std::string> chunks;           // chunk payloads without the operation byte
  std::uint8_t status = 0;                   // of the reply
  std::string outputs;                       // reply payload after operation and status
  std::string problem;                       // for kBroken: what was wrong
  std::string firstBytes;                    // the first bytes that came back, for the report
  std::chrono::milliseconds longestWait{0};  // longest stretch without progress

  bool Done() const { return ending == Ending::kReply && status == wire::kDone; }
  bool Refused() const { return ending == Ending::kReply && status == wire::kRefused; }
};

// A raw link to the terminal for the checker: it sends any frame, even one the
// program never would, and reports what came back instead of throwing. After
// any ending but a reply the link is closed, as the program closes it.
class ProbeLink {
 public:
  ProbeLink(LinkTarget target, LinkTimes times);
  ~ProbeLink();

  bool IsOpen() const { return stream_ != nullptr; }
  // Opens the link; false when nothing could be opened there.
  bool Open();
  void Close();

  // Sends op with machine number and arguments as the program would and
  // reads until its reply. minItemBytes > 0 marks a bulk load whose chunks
  // hold items of at least that size.
  Answer Exchange(wire::Op op, int machine, std::string_view arguments,
                  std::size_t minItemBytes = 0);
  // Sends bytes as they are and reads the answer to an operation byte of op.
  // With quietLimit, a silence that long ends the exchange (kSilent).
  Answer SendRaw(std::string_view bytes, std::uint8_t op, std::size_t minItemBytes = 0,
                 std::chrono::milliseconds quietLimit = std::chrono::milliseconds(0));
  // Bytes that arrive within wait although no request is outstanding.
  std::string Stray(std::chrono::milliseconds wait);

  const LinkTimes& Times() const { return times_; }
  bool Serial() const { return target_.host.empty(); }

 private:
  // Reads into the decoder; false on time-out (wait), throws nothing. Sets
  // closed when the peer hung up.
  bool ReadMore(std::chrono::milliseconds wait, bool& closed, std::string& seen);

  LinkTarget target_;
  LinkTimes times_;
  std::unique_ptr<FdStream> stream_;
  wire::FrameDecoder decoder_;
};

// The request frame the program sends for op.
std::string RequestFrame(wire::Op op, int machine, std::string_view arguments);
std::string RequestFrame(std::uint8_t op, int machine, std::string_view arguments);

// Up to 16 bytes as hex, for the report.
std::string HexHead(std::string_view bytes);

}  // namespace miravel::conformance
