#include "terminal/BulkChunks.h"

namespace miravel::wire {
namespace {

[[noreturn]] void Malformed() {
  throw AppError(kBadReplyMessage);
}

// A chunk starts with its item count; each item takes at least minItemBytes,
// so a count the payload cannot hold is rejected before any work.
std::uint32_t ChunkCount(PayloadReader& reader, std::size_t minItemBytes) {
  const std::uint32_t count = reader.U32();
  if (count > reader.Remaining() / minItemBytes) Malformed();
  return count;
}

// Enroll number, privilege, enabled; enroll number, finger, text length.
constexpr std::size_t kUserBytes = 4 + 4 + 1;
constexpr std::size_t kLeastTemplateBytes = 4 + 1 + 4;

}  // namespace

void ReadLogChunk(PayloadReader& chunk, std::vector<LogRecord>& records) {
  const std::uint32_t count = ChunkCount(chunk, kLogRecordBytes);
  if (records.size() + count > kMaxLogRecords) throw ReaderLimitError();
  for (std::uint32_t i = 0; i < count; ++i) records.push_back(chunk.Log());
  chunk.ExpectEnd();
}

void ReadUsersChunk(PayloadReader& chunk, std::vector<UserEntry>& users) {
  const std::uint32_t count = ChunkCount(chunk, kUserBytes);
  if (users.size() + count > kMaxUsers) throw ReaderLimitError();
  for (std::uint32_t i = 0; i < count; ++i) {
    UserEntry user;
    user.enrollNumber = chunk.I32();
    user.privilege = chunk.I32();
    user.enabled = chunk.U8() != 0;
    users.push_back(user);
  }
  chunk.ExpectEnd();
}

void ReadTemplatesChunk(PayloadReader& chunk, std::vector<TemplateEntry>& templates,
                        std::size_t& templateBytes) {
  const std::uint32_t count = ChunkCount(chunk, kLeastTemplateBytes);
  for (std::uint32_t i = 0; i < count; ++i) {
    TemplateEntry entry;
    entry.enrollNumber = chunk.I32();
    entry.finger = chunk.U8();
    entry.text = chunk.Text(kMaxTemplateBytes);
    templateBytes += TemplateCost(entry);
    if (templateBytes > kMaxTemplateTotalBytes) throw ReaderLimitError();
    templates.push_back(std::move(entry));
  }
  chunk.ExpectEnd();
}

void ReadBulkTotal(PayloadReader& reply, std::size_t received) {
  if (reply.U32() != received) Malformed();
  reply.ExpectEnd();
}

}  // namespace miravel::wire
