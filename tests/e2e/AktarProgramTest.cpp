// miravel-aktar as the office runs it: real emulated terminals, real files,
// exit statuses and the lines it prints.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "emulator/TerminalState.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"

namespace miravel::e2e {
namespace {

using test::EmulatorProcess;
using test::FileExists;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> Lines(const std::string& bytes) {
  bool wellFormed = false;
  std::vector<std::string> lines = SplitRecordFile(bytes, wellFormed);
  EXPECT_TRUE(wellFormed);
  EXPECT_TRUE(InTimeOrder(lines));
  return lines;
}

class AktarProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(folder / "yedekler"); }

  std::vector<std::string> Backups() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "yedekler")) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  // A run against a terminal with a clear fault, then (the emulator
  // stopped) `between` changes its log, adding MakeLog(300, 73) at least,
  // then a complete run. Every record the
  // terminal ever held must then be in the record file exactly once.
  void ClearFaultThenCompleteRun(const std::string& fault, int firstExit,
                                 const std::string& firstOut, bool logKept,
                                 const std::function<void(std::vector<wire::LogRecord>&)>& between,
                                 const std::string& secondOut) {
    // The window's order (one terminal after another) and the parallel run.
    for (const std::string parallel : {"1", "8"}) {
      SCOPED_TRACE("--paralel " + parallel);
      ClearFaultThenCompleteRun(fault, firstExit, firstOut, logKept, between, secondOut,
                                {"--paralel", parallel});
    }
  }
  void ClearFaultThenCompleteRun(const std::string& fault, int firstExit,
                                 const std::string& firstOut, bool logKept,
                                 const std::function<void(std::vector<wire::LogRecord>&)>& between,
                                 const std::string& secondOut,
                                 const std::vector<std::string>& mode) {
    const std::vector<std::string> oldLines = MakeRecordLines(500, 71);
    WriteFile(recordPath, JoinLines(oldLines));
    const std::vector<wire::LogRecord> log = MakeLog(2000, 72);
    WriteStateFile(statePath, log);
    std::vector<std::string> expected = oldLines;
    for (const wire::LogRecord& record : log) expected.push_back(ExpectedLine(record));
    int port = 0;  // the terminal keeps its address
    {
      EmulatorProcess faulty({"--listen", "127.0.0.1:0", "--state", statePath, fault});
      port = faulty.Port();
      WriteSettings(folder.Path(), recordPath, true, {EthernetRow("Kapı", faulty.Port())});
      const AktarResult first = RunAktar(folder.Path(), mode);
      EXPECT_EQ(first.exitCode, firstExit) << first.err;
      EXPECT_EQ(first.out, firstOut);
      EXPECT_EQ(Sorted(Lines(ReadFile(recordPath))), Sorted(expected));
    }
    std::vector<wire::LogRecord> held = ReadStateLog(statePath);
    EXPECT_EQ(held.size(), logKept ? log.size() : 0u);
    between(held);
    WriteStateFile(statePath, held);
    for (const wire::LogRecord& record : MakeLog(300, 73)) expected.push_back(ExpectedLine(record));
    EmulatorProcess healthy(
        {"--listen", "127.0.0.1:" + std::to_string(port), "--state", statePath});
    const AktarResult second = RunAktar(folder.Path(), mode);
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, secondOut);
    EXPECT_EQ(Sorted(Lines(ReadFile(recordPath))), Sorted(expected));
    healthy.Stop();
    EXPECT_TRUE(ReadStateLog(statePath).empty());
  }

  TempFolder folder;
  const std::string recordPath = folder / "tr500.txt";
  const std::string statePath = folder / "terminal.txt";
};

// Fingers placed on the terminal after a run.
void PunchMore(std::vector<wire::LogRecord>& log) {
  for (const wire::LogRecord& record : MakeLog(300, 73)) log.push_back(record);
}

