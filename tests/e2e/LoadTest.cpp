// A big office: fifty terminals of 20,000 records each in one transfer.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TimeLimits.h"

namespace miravel::e2e {
namespace {

using test::EmulatorProcess;
using test::TempFolder;

constexpr int kRecordsPerTerminal = 20000;

// One run over `terminals` emulated terminals; returns its length in seconds.
double TransferFrom(int terminals, std::uint32_t seed) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "yedekler");
  std::vector<std::unique_ptr<EmulatorProcess>> emulators;
  std::vector<TerminalRow> rows;
  std::size_t expected = 0;
  for (int i = 0; i < terminals; ++i) {
    const std::string state = folder / ("t" + std::to_string(i) + ".txt");
    WriteStateFile(state, MakeLog(kRecordsPerTerminal, seed + i));
    expected += kRecordsPerTerminal;
    emulators.push_back(std::make_unique<EmulatorProcess>(
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", state}));
    rows.push_back(EthernetRow("Kapı " + std::to_string(i + 1), emulators.back()->Port()));
  }
  const std::string record = folder / "tr500.txt";
  WriteSettings(folder.Path(), record, true, rows);
  const auto start = std::chrono::steady_clock::now();
  const AktarResult result = RunAktar(folder.Path());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  bool wellFormed = false;
  const std::vector<std::string> lines = SplitRecordFile(test::ReadFile(record), wellFormed);
  EXPECT_TRUE(wellFormed);
  EXPECT_TRUE(InTimeOrder(lines));
  EXPECT_EQ(lines.size(), expected);
  for (auto& emulator : emulators) emulator->Stop();
  for (int i = 0; i < terminals; ++i) {
    EXPECT_TRUE(ReadStateLog(folder / ("t" + std::to_string(i) + ".txt")).empty());
  }
  return seconds;
}

TEST(LoadTest, FiftyTerminalsOfTwentyThousandRecordsArriveWholeAndInOrder) {
  const double half = TransferFrom(25, 100);
  const double whole = TransferFrom(50, 200);
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  std::printf("[ load ] 25 terminals %.2f s, 50 terminals %.2f s, ratio %.2f; peak child %ld kB\n",
              half, whole, whole / half, usage.ru_maxrss);
  // The record file is replaced once per run, so the time grows with the
  // records; the bound is loose because two busy cores make short runs noisy
  // (the figures come from bench/e2e/AktarParallelBench).
  EXPECT_LT(whole / half, 4.5);
  EXPECT_LT(usage.ru_maxrss, 256 * 1024 * test::kMemoryLimitScale);
}

}  // namespace
}  // namespace miravel::e2e
