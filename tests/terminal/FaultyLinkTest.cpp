// A terminal that refuses, is not there, hangs up, is too slow or talks
// nonsense: the client must answer false for a refused connection and throw
// our error (and close the link) for a failure during a call, never hang.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "core/AppError.h"
#include "core/StopRequest.h"
#include "terminal/WireProtocol.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/terminal/ClientFixture.h"

namespace miravel {
namespace {

using Clock = std::chrono::steady_clock;

WireTerminalClient NetworkClient(WireTimeouts timeouts = test::ShortTimeouts()) {
  return WireTerminalClient([](int) { return std::string(); }, timeouts);
}

// Runs action, which must throw AppError with message.
void ExpectLinkError(const char* message, const std::function<void()>& action) {
  try {
    action();
    ADD_FAILURE() << "no error";
  } catch (const AppError& error) {
    EXPECT_STREQ(error.what(), message);
  }
}

// A socket bound to 127.0.0.1 on a free port.
int BoundLoopbackSocket(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    ADD_FAILURE() << "cannot bind 127.0.0.1";
  }
  port = ntohs(address.sin_port);
  return fd;
}

// A scripted terminal on 127.0.0.1: answers the hello properly, then sends
// the scripted bytes for each further request and hangs up after the last.
class ScriptedTerminal {
 public:
  // With a pause, each scripted answer goes out in pieces of pieceSize bytes
  // with the pause between them, as a terminal that dribbles.
  explicit ScriptedTerminal(std::vector<std::string> script, std::size_t pieceSize = 0,
                            std::chrono::milliseconds pause = {})
      : script_(std::move(script)), pieceSize_(pieceSize), pause_(pause) {
    listenFd_ = BoundLoopbackSocket(port_);
    ::listen(listenFd_, 1);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedTerminal() {
    thread_.join();
    ::close(listenFd_);
  }
  int Port() const { return port_; }

  // Done, our version, machine number 1, no identity.
  static std::string HelloDone() {
    wire::PayloadWriter outputs;
    outputs.U8(wire::kDone).U8(wire::kIdentityProtocolVersion).I32(1).Text("");
    return outputs.Bytes();
  }

  static std::string Reply(wire::Op op, std::string_view afterOp) {
    std::string payload(1, static_cast<char>(op));
    payload += afterOp;
    std::string frame;
    wire::AppendFrame(frame, wire::FrameKind::kReply, payload);
    return frame;
  }

 private:
  void Serve() {
    pollfd entry{listenFd_, POLLIN, 0};
    if (::poll(&entry, 1, 10000) != 1) return;  // the test never connected
    const int fd = ::accept(listenFd_, nullptr, nullptr);
    wire::FrameDecoder requests;
    std::size_t answered = 0;
    char buffer[4096];
    while (answered <= script_.size()) {
      pollfd client{fd, POLLIN, 0};
      if (::poll(&client, 1, 10000) != 1) break;
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got <= 0) break;
      requests.Feed(buffer, static_cast<std::size_t>(got));
      wire::Frame frame;
      while (answered <= script_.size() && requests.Next(frame)) {
        const std::string bytes =
            answered == 0 ? Reply(wire::Op::kHello, HelloDone()) : script_[answered - 1];
        if (!Send(fd, bytes, answered == 0)) break;
        ++answered;
      }
    }
    ::close(fd);
  }

  // False once the client has gone.
  bool Send(int fd, std::string_view bytes, bool whole) const {
    const std::size_t piece = whole || pieceSize_ == 0 ? bytes.size() : pieceSize_;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      if (at > 0) std::this_thread::sleep_for(pause_);
      const std::string_view part = bytes.substr(at, piece);
      if (::send(fd, part.data(), part.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(part.size())) {
        return false;
      }
    }
    return true;
  }

  std::vector<std::string> script_;
  std::size_t pieceSize_ = 0;
  std::chrono::milliseconds pause_{};
  int listenFd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(FaultyLinkTest, RefusedOrAbsentTerminalIsAFalseConnectWithinTheTimeOut) {
  auto client = NetworkClient();
  {
    test::EmulatorProcess refusing({"--listen", "127.0.0.1:0", "--refuse"});
    EXPECT_FALSE(client.ConnectNetwork("127.0.0.1", refusing.Port()));
    EXPECT_FALSE(client.IsConnected());
  }
  int port = 0;
  ::close(BoundLoopbackSocket(port));  // nobody listens there now
  const auto start = Clock::now();
  EXPECT_FALSE(client.ConnectNetwork("127.0.0.1", port));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));

