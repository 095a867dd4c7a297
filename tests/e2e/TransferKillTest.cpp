// miravel-aktar killed with SIGKILL at random moments of a long transfer: the
// office's record file and the terminal's log must survive every one of them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>

#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"

namespace miravel::e2e {
namespace {

using Clock = std::chrono::steady_clock;
using test::EmulatorProcess;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

constexpr int kLogRecords = 20000;
constexpr int kOldLines = 4000;
constexpr int kKills = 50;

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

enum class Outcome { kOldFile, kNewFileLogKept, kNewFileLogCleared };

// What one interrupted (or finished) run may leave: the old record file with
// the log as it was, or the old file's lines plus every record of the log, in
// time order, with the log either kept or cleared. Nothing in between.
testing::AssertionResult Check(const std::string& before, const std::vector<wire::LogRecord>& log,
                               const std::string& after,
                               const std::vector<wire::LogRecord>& logAfter, Outcome& outcome) {
  if (after == before) {
    outcome = Outcome::kOldFile;
    if (logAfter != log) {
      return testing::AssertionFailure()
             << "the log changed (" << log.size() << " -> " << logAfter.size()
             << " records) while the record file was not replaced";
    }
    return testing::AssertionSuccess();
  }
  bool wellFormed = false;
  const std::vector<std::string> lines = SplitRecordFile(after, wellFormed);
  if (!wellFormed) return testing::AssertionFailure() << "a torn or malformed line";
  if (!InTimeOrder(lines)) return testing::AssertionFailure() << "lines out of time order";
  bool oldWellFormed = false;
  std::vector<std::string> expected = SplitRecordFile(before, oldWellFormed);
  for (const wire::LogRecord& record : log) expected.push_back(ExpectedLine(record));
  if (Sorted(lines) != Sorted(expected)) {
    return testing::AssertionFailure()
           << "the record file has " << lines.size() << " lines; the old file and the log make "
           << expected.size();
  }
  if (logAfter == log) {
    outcome = Outcome::kNewFileLogKept;
  } else if (logAfter.empty()) {
    outcome = Outcome::kNewFileLogCleared;
  } else {
    return testing::AssertionFailure() << "the log was changed, not cleared";
  }
  return testing::AssertionSuccess();
}

// One terminal on the emulator, silkontrol on, over a record file of some
// thousand lines. Each attempt starts miravel-aktar and kills it after a
// random delay drawn over a whole run; a run that ends before its kill counts
// as a finished transfer. Whenever the log has been cleared the emulator is
// restarted with a fresh batch, so that every kill meets a full log.
TEST(TransferKillTest, KillAtAnyMomentLeavesOldOrNewFileAndClearsOnlyTransferredLogs) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "yedekler");
  const std::string recordPath = folder / "tr500.txt";
  const std::string statePath = folder / "terminal.txt";
  const std::vector<std::string> originalLines = MakeRecordLines(kOldLines, 7);
  WriteFile(recordPath, JoinLines(originalLines));

