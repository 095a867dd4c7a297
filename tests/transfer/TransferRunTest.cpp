#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <thread>

#include "core/AppError.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/TempFolder.h"
#include "transfer/ParallelTransfer.h"
#include "transfer/RecordLine.h"

namespace miravel {
namespace {

using test::FakeRecord;
using test::FakeTerminal;
using test::ReadFile;
using test::TempFolder;
using ::testing::ElementsAre;

class RecordingSink : public TransferSink {
 public:
  void StatusChanged(int row, RowStatus status) override { status_[row] = status; }
  void ProgressChanged(int row, int percent) override { progress[row].push_back(percent); }
  bool ShouldClearLog() override {
    if (onClearQuestion) onClearQuestion();
    return clearLog;
  }
  void TerminalTransferred(int row, int records) override { taken[row] = records; }
  void WaitingForOtherTransfer(bool waiting) override {
    waits.push_back(waiting);
    if (waiting && onWait) onWait();
  }
  void RowStopped(int row) override { stopped.push_back(row); }
  void LogClearLeft(int row) override { clearLeft.push_back(row); }
  void TransferStopped(bool replaced) override { stops.push_back(replaced); }
  void LogReadRefused(int row) override { readRefused.push_back(row); }
  void LogClearRefused(int row) override { clearRefused.push_back(row); }
  void RecordsSetAside(int row, int records, const std::string&) override {
    setAside[row] = records;
  }

  RowStatus Status(int row) { return status_[row]; }

  bool clearLog = true;
  std::function<void()> onClearQuestion;
  std::function<void()> onWait;
  std::vector<int> stopped;
  std::vector<int> clearLeft;
  std::vector<bool> stops;
  std::map<int, std::vector<int>> progress;
  std::map<int, int> taken;
  std::vector<bool> waits;
  std::vector<int> readRefused;
  std::vector<int> clearRefused;
  std::map<int, int> setAside;

 private:
  std::map<int, RowStatus> status_;
};

DeviceEntry Ethernet(const std::string& name, const std::string& port = "4370") {
  DeviceEntry entry;
  entry.name = name;
  entry.connectionType = "Ethernet";
  entry.ipAddress = "127.0.0.1";
  entry.ipPort = port;
  entry.machineNumber = "1";
  entry.inOutMode = "Standart";
  return entry;
}

DeviceEntry Serial(const std::string& comPort, const std::string& machine = "3") {
  DeviceEntry entry;
  entry.name = "seri";
  entry.connectionType = "Comm Port";
  entry.comPort = comPort;
  entry.baudRate = "115200";
  entry.machineNumber = machine;
  entry.inOutMode = "Her Zaman Çıkış";
  return entry;
}

std::vector<FakeRecord> Records(int count) {
  std::vector<FakeRecord> records;
  for (int i = 0; i < count; ++i) {
    records.push_back({100 + i, i % 2, 2026, 12, 7, 8 + (i / 60) % 10, i % 60});
  }
  return records;
}

class TransferRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder / "yedekler");
    job.recordFilePath = folder / "tr500.txt";
    job.programFolder = folder.Path();
    job.today = [] { return CalendarDate{2026, 12, 7}; };
  }

  // As the window runs it: one client for every row, one row at a time.
  void Run() {
    const std::shared_ptr<TerminalClient> client(std::shared_ptr<TerminalClient>(), &terminal);
    RunParallelTransfer(
        job, [client] { return client; }, sink, 1);
  }

  std::string RunError() {
    try {
      Run();
    } catch (const AppError& error) {
      return error.what();
    }
    return "";
  }

  TempFolder folder;
  TransferJob job;
  FakeTerminal terminal;
  RecordingSink sink;
};