  // Texts that are no address and impossible ports never reach the network.
  EXPECT_FALSE(client.ConnectNetwork("kapı.example", 4370));
  EXPECT_FALSE(client.ConnectNetwork("127.0.0.1", 0));
  EXPECT_FALSE(client.ConnectNetwork("127.0.0.1", 70000));
}

TEST(FaultyLinkTest, ConnectionLostInTheMiddleOfALogStopsTheCommand) {
  test::TempFolder folder;
  const std::string statePath = folder / "t.txt";
  test::EmulatorProcess emulator({"--listen", "127.0.0.1:0", "--state", statePath, "--generate-log",
                                  "20000", "--drop-after-records", "5000"});
  auto client = NetworkClient();
  ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", emulator.Port()));
  ExpectLinkError(wire::kLinkLostMessage, [&] { client.ReadAttendanceLog(1); });
  EXPECT_FALSE(client.IsConnected()) << "a broken link is closed";
  int a, b, c, d, e, f, g, h, i, j;
  EXPECT_FALSE(client.GetNextAttendanceRecord(1, a, b, c, d, e, f, g, h, i, j))
      << "half a log must not be walked as if it were whole";
  EXPECT_EQ(test::LoadState(statePath).log.size(), 20000u);
}

TEST(FaultyLinkTest, ATerminalSlowerThanTheQuietTimeOutIsAnError) {
  test::EmulatorProcess emulator({"--listen", "127.0.0.1:0", "--delay-ms", "1500"});
  WireTimeouts impatient = test::ShortTimeouts();
  impatient.quiet = std::chrono::milliseconds(300);
  auto client = NetworkClient(impatient);
  ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", emulator.Port()))
      << "the hello has its own, longer time-out";
  int value = 0;
  const auto start = Clock::now();
  ExpectLinkError(wire::kNoAnswerMessage, [&] { client.GetDeviceStatus(1, 2, value); });
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1400));
  EXPECT_FALSE(client.IsConnected());

  // Within the quiet time-out the same terminal is merely slow.
  auto patient = NetworkClient();
  ASSERT_TRUE(patient.ConnectNetwork("127.0.0.1", emulator.Port()));
  EXPECT_TRUE(patient.GetDeviceStatus(1, 2, value));
}

// "Durdur" during a connect to a terminal that never greets, and during a
// slow reply: the wait ends at once, the link is dropped, and the client
// connects again once the stop is over.
TEST(FaultyLinkTest, AStopEndsTheLinksWaitsAtOnceAndDropsTheLink) {
  StopRequest stop;
  auto client = NetworkClient();
  client.SetStopRequest(&stop);
  const auto stopsAfter = [&](const std::function<void()>& wait) {
    stop.Clear();
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      stop.Request();
    });
    const auto start = Clock::now();
    EXPECT_THROW(wait(), StoppedOnRequest);
    const auto took = Clock::now() - start;
    stopper.join();
    EXPECT_FALSE(client.IsConnected());
    return took;
  };
  int port = 0;
  const int silent = BoundLoopbackSocket(port);
  ::listen(silent, 1);  // takes the connection, never says hello
  EXPECT_LT(stopsAfter([&] { client.ConnectNetwork("127.0.0.1", port); }),
            std::chrono::milliseconds(1000));
  ::close(silent);

  test::EmulatorProcess slow({"--listen", "127.0.0.1:0", "--delay-ms", "1500"});
  stop.Clear();
  ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", slow.Port()));
  int value = 0;
  EXPECT_LT(stopsAfter([&] { client.GetDeviceStatus(1, 2, value); }),
            std::chrono::milliseconds(1000));
  stop.Clear();
  client.SetStopRequest(nullptr);
  ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", slow.Port()));
  EXPECT_TRUE(client.GetDeviceStatus(1, 2, value));
}

