// The checker must judge a terminal by the program's own reading: a load at
// the reader's limit passes both, one byte past it is refused by both.
#include <gtest/gtest.h>

#include <algorithm>

#include "conformance/BulkDecoding.h"
#include "core/AppError.h"
#include "terminal/BulkChunks.h"
#include "terminal/WireSession.h"

namespace miravel::conformance {
namespace {

// Replays a terminal's bytes to the program's client.
struct ReplayStream : ByteStream {
  std::string bytes;
  std::size_t pos = 0;
  std::size_t ReadSome(char* buffer, std::size_t size) override {
    const std::size_t take = std::min(size, bytes.size() - pos);
    pos += bytes.copy(buffer, take, pos);
    return take;
  }
  void WriteAll(std::string_view) override {}
};

TEST(BulkLimitTest, TemplatesAtTheReadersLimitPassBothAndOneBytePastFailBoth) {
  // Templates that cost 64 KiB each with their entries, up to the limit; the
  // last one extra bytes longer. Their texts alone stay below the limit.
  const std::size_t entries = wire::kMaxTemplateTotalBytes / wire::kMaxTemplateBytes;
  const std::string text(wire::kMaxTemplateBytes - wire::TemplateCost(wire::TemplateEntry{}), 'T');
  const char op = static_cast<char>(wire::Op::kReadAllTemplates);
  for (const std::size_t extra : {0, 1}) {
    SCOPED_TRACE(extra == 0 ? "sınırda" : "sınırı bir bayt aşan");
    Answer answer;  // a done reply: its chunks and its total
    ReplayStream stream;
    for (std::size_t first = 0; first < entries; first += 15) {  // 15 fill a frame
      const std::size_t count = std::min<std::size_t>(15, entries - first);
      wire::PayloadWriter chunk;
      chunk.U32(static_cast<std::uint32_t>(count));
      for (std::size_t i = first; i < first + count; ++i) {
        chunk.I32(static_cast<std::int32_t>(i / 10 + 1)).U8(static_cast<std::uint8_t>(i % 10));
        chunk.Text(i + 1 == entries ? text + std::string(extra, 'T') : text);
      }
      answer.chunks.push_back(chunk.Bytes());
      wire::AppendFrame(stream.bytes, wire::FrameKind::kChunk, op + chunk.Bytes());
    }
    answer.outputs = wire::PayloadWriter().U32(static_cast<std::uint32_t>(entries)).Bytes();
    wire::AppendFrame(stream.bytes, wire::FrameKind::kReply,
                      std::string{op, static_cast<char>(wire::kDone)} + answer.outputs);

    std::vector<wire::TemplateEntry> checked;
    const BulkProblem problem = DecodeTemplates(answer, checked);
    EXPECT_EQ(static_cast<bool>(problem), extra != 0) << problem.problem;
    std::vector<wire::TemplateEntry> read;
    WireSession session(stream);
    if (extra == 0) {
      EXPECT_TRUE(session.ReadAllTemplates(1, read));
      EXPECT_EQ(read.size(), entries);
      EXPECT_EQ(checked.size(), entries);
    } else {
      EXPECT_THROW(session.ReadAllTemplates(1, read), AppError);
    }
  }
}

}  // namespace
}  // namespace miravel::conformance