TEST_F(TransferRunTest, UntickedAndUnreachableRowsDoNotStopTheRun) {
  terminal.log = Records(2);
  terminal.refusedPorts = {4371};
  job.devices = {Ethernet("bir"), Ethernet("iki"), Ethernet("üç", "4371")};
  job.ticked = {true, false, true};
  Run();
  EXPECT_EQ(sink.Status(1), RowStatus::kConnected);
  EXPECT_EQ(sink.Status(2), RowStatus::kNone);
  EXPECT_EQ(sink.Status(3), RowStatus::kFailed);
  EXPECT_EQ(ReadFile(job.recordFilePath),
            "000,00100,1 2026/12/07 08:00:00\r\n"
            "000,00101,0 2026/12/07 08:01:00\r\n");
  EXPECT_EQ(ReadFile(folder / "yedekler/20261207.001"), ReadFile(job.recordFilePath));
  // The unticked row is not reached; the first one's clear comes through a
  // connection of its own, its client having served the third row.
  EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 3);
  EXPECT_TRUE(terminal.log.empty());
}

TEST_F(TransferRunTest, CallsTheTerminalInOrderWithItsOwnArguments) {
  terminal.log = Records(1);
  job.devices = {Serial("Com3")};
  job.ticked = {true};
  Run();
  EXPECT_THAT(terminal.calls,
              ElementsAre("ConnectSerial(3,3,115200)", "ReadAttendanceLog(3)", "GetDeviceTime(3)",
                          "GetDeviceStatus(3,6)", "GetNextAttendanceRecord(3)",
                          "GetNextAttendanceRecord(3)", "ClearAttendanceLog(3)", "Disconnect()"));
  // "Her Zaman Çıkış" writes exit whatever the state.
  EXPECT_EQ(ReadFile(job.recordFilePath), "000,00100,0 2026/12/07 08:00:00\r\n");
}

TEST_F(TransferRunTest, PortNamesAndConnectionTypesAreTakenLiterally) {
  job.devices = {Serial("Com12", "7"), Ethernet("x"), Ethernet("y")};
  job.devices[1].connectionType = "ethernet";
  job.devices[2].connectionType = "";
  job.ticked = {true, true, true};
  Run();
  EXPECT_EQ(terminal.calls.front(), "ConnectSerial(1,7,115200)");
  EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 0);
  EXPECT_EQ(sink.Status(2), RowStatus::kNone);
  EXPECT_EQ(sink.Status(3), RowStatus::kNone);
}

// The bar moves while the log comes over the link (over a serial line that
// is nearly all of the time), never goes back and ends full, told about once
// per percent however many records there are; a terminal that gives a wrong
// count or none still ends full.
TEST_F(TransferRunTest, TheBarMovesDuringTheReadNeverGoesBackAndEndsFull) {
  job.devices = {Ethernet("a")};
  job.ticked = {true};
  terminal.log = Records(20000);
  terminal.itemsPerChunk = 100;
  std::size_t toldDuringRead = 0;
  terminal.onCall = [&](const std::string& operation) {
    if (operation == "GetNextAttendanceRecord" && toldDuringRead == 0) {
      toldDuringRead = sink.progress[1].size();
    }
  };
  Run();
  terminal.onCall = nullptr;
  const std::vector<int>& bar = sink.progress[1];
  EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end()));
  EXPECT_EQ(bar.back(), 100);
  EXPECT_GE(toldDuringRead, 50u);
  EXPECT_LE(bar.size(), 202u);
  EXPECT_EQ(sink.taken[1], 20000);

  for (const int reported : {0, 2, 8}) {
    sink.progress.clear();
    terminal.log = Records(4);
    terminal.reportedRecordCount = reported;
    Run();
    EXPECT_TRUE(std::is_sorted(sink.progress[1].begin(), sink.progress[1].end())) << reported;
    EXPECT_LE(sink.progress[1].back(), 100) << reported;
    if (reported != 8) {
      EXPECT_EQ(sink.progress[1].back(), 100) << reported;
    }
  }
}

TEST_F(TransferRunTest, LogIsClearedOnlyWhenAskedAndOnlyAfterTheFileIsReplaced) {
  job.devices = {Ethernet("a")};
  job.ticked = {true};
  terminal.log = Records(2);
  sink.clearLog = false;
  Run();
  EXPECT_EQ(terminal.CallCount("ClearAttendanceLog"), 0);
  EXPECT_EQ(terminal.log.size(), 2u);

  sink.clearLog = true;
  std::string fileWhenAsked;
  sink.onClearQuestion = [&] { fileWhenAsked = ReadFile(job.recordFilePath); };
  Run();
  EXPECT_EQ(terminal.CallCount("ClearAttendanceLog"), 1);
  EXPECT_TRUE(terminal.log.empty());
  // The records the first run delivered are not delivered again.
  EXPECT_EQ(sink.taken[1], 0);
  EXPECT_EQ(std::count(fileWhenAsked.begin(), fileWhenAsked.end(), '\n'), 2);
  EXPECT_EQ(ReadFile(job.recordFilePath), fileWhenAsked);
}

