#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "emulator/TerminalState.h"
#include "terminal/ByteStream.h"
#include "terminal/WireProtocol.h"

// What the two protocol targets share: how an input becomes a byte stream,
// and the terminal they talk about.
namespace miravel::fuzz {

// Every input starts with two bytes that steer the target:
//   byte 0: bit 7 set: the rest is a list of frames, each
//           kind (u8, taken modulo 3: Q R C), length (u16), payload,
//           which the target frames with a correct checksum, so that
//           mutations reach the payload decoding instead of dying at the
//           checksum; clear: the rest is the stream as it is on the wire.
//           Bits 0-3: the operation (reply target) or the line (request target).
//   byte 1: bits 0-3: a second operation; bits 4-7: how the stream is cut
//           into reads (one byte at a time up to whole 4 KiB pieces).
inline constexpr std::uint8_t kFramedFlag = 0x80;

inline std::size_t PieceSize(std::uint8_t steer) {
  static constexpr std::size_t kSizes[] = {1,  2,   3,   5,    7,    11,   13,   64,
                                           97, 256, 511, 1024, 1500, 2048, 4000, 4096};
  return kSizes[steer >> 4];
}

// The framed form of an input, as the wire carries it.
inline std::string FramesFromRecords(std::string_view records) {
  static constexpr wire::FrameKind kKinds[] = {wire::FrameKind::kRequest, wire::FrameKind::kReply,
                                               wire::FrameKind::kChunk};
  std::string stream;
  while (records.size() >= 3) {
    const auto* u = reinterpret_cast<const unsigned char*>(records.data());
    const wire::FrameKind kind = kKinds[u[0] % 3];
    const std::size_t length = std::min<std::size_t>(u[1] | u[2] << 8, records.size() - 3);
    wire::AppendFrame(stream, kind, records.substr(3, length));
    records.remove_prefix(3 + length);
  }
  return stream;
}

// The other way round, for making seeds from real exchanges.
inline std::string RecordsFromStream(std::string_view stream) {
  wire::FrameDecoder decoder;
  decoder.Feed(stream.data(), stream.size());
  std::string records;
  wire::Frame frame;
  while (decoder.Next(frame)) {
    const char kind = frame.kind == wire::FrameKind::kRequest ? 0
                      : frame.kind == wire::FrameKind::kReply ? 1
                                                              : 2;
    const std::size_t length = std::min<std::size_t>(frame.payload.size(), 0xFFFF);
    records += kind;
    records += static_cast<char>(length & 0xFF);
    records += static_cast<char>(length >> 8);
    records += frame.payload.substr(0, length);
  }
  return records;
}

// The stream an input stands for.
inline std::string StreamOf(const std::uint8_t* data, std::size_t size) {
  const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  return (data[0] & kFramedFlag) ? FramesFromRecords(rest) : std::string(rest);
}

// Gives fixed bytes in reads of one size; then the peer has closed the link.
class ReplayStream : public ByteStream {
 public:
  ReplayStream(std::string bytes, std::size_t piece) : bytes_(std::move(bytes)), piece_(piece) {}
  std::size_t ReadSome(char* buffer, std::size_t size) override {
    const std::size_t take = std::min({size, piece_, bytes_.size() - pos_});
    std::copy_n(bytes_.data() + pos_, take, buffer);
    pos_ += take;
    return take;
  }
  void WriteAll(std::string_view bytes) override { written_ += bytes; }
  const std::string& Written() const { return written_; }

 private:
  std::string bytes_;
  std::size_t piece_;
  std::size_t pos_ = 0;
  std::string written_;
};

// A small terminal with something of every kind, Turkish names included.
inline emulator::TerminalState SampleTerminal() {
  emulator::TerminalState state;
  state.machineNumber = 1;
  state.users[1] = {"Çağlar Öztürk", "1234", 3, true};
  state.users[2] = {"Işıl Şimşek", "", 0, false};
  state.users[70000] = {"Ümit", "9", 1, true};
  state.templates[{1, 0}] = std::string(40, 'Q');
  state.templates[{2, 3}] = "kısa";
  for (int i = 0; i < 6; ++i) state.log.push_back({i % 3 + 1, i % 2, 2026, 12, 1, 8, i * 7});
  return state;
}

}  // namespace miravel::fuzz