// The records stay on a terminal that refuses to clear them; the next run
// takes only the records behind them, and clears them all.
TEST_F(AktarProgramTest, RecordsOfARefusedClearAreNotMergedAgain) {
  ClearFaultThenCompleteRun(
      "--refuse-clear", 1,
      "1 Kapı: aktarıldı, 2000 kayıt; cihaz kayıtları silmedi, kayıtlar cihazda duruyor\n", true,
      PunchMore, "1 Kapı: aktarıldı, 300 kayıt (2000 kayıt önceki bir aktarımda alınmıştı)\n");
}

// The terminal cleared its log but the reply was lost: the run stops, and
// the next one merges what the terminal holds now, all of it.
TEST_F(AktarProgramTest, ALostClearReplyLosesNoRecordAndDoublesNone) {
  ClearFaultThenCompleteRun("--drop-after-clear", 2, "", false, PunchMore,
                            "1 Kapı: aktarıldı, 300 kayıt\n");
}

// Another program cleared the log after a refused clear: the log no longer
// starts with the records the record file holds, so all of it is merged.
TEST_F(AktarProgramTest, ALogClearedBySomeoneElseIsMergedWhole) {
  ClearFaultThenCompleteRun(
      "--refuse-clear", 1,
      "1 Kapı: aktarıldı, 2000 kayıt; cihaz kayıtları silmedi, kayıtlar cihazda duruyor\n", true,
      [](std::vector<wire::LogRecord>& log) {
        log.clear();
        PunchMore(log);
      },
      "1 Kapı: aktarıldı, 300 kayıt\n");
}

// An office that keeps its terminals as the archive: run after run brings
// only the new punches, also once the full terminal drops its oldest
// records, and a terminal listed a second time under another spelling of its
// address is read once.
TEST_F(AktarProgramTest, WithTheDeleteOptionOffEveryRunBringsOnlyTheNewPunches) {
  std::vector<wire::LogRecord> log = MakeLog(500, 81);
  WriteStateFile(statePath, log);
  std::vector<std::string> expected;
  for (const wire::LogRecord& record : log) expected.push_back(ExpectedLine(record));
  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    // The third run meets a terminal that holds 510 records at most.
    EmulatorProcess terminal(
        run < 3 ? std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", statePath}
                : std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", statePath,
                                           "--capacity", "510"});
    TerminalRow respelled = EthernetRow("Aynı Kapı", terminal.Port());
    respelled.address = "127.000.000.001";
    WriteSettings(folder.Path(), recordPath, false,
                  {EthernetRow("Kapı", terminal.Port()), respelled});
    const AktarResult result = RunAktar(folder.Path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Sorted(Lines(ReadFile(recordPath))), Sorted(expected));
    if (run == 2) {
      EXPECT_EQ(result.out,
                "1 Kapı: aktarıldı, 0 kayıt (500 kayıt önceki bir aktarımda alınmıştı)\n"
                "2 Aynı Kapı: aktarıldı, 0 kayıt\n");
    }
    terminal.Stop();
    if (run == 2) {  // punches before the third run
      log = ReadStateLog(statePath);
      for (const wire::LogRecord& record : MakeLog(20, 82)) {
        log.push_back(record);
        expected.push_back(ExpectedLine(record));
      }
      WriteStateFile(statePath, log);
    }
  }
  EXPECT_EQ(ReadStateLog(statePath).size(), 510u);
}