TEST_F(TransferRunTest, StopInsideATerminalKeepsFileAndLogAndDisconnects) {
  const std::string old = "000,00001,1 2026/12/06 08:00:00\r\n";
  test::WriteFile(job.recordFilePath, old);
  job.devices = {Ethernet("a"), Ethernet("b")};
  job.ticked = {true, true};

  terminal.log = Records(5);
  terminal.FailOnCall("GetNextAttendanceRecord", 3, "Cihazla iletişim koptu");
  EXPECT_EQ(RunError(), "Cihazla iletişim koptu");
  EXPECT_EQ(terminal.calls.back(), "Disconnect()");
  EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 1);  // the second row is not reached

  EXPECT_EQ(ReadFile(job.recordFilePath), old);
  EXPECT_EQ(terminal.log.size(), 5u);
  EXPECT_EQ(terminal.CallCount("ClearAttendanceLog"), 0);
  EXPECT_FALSE(test::MergeFileLeft(job.recordFilePath));
}

// Values the fixed columns would cut to a valid time are impossible as they
// stand; such records are set aside with those values, the rest transfers,
// and the clear takes them with the rest.
TEST_F(TransferRunTest, ImpossibleRecordsAreSetAsideAsTheyCameAndTheRestTransfers) {
  job.devices = {Ethernet("a")};
  job.ticked = {true};
  terminal.log = Records(3);
  terminal.log.insert(terminal.log.begin() + 1, {7, 0, 2026, 13, 1, 8, 0});
  terminal.log.push_back({8, 0, 2026, 101, 1, 8, 0});
  terminal.log.push_back({9, 0, 12026, 1, 1, 8, 0});
  terminal.log.push_back({10, 0, 2026, 1, 1, 100, 30});
  Run();
  EXPECT_EQ(sink.taken[1], 3);
  EXPECT_EQ(sink.setAside[1], 4);
  const std::string merged = ReadFile(job.recordFilePath);
  EXPECT_EQ(merged, ReadFile(folder / "yedekler/20261207.001"));
  EXPECT_EQ(std::count(merged.begin(), merged.end(), '\n'), 3);
  const std::string aside = ReadFile(folder / "ayrilan-kayitlar.txt");
  EXPECT_EQ(std::count(aside.begin(), aside.end(), '\n'), 4);
  for (const char* values :
       {"\t1\ta\t", "\t7\t0\t2026\t13\t1\t8\t0\n", "\t8\t0\t2026\t101\t1\t8\t0\n",
        "\t9\t0\t12026\t1\t1\t8\t0\n", "\t10\t0\t2026\t1\t1\t100\t30\n"}) {
    EXPECT_NE(aside.find(values), std::string::npos) << values;
  }
  EXPECT_TRUE(terminal.log.empty());
}

TEST_F(TransferRunTest, BadNumbersStopTheRunWithTheIntegerMessage) {
  job.devices = {Ethernet("a", "43x0"), Ethernet("b")};
  job.ticked = {true, true};
  EXPECT_EQ(RunError(), "'43x0' is not a valid integer value");
  EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 0);

  // The machine number of a network terminal is read once it is connected.
  job.devices = {Ethernet("a")};
  job.devices[0].machineNumber = "bir";
  EXPECT_EQ(RunError(), "'bir' is not a valid integer value");
  EXPECT_EQ(sink.Status(1), RowStatus::kConnected);
  EXPECT_FALSE(terminal.IsConnected());

  job.devices = {Serial("Comx")};
  EXPECT_EQ(RunError(), "'x' is not a valid integer value");
  EXPECT_EQ(terminal.CallCount("ConnectSerial"), 0);
}

