#include "conformance/BulkDecoding.h"

#include "conformance/ProtocolRules.h"
#include "core/AppError.h"

namespace miravel::conformance {
namespace {

// Reads each chunk with readItem, then the total; readItem may return a
// problem of its own for the item it read.
template <typename Item, typename ReadItem>
BulkProblem Decode(const Answer& answer, std::vector<Item>& items, std::size_t maxPerChunk,
                   std::size_t maxItems, const char* layoutRule, ReadItem readItem) {
  items.clear();
  std::size_t index = 0;
  for (const std::string& chunk : answer.chunks) {
    ++index;
    const std::string where = std::to_string(index) + ". parça: ";
    try {
      wire::PayloadReader reader(chunk);
      const std::uint32_t count = reader.U32();
      if (count > maxPerChunk) {
        return {where + std::to_string(count) + " öğe (en çok " + std::to_string(maxPerChunk) + ")",
                layoutRule};
      }
      for (std::uint32_t i = 0; i < count; ++i) {
        if (items.size() >= maxItems) {
          return {"bir okuyucunun sınırı aşıldı (" + std::to_string(maxItems) + " öğe)",
                  rules::kBrokenReply};
        }
        items.push_back(readItem(reader));
      }
      reader.ExpectEnd();
    } catch (const AppError&) {
      return {where +
                  "öğeler söylenen sayıya uymuyor (eksik ya da fazla bayt, ya da sınırı "
                  "aşan bir metin)",
              layoutRule};
    }
  }
  try {
    wire::PayloadReader reply(answer.outputs);
    const std::uint32_t total = reply.U32();
    reply.ExpectEnd();
    if (total != items.size()) {
      return {
          "yanıt toplamı " + std::to_string(total) + ", gelen öğe " + std::to_string(items.size()),
          rules::kChunks};
    }
  } catch (const AppError&) {
    return {"yanıtta toplam tam bir u32 değil", layoutRule};
  }
  return {};
}

}  // namespace

BulkProblem DecodeLog(const Answer& answer, std::vector<wire::LogRecord>& records) {
  return Decode(answer, records, wire::kLogRecordsPerChunk, wire::kMaxLogRecords, rules::kLog,
                [](wire::PayloadReader& reader) { return reader.Log(); });
}

BulkProblem DecodeUsers(const Answer& answer, std::vector<wire::UserEntry>& users) {
  return Decode(answer, users, wire::kMaxUsers, wire::kMaxUsers, rules::kUsers,
                [](wire::PayloadReader& reader) {
                  wire::UserEntry user;
                  user.enrollNumber = reader.I32();
                  user.privilege = reader.I32();
                  user.enabled = reader.U8() != 0;
                  return user;
                });
}

BulkProblem DecodeTemplates(const Answer& answer, std::vector<wire::TemplateEntry>& templates) {
  std::size_t totalBytes = 0;
  return Decode(answer, templates, wire::kMaxUsers * 10, wire::kMaxUsers * 10, rules::kTemplates,
                [&](wire::PayloadReader& reader) {
                  wire::TemplateEntry entry;
                  entry.enrollNumber = reader.I32();
                  entry.finger = reader.U8();
                  entry.text = reader.Text(wire::kMaxTemplateBytes);
                  totalBytes += entry.text.size();
                  // Past the reader's bound the program gives up: as broken as a bad frame.
                  if (totalBytes > wire::kMaxTemplateTotalBytes) throw AppError("");
                  return entry;
                });
}

}  // namespace miravel::conformance
