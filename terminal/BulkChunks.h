#pragma once

#include <cstddef>
#include <vector>

#include "core/AppError.h"
#include "terminal/WireProtocol.h"

namespace miravel::wire {

// The chunks and totals of the three bulk loads, read as the program reads
// them, with a reader's limits. The client reads its replies with these, and
// the conformance checker judges a terminal by them, so that a terminal can
// never pass the check and then be refused by the program.
//
// Each Read...Chunk takes one chunk after its operation byte, appends its
// items to those of the earlier chunks and reads the chunk to its end. A
// chunk that breaks the layout throws AppError(kBadReplyMessage); one that
// takes the load past a reader's limit throws ReaderLimitError, with the same
// message for the user.
class ReaderLimitError : public AppError {
 public:
  ReaderLimitError() : AppError(kBadReplyMessage) {}
};

void ReadLogChunk(PayloadReader& chunk, std::vector<LogRecord>& records);
void ReadUsersChunk(PayloadReader& chunk, std::vector<UserEntry>& users);

// What a template costs against kMaxTemplateTotalBytes: its text and the
// entry that holds it, so that many tiny templates are bounded as well as a
// few large ones.
inline std::size_t TemplateCost(const TemplateEntry& entry) {
  return entry.text.size() + sizeof entry;
}
// templateBytes carries the cost of the templates so far from chunk to chunk.
void ReadTemplatesChunk(PayloadReader& chunk, std::vector<TemplateEntry>& templates,
                        std::size_t& templateBytes);

// The reply of a done bulk load: its total, which must equal the items received.
void ReadBulkTotal(PayloadReader& reply, std::size_t received);

}  // namespace miravel::wire