// A terminal that will not hand over its log must not lose it: nothing is
// merged and nothing is cleared. One that will not clear is reported, so
// that nobody wonders why the same lines come again.
TEST_F(TransferRunTest, RefusedLogReadOrClearIsReportedAndNothingIsLost) {
  const std::string old = "000,00001,1 2026/12/06 08:00:00\r\n";
  test::WriteFile(job.recordFilePath, old);
  job.devices = {Ethernet("a")};
  job.ticked = {true};
  terminal.log = Records(3);
  terminal.refuseReadLog = true;
  Run();
  EXPECT_THAT(sink.readRefused, ElementsAre(1));
  EXPECT_EQ(sink.Status(1), RowStatus::kFailed);
  EXPECT_EQ(sink.taken.count(1), 0u);
  EXPECT_EQ(terminal.CallCount("ClearAttendanceLog"), 0);
  EXPECT_EQ(terminal.log.size(), 3u);
  EXPECT_EQ(ReadFile(job.recordFilePath), old);
  EXPECT_FALSE(test::MergeFileLeft(job.recordFilePath));

  terminal.refuseReadLog = false;
  terminal.refuseClearLog = true;
  Run();
  EXPECT_THAT(sink.clearRefused, ElementsAre(1));
  EXPECT_EQ(sink.taken[1], 3);
  EXPECT_EQ(terminal.log.size(), 3u);
}

TEST_F(TransferRunTest, AnotherTransferIntoTheRecordFileIsWaitedForAndGivenUpAfterTheLimit) {
  job.devices = {Ethernet("a")};
  job.ticked = {true};
  terminal.log = Records(2);
  job.lockWaitLimit = std::chrono::milliseconds(300);
  {
    const RecordFileLock other(job.recordFilePath, std::chrono::seconds(1), nullptr);
    const std::string message = RunError();
    EXPECT_NE(message.find("başka bir aktarım sürüyor"), std::string::npos) << message;
    EXPECT_THAT(sink.waits, ElementsAre(true, false));
    EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 0);
  }
  // Once the other run has ended, the next one goes through without waiting.
  sink.waits.clear();
  Run();
  EXPECT_TRUE(sink.waits.empty());
  EXPECT_EQ(sink.taken[1], 2);
}

