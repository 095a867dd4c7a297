#include "emulator/HostileReplies.h"

#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace miravel::emulator {
namespace {

using wire::Op;
using wire::PayloadWriter;

constexpr std::uint32_t kMillion = 1'000'000;

void AppendFrame(std::string& out, wire::FrameKind kind, Op op, const PayloadWriter& rest) {
  PayloadWriter payload;
  payload.U8(static_cast<std::uint8_t>(op));
  payload.Bytes() += rest.Bytes();
  wire::AppendFrame(out, kind, payload.Bytes());
}

void AppendDone(std::string& out, Op op, const PayloadWriter& outputs = {}) {
  PayloadWriter rest;
  rest.U8(wire::kDone);
  rest.Bytes() += outputs.Bytes();
  AppendFrame(out, wire::FrameKind::kReply, op, rest);
}

bool IsBulkLoad(Op op) {
  return op == Op::kReadAttendanceLog || op == Op::kReadAllUsers || op == Op::kReadAllTemplates;
}

Response Garbage() {
  std::mt19937 random(20261208);
  Response response;
  response.bytes.resize(64 * 1024);
  for (char& c : response.bytes) c = static_cast<char>(random());
  return response;
}

std::optional<Response> OversizedCounts(Op op) {
  Response response;
  if (IsBulkLoad(op)) {
    // A chunk that claims four billion items and holds none.
    PayloadWriter chunk;
    chunk.U32(std::numeric_limits<std::uint32_t>::max());
    AppendFrame(response.bytes, wire::FrameKind::kChunk, op, chunk);
    return response;
  }
  if (op == Op::kGetDeviceStatus) {
    PayloadWriter outputs;
    outputs.I32(std::numeric_limits<std::int32_t>::max());
    AppendDone(response.bytes, op, outputs);
    return response;
  }
  return std::nullopt;
}

Response Endless(Op op) {
  Response response;
  if (IsBulkLoad(op)) {
    PayloadWriter empty;
    empty.U32(0);
    AppendFrame(response.repeat, wire::FrameKind::kChunk, op, empty);
  } else {
    // A reply announcing the largest payload allowed, whose first bytes are
    // those of a proper answer and whose rest comes one blank at a time, too
    // slowly to be silence: a megabyte at twenty bytes a second never ends.
    std::string reply;
    AppendDone(reply, op);
    PayloadWriter length;
    length.U32(wire::kMaxPayload);
    response.bytes = reply.substr(0, 3) + length.Bytes() + reply.substr(wire::kHeaderSize, 2);
    response.repeat = " ";
  }
  return response;
}

std::optional<Response> MillionUsers(Op op, std::string_view arguments) {
  Response response;
  if (op == Op::kGetDeviceStatus) {
    PayloadWriter outputs;
    outputs.I32(static_cast<std::int32_t>(kMillion));
    AppendDone(response.bytes, op, outputs);
    return response;
  }
  if (op == Op::kReadAllUsers) {
    constexpr std::uint32_t kPerChunk = 8192;
    for (std::uint32_t first = 1; first <= kMillion; first += kPerChunk) {
      const std::uint32_t count = std::min(kPerChunk, kMillion - first + 1);
      PayloadWriter chunk;
      chunk.U32(count);
      for (std::uint32_t enroll = first; enroll < first + count; ++enroll) {
        chunk.I32(static_cast<std::int32_t>(enroll)).I32(0).U8(1);
      }
      AppendFrame(response.bytes, wire::FrameKind::kChunk, op, chunk);
    }
    PayloadWriter outputs;
    outputs.U32(kMillion);
    AppendDone(response.bytes, op, outputs);
    return response;
  }
  if (op == Op::kGetUserInfo) {
    wire::PayloadReader request(arguments);
    const int enroll = request.I32();
    PayloadWriter outputs;
    outputs.Text("Kişi " + std::to_string(enroll)).Text("").I32(0).U8(1);
    AppendDone(response.bytes, op, outputs);
    return response;
  }
  return std::nullopt;
}

}  // namespace

std::optional<Hostility> HostilityFromText(std::string_view text) {
  if (text == "cop") return Hostility::kGarbage;
  if (text == "asiri-sayi") return Hostility::kOversizedCounts;
  if (text == "sonsuz") return Hostility::kEndless;
  if (text == "milyon-kisi") return Hostility::kMillionUsers;
  if (text == "baska-makine") return Hostility::kOtherMachine;
  if (text == "hepsini-siler") return Hostility::kClearsAll;
  if (text == "saati-tutmaz") return Hostility::kKeepsClock;
  return std::nullopt;
}

std::optional<Response> HostileResponse(Hostility mode, Op op, std::string_view arguments) {
  switch (mode) {
    case Hostility::kNone:
    case Hostility::kOtherMachine:  // misbehaves in the hello and the addressing only
    case Hostility::kClearsAll:     // these two misbehave in what they do, not in what they say
    case Hostility::kKeepsClock:
      return std::nullopt;
    case Hostility::kGarbage:
      return Garbage();
    case Hostility::kOversizedCounts:
      return OversizedCounts(op);
    case Hostility::kEndless:
      return Endless(op);
    case Hostility::kMillionUsers:
      return MillionUsers(op, arguments);
  }
  return std::nullopt;
}

}  // namespace miravel::emulator
