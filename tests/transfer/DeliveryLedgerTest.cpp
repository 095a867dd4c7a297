#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/AppError.h"
#include "tests/support/TempFolder.h"
#include "transfer/DeliveryLedger.h"

namespace miravel {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

std::vector<TerminalRecord> Log(int first, int count) {
  std::vector<TerminalRecord> log;
  for (int i = first; i < first + count; ++i)
    log.push_back({i, i % 2, 2026, 12, 1 + i / 600, 8, i % 60});
  return log;
}

LogView View(const std::vector<TerminalRecord>& log) {
  return [&log](std::size_t i) { return log[i]; };
}

std::size_t Start(const std::vector<TerminalRecord>& delivered,
                  const std::vector<TerminalRecord>& now) {
  return NewRecordsStart(EntryOfLog("t", delivered.size(), View(delivered)), now.size(), View(now));
}

std::vector<TerminalRecord> Join(std::vector<TerminalRecord> a,
                                 const std::vector<TerminalRecord>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<TerminalRecord> From(const std::vector<TerminalRecord>& log, std::size_t first) {
  return {log.begin() + static_cast<std::ptrdiff_t>(first), log.end()};
}

// Where the new records of a log begin, for every way a terminal's log may
// have changed since it was delivered.
TEST(DeliveryLedgerTest, NewRecordsBeginBehindWhatWasDeliveredWhereverItNowStands) {
  const std::vector<TerminalRecord> delivered = Log(0, 100);
  const std::vector<TerminalRecord> grown = Join(delivered, Log(100, 5));
  EXPECT_EQ(Start(delivered, delivered), 100u);
  EXPECT_EQ(Start(delivered, grown), 100u);
  // A full terminal dropped its oldest records, some of the last delivered too.
  EXPECT_EQ(Start(delivered, From(grown, 30)), 70u);
  EXPECT_EQ(Start(delivered, From(grown, 95)), 5u);
  // Cleared (or reset) and refilled: every record is new; so is a log whose
  // one record equal to the last delivered is no proof of anything.
  EXPECT_EQ(Start(delivered, Log(100, 5)), 0u);
  EXPECT_EQ(Start(delivered, Join({delivered.back()}, Log(100, 5))), 0u);
  // Other punches that differ from the delivered ones in any one value are
  // not the delivered ones.
  for (int TerminalRecord::*field :
       {&TerminalRecord::enrollNumber, &TerminalRecord::inOutState, &TerminalRecord::year,
        &TerminalRecord::month, &TerminalRecord::day, &TerminalRecord::hour,
        &TerminalRecord::minute}) {
    std::vector<TerminalRecord> other = grown;
    for (TerminalRecord& record : other) record.*field += 1;
    EXPECT_EQ(Start(delivered, other), 0u);
  }
}

class LedgerFileTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteFile(recordPath, "old\r\n"); }

  DeliveryLedger Loaded() {
    DeliveryLedger ledger(recordPath);
    ledger.Load();
    return ledger;
  }
  // A run stopped after writing its pending entries: the merge file and a
  // backup with the run's lines still there.
  void StopAfterPending(bool replaced) {
    DeliveryLedger ledger = Loaded();
    WriteFile(backup, "earlier\r\n");
    WriteFile(merge, "old\r\nnew 1\r\nnew 2\r\n");
    ledger.BeginReplacement(merge, {{backup, 9}}, {"new 1", "new 2"}, {entry});
    WriteFile(backup, "earlier\r\nnew 1\r\nnew 2\r\n");
    if (replaced) std::filesystem::rename(merge, recordPath);
  }

  TempFolder folder;
  const std::string recordPath = folder / "tr500.txt";
  const std::string merge = folder / "tr500.txt.77.gcc";
  const std::string backup = folder / "20261207.001";
  const std::vector<TerminalRecord> log = Log(0, 20);
  const LedgerEntry entry = EntryOfLog("ag 127.0.0.1:4370 makine 1", log.size(), View(log));
};

TEST_F(LedgerFileTest, ACommittedEntryStandsWhateverHappensToTheRecordFile) {
  DeliveryLedger ledger = Loaded();
  ledger.BeginReplacement(merge, {}, {"new 1"}, {entry});
  EXPECT_EQ(ledger.EntryOf(entry.terminal), nullptr);  // not before the commit
  ledger.Commit();
  WriteFile(recordPath, "");  // payroll took the file and emptied it
  const DeliveryLedger again = Loaded();
  ASSERT_NE(again.EntryOf(entry.terminal), nullptr);
  EXPECT_EQ(*again.EntryOf(entry.terminal), entry);
  EXPECT_TRUE(again.Problem().empty());
}

// A stop between the pending entries and the commit is decided by content:
// the lines in the record file and the merge file gone mean replaced;
// otherwise the entries go and the backup loses the run's lines.
TEST_F(LedgerFileTest, AStoppedRunIsSettledByWhatTheRecordFileHolds) {
  StopAfterPending(true);
  EXPECT_NE(Loaded().EntryOf(entry.terminal), nullptr);
  EXPECT_EQ(ReadFile(backup), "earlier\r\nnew 1\r\nnew 2\r\n");

  std::filesystem::remove(folder / "tr500.txt.teslim");
  std::filesystem::remove(folder / "tr500.txt.teslim.onceki");
  WriteFile(recordPath, "old\r\n");
  StopAfterPending(false);
  EXPECT_EQ(Loaded().EntryOf(entry.terminal), nullptr);
  EXPECT_EQ(ReadFile(backup), "earlier\r\n");

  // Replaced, but one of the lines is gone again: in doubt, not replaced.
  std::filesystem::remove(merge);
  StopAfterPending(true);
  WriteFile(recordPath, "old\r\nnew 2\r\n");
  EXPECT_EQ(Loaded().EntryOf(entry.terminal), nullptr);
  EXPECT_EQ(ReadFile(backup), "earlier\r\n");
}

TEST_F(LedgerFileTest, ADamagedLedgerIsReportedAndItsPreviousGenerationUsed) {
  const LedgerEntry later = EntryOfLog(entry.terminal, 10, View(Log(50, 10)));
  {
    DeliveryLedger ledger = Loaded();
    ledger.Update({entry});
    ledger.Update({later});
  }
  const std::string path = folder / "tr500.txt.teslim";
  const std::string good = ReadFile(path);
  for (const std::string& damage : {good.substr(0, good.size() / 2), std::string("çöp\n"),
                                    good.substr(0, 40) + "x" + good.substr(41)}) {
    WriteFile(path, damage);
    const DeliveryLedger ledger = Loaded();
    EXPECT_NE(ledger.Problem().find(path), std::string::npos) << ledger.Problem();
    ASSERT_NE(ledger.EntryOf(entry.terminal), nullptr);
    EXPECT_EQ(*ledger.EntryOf(entry.terminal), entry);  // the generation before the last
    WriteFile(path, good);
  }
  std::filesystem::remove(path);
  EXPECT_NE(Loaded().Problem().find("silinmiş"), std::string::npos);

  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  try {
    Loaded();
    ADD_FAILURE() << "a folder in the ledger's place was read";
  } catch (const AppError& error) {
    EXPECT_NE(std::string(error.what()).find("kaldırın"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace miravel
