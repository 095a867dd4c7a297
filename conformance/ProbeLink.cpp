#include "conformance/ProbeLink.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "core/AppError.h"
#include "terminal/LinkOpening.h"

namespace miravel::conformance {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kChunkHead = 4;  // the item count after the operation byte

std::uint32_t LoadU32(std::string_view bytes) {
  const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
  return static_cast<std::uint32_t>(u[0]) | static_cast<std::uint32_t>(u[1]) << 8 |
         static_cast<std::uint32_t>(u[2]) << 16 | static_cast<std::uint32_t>(u[3]) << 24;
}

milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

}  // namespace

std::string RequestFrame(std::uint8_t op, int machine, std::string_view arguments) {
  wire::PayloadWriter payload;
  payload.U8(op).I32(machine);
  payload.Bytes() += arguments;
  std::string frame;
  wire::AppendFrame(frame, wire::FrameKind::kRequest, payload.Bytes());
  return frame;
}

std::string RequestFrame(wire::Op op, int machine, std::string_view arguments) {
  return RequestFrame(static_cast<std::uint8_t>(op), machine, arguments);
}

std::string HexHead(std::string_view bytes) {
  std::string text;
  char hex[4];
  for (std::size_t i = 0; i < bytes.size() && i < 16; ++i) {
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(bytes[i]));
    if (!text.empty()) text += ' ';
    text += hex;
  }
  if (bytes.size() > 16) text += " …";
  return text;
}

ProbeLink::ProbeLink(LinkTarget target, LinkTimes times)
    : target_(std::move(target)), times_(times) {}

ProbeLink::~ProbeLink() = default;

bool ProbeLink::Open() {
  Close();
  const int fd = Serial() ? OpenSerialLine(target_.serialDevice, target_.baudRate)
                          : ConnectTcp(target_.host, target_.port, times_.connect);
  if (fd < 0) return false;
  stream_ = std::make_unique<FdStream>(
      fd, Serial() ? FdStream::Kind::kSerial : FdStream::Kind::kSocket, times_.quiet);
  return true;
}

void ProbeLink::Close() {
  stream_.reset();
  decoder_.Clear();
}

bool ProbeLink::ReadMore(milliseconds wait, bool& closed, std::string& seen) {
  const auto deadline = Clock::now() + wait;
  for (;;) {
    const auto left = std::max<long long>(
        std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count(), 0);
    pollfd entry{stream_->Descriptor(), POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left));
    if (ready == 0) return false;
    if (ready < 0) {
      if (errno == EINTR) continue;
      closed = true;
      return false;
    }
    char buffer[65536];
    const ssize_t got = ::read(stream_->Descriptor(), buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (got <= 0) {
      closed = true;
      return false;
    }
    if (seen.size() < 64) seen.append(buffer, std::min<std::size_t>(got, 64 - seen.size()));
    decoder_.Feed(buffer, static_cast<std::size_t>(got));
    return true;
  }
}

Answer ProbeLink::Exchange(wire::Op op, int machine, std::string_view arguments,
                           std::size_t minItemBytes) {
  return SendRaw(RequestFrame(op, machine, arguments), static_cast<std::uint8_t>(op), minItemBytes);
}

Answer ProbeLink::SendRaw(std::string_view bytes, std::uint8_t op, std::size_t minItemBytes,
                          milliseconds quietLimit) {
  Answer answer;
  if (!stream_) {
    answer.ending = Ending::kClosed;
    return answer;
  }
  decoder_.Clear();
  try {
    stream_->WriteAll(bytes);
  } catch (const AppError&) {
    answer.ending = Ending::kClosed;
    Close();
    return answer;
  }
  const milliseconds quiet = quietLimit.count() > 0 ? quietLimit : times_.quiet;
  auto lastProgress = Clock::now();
  std::string seen;
  const auto broken = [&](std::string problem) {
    answer.ending = Ending::kBroken;
    answer.problem = std::move(problem);
  };
  bool bytesSinceProgress = false;
  const auto progressed = [&] {
    answer.longestWait = std::max(answer.longestWait, Since(lastProgress));
    lastProgress = Clock::now();
    bytesSinceProgress = false;
  };
  for (;;) {
    wire::Frame frame;
    bool whole = false;
    try {
      whole = decoder_.Next(frame);
    } catch (const AppError&) {
      broken("bozuk çerçeve: işaret, tür, uzunluk ya da sağlama tutmuyor");
      break;
    }
    if (whole) {
      const std::string_view payload = frame.payload;
      if (frame.kind == wire::FrameKind::kRequest) {
        broken("cihaz bir istek çerçevesi gönderdi");
        break;
      }
      if (payload.empty() || static_cast<std::uint8_t>(payload[0]) != op) {
        broken(payload.empty() ? "boş çerçeve"
                               : "başka bir işlemin yanıtı (işlem " +
                                     std::to_string(static_cast<std::uint8_t>(payload[0])) + ")");
        break;
      }
      if (frame.kind == wire::FrameKind::kChunk) {
        if (minItemBytes == 0) {
          broken("bu işlemin yanıtında parça olmaz");
          break;
        }
        if (payload.size() < 1 + kChunkHead) {
          broken("parçada öğe sayısı yok");
          break;
        }
        const std::uint32_t count = LoadU32(payload.substr(1));
        const std::size_t itemBytes = payload.size() - 1 - kChunkHead;
        // A count the payload cannot hold is wrong at once, not after a wait.
        if (count > itemBytes / minItemBytes) {
          broken("parça " + std::to_string(count) + " öğe diyor ama " + std::to_string(itemBytes) +
                 " bayt taşıyor");
          break;
        }
        answer.chunks.emplace_back(payload.substr(1));
        if (count > 0) progressed();
        continue;
      }
      if (payload.size() < 2) {
        broken("yanıtta durum baytı yok");
        break;
      }
      answer.status = static_cast<std::uint8_t>(payload[1]);
      answer.outputs = std::string(payload.substr(2));
      if (answer.status != wire::kDone && answer.status != wire::kRefused) {
        broken("durum baytı " + std::to_string(answer.status) + " (0 ya da 1 olmalı)");
        break;
      }
      if (answer.status == wire::kRefused && !answer.outputs.empty()) {
        broken("ret yanıtında fazladan bayt");
        break;
      }
      progressed();
      answer.ending = Ending::kReply;
      break;
    }
    const auto progressLeft = times_.progress - Since(lastProgress);
    if (progressLeft.count() <= 0) {
      answer.ending = Ending::kNoProgress;
      break;
    }
    bool closed = false;
    if (!ReadMore(std::min(quiet, progressLeft), closed, seen)) {
      // Silence is no byte at all; bytes that never make progress are the
      // busy line the progress bound is there for.
      if (closed) {
        answer.ending = Ending::kClosed;
      } else {
        answer.ending =
            progressLeft <= quiet && bytesSinceProgress ? Ending::kNoProgress : Ending::kSilent;
      }
      break;
    }
    bytesSinceProgress = true;
  }
  answer.longestWait = std::max(answer.longestWait, Since(lastProgress));
  answer.firstBytes = HexHead(seen);
  if (answer.ending != Ending::kReply) Close();
  return answer;
}

std::string ProbeLink::Stray(milliseconds wait) {
  std::string seen;
  if (!stream_) return seen;
  const auto deadline = Clock::now() + wait;
  while (Clock::now() < deadline) {
    bool closed = false;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (!ReadMore(std::max(left, milliseconds(0)), closed, seen)) break;
  }
  decoder_.Clear();
  return seen;
}

}  // namespace miravel::conformance
