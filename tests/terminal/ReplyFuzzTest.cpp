// Feeds the client's reply decoding broken, truncated and hostile replies to
// every operation: it must only ever throw our error type, never crash, hang
// or allocate without bound.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>

#include "core/AppError.h"
#include "emulator/RequestHandler.h"
#include "terminal/WireSession.h"

namespace {
std::atomic<std::size_t> largestAllocation{0};
}  // namespace

// Replaced for this test program only: remembers the largest single request.
void* operator new(std::size_t size) {
  std::size_t seen = largestAllocation.load();
  while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// The pair of the replacement above: it frees what malloc gave.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#pragma GCC diagnostic pop

namespace miravel {
namespace {

using emulator::EmulatedTerminal;
using emulator::RequestHandler;
using emulator::TerminalState;

// Replays fixed bytes as the terminal's answer, in pieces of random size.
class ReplayStream : public ByteStream {
 public:
  ReplayStream(std::string bytes, std::mt19937& random)
      : bytes_(std::move(bytes)), random_(random) {}
  std::size_t ReadSome(char* buffer, std::size_t size) override {
    const std::size_t left = bytes_.size() - pos_;
    if (left == 0) return 0;
    std::size_t take = std::min({size, left, std::size_t{1} + random_() % 4096});
    std::copy_n(bytes_.data() + pos_, take, buffer);
    pos_ += take;
    return take;
  }
  void WriteAll(std::string_view) override {}

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
  std::mt19937& random_;
};

// Answers through the emulator's request handler in-process, and keeps what
// it answered so the test can break it.
class HandlerStream : public ByteStream {
 public:
  explicit HandlerStream(RequestHandler& handler) : handler_(handler) {}
  std::size_t ReadSome(char* buffer, std::size_t size) override {
    const std::size_t take = std::min(size, replies_.size() - pos_);
    std::copy_n(replies_.data() + pos_, take, buffer);
    pos_ += take;
    return take;
  }
  void WriteAll(std::string_view bytes) override {
    requests_.Feed(bytes.data(), bytes.size());
    wire::Frame frame;
    while (requests_.Next(frame)) replies_ += handler_.Handle(frame.payload, false).bytes;
  }
  const std::string& Replies() const { return replies_; }

 private:
  RequestHandler& handler_;
  wire::FrameDecoder requests_;
  std::string replies_;
  std::size_t pos_ = 0;
};

TerminalState SampleState() {
  TerminalState state;
  state.users[1] = {"Çağlar Öztürk", "1234", 3, true};
  state.users[2] = {"Işıl Şimşek", "", 0, false};
  state.templates[{1, 0}] = std::string(500, 'Q');
  state.templates[{2, 3}] = "kısa";
  for (int i = 0; i < 300; ++i) state.log.push_back({i % 7 + 1, i % 2, 2026, 12, 1, 8, i % 60});
  return state;
}

using Call = std::function<bool(WireSession&)>;

std::vector<std::pair<std::string, Call>> EveryOperation() {
  static std::string text;
  static std::string other;
  static int number;
  static bool flag;
  static std::vector<wire::LogRecord> log;
  static std::vector<wire::UserEntry> users;
  static std::vector<wire::TemplateEntry> templates;
  static DeviceTime time;
  return {
      {"Hello",
       [](WireSession& s) {
         std::string identity;
         return s.Hello(1, wire::kIdentityProtocolVersion, number, identity);
       }},
      {"RegisterEvents", [](WireSession& s) { return s.RegisterEvents(1, 1); }},
      {"GetDeviceStatus", [](WireSession& s) { return s.GetDeviceStatus(1, 6, number); }},
      {"ReadAttendanceLog", [](WireSession& s) { return s.ReadAttendanceLog(1, log); }},
      {"ClearAttendanceLog", [](WireSession& s) { return s.ClearAttendanceLog(1, 5); }},
      {"ReadAllUsers", [](WireSession& s) { return s.ReadAllUsers(1, users); }},
      {"GetUserInfo",
       [](WireSession& s) { return s.GetUserInfo(1, 1, text, other, number, flag); }},
      {"SetUserInfo", [](WireSession& s) { return s.SetUserInfo(1, 5, "Ümit", "", 0, true); }},
      {"DeleteUser", [](WireSession& s) { return s.DeleteUser(1, 2, 0, 0); }},
      {"ReadAllTemplates", [](WireSession& s) { return s.ReadAllTemplates(1, templates); }},
      {"SetFingerTemplate", [](WireSession& s) { return s.SetFingerTemplate(1, 1, 4, "abc"); }},
      {"DeleteFingerTemplate", [](WireSession& s) { return s.DeleteFingerTemplate(1, 1, 0); }},
      {"GetDeviceTime", [](WireSession& s) { return s.GetDeviceTime(1, time); }},
      {"SetDeviceTime",
       [](WireSession& s) {
         return s.SetDeviceTime(1, DeviceTime{2030, 1, 2, 3, 4, 5});
       }},
      {"ClearAdministrators", [](WireSession& s) { return s.ClearAdministrators(1); }},
      {"ClearAllData", [](WireSession& s) { return s.ClearAllData(1); }},
  };
}

std::vector<std::pair<wire::FrameKind, std::string>> SplitFrames(const std::string& bytes) {
  wire::FrameDecoder decoder;
  decoder.Feed(bytes.data(), bytes.size());
  std::vector<std::pair<wire::FrameKind, std::string>> frames;
  wire::Frame frame;
  while (decoder.Next(frame)) frames.emplace_back(frame.kind, std::string(frame.payload));
  return frames;
}

// One broken variant of a good reply.
std::string Break(const std::string& good, std::mt19937& random) {
  std::string bad = good;
  switch (random() % 5) {
    case 0:  // cut off anywhere
      bad.resize(random() % (good.size() + 1));
      break;
    case 1:  // noise on the line
      for (unsigned k = 0, n = 1 + random() % 4; k < n && !bad.empty(); ++k) {
        bad[random() % bad.size()] = static_cast<char>(random());
      }
      break;
    case 2: {  // well-framed but wrong contents: the payload decoding must hold
      auto frames = SplitFrames(good);
      auto& payload = frames[random() % frames.size()].second;
      const unsigned what = random() % 3;
      if (what == 0 && !payload.empty()) {
        payload[random() % payload.size()] = static_cast<char>(random());
      } else if (what == 1) {
        payload.resize(random() % (payload.size() + 1));
      } else if (payload.size() >= 4) {  // a count or length that claims everything
        const std::size_t at = random() % (payload.size() - 3);
        payload.replace(at, 4, random() % 2 ? "\xff\xff\xff\xff" : "\xff\xff\xff\x0f");
      }
      bad.clear();
      for (const auto& [kind, bytes] : frames) wire::AppendFrame(bad, kind, bytes);
      break;
    }
    case 3: {  // garbage that starts like a frame
      bad = random() % 2 ? "MV" : "MVR";
      for (unsigned k = 0, n = random() % 64; k < n; ++k) bad += static_cast<char>(random());
      break;
    }
    default: {  // frames repeated or dropped
      auto frames = SplitFrames(good);
      bad.clear();
      for (const auto& [kind, bytes] : frames) {
        const unsigned times = random() % 3;
        for (unsigned k = 0; k < times; ++k) wire::AppendFrame(bad, kind, bytes);
      }
    }
  }
  return bad;
}

TEST(ReplyFuzzTest, BrokenRepliesOnlyEverThrowOurErrorAndStayBounded) {
  std::mt19937 random(20261208);
  for (const auto& [name, call] : EveryOperation()) {
    SCOPED_TRACE(name);
    EmulatedTerminal terminal(SampleState(), "");
    RequestHandler handler(terminal, std::nullopt);
    HandlerStream recorder(handler);
    WireSession recordingSession(recorder);
    ASSERT_TRUE(call(recordingSession)) << "the good reply must work";
    const std::string good = recorder.Replies();

    largestAllocation = 0;
    int failures = 0;
    for (int round = 0; round < 5000; ++round) {
      ReplayStream replay(Break(good, random), random);
      WireSession session(replay);
      try {
        call(session);
      } catch (const AppError&) {
        ++failures;
      } catch (const std::exception& error) {
        ADD_FAILURE() << "foreign exception: " << error.what();
      }
    }
    EXPECT_GT(failures, 2500) << "most broken replies must be noticed";
    // The biggest good reply here is a few kilobytes; no broken one may make
    // the decoder reserve more than a frame's worth.
    EXPECT_LT(largestAllocation.load(), std::size_t{4} << 20);
  }
}

}  // namespace
}  // namespace miravel