TEST(FaultyLinkTest, NonsenseFromTheTerminalIsABrokenReply) {
  const std::string garbage("MVR\x03\x00\x00\x00zzzJUNKJUNK", 18);
  // A well-formed reply to a different request is as bad as garbage.
  const std::string wrongOp = ScriptedTerminal::Reply(wire::Op::kClearAllData, "\x01");
  // A log that promises more records than it sent.
  std::string shortLog;
  wire::PayloadWriter chunk;
  chunk.U8(static_cast<std::uint8_t>(wire::Op::kReadAttendanceLog))
      .U32(1)
      .Log({5, 0, 2026, 1, 2, 3, 4});
  wire::AppendFrame(shortLog, wire::FrameKind::kChunk, chunk.Bytes());
  shortLog +=
      ScriptedTerminal::Reply(wire::Op::kReadAttendanceLog, std::string("\x01\x02\x00\x00\x00", 5));

  for (const std::string& reply : {garbage, wrongOp}) {
    ScriptedTerminal terminal({reply});
    auto client = NetworkClient();
    ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", terminal.Port()));
    int value = 0;
    ExpectLinkError(wire::kBadReplyMessage, [&] { client.GetDeviceStatus(1, 2, value); });
    EXPECT_FALSE(client.IsConnected());
    EXPECT_FALSE(client.GetDeviceStatus(1, 2, value));
  }
  {
    ScriptedTerminal terminal({shortLog});
    auto client = NetworkClient();
    ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", terminal.Port()));
    ExpectLinkError(wire::kBadReplyMessage, [&] { client.ReadAttendanceLog(1); });
  }
  {
    // Half a frame, then the line goes dead.
    ScriptedTerminal terminal(
        {ScriptedTerminal::Reply(wire::Op::kGetDeviceStatus, "\x01\x05").substr(0, 9)});
    auto client = NetworkClient();
    ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", terminal.Port()));
    int value = 0;
    ExpectLinkError(wire::kLinkLostMessage, [&] { client.GetDeviceStatus(1, 2, value); });
  }
  {
    // A refusal is an answer, not a failure: the link stays up.
    ScriptedTerminal terminal(
        {ScriptedTerminal::Reply(wire::Op::kGetDeviceStatus, std::string(1, '\0'))});
    auto client = NetworkClient();
    ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", terminal.Port()));
    int value = 0;
    EXPECT_FALSE(client.GetDeviceStatus(1, 2, value));
    EXPECT_TRUE(client.IsConnected());
  }
}

// The frame checks themselves: one flipped bit anywhere in a well-formed reply
// is a broken reply, and nothing of it is taken.
TEST(FaultyLinkTest, OneFlippedBitInTheChecksumOrThePayloadIsABrokenReply) {
  const std::string reply =
      ScriptedTerminal::Reply(wire::Op::kGetDeviceStatus, std::string("\x01\x2a\0\0\0", 5));
  const std::size_t valueByte = reply.size() - 4 - 4;  // the first byte of the value
  for (const std::size_t at : {reply.size() - 1, valueByte}) {
    std::string flipped = reply;
    flipped[at] = static_cast<char>(flipped[at] ^ 0x10);
    ScriptedTerminal terminal({flipped});
    auto client = NetworkClient();
    ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", terminal.Port()));
    int value = -1;
    ExpectLinkError(wire::kBadReplyMessage, [&] { client.GetDeviceStatus(1, 2, value); });
    EXPECT_EQ(value, -1);
  }
  ScriptedTerminal honest({reply});
  auto client = NetworkClient();
  ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", honest.Port()));
  int value = -1;
  EXPECT_TRUE(client.GetDeviceStatus(1, 2, value));
  EXPECT_EQ(value, 42);
}

// A terminal that keeps the line busy without delivering anything (empty
// chunks without end, or one byte now and then, each within the quiet
// time-out) is given up once nothing has come for the progress limit.
TEST(FaultyLinkTest, ALineKeptBusyWithoutProgressIsGivenUp) {
  WireTimeouts timeouts = test::ShortTimeouts();
  timeouts.quiet = std::chrono::milliseconds(500);
  timeouts.progress = std::chrono::milliseconds(1200);
  std::string emptyChunks;
  wire::PayloadWriter empty;
  empty.U8(static_cast<std::uint8_t>(wire::Op::kReadAttendanceLog)).U32(0);
  for (int i = 0; i < 100; ++i)
    wire::AppendFrame(emptyChunks, wire::FrameKind::kChunk, empty.Bytes());
  std::string oneRecord;
  wire::PayloadWriter chunk;
  chunk.U8(static_cast<std::uint8_t>(wire::Op::kReadAttendanceLog))
      .U32(1)
      .Log({5, 0, 2026, 1, 2, 3, 4});
  wire::AppendFrame(oneRecord, wire::FrameKind::kChunk, chunk.Bytes());

  struct Dribble {
    std::string bytes;
    std::size_t pieceSize;
  };
  // Empty chunks one frame at a time; a real chunk one byte at a time.
  for (const Dribble& dribble : {Dribble{emptyChunks, 9 + 5}, Dribble{oneRecord, 1}}) {
    ScriptedTerminal terminal({dribble.bytes}, dribble.pieceSize, std::chrono::milliseconds(200));
    auto client = NetworkClient(timeouts);
    ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", terminal.Port()));
    const auto start = Clock::now();
    ExpectLinkError(wire::kNoAnswerMessage, [&] { client.ReadAttendanceLog(1); });
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_FALSE(client.IsConnected());
  }
}

}  // namespace
}  // namespace miravel