// After a refused clear the records stay on the terminal; whatever then
// happens to the record file (payroll empties it, a line is added, it is
// only touched), the next run brings only the new punches.
TEST_F(AktarProgramTest, RecordsDeliveredStayDeliveredWhateverHappensToTheRecordFile) {
  const std::vector<std::function<void()>> changes = {
      [&] { WriteFile(recordPath, ""); },
      [&] { WriteFile(recordPath, ReadFile(recordPath) + "000,00001,1 2030/01/01 08:00:00\r\n"); },
      [&] {
        std::filesystem::last_write_time(recordPath, std::filesystem::file_time_type::clock::now());
      }};
  for (std::size_t change = 0; change < changes.size(); ++change) {
    SCOPED_TRACE("change " + std::to_string(change));
    std::filesystem::remove_all(folder / "tr500.txt.teslim");
    std::filesystem::remove_all(folder / "tr500.txt.teslim.onceki");
    WriteFile(recordPath, "");
    const std::vector<wire::LogRecord> log = MakeLog(2000, 91);
    WriteStateFile(statePath, log);
    {
      EmulatorProcess refusing({"--listen", "127.0.0.1:0", "--state", statePath, "--refuse-clear"});
      WriteSettings(folder.Path(), recordPath, true, {EthernetRow("Kapı", refusing.Port())});
      EXPECT_EQ(RunAktar(folder.Path()).exitCode, 1);
    }
    changes[change]();
    const std::string changed = ReadFile(recordPath);
    std::vector<wire::LogRecord> held = ReadStateLog(statePath);
    PunchMore(held);
    WriteStateFile(statePath, held);
    EmulatorProcess healthy({"--listen", "127.0.0.1:0", "--state", statePath});
    WriteSettings(folder.Path(), recordPath, true, {EthernetRow("Kapı", healthy.Port())});
    const AktarResult second = RunAktar(folder.Path());
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out,
              "1 Kapı: aktarıldı, 300 kayıt (2000 kayıt önceki bir aktarımda alınmıştı)\n");
    std::vector<std::string> expected = Lines(changed);
    for (const wire::LogRecord& record : MakeLog(300, 73)) expected.push_back(ExpectedLine(record));
    EXPECT_EQ(Sorted(Lines(ReadFile(recordPath))), Sorted(expected));
  }
}

// A ledger that cannot be read is named, the run merges rather than loses and
// says how many records may have come twice; a folder in its place stops the
// run saying what to do.
TEST_F(AktarProgramTest, ADamagedLedgerIsNeverSilent) {
  const std::vector<wire::LogRecord> log = MakeLog(400, 95);
  WriteStateFile(statePath, log);
  EmulatorProcess terminal({"--listen", "127.0.0.1:0", "--state", statePath});
  WriteSettings(folder.Path(), recordPath, false, {EthernetRow("Kapı", terminal.Port())});
  ASSERT_EQ(RunAktar(folder.Path()).exitCode, 0);
  const std::string ledger = folder / "tr500.txt.teslim";
  for (const std::string previous : {"kept", "damaged"}) {
    SCOPED_TRACE(previous);
    const std::string bytes = ReadFile(ledger);
    WriteFile(ledger, bytes.substr(0, bytes.size() / 2));
    if (previous == "damaged") WriteFile(ledger + ".onceki", "?");
    const std::string before = ReadFile(recordPath);
    const AktarResult result = RunAktar(folder.Path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(ledger), std::string::npos) << result.err;
    const std::size_t twice = previous == "kept" ? 0 : 400;
    EXPECT_NE(result.err.find(std::to_string(twice) + " kayıttan"), std::string::npos)
        << result.err;
    EXPECT_EQ(Lines(ReadFile(recordPath)).size(), Lines(before).size() + twice);
    EXPECT_EQ(RunAktar(folder.Path()).exitCode, 0);  // said once; the next run is sound again
  }
  std::filesystem::remove(ledger);
  std::filesystem::create_directory(ledger);
  const AktarResult stopped = RunAktar(folder.Path());
  EXPECT_EQ(stopped.exitCode, 2);
  EXPECT_NE(stopped.err.find(ledger), std::string::npos) << stopped.err;
  EXPECT_NE(stopped.err.find("kaldırın"), std::string::npos) << stopped.err;
}

