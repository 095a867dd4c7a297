#include "conformance/BulkDecoding.h"

#include <limits>

#include "conformance/ProtocolRules.h"
#include "core/AppError.h"
#include "terminal/BulkChunks.h"

namespace miravel::conformance {
namespace {

// Reads each chunk with the program's own readChunk, then the total. A load
// the program would refuse is a problem here, named by the rule it breaks;
// maxPerChunk is the protocol's bound on one chunk where it sets one.
template <typename Item, typename ReadChunk>
BulkProblem Decode(const Answer& answer, std::vector<Item>& items, const char* layoutRule,
                   ReadChunk readChunk,
                   std::size_t maxPerChunk = std::numeric_limits<std::uint32_t>::max()) {
  items.clear();
  std::size_t index = 0;
  for (const std::string& chunk : answer.chunks) {
    ++index;
    const std::string where = std::to_string(index) + ". parça: ";
    try {
      wire::PayloadReader reader(chunk);
      if (const std::uint32_t count = wire::PayloadReader(chunk).U32(); count > maxPerChunk) {
        return {where + std::to_string(count) + " öğe (en çok " + std::to_string(maxPerChunk) + ")",
                layoutRule};
      }
      readChunk(reader, items);
    } catch (const wire::ReaderLimitError&) {
      return {where + "bir okuyucunun sınırı aşıldı", rules::kLimits};
    } catch (const AppError&) {
      return {where +
                  "öğeler söylenen sayıya uymuyor (eksik ya da fazla bayt, ya da sınırı "
                  "aşan bir metin)",
              layoutRule};
    }
  }
  try {
    wire::PayloadReader reply(answer.outputs);
    wire::ReadBulkTotal(reply, items.size());
  } catch (const AppError&) {
    if (answer.outputs.size() != 4) return {"yanıtta toplam tam bir u32 değil", layoutRule};
    return {"yanıt toplamı " + std::to_string(wire::PayloadReader(answer.outputs).U32()) +
                ", gelen öğe " + std::to_string(items.size()),
            rules::kChunks};
  }
  return {};
}

}  // namespace

BulkProblem DecodeLog(const Answer& answer, std::vector<wire::LogRecord>& records) {
  return Decode(answer, records, rules::kLog, wire::ReadLogChunk, wire::kLogRecordsPerChunk);
}

BulkProblem DecodeUsers(const Answer& answer, std::vector<wire::UserEntry>& users) {
  return Decode(answer, users, rules::kUsers, wire::ReadUsersChunk);
}

BulkProblem DecodeTemplates(const Answer& answer, std::vector<wire::TemplateEntry>& templates) {
  std::size_t templateBytes = 0;
  return Decode(answer, templates, rules::kTemplates,
                [&](wire::PayloadReader& chunk, std::vector<wire::TemplateEntry>& items) {
                  wire::ReadTemplatesChunk(chunk, items, templateBytes);
                });
}

}  // namespace miravel::conformance
