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
#include "tests/support/TimeLimits.h"
#include "transfer/TransferRun.h"

namespace miravel::e2e {
namespace {

using Clock = std::chrono::steady_clock;
using test::EmulatorProcess;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

constexpr int kTerminals = 2;
constexpr int kLogRecords = 10000;  // per terminal
constexpr int kOldLines = 4000;
// With the delete option on; half as many with it off. The sanitized build
// runs every attempt several times slower: fewer kills there still reach
// every step of the run, the full count runs in the plain build.
constexpr int kKills = test::kTimeLimitScale > 1 ? 20 : 50;

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> LinesOf(const std::vector<wire::LogRecord>& log) {
  std::vector<std::string> lines;
  for (const wire::LogRecord& record : log) lines.push_back(ExpectedLine(record));
  return lines;
}

// What an interrupted run may leave: the old record file, or the old lines
// plus every record of some of the logs, in time order; a log is cleared
// only when its records are in the file, and then whole. Nothing in between.
// Sets replacedButKept when a replaced file still has a log behind it on its
// terminal: the moment that used to make the next run merge it twice.
testing::AssertionResult Check(const std::string& before,
                               const std::vector<std::vector<wire::LogRecord>>& logs,
                               const std::string& after,
                               const std::vector<std::vector<wire::LogRecord>>& logsAfter,
                               bool& replacedButKept) {
  bool wellFormed = false;
  const std::vector<std::string> lines = SplitRecordFile(after, wellFormed);
  const std::vector<std::string> have = Sorted(lines);
  if (!after.empty() && !wellFormed) return testing::AssertionFailure() << "a torn line";
  if (!InTimeOrder(lines)) return testing::AssertionFailure() << "lines out of time order";
  std::vector<std::string> expected = SplitRecordFile(before, wellFormed);
  replacedButKept = false;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    const std::vector<std::string> logLines = LinesOf(logs[i]);
    const std::vector<std::string> want = Sorted(logLines);
    const bool inFile = after != before && !logLines.empty() &&
                        std::includes(have.begin(), have.end(), want.begin(), want.end());
    if (inFile) expected.insert(expected.end(), logLines.begin(), logLines.end());
    if (logsAfter[i] == logs[i]) {
      replacedButKept |= inFile;
    } else if (!logsAfter[i].empty() || !inFile) {
      return testing::AssertionFailure() << "log " << i << " was changed without its records";
    }
  }
  if (Sorted(lines) != Sorted(expected)) {
    return testing::AssertionFailure()
           << "the record file has " << lines.size() << " lines; the old file and the logs make "
           << expected.size();
  }
  return testing::AssertionSuccess();
}

// Two terminals on the emulator, over a record file of some thousand lines.
// Each attempt starts miravel-aktar and kills it after a random delay drawn
// over a whole run (a run that ends first counts as finished), checks what
// the kill left, then runs miravel-aktar once more to its end: the record
// file and each terminal's day's backup must then hold every record the
// terminals ever had exactly once, and with the delete option on the logs
// must be empty. Each attempt meets full logs (with the option off, a log
// refilled with other records, as another program would leave it).
class TransferKillTest : public ::testing::TestWithParam<bool> {};

TEST_P(TransferKillTest, EveryRecordLandsExactlyOnceWhereverARunIsKilled) {
  const bool clearLogs = GetParam();
  const int killsWanted = clearLogs ? kKills : kKills / 2;
  TempFolder folder;
  std::filesystem::create_directory(folder / "yedekler");
  const std::string recordPath = folder / "tr500.txt";
  const auto statePath = [&](int i) { return folder / ("terminal" + std::to_string(i) + ".txt"); };
  const std::vector<std::string> oldLines = MakeRecordLines(kOldLines, 7);
  std::vector<std::string> everything;
  std::vector<std::vector<std::string>> backedUp(kTerminals);

  std::uint32_t batchSeed = 100;
  std::vector<std::unique_ptr<EmulatorProcess>> emulators(kTerminals);
  // Each attempt starts from the same old record file, with fresh logs.
  const auto startWithFreshLogs = [&] {
    WriteFile(recordPath, JoinLines(oldLines));
    everything = oldLines;
    std::vector<TerminalRow> rows;
    for (int i = 0; i < kTerminals; ++i) {
      emulators[i].reset();
      const std::vector<wire::LogRecord> batch = MakeLog(kLogRecords, batchSeed++);
      for (const std::string& line : LinesOf(batch)) {
        everything.push_back(line);
        backedUp[i].push_back(line);
      }
      WriteStateFile(statePath(i), batch);
      emulators[i] = std::make_unique<EmulatorProcess>(
          std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", statePath(i)});
      rows.push_back(EthernetRow("Kapı " + std::to_string(i + 1), emulators[i]->Port()));
    }
    WriteSettings(folder.Path(), recordPath, clearLogs, rows);
  };
  const auto readLogs = [&] {
    std::vector<std::vector<wire::LogRecord>> logs;
    for (int i = 0; i < kTerminals; ++i) {
      emulators[i]->AwaitEarlierConnections();
      logs.push_back(ReadStateLog(statePath(i)));
    }
    return logs;
  };

  // How long one whole run takes here; the first attempt measures it.
  Clock::duration runTime = std::chrono::seconds(1);
  std::mt19937 random(20261208);
  std::uniform_real_distribution<double> anyMoment(0.0, 1.1);
  int kills = 0;
  int finished = 0;
  int replacedButKept = 0;
  for (int attempt = 1; kills < killsWanted; ++attempt) {
    ASSERT_LE(attempt, 3 * killsWanted) << "too few runs could be killed in time";
    startWithFreshLogs();
    const std::string before = ReadFile(recordPath);
    const std::vector<std::vector<wire::LogRecord>> logs = readLogs();
    // A third of the kills aim at the writes of the delivery ledger: a
    // moment after one of its scratch copies appears, around the backups,
    // the replacement of the record file and the clearing of the logs.
    KillMoment moment;
    const bool aimed = attempt > 1 && random() % 3 == 0;
    if (aimed) {
      moment = {std::chrono::microseconds(random() % 3000), folder.Path(), ".tr500.txt.teslim."};
    } else {
      moment.delay = std::chrono::duration_cast<std::chrono::microseconds>(
          attempt == 1 ? Clock::duration(std::chrono::seconds(60)) : runTime * anyMoment(random));
    }
    const auto start = Clock::now();
    std::string stderrText;
    const int status = RunUntilKilled(AktarPath(), {"--folder", folder.Path()}, folder.Path(),
                                      moment, &stderrText);
    const bool endedByItself = !WIFSIGNALED(status);
    if (endedByItself) {
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << "attempt " << attempt << ": " << stderrText;
      ++finished;
      if (!aimed) runTime = Clock::now() - start;
    } else {
      ++kills;
    }
    bool kept = false;
    ASSERT_TRUE(Check(before, logs, ReadFile(recordPath), readLogs(), kept))
        << "attempt " << attempt << ", " << (endedByItself ? "finished" : "killed")
        << (aimed ? " aimed" : "") << " after " << moment.delay.count() << " µs";
    replacedButKept += kept;

    // The next complete run brings what is missing, and only that.
    const AktarResult rerun = RunAktar(folder.Path());
    ASSERT_EQ(rerun.exitCode, 0) << rerun.err;
    bool wellFormed = false;
    const std::vector<std::string> lines = SplitRecordFile(ReadFile(recordPath), wellFormed);
    ASSERT_TRUE(wellFormed && InTimeOrder(lines)) << "attempt " << attempt;
    ASSERT_EQ(Sorted(lines), Sorted(everything))
        << "attempt " << attempt << ": " << lines.size() << " lines for " << everything.size()
        << " records, " << (aimed ? "aimed, " : "") << moment.delay.count() << " µs";
    if (clearLogs) {
      for (const auto& log : readLogs()) ASSERT_TRUE(log.empty()) << "attempt " << attempt;
    }
    // Each backup holds the earlier attempts' records (checked then) and
    // behind them this attempt's, each once.
    for (int i = 0; i < kTerminals; ++i) {
      const std::string backup =
          folder / ("yedekler/" + RecordFileMerger::BackupName(TodayOnThisComputer(), i + 1));
      const std::vector<std::string> held = SplitRecordFile(ReadFile(backup), wellFormed);
      ASSERT_EQ(held.size(), backedUp[i].size()) << "backup " << i + 1 << ", attempt " << attempt;
      const auto thisAttempt = static_cast<std::ptrdiff_t>(kLogRecords);
      ASSERT_EQ(Sorted({held.end() - thisAttempt, held.end()}),
                Sorted({backedUp[i].end() - thisAttempt, backedUp[i].end()}))
          << "backup " << i + 1 << ", attempt " << attempt;
    }
    EXPECT_FALSE(test::MergeFileLeft(recordPath));
  }
  std::cout << kills << " kills, " << finished << " finished runs; " << replacedButKept
            << " kills fell after the replacement and before a clear (a whole run took "
            << std::chrono::duration_cast<std::chrono::milliseconds>(runTime).count() << " ms)\n";
}

INSTANTIATE_TEST_SUITE_P(DeleteOption, TransferKillTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Sil" : "Birak"; });

}  // namespace
}  // namespace miravel::e2e
