#include <gtest/gtest.h>

#include "core/AppError.h"
#include "terminal/WireProtocol.h"

namespace miravel::wire {
namespace {

std::string Frame(FrameKind kind, std::string_view payload) {
  std::string out;
  AppendFrame(out, kind, payload);
  return out;
}

void ExpectBadReply(const std::function<void()>& action) {
  try {
    action();
    FAIL() << "no error";
  } catch (const AppError& error) {
    EXPECT_STREQ(error.what(), kBadReplyMessage);
  }
}

TEST(FrameDecoderTest, ReassemblesFramesSplitAnywhereAndKeepsThemApart) {
  std::string stream = Frame(FrameKind::kChunk, "first") + Frame(FrameKind::kReply, "") +
                       Frame(FrameKind::kRequest, std::string(70000, 'x'));
  FrameDecoder decoder;
  std::vector<std::pair<FrameKind, std::string>> seen;
  // One byte at a time is the worst case a slow serial line gives.
  for (char c : stream) {
    decoder.Feed(&c, 1);
    wire::Frame frame;
    while (decoder.Next(frame)) seen.emplace_back(frame.kind, std::string(frame.payload));
  }
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], std::make_pair(FrameKind::kChunk, std::string("first")));
  EXPECT_EQ(seen[1], std::make_pair(FrameKind::kReply, std::string()));
  EXPECT_EQ(seen[2].second, std::string(70000, 'x'));
  EXPECT_EQ(decoder.Buffered(), 0u);
}

TEST(FrameDecoderTest, RejectsCorruptionBeforeBufferingAHugeFrame) {
  // A flipped payload bit is caught by the checksum.
  std::string corrupt = Frame(FrameKind::kReply, "\x05\x01payload");
  corrupt[9] ^= 0x10;
  ExpectBadReply([&] {
    FrameDecoder decoder;
    decoder.Feed(corrupt.data(), corrupt.size());
    wire::Frame frame;
    decoder.Next(frame);
  });
  // A length beyond the limit fails on the header alone, without waiting for
  // (or reserving) four gigabytes.
  const std::string huge("MVR\xff\xff\xff\xff", 7);
  ExpectBadReply([&] {
    FrameDecoder decoder;
    decoder.Feed(huge.data(), huge.size());
    wire::Frame frame;
    decoder.Next(frame);
  });
  // Wrong marker and unknown kind fail on the first bytes.
  for (const std::string& head : {std::string("XV"), std::string("MVZ")}) {
    ExpectBadReply([&] {
      FrameDecoder decoder;
      decoder.Feed(head.data(), head.size());
      wire::Frame frame;
      decoder.Next(frame);
    });
  }
}

TEST(PayloadTest, RoundTripsEveryFieldTypeAndRejectsShortOrOverlongInput) {
  PayloadWriter writer;
  const LogRecord record{-7, 255, 2026, 13, 31, 23, 59};
  writer.U8(200).U16(65000).U32(4000000000u).I32(-123456).Text("Gülşen Işık").Log(record);
  PayloadReader reader(writer.Bytes());
  EXPECT_EQ(reader.U8(), 200);
  EXPECT_EQ(reader.U16(), 65000);
  EXPECT_EQ(reader.U32(), 4000000000u);
  EXPECT_EQ(reader.I32(), -123456);
  EXPECT_EQ(reader.Text(100), "Gülşen Işık");
  EXPECT_EQ(reader.Log(), record);
  reader.ExpectEnd();
  ExpectBadReply([&] { reader.U8(); });

  // A text longer than its field allows, or longer than what is left.
  PayloadWriter text;
  text.Text(std::string(50, 'a'));
  ExpectBadReply([&] { PayloadReader(text.Bytes()).Text(49); });
  const std::string lying(
      "\xff\xff\xff\x7f"
      "abc",
      7);
  ExpectBadReply([&] { PayloadReader(lying).Text(SIZE_MAX); });
  // Bytes left over mean the layouts differ.
  ExpectBadReply([&] { PayloadReader("x").ExpectEnd(); });
}

TEST(Crc32Test, MatchesTheStandardCheckValue) {
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
}

}  // namespace
}  // namespace miravel::wire
