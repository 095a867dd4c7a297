#include "terminal/WireProtocol.h"

#include <array>
#include <cstring>

#include "core/AppError.h"

namespace miravel::wire {
namespace {

constexpr char kMarker0 = 'M';
constexpr char kMarker1 = 'V';

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

std::uint32_t LoadU32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(u[0]) | static_cast<std::uint32_t>(u[1]) << 8 |
         static_cast<std::uint32_t>(u[2]) << 16 | static_cast<std::uint32_t>(u[3]) << 24;
}

void StoreU32(std::string& out, std::uint32_t value) {
  const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                         static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
  out.append(bytes, 4);
}

bool IsKnownKind(char kind) {
  return kind == static_cast<char>(FrameKind::kRequest) ||
         kind == static_cast<char>(FrameKind::kReply) ||
         kind == static_cast<char>(FrameKind::kChunk);
}

[[noreturn]] void Malformed() {
  throw AppError(kBadReplyMessage);
}

}  // namespace

bool IsKnownOp(std::uint8_t op) {
  return op >= static_cast<std::uint8_t>(Op::kHello) &&
         op <= static_cast<std::uint8_t>(Op::kClearAllData);
}

std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc) {
  crc = ~crc;
  for (unsigned char b : bytes) crc = kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

PayloadWriter& PayloadWriter::U8(std::uint8_t value) {
  bytes_.push_back(static_cast<char>(value));
  return *this;
}

PayloadWriter& PayloadWriter::U16(std::uint16_t value) {
  const char bytes[2] = {static_cast<char>(value), static_cast<char>(value >> 8)};
  bytes_.append(bytes, 2);
  return *this;
}

PayloadWriter& PayloadWriter::U32(std::uint32_t value) {
  StoreU32(bytes_, value);
  return *this;
}

PayloadWriter& PayloadWriter::I32(std::int32_t value) {
  return U32(static_cast<std::uint32_t>(value));
}

PayloadWriter& PayloadWriter::Text(std::string_view text) {
  U32(static_cast<std::uint32_t>(text.size()));
  bytes_.append(text);
  return *this;
}

PayloadWriter& PayloadWriter::Log(const LogRecord& record) {
  const auto u32 = static_cast<std::uint32_t>(record.enrollNumber);
  const char bytes[kLogRecordBytes] = {static_cast<char>(u32),
                                       static_cast<char>(u32 >> 8),
                                       static_cast<char>(u32 >> 16),
                                       static_cast<char>(u32 >> 24),
                                       static_cast<char>(record.inOutState),
                                       static_cast<char>(record.year),
                                       static_cast<char>(record.year >> 8),
                                       static_cast<char>(record.month),
                                       static_cast<char>(record.day),
                                       static_cast<char>(record.hour),
                                       static_cast<char>(record.minute)};
  bytes_.append(bytes, kLogRecordBytes);
  return *this;
}

const char* PayloadReader::Take(std::size_t count) {
  if (count > Remaining()) Malformed();
  const char* p = bytes_.data() + pos_;
  pos_ += count;
  return p;
}

std::uint8_t PayloadReader::U8() {
  return static_cast<std::uint8_t>(*Take(1));
}

std::uint16_t PayloadReader::U16() {
  const auto* u = reinterpret_cast<const unsigned char*>(Take(2));
  return static_cast<std::uint16_t>(u[0] | u[1] << 8);
}

std::uint32_t PayloadReader::U32() {
  return LoadU32(Take(4));
}

std::int32_t PayloadReader::I32() {
  return static_cast<std::int32_t>(U32());
}

std::string PayloadReader::Text(std::size_t maxBytes) {
  const std::uint32_t size = U32();
  if (size > maxBytes) Malformed();
  const char* p = Take(size);
  return std::string(p, size);
}

LogRecord PayloadReader::Log() {
  const auto* u = reinterpret_cast<const unsigned char*>(Take(kLogRecordBytes));
  LogRecord record;
  record.enrollNumber = static_cast<std::int32_t>(LoadU32(reinterpret_cast<const char*>(u)));
  record.inOutState = u[4];
  record.year = u[5] | u[6] << 8;
  record.month = u[7];
  record.day = u[8];
  record.hour = u[9];
  record.minute = u[10];
  return record;
}

void PayloadReader::ExpectEnd() const {
  if (Remaining() != 0) Malformed();
}

void AppendFrame(std::string& out, FrameKind kind, std::string_view payload) {
  const std::size_t headerAt = out.size();
  out.push_back(kMarker0);
  out.push_back(kMarker1);
  out.push_back(static_cast<char>(kind));
  StoreU32(out, static_cast<std::uint32_t>(payload.size()));
  out.append(payload);
  // The checksum covers kind, length and payload: a flipped bit on a serial
  // line must not turn into a wrong record.
  const std::string_view covered(out.data() + headerAt + 2, out.size() - headerAt - 2);
  StoreU32(out, Crc32(covered));
}

void FrameDecoder::Feed(const char* data, std::size_t size) {
  // Move the unread rest to the front before growing, so the buffer stays
  // about one frame large however long the stream runs.
  if (start_ > 0 && (start_ >= buffer_.size() / 2 || start_ > kMaxPayload)) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(data, size);
}

bool FrameDecoder::Next(Frame& frame) {
  const std::size_t available = Buffered();
  const char* p = buffer_.data() + start_;
  if (available >= 1 && p[0] != kMarker0) Malformed();
  if (available >= 2 && p[1] != kMarker1) Malformed();
  if (available >= 3 && !IsKnownKind(p[2])) Malformed();
  if (available < kHeaderSize) return false;
  const std::uint32_t length = LoadU32(p + 3);
  if (length > kMaxPayload) Malformed();
  const std::size_t total = kHeaderSize + length + kTrailerSize;
  if (available < total) return false;
  const std::string_view covered(p + 2, kHeaderSize - 2 + length);
  if (Crc32(covered) != LoadU32(p + kHeaderSize + length)) Malformed();
  frame.kind = static_cast<FrameKind>(p[2]);
  frame.payload = std::string_view(p + kHeaderSize, length);
  start_ += total;
  return true;
}

void FrameDecoder::SkipByte() {
  if (Buffered() > 0) ++start_;
}

void FrameDecoder::Clear() {
  buffer_.clear();
  start_ = 0;
}

}  // namespace miravel::wire
