// Terminals that misbehave on purpose: garbage, counts far beyond what they
// send, replies that never end, a million users. The client and miravel-aktar
// must answer each with a message (or a result) within their time-outs, never
// a crash, a hang or memory without bound, and lose nothing of the office's.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "core/AppError.h"
#include "terminal/WireTerminalClient.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/PeakMemory.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TimeLimits.h"

namespace miravel::e2e {
namespace {

using Clock = std::chrono::steady_clock;
using test::EmulatorProcess;
using test::PeakKilobytes;
using test::TempFolder;

// Runs one call on a fresh connection; the outcome is the call's own result
// or the message it stopped with.
std::string Outcome(WireTerminalClient& client, int port,
                    const std::function<bool(WireTerminalClient&)>& call) {
  if (!client.ConnectNetwork("127.0.0.1", port)) return "bağlanılamadı";
  try {
    return call(client) ? "tamam" : "reddetti";
  } catch (const AppError& error) {
    return error.what();
  }
}

class HostileTerminalTest : public ::testing::TestWithParam<const char*> {};

TEST_P(HostileTerminalTest, EveryCallEndsWithinItsTimeOutsAndMemoryStaysBounded) {
  TempFolder folder;
  EmulatorProcess terminal({"--listen", "127.0.0.1:0", "--hostile", GetParam()});
  WireTimeouts timeouts;
  timeouts.quiet = std::chrono::milliseconds(1000);
  timeouts.progress = std::chrono::milliseconds(2000);
  WireTerminalClient client([](int) { return std::string(); }, timeouts);
  const long peakBefore = PeakKilobytes(RUSAGE_SELF);

  const std::vector<std::function<bool(WireTerminalClient&)>> calls = {
      [](WireTerminalClient& c) { return c.ReadAttendanceLog(1); },
      [](WireTerminalClient& c) { return c.ReadAllUsers(1); },
      [](WireTerminalClient& c) { return c.ReadAllTemplates(1); },
      [](WireTerminalClient& c) {
        int count = 0;
        return c.GetDeviceStatus(1, 2, count);
      },
      [](WireTerminalClient& c) {
        std::string name, password;
        int privilege = 0;
        bool enabled = false;
        return c.GetUserInfo(1, 5, name, password, privilege, enabled);
      },
  };
  for (const auto& call : calls) {
    const auto start = Clock::now();
    const std::string outcome = Outcome(client, terminal.Port(), call);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4)) << outcome;
    EXPECT_NE(outcome, "bağlanılamadı");
  }
  EXPECT_LT(PeakKilobytes(RUSAGE_SELF) - peakBefore, 256 * 1024 * test::kMemoryLimitScale)
      << "kB more at the peak";
  client.Disconnect();  // a terminal serves one connection at a time

  // The whole program: a run that cannot read the log stops with a message,
  // or finishes; the record file is the old one or the old one plus records.
  std::filesystem::create_directory(folder / "yedekler");
  const std::string record = folder / "tr500.txt";
  const std::string old = JoinLines(MakeRecordLines(500, 81));
  test::WriteFile(record, old);
  WriteSettings(folder.Path(), record, true, {EthernetRow("Kapı", terminal.Port())});
  const auto start = Clock::now();
  const AktarResult result = RunAktar(folder.Path());
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(45));
  EXPECT_TRUE(result.exitCode == 0 || (result.exitCode == 2 && !result.err.empty()))
      << result.exitCode << " " << result.err;
  if (result.exitCode == 2) {
    EXPECT_EQ(test::ReadFile(record), old);
  }
  EXPECT_FALSE(test::MergeFileLeft(record));
  EXPECT_LT(PeakKilobytes(RUSAGE_CHILDREN), 256 * 1024 * test::kMemoryLimitScale)
      << "kB at the peak of a child";
  std::printf("[ mode %s ] client peak +%ld kB; aktar exit %d in %.1f s, child peak %ld kB: %s\n",
              GetParam(), PeakKilobytes(RUSAGE_SELF) - peakBefore, result.exitCode,
              std::chrono::duration<double>(Clock::now() - start).count(),
              PeakKilobytes(RUSAGE_CHILDREN), result.err.c_str());
}

INSTANTIATE_TEST_SUITE_P(Modes, HostileTerminalTest,
                         ::testing::Values("cop", "asiri-sayi", "sonsuz", "milyon-kisi"));

}  // namespace
}  // namespace miravel::e2e