// A link that breaks in the middle of the log stops the run; the office's
// files stay as they were and the terminal keeps its records for the next run.
TEST_F(AktarProgramTest, BrokenLinkStopsWithFilesUntouchedAndTheNextRunBringsEverything) {
  const std::vector<std::string> oldLines = MakeRecordLines(3000, 21);
  const std::string oldBytes = JoinLines(oldLines);
  WriteFile(recordPath, oldBytes);
  const std::vector<wire::LogRecord> log = MakeLog(10000, 22);
  WriteStateFile(statePath, log);
  {
    // The second chunk of the log is cut short.
    EmulatorProcess faulty(
        {"--listen", "127.0.0.1:0", "--state", statePath, "--drop-after-records", "6000"});
    WriteSettings(folder.Path(), recordPath, true, {EthernetRow("Ana Kapı", faulty.Port())});
    const AktarResult result = RunAktar(folder.Path());
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err, "");
    EXPECT_EQ(ReadFile(recordPath), oldBytes);
    EXPECT_FALSE(test::MergeFileLeft(recordPath));
    EXPECT_EQ(ReadStateLog(statePath), log);
  }

  EmulatorProcess healthy({"--listen", "127.0.0.1:0", "--state", statePath});
  WriteSettings(folder.Path(), recordPath, true, {EthernetRow("Ana Kapı", healthy.Port())});
  const AktarResult result = RunAktar(folder.Path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "1 Ana Kapı: aktarıldı, 10000 kayıt\n");
  EXPECT_EQ(result.err, "");
  std::vector<std::string> expected = oldLines;
  for (const wire::LogRecord& record : log) expected.push_back(ExpectedLine(record));
  EXPECT_EQ(Sorted(Lines(ReadFile(recordPath))), Sorted(expected));
  healthy.AwaitEarlierConnections();
  EXPECT_TRUE(ReadStateLog(statePath).empty());
}