  std::vector<std::string> generated;  // every record line the terminal ever held
  std::uint32_t batchSeed = 100;
  std::unique_ptr<EmulatorProcess> emulator;
  const auto startWithFreshLog = [&] {
    emulator.reset();
    const std::vector<wire::LogRecord> batch = MakeLog(kLogRecords, batchSeed++);
    for (const wire::LogRecord& record : batch) generated.push_back(ExpectedLine(record));
    WriteStateFile(statePath, batch);
    emulator = std::make_unique<EmulatorProcess>(
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", statePath});
    WriteSettings(folder.Path(), recordPath, true, {EthernetRow("Ana Kapı", emulator->Port())});
  };

  // How long one whole run takes here, measured on a copy of the same setup.
  Clock::duration runTime{};
  {
    TempFolder copy;
    std::filesystem::create_directory(copy / "yedekler");
    WriteFile(copy / "tr500.txt", JoinLines(originalLines));
    WriteStateFile(copy / "terminal.txt", MakeLog(kLogRecords, 99));
    EmulatorProcess calibration({"--listen", "127.0.0.1:0", "--state", copy / "terminal.txt"});
    WriteSettings(copy.Path(), copy / "tr500.txt", true,
                  {EthernetRow("Ana Kapı", calibration.Port())});
    const auto start = Clock::now();
    const AktarResult result = RunAktar(copy.Path());
    runTime = Clock::now() - start;
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }

  startWithFreshLog();
  std::mt19937 random(20261208);
  std::uniform_real_distribution<double> anyMoment(0.0, 1.1);
  std::uniform_real_distribution<double> nearTheEnd(0.8, 1.1);
  int kills = 0;
  int finished = 0;
  int outcomes[3] = {};
  std::string before = ReadFile(recordPath);
  for (int attempt = 1; kills < kKills; ++attempt) {
    ASSERT_LE(attempt, 3 * kKills) << "too few runs could be killed in time";
    const std::vector<wire::LogRecord> log = ReadStateLog(statePath);
    // A quarter of the kills aim at the end of the run, where the record file
    // is replaced and the log cleared.
    const double share = (random() % 4 == 0) ? nearTheEnd(random) : anyMoment(random);
    const auto delay = std::chrono::duration_cast<Clock::duration>(runTime * share);

    const auto start = Clock::now();
    ProgramRun run(AktarPath(), {"--folder", folder.Path()}, folder.Path());
    const int status = run.Wait(delay);
    // A run that ended before its kill counts as a finished transfer.
    const bool endedByItself = !WIFSIGNALED(status);
    if (endedByItself) {
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << "attempt " << attempt << ": " << run.Stderr();
      ++finished;
      runTime = Clock::now() - start;  // the record file grows; follow it
    } else {
      ++kills;
    }

    const std::string after = ReadFile(recordPath);
    emulator->AwaitEarlierConnections();
    const std::vector<wire::LogRecord> logAfter = ReadStateLog(statePath);
    Outcome outcome{};
    ASSERT_TRUE(Check(before, log, after, logAfter, outcome))
        << "attempt " << attempt << ", " << (endedByItself ? "finished" : "killed") << " after "
        << std::chrono::duration_cast<std::chrono::milliseconds>(delay).count() << " ms";
    if (endedByItself) {
      EXPECT_EQ(outcome, Outcome::kNewFileLogCleared);
    }
    ++outcomes[static_cast<int>(outcome)];
    before = after;
    if (logAfter.empty()) startWithFreshLog();
  }
  std::cout << kills << " kills, " << finished << " finished runs; old file kept " << outcomes[0]
            << ", replaced with the log kept " << outcomes[1] << ", replaced and cleared "
            << outcomes[2] << " (a whole run took "
            << std::chrono::duration_cast<std::chrono::milliseconds>(runTime).count() << " ms)\n";

  // One undisturbed run brings whatever is still on the terminal, and clears
  // away the merge files that the killed runs left behind.
  const auto mergeFiles = [&] {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
      count += entry.path().extension() == ".gcc";
    }
    return count;
  };
  std::cout << mergeFiles() << " merge files left by the killed runs\n";
  const AktarResult last = RunAktar(folder.Path());
  ASSERT_EQ(last.exitCode, 0) << last.err;
  EXPECT_EQ(last.err, "");
  EXPECT_EQ(mergeFiles(), 0);
  emulator->AwaitEarlierConnections();
  EXPECT_TRUE(ReadStateLog(statePath).empty());
  bool wellFormed = false;
  const std::vector<std::string> lines = SplitRecordFile(ReadFile(recordPath), wellFormed);
  EXPECT_TRUE(wellFormed);
  EXPECT_TRUE(InTimeOrder(lines));
  // Duplicates are allowed (a kill between the replacement and the clearing
  // brings the same log twice); a missing line is not.
  std::vector<std::string> required = originalLines;
  required.insert(required.end(), generated.begin(), generated.end());
  const std::vector<std::string> have = Sorted(lines);
  required = Sorted(required);
  EXPECT_TRUE(std::includes(have.begin(), have.end(), required.begin(), required.end()))
      << have.size() << " lines for " << required.size() << " required";
}

}  // namespace
}  // namespace miravel::e2e