// A stop before the record file's replacement leaves everything as it was:
// seen in a lock wait, during a walk, and after the merge file was written.
TEST_F(TransferRunTest, StopBeforeTheReplacementMergesClearsAndWritesNothing) {
  StopRequest stop;
  job.stop = &stop;
  job.devices = {Ethernet("a"), Ethernet("b", "4371")};
  job.ticked = {true, true};
  terminal.log = Records(3);
  sink.clearLog = false;
  Run();  // delivered once; the ledger knows these three
  sink = RecordingSink();
  terminal = FakeTerminal();
  terminal.log = Records(3);
  std::string lines;
  for (int i = 0; i < 300000; ++i) lines += "000,00001,1 2026/12/06 08:00:00\r\n";
  test::WriteFile(job.recordFilePath, lines + ReadFile(job.recordFilePath));
  const std::string record = ReadFile(job.recordFilePath);
  const std::string ledger = ReadFile(job.recordFilePath + ".teslim");
  const std::string backup = ReadFile(folder / "yedekler/20261207.001");
  terminal.log.push_back({900, 0, 2026, 12, 7, 18, 0});
  sink.clearLog = true;

  const auto asBefore = [&](const char* when) {
    EXPECT_EQ(ReadFile(job.recordFilePath), record) << when;
    EXPECT_EQ(ReadFile(job.recordFilePath + ".teslim"), ledger) << when;
    EXPECT_EQ(ReadFile(folder / "yedekler/20261207.001"), backup) << when;
    EXPECT_FALSE(test::MergeFileLeft(job.recordFilePath)) << when;
    EXPECT_EQ(terminal.CallCount("ClearAttendanceLog"), 0) << when;
    EXPECT_THAT(sink.stops, ElementsAre(false)) << when;
    EXPECT_EQ(sink.Status(1), RowStatus::kNone) << when;
    EXPECT_EQ(sink.progress[1].back(), 0) << when;
    EXPECT_TRUE(sink.taken.empty()) << when;
    sink = RecordingSink();
    const std::vector<FakeRecord> log = terminal.log;
    terminal = FakeTerminal();
    terminal.log = log;
    stop.Clear();
  };
  {
    const RecordFileLock other(job.recordFilePath, std::chrono::seconds(1), nullptr);
    job.lockWaitLimit = std::chrono::minutes(10);
    sink.onWait = [&] { stop.Request(); };
    const auto started = std::chrono::steady_clock::now();
    Run();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_THAT(sink.stopped, ElementsAre(1, 2));
    EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 0);
    asBefore("lock wait");
  }
  // In the second row's walk: the first row, read whole, is not merged.
  terminal.onCall = [&](const std::string& operation) {
    if (operation == "GetNextAttendanceRecord" && terminal.CallCount(operation) == 6)
      stop.Request();
  };
  Run();
  EXPECT_THAT(sink.stopped, ElementsAre(1, 2));
  asBefore("walk");

  // Once the merge file appears: the merge of the big record file is done
  // before the replacement, which the stop then prevents.
  terminal.onCall = nullptr;
  const int watch = ::inotify_init1(0);
  ASSERT_GE(::inotify_add_watch(watch, folder.Path().c_str(), IN_CREATE), 0);
  std::thread stopper([&] {
    alignas(inotify_event) char events[4096];
    // A run that never writes a merge file ends with the test's own file.
    for (ssize_t got; !stop.Requested() && (got = ::read(watch, events, sizeof events)) > 0;) {
      for (char* at = events; at < events + got;) {
        const auto* event = reinterpret_cast<inotify_event*>(at);
        if (event->len > 0 && std::string(event->name).ends_with(".gcc")) stop.Request();
        at += sizeof(inotify_event) + event->len;
      }
    }
  });
  try {
    Run();
  } catch (...) {
  }
  test::WriteFile(folder / "run.gcc", "");
  stopper.join();
  ::close(watch);
  std::filesystem::remove(folder / "run.gcc");
  EXPECT_EQ(terminal.CallCount("GetNextAttendanceRecord"), 2 * 5);  // both read whole
  asBefore("merge");

  // The next run takes the one new record of each row, once.
  Run();
  EXPECT_EQ(sink.taken[1], 1);
  EXPECT_EQ(sink.taken[2], 1);
}

// A stop once the record file is replaced leaves the logs' clears to the
// next run, which then takes only what is new: every record once.
TEST_F(TransferRunTest, StopAfterTheReplacementLeavesTheClearsToTheNextRun) {
  StopRequest stop;
  job.stop = &stop;
  job.devices = {Ethernet("a"), Ethernet("b", "4371")};
  job.ticked = {true, true};
  terminal.log = Records(3);
  // The first call once the record file holds both rows' records opens the
  // first row's clear, which the stop lets finish (here: it cannot connect).
  terminal.onCall = [&](const std::string&) {
    const std::string merged = ReadFile(job.recordFilePath);
    if (std::count(merged.begin(), merged.end(), '\n') == 6 && !stop.Requested()) {
      stop.Request();
      terminal.refusedPorts = {4370};
    }
  };
  Run();
  EXPECT_THAT(sink.stops, ElementsAre(true));
  EXPECT_THAT(sink.clearRefused, ElementsAre(1));
  EXPECT_THAT(sink.clearLeft, ElementsAre(2));
  EXPECT_EQ(sink.taken[2], 3);
  EXPECT_EQ(sink.Status(2), RowStatus::kConnected);
  EXPECT_EQ(terminal.CallCount("ClearAttendanceLog"), 0);
  EXPECT_FALSE(test::MergeFileLeft(job.recordFilePath));

  terminal.onCall = nullptr;
  terminal.refusedPorts.clear();
  stop.Clear();
  sink = RecordingSink();
  terminal.log.push_back({900, 0, 2026, 12, 7, 18, 0});
  Run();
  EXPECT_EQ(sink.taken[1], 1);
  EXPECT_EQ(sink.taken[2], 1);
  const std::string merged = ReadFile(job.recordFilePath);
  EXPECT_EQ(std::count(merged.begin(), merged.end(), '\n'), 8);
  EXPECT_TRUE(terminal.log.empty());
}

}  // namespace
}  // namespace miravel