// Row 1 is transferred, row 2 is not chosen (and its terminal never hears
// from us), row 3 does not answer: exit status 1, one line per row, no error.
TEST_F(AktarProgramTest, UnchosenAndUnreachableRowsAreReportedAndTheOthersTransferred) {
  const std::vector<std::string> oldLines = MakeRecordLines(2000, 31);
  WriteFile(recordPath, JoinLines(oldLines));
  const std::vector<wire::LogRecord> firstLog = MakeLog(500, 32);
  const std::vector<wire::LogRecord> secondLog = MakeLog(300, 33);
  WriteStateFile(statePath, firstLog);
  WriteStateFile(folder / "second.txt", secondLog);
  EmulatorProcess first({"--listen", "127.0.0.1:0", "--state", statePath});
  EmulatorProcess second({"--listen", "127.0.0.1:0", "--state", folder / "second.txt"});
  const DeadPort dead;
  // The delete option is off: the transferred log stays on the terminal.
  WriteSettings(folder.Path(), recordPath, false,
                {EthernetRow("Giriş Kapısı", first.Port()), EthernetRow("Yemekhane", second.Port()),
                 EthernetRow("Depo", dead.Port())});

  // A row number beyond the list stops before any terminal is touched.
  const std::string oldBytes = ReadFile(recordPath);
  const AktarResult wrongRow = RunAktar(folder.Path(), {"--only", "1,4"});
  EXPECT_EQ(wrongRow.exitCode, 2);
  EXPECT_NE(wrongRow.err, "");
  EXPECT_EQ(wrongRow.out, "");
  EXPECT_EQ(ReadFile(recordPath), oldBytes);
  EXPECT_TRUE(Backups().empty());

  const AktarResult result = RunAktar(folder.Path(), {"--only", "1,3"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out,
            "1 Giriş Kapısı: aktarıldı, 500 kayıt\n"
            "2 Yemekhane: seçilmedi\n"
            "3 Depo: bağlantı kurulamadı\n");
  EXPECT_EQ(result.err, "");

  std::vector<std::string> firstLines;
  for (const wire::LogRecord& record : firstLog) firstLines.push_back(ExpectedLine(record));
  std::vector<std::string> expected = oldLines;
  expected.insert(expected.end(), firstLines.begin(), firstLines.end());
  EXPECT_EQ(Sorted(Lines(ReadFile(recordPath))), Sorted(expected));
  EXPECT_EQ(ReadStateLog(statePath), firstLog);
  EXPECT_EQ(ReadStateLog(folder / "second.txt"), secondLog);
  // Only the transferred row has a backup for today, in delivery order.
  const std::vector<std::string> backups = Backups();
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_TRUE(backups[0].ends_with(".001")) << backups[0];
  EXPECT_EQ(ReadFile(folder / "yedekler/" + backups[0]), JoinLines(firstLines));
}

// A record with an impossible date on the middle one of three terminals is
// set aside, named with its terminal; that terminal's other records and the
// other terminals transfer, and every log is cleared.
TEST_F(AktarProgramTest, AnImpossibleRecordIsSetAsideAndBlocksNoTerminal) {
  const std::vector<std::string> oldLines = MakeRecordLines(1000, 51);
  WriteFile(recordPath, JoinLines(oldLines));
  std::vector<std::vector<wire::LogRecord>> logs = {MakeLog(700, 52), MakeLog(700, 53),
                                                    MakeLog(700, 54)};
  logs[1][400].month = 13;
  std::vector<std::unique_ptr<EmulatorProcess>> terminals;
  std::vector<TerminalRow> rows;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    const std::string state = folder / ("terminal" + std::to_string(i) + ".txt");
    WriteStateFile(state, logs[i]);
    terminals.push_back(std::make_unique<EmulatorProcess>(
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", state}));
    rows.push_back(
        EthernetRow(i == 1 ? "Orta" : "Kapı" + std::to_string(i + 1), terminals.back()->Port()));
  }
  WriteSettings(folder.Path(), recordPath, true, rows);

  const AktarResult result = RunAktar(folder.Path());
  const std::string aside = folder / "ayrilan-kayitlar.txt";
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_EQ(result.out,
            "1 Kapı1: aktarıldı, 700 kayıt\n"
            "2 Orta: aktarıldı, 699 kayıt; 1 kaydın tarihi ya da saati geçersiz, "
            "aktarılmadı, şuraya ayrıldı: " +
                aside +
                "\n"
                "3 Kapı3: aktarıldı, 700 kayıt\n");
  std::vector<std::string> expected = oldLines;
  for (const auto& log : logs) {
    for (const wire::LogRecord& record : log) {
      if (record.month != 13) expected.push_back(ExpectedLine(record));
    }
  }
  EXPECT_EQ(Sorted(Lines(ReadFile(recordPath))), Sorted(expected));
  const std::string held = ReadFile(aside);
  EXPECT_EQ(std::count(held.begin(), held.end(), '\n'), 1);
  EXPECT_NE(held.find("\t2\tOrta\t"), std::string::npos) << held;
  EXPECT_NE(held.find("\t13\t"), std::string::npos) << held;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    terminals[i]->Stop();
    EXPECT_TRUE(ReadStateLog(folder / ("terminal" + std::to_string(i) + ".txt")).empty());
  }
}

// A terminal on a serial line (a pseudo terminal mapped through seriportlar)
// that only records exits: every line carries 0 whatever the terminal's state,
// and a missing record file is created with just the new lines.
TEST_F(AktarProgramTest, SerialAlwaysExitTerminalFillsAMissingRecordFileWithExits) {
  const std::vector<wire::LogRecord> log = MakeLog(400, 41);
  WriteStateFile(statePath, log);
  EmulatorProcess serial({"--pty", folder / "cihaz1", "--state", statePath});
  ASSERT_NE(serial.Link(), "");
  WriteSettings(folder.Path(), recordPath, true,
                {SerialRow("Arka Kapı", "Com1", "Her Zaman Çıkış")}, {serial.Link()});

  const AktarResult result = RunAktar(folder.Path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "1 Arka Kapı: aktarıldı, 400 kayıt\n");
  std::vector<std::string> expected;
  for (const wire::LogRecord& record : log) expected.push_back(ExpectedLine(record, 0));
  EXPECT_EQ(ReadFile(recordPath), JoinLines(expected));
  serial.Stop();
  EXPECT_TRUE(ReadStateLog(statePath).empty());
}

// A scheduled run and another one meet on one record file, each clearing its
// terminal's log: the second waits for the first, and no record is lost.
TEST_F(AktarProgramTest, TwoRunsIntoOneRecordFileTakeTurnsAndLoseNothing) {
  const std::vector<std::string> oldLines = MakeRecordLines(100000, 41);
  WriteFile(recordPath, JoinLines(oldLines));
  std::vector<std::string> expected = oldLines;
  std::vector<std::unique_ptr<EmulatorProcess>> terminals;
  std::vector<std::string> folders;
  for (int i = 0; i < 2; ++i) {
    const std::string office = folder / ("ofis" + std::to_string(i));
    const std::vector<wire::LogRecord> log = MakeLog(20000, 42 + i);
    for (const wire::LogRecord& record : log) expected.push_back(ExpectedLine(record));
    std::filesystem::create_directories(office + "/yedekler");
    WriteStateFile(office + "/terminal.txt", log);
    terminals.push_back(std::make_unique<EmulatorProcess>(
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", office + "/terminal.txt"}));
    WriteSettings(office + "/", recordPath, true, {EthernetRow("Kapı", terminals.back()->Port())});
    folders.push_back(office + "/");
  }
  ProgramRun first(AktarPath(), {"--folder", folders[0]}, folders[0]);
  ProgramRun second(AktarPath(), {"--folder", folders[1]}, folders[1]);
  for (ProgramRun* run : {&first, &second}) {
    const int status = run->Wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << run->Stderr();
    EXPECT_EQ(run->Stdout(), "1 Kapı: aktarıldı, 20000 kayıt\n");
  }
  for (auto& terminal : terminals) terminal->Stop();
  EXPECT_EQ(Sorted(Lines(ReadFile(recordPath))), Sorted(expected));
  for (const std::string& office : folders)
    EXPECT_TRUE(ReadStateLog(office + "terminal.txt").empty());
  EXPECT_FALSE(test::MergeFileLeft(recordPath));
}

// Staff keep placing fingers while miravel-aktar runs: records that arrive
// between the reading of the log and its clearing stay on the terminal and
// come with the next run. Every record the terminal ever held ends up in the
// record file or still on the terminal; none is lost.
TEST_F(AktarProgramTest, RecordsPunchedDuringATransferComeWithTheNextRun) {
  std::vector<std::string> everything = MakeRecordLines(1000, 61);
  WriteFile(recordPath, JoinLines(everything));
  emulator::TerminalState state;
  for (int enroll = 1; enroll <= 20; ++enroll) state.users[enroll] = {"Personel", "", 0, true};
  state.log = MakeLog(3000, 62);
  emulator::SaveStateFile(statePath, state);
  for (const wire::LogRecord& record : state.log) everything.push_back(ExpectedLine(record));
  // Every reply waits, so that fingers land between the reading and the clearing.
  EmulatorProcess terminal({"--listen", "127.0.0.1:0", "--state", statePath, "--punch-every-ms",
                            "40", "--delay-ms", "250"});
  WriteSettings(folder.Path(), recordPath, true, {EthernetRow("Ana Kapı", terminal.Port())});
  const auto takePunches = [&] {
    for (std::string line; !(line = terminal.ReadLine(std::chrono::milliseconds(5))).empty();) {
      ASSERT_TRUE(line.starts_with("punched ")) << line;
      everything.push_back(
          ExpectedLine(emulator::ParseState("[log]\n" + line.substr(8), "").log[0]));
    }
  };

  const AktarResult first = RunAktar(folder.Path());
  ASSERT_EQ(first.exitCode, 0) << first.err;
  takePunches();
  const std::vector<std::string> heldBeforeSecondRun = Sorted(everything);
  int takenFirst = 0;
  ASSERT_EQ(std::sscanf(first.out.c_str(), "1 Ana Kapı: aktarıldı, %d kayıt", &takenFirst), 1);
  ASSERT_GT(everything.size(), 1000u + takenFirst + 5) << "fingers placed after the reading";

  const AktarResult second = RunAktar(folder.Path());
  ASSERT_EQ(second.exitCode, 0) << second.err;
  terminal.Stop();
  takePunches();
  std::vector<std::string> lines = Sorted(Lines(ReadFile(recordPath)));
  EXPECT_TRUE(std::includes(lines.begin(), lines.end(), heldBeforeSecondRun.begin(),
                            heldBeforeSecondRun.end()));
  for (const wire::LogRecord& record : ReadStateLog(statePath)) {
    lines.push_back(ExpectedLine(record));
  }
  EXPECT_EQ(Sorted(lines), Sorted(everything));
}

// What one run over an office leaves behind.
struct OfficeResult {
  std::string recordFile;
  std::map<std::string, std::string> backups;
  std::string out;
  int exitCode = -1;
};

// One office, built afresh under `name`: an old record file, and rows of
// every kind: transferred, unreachable, on a serial line, with fixed in/out
// modes, two rows for one terminal, a terminal that refuses its clear, and a
// terminal that delivers the same minutes as another, out of order, with
// old lines of those minutes already in the file.
OfficeResult RunOffice(const std::string& root, const std::string& name,
                       const std::vector<std::string>& extra) {
  const std::string office = root + "/" + name + "/";
  std::filesystem::create_directories(office + "yedekler");
  const std::vector<wire::LogRecord> gate = MakeLog(1500, 81);
  std::vector<std::string> oldLines = MakeRecordLines(2000, 82);
  for (std::size_t i = 0; i < 100; ++i) oldLines.push_back(ExpectedLine(gate[i * 15], 1));
  std::stable_sort(
      oldLines.begin(), oldLines.end(),
      [](const std::string& a, const std::string& b) { return a.substr(12) < b.substr(12); });
  WriteFile(office + "tr500.txt", JoinLines(oldLines));
  std::vector<wire::LogRecord> shuffled = gate;
  std::reverse(shuffled.begin() + 200, shuffled.begin() + 400);
  const std::vector<std::vector<wire::LogRecord>> logs = {gate, MakeLog(900, 83), shuffled,
                                                          MakeLog(700, 84), MakeLog(400, 85)};
  std::vector<std::unique_ptr<EmulatorProcess>> terminals;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    const std::string state = office + "t" + std::to_string(i) + ".txt";
    WriteStateFile(state, logs[i]);
    std::vector<std::string> arguments = {"--state", state, "--listen", "127.0.0.1:0"};
    if (i == 3) arguments = {"--state", state, "--pty", office + "com1"};
    if (i == 4) arguments.push_back("--refuse-clear");
    terminals.push_back(std::make_unique<EmulatorProcess>(arguments));
  }
  const DeadPort dead;
  std::vector<TerminalRow> rows = {EthernetRow("Giriş", terminals[0]->Port()),
                                   EthernetRow("Depo", dead.Port()),
                                   EthernetRow("Yemekhane", terminals[1]->Port()),
                                   EthernetRow("Kopya", terminals[2]->Port()),
                                   SerialRow("Arka Kapı", "Com1", "Her Zaman Çıkış"),
                                   EthernetRow("Yine Yemekhane", terminals[1]->Port()),
                                   EthernetRow("Bahçe", terminals[4]->Port())};
  rows[3].inOut = "Her Zaman Giriş";
  WriteSettings(office, office + "tr500.txt", true, rows, {terminals[3]->Link()});
  const AktarResult run = RunAktar(office, extra);
  OfficeResult result{ReadFile(office + "tr500.txt"), {}, run.out, run.exitCode};
  for (const auto& entry : std::filesystem::directory_iterator(office + "yedekler")) {
    result.backups[entry.path().filename().string()] = ReadFile(entry.path().string());
  }
  return result;
}

// The parallel run gives what the run one terminal after another gives, byte
// for byte, records of equal time included.
TEST_F(AktarProgramTest, AParallelRunEqualsARunOneTerminalAfterAnother) {
  const OfficeResult oneByOne = RunOffice(folder.Path(), "sirali", {"--paralel", "1"});
  EXPECT_EQ(oneByOne.exitCode, 1);
  EXPECT_EQ(oneByOne.backups.size(), 6u);
  for (const std::string parallel : {"8", "2"}) {
    const OfficeResult atOnce =
        RunOffice(folder.Path(), "paralel" + parallel, {"--paralel", parallel});
    EXPECT_EQ(atOnce.exitCode, oneByOne.exitCode);
    EXPECT_EQ(atOnce.out, oneByOne.out);
    EXPECT_TRUE(atOnce.recordFile == oneByOne.recordFile) << "record files differ";
    EXPECT_TRUE(atOnce.backups == oneByOne.backups) << "backups differ";
  }
}

// Two rows for one terminal share its link: they are read in turn, so the
// second finds the log the first has taken (and cleared, in one run one
// terminal at a time) and brings nothing twice. The terminal answers slowly:
// a second connection while the first is open would wait past the time a
// hello may take (3 s), and the row would count as unreachable.
TEST_F(AktarProgramTest, RowsOnOneLinkAreReadInTurn) {
  const std::vector<wire::LogRecord> log = MakeLog(500, 91);
  WriteStateFile(statePath, log);
  EmulatorProcess terminal({"--listen", "127.0.0.1:0", "--state", statePath, "--delay-ms", "1100"});
  WriteSettings(folder.Path(), recordPath, true,
                {EthernetRow("Ön", terminal.Port()), EthernetRow("Arka", terminal.Port())});
  const AktarResult result = RunAktar(folder.Path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "1 Ön: aktarıldı, 500 kayıt\n2 Arka: aktarıldı, 0 kayıt\n");
  std::vector<std::string> expected;
  for (const wire::LogRecord& record : log) expected.push_back(ExpectedLine(record));
  EXPECT_EQ(ReadFile(recordPath), JoinLines(expected));
  terminal.Stop();
  EXPECT_TRUE(ReadStateLog(statePath).empty());
}

// A service stop (SIGTERM) in the middle of a run: it ends at its next safe
// point with status 3, nothing merged or cleared and no merge file; the next
// run takes every record once.
TEST_F(AktarProgramTest, SigtermMidRunStopsAtASafePointWithStatusThree) {
  const std::vector<wire::LogRecord> fastLog = MakeLog(300, 93);
  const std::vector<wire::LogRecord> slowLog = MakeLog(200, 94);
  const std::string slowState = folder / "yavas.txt";
  WriteStateFile(statePath, fastLog);
  WriteStateFile(slowState, slowLog);
  EmulatorProcess fast({"--listen", "127.0.0.1:0", "--state", statePath});
  EmulatorProcess slow({"--listen", "127.0.0.1:0", "--state", slowState, "--delay-ms", "700"});
  const std::vector<std::string> old = MakeRecordLines(50, 95);
  WriteFile(recordPath, JoinLines(old));
  WriteSettings(folder.Path(), recordPath, true,
                {EthernetRow("Hızlı", fast.Port()), EthernetRow("Yavaş", slow.Port())});
  {
    ProgramRun run(AktarPath(), {"--folder", folder.Path()}, folder.Path());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(::kill(run.Pid(), SIGTERM), 0);
    const int status = run.Wait(std::chrono::seconds(30));
    ASSERT_TRUE(WIFEXITED(status)) << run.Stderr();
    EXPECT_EQ(WEXITSTATUS(status), 3) << run.Stderr();
    EXPECT_NE(run.Stderr().find("Aktarım durduruldu: hiçbir kayıt aktarılmadı"), std::string::npos)
        << run.Stderr();
    EXPECT_EQ(run.Stdout(), "1 Hızlı: durduruldu, aktarılmadı\n2 Yavaş: durduruldu, aktarılmadı\n");
  }
  EXPECT_EQ(ReadFile(recordPath), JoinLines(old));
  EXPECT_FALSE(test::MergeFileLeft(recordPath));
  EXPECT_FALSE(FileExists(recordPath + ".teslim"));
  EXPECT_TRUE(Backups().empty());
  fast.AwaitEarlierConnections();
  slow.AwaitEarlierConnections();
  EXPECT_EQ(ReadStateLog(statePath).size(), fastLog.size());
  EXPECT_EQ(ReadStateLog(slowState).size(), slowLog.size());

  const AktarResult again = RunAktar(folder.Path());
  EXPECT_EQ(again.exitCode, 0) << again.err;
  std::vector<std::string> expected = old;
  for (const auto* log : {&fastLog, &slowLog}) {
    for (const wire::LogRecord& record : *log) expected.push_back(ExpectedLine(record));
  }
  EXPECT_EQ(Sorted(Lines(ReadFile(recordPath))), Sorted(expected));
}

}  // namespace
}  // namespace miravel::e2e
