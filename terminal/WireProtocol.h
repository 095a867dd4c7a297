#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Our own request/response protocol between the program and a terminal (see
// terminal/PROTOCOL.md). Shared by the client and by the terminal emulator.
namespace miravel::wire {

// The messages the user sees when the link itself fails (not a refusal).
inline constexpr const char* kLinkLostMessage = "Cihazla iletişim koptu";
inline constexpr const char* kBadReplyMessage = "Cihazdan bozuk yanıt geldi";
inline constexpr const char* kNoAnswerMessage = "Cihaz yanıt vermedi (zaman aşımı)";

// Version 2: ClearAttendanceLog carries the number of records to remove.
// Version 3: the hello's reply also carries the terminal's identity. Both
// sides speak both: the program says hello in version 3 first and in
// version 2 to a terminal (or bridge) that refuses it, which then gives no
// identity; every other request is the same in both.
inline constexpr std::uint8_t kProtocolVersion = 2;
inline constexpr std::uint8_t kIdentityProtocolVersion = 3;
// The longest identity a terminal may give.
inline constexpr std::size_t kMaxIdentityBytes = 256;

// Frame: 'M' 'V' kind length(u32) payload crc32(u32), integers little-endian.
inline constexpr std::size_t kHeaderSize = 7;
inline constexpr std::size_t kTrailerSize = 4;
// No frame may carry more; bulk replies come in many frames instead.
inline constexpr std::uint32_t kMaxPayload = 1u << 20;

// Limits a reader enforces so that a broken or hostile peer cannot make us
// allocate without bound: texts per field, and totals per bulk load.
inline constexpr std::size_t kMaxTextBytes = 4096;
inline constexpr std::size_t kMaxTemplateBytes = 65536;
inline constexpr std::size_t kMaxLogRecords = 4'000'000;
inline constexpr std::size_t kMaxUsers = 1'000'000;
inline constexpr std::size_t kMaxTemplateTotalBytes = 256u << 20;

// The most records a chunk frame of a log reply carries (11 bytes each, well
// under kMaxPayload).
inline constexpr std::size_t kLogRecordsPerChunk = 4096;
inline constexpr std::size_t kLogRecordBytes = 11;

enum class FrameKind : std::uint8_t { kRequest = 'Q', kReply = 'R', kChunk = 'C' };

enum class Op : std::uint8_t {
  kHello = 1,
  kRegisterEvents = 2,
  kGetDeviceStatus = 3,
  kReadAttendanceLog = 4,
  kClearAttendanceLog = 5,
  kReadAllUsers = 6,
  kGetUserInfo = 7,
  kSetUserInfo = 8,
  kDeleteUser = 9,
  kReadAllTemplates = 10,
  kSetFingerTemplate = 11,
  kDeleteFingerTemplate = 12,
  kGetDeviceTime = 13,
  kSetDeviceTime = 14,
  kClearAdministrators = 15,
  kClearAllData = 16,
};
bool IsKnownOp(std::uint8_t op);

// Reply status byte.
inline constexpr std::uint8_t kRefused = 0;
inline constexpr std::uint8_t kDone = 1;

struct LogRecord {
  std::int32_t enrollNumber = 0;
  int inOutState = 0;                            // 0..255
  int year = 0;                                  // 0..65535
  int month = 0, day = 0, hour = 0, minute = 0;  // 0..255 each

  bool operator==(const LogRecord&) const = default;
};

struct UserEntry {
  std::int32_t enrollNumber = 0;
  std::int32_t privilege = 0;
  bool enabled = true;

  bool operator==(const UserEntry&) const = default;
};

struct TemplateEntry {
  std::int32_t enrollNumber = 0;
  int finger = 0;  // 0..255
  std::string text;

  bool operator==(const TemplateEntry&) const = default;
};

std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc = 0);

// Builds a payload.
class PayloadWriter {
 public:
  PayloadWriter& U8(std::uint8_t value);
  PayloadWriter& U16(std::uint16_t value);
  PayloadWriter& U32(std::uint32_t value);
  PayloadWriter& I32(std::int32_t value);
  // u32 byte count, then the UTF-8 bytes.
  PayloadWriter& Text(std::string_view text);
  PayloadWriter& Log(const LogRecord& record);

  const std::string& Bytes() const { return bytes_; }
  std::string& Bytes() { return bytes_; }

 private:
  std::string bytes_;
};

// Reads a payload without ever trusting it: every read is bounds-checked and
// any shortfall or out-of-range text length throws AppError (kBadReplyMessage).
class PayloadReader {
 public:
  explicit PayloadReader(std::string_view bytes) : bytes_(bytes) {}

  std::uint8_t U8();
  std::uint16_t U16();
  std::uint32_t U32();
  std::int32_t I32();
  std::string Text(std::size_t maxBytes);
  LogRecord Log();

  std::size_t Remaining() const { return bytes_.size() - pos_; }
  // Throws unless every byte was used: trailing bytes mean the peer and we
  // disagree about the layout.
  void ExpectEnd() const;

 private:
  const char* Take(std::size_t count);

  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// Appends one whole frame (header, payload, checksum) to out.
void AppendFrame(std::string& out, FrameKind kind, std::string_view payload);

struct Frame {
  FrameKind kind = FrameKind::kReply;
  std::string_view payload;  // valid until the decoder is fed or advanced again
};

// Cuts a byte stream into frames. Throws AppError (kBadReplyMessage) on a bad
// marker, an unknown kind, an oversized length or a checksum mismatch; never
// buffers more than one maximal frame plus what was fed at once.
class FrameDecoder {
 public:
  void Feed(const char* data, std::size_t size);
  // True and the next frame when a whole one is buffered; false when more
  // bytes are needed.
  bool Next(Frame& frame);
  // Drops one byte so a reader on a noisy line can look for the next marker.
  void SkipByte();
  void Clear();
  std::size_t Buffered() const { return buffer_.size() - start_; }

 private:
  std::string buffer_;
  std::size_t start_ = 0;
};

}  // namespace miravel::wire
