// The checker must judge a terminal by the program's own reading: a load at
// the reader's limit passes both, one byte past it is refused by both.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "conformance/BulkDecoding.h"
#include "core/AppError.h"
#include "terminal/BulkChunks.h"
#include "terminal/WireSession.h"

namespace miravel::conformance {
namespace {

// Gives the recorded reply to the program's client as if it came off the wire.
class ReplyStream : public ByteStream {
 public:
  explicit ReplyStream(const std::string& bytes) : bytes_(bytes) {}
  std::size_t ReadSome(char* buffer, std::size_t size) override {
    const std::size_t take = std::min(size, bytes_.size() - pos_);
    std::copy_n(bytes_.data() + pos_, take, buffer);
    pos_ += take;
    return take;
  }
  void WriteAll(std::string_view) override {}

 private:
  const std::string& bytes_;
  std::size_t pos_ = 0;
};

// A template load whose cost against the reader's limit is the limit plus
// extra: full-size templates whose texts, with their entries, cost 64 KiB
// each, the last one extra bytes longer. The texts alone stay below the limit.
Answer TemplateLoad(std::size_t extra) {
  static_assert(wire::kMaxTemplateTotalBytes % wire::kMaxTemplateBytes == 0);
  const std::size_t entries = wire::kMaxTemplateTotalBytes / wire::kMaxTemplateBytes;
  const std::string text(wire::kMaxTemplateBytes - wire::TemplateCost(wire::TemplateEntry{}), 'T');
  Answer answer;
  answer.ending = Ending::kReply;
  answer.status = wire::kDone;
  constexpr std::size_t kPerChunk = 15;  // within a frame
  for (std::size_t first = 0; first < entries; first += kPerChunk) {
    const std::size_t count = std::min(kPerChunk, entries - first);
    wire::PayloadWriter chunk;
    chunk.U32(static_cast<std::uint32_t>(count));
    for (std::size_t i = first; i < first + count; ++i) {
      chunk.I32(static_cast<std::int32_t>(i / 10 + 1)).U8(static_cast<std::uint8_t>(i % 10));
      chunk.Text(i + 1 == entries ? text + std::string(extra, 'T') : text);
    }
    answer.chunks.push_back(chunk.Bytes());
  }
  answer.outputs = wire::PayloadWriter().U32(static_cast<std::uint32_t>(entries)).Bytes();
  return answer;
}

// The same load as the bytes of its frames.
std::string Frames(const Answer& answer) {
  const char op = static_cast<char>(wire::Op::kReadAllTemplates);
  std::string bytes;
  for (const std::string& chunk : answer.chunks) {
    wire::AppendFrame(bytes, wire::FrameKind::kChunk, op + chunk);
  }
  wire::AppendFrame(bytes, wire::FrameKind::kReply,
                    std::string{op, static_cast<char>(answer.status)} + answer.outputs);
  return bytes;
}

TEST(BulkLimitTest, TemplatesAtTheReadersLimitPassBothAndOneBytePastFailBoth) {
  for (const std::size_t extra : {0, 1}) {
    SCOPED_TRACE(extra == 0 ? "sınırda" : "sınırı bir bayt aşan");
    const Answer answer = TemplateLoad(extra);
    const std::size_t entries = wire::PayloadReader(answer.outputs).U32();
    std::vector<wire::TemplateEntry> templates;
    const BulkProblem problem = DecodeTemplates(answer, templates);
    EXPECT_EQ(static_cast<bool>(problem), extra != 0) << problem.problem;
    if (extra == 0) {
      EXPECT_EQ(templates.size(), entries);
    }

    const std::string bytes = Frames(answer);
    ReplyStream stream(bytes);
    WireSession session(stream);
    if (extra == 0) {
      EXPECT_TRUE(session.ReadAllTemplates(1, templates));
      EXPECT_EQ(templates.size(), entries);
    } else {
      EXPECT_THROW(session.ReadAllTemplates(1, templates), AppError);
    }
  }
}

}  // namespace
}  // namespace miravel::conformance
