// Every operation of the production client against the real emulator program,
// checked both through the client's answers and in the emulator's state file.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>
#include <utility>

#include "core/AppError.h"
#include "emulator/TerminalState.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/terminal/ClientFixture.h"

namespace miravel {
namespace {

using emulator::TerminalState;

class WireClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TerminalState state;
    state.machineNumber = 4;
    state.users[7] = {"Şükrü Çağlayan", "4321", 3, true};
    state.users[12] = {"İpek Gün", "", 0, false};
    state.users[30] = {"Oğuz Ünal", "", 1, true};
    state.templates[{7, 0}] = "QUJDREVGR0hJSktMTU5PUA==";
    state.templates[{7, 1}] = "ZmluZ2VyMQ==";
    state.templates[{12, 6}] = std::string(3000, 'x');
    // More records than one chunk carries, in an order that is not sorted.
    for (int i = 0; i < 10000; ++i) {
      state.log.push_back(
          {i % 3 == 0 ? 30 : 7, i % 2, 2026, 12 - i % 12, 1 + i % 28, i % 24, i % 60});
    }
    state.log.push_back({12, 5, 2026, 2, 30, 25, 61});  // passed on as the terminal has it
    state.identity = "emu-sinama 7";
    emulator::SaveStateFile(statePath_, state);
    expected_ = state;
    emulator_ = std::make_unique<test::EmulatorProcess>(
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", statePath_});
    ASSERT_TRUE(client_.ConnectNetwork("127.0.0.1", emulator_->Port()));
  }

  // The state file once the connection has ended (when the emulator writes
  // it); the test goes on over a new connection.
  TerminalState SavedState() {
    client_.Disconnect();
    emulator_->AwaitEarlierConnections();
    TerminalState state = test::LoadState(statePath_);
    EXPECT_TRUE(client_.ConnectNetwork("127.0.0.1", emulator_->Port()));
    return state;
  }

  test::TempFolder folder_;
  const std::string statePath_ = folder_ / "terminal.txt";
  TerminalState expected_;
  std::unique_ptr<test::EmulatorProcess> emulator_;
  WireTerminalClient client_{[](int) { return std::string(); }, test::ShortTimeouts()};
};

TEST_F(WireClientTest, BulkLoadsBringEverythingAndTheWalksReadTheCopy) {
  const int m = 4;
  int value = 0;
  ASSERT_TRUE(client_.GetDeviceStatus(m, 6, value));
  EXPECT_EQ(value, 10001);
  ASSERT_TRUE(client_.GetDeviceStatus(m, 2, value));
  EXPECT_EQ(value, 3);
  EXPECT_FALSE(client_.GetDeviceStatus(m, 99, value)) << "an unknown index is refused";
  EXPECT_TRUE(client_.RegisterEvents(m, 1));

  ASSERT_TRUE(client_.ReadAttendanceLog(m));
  int terminal, enroll, enrollMachine, verify, state, year, month, day, hour, minute;
  std::vector<wire::LogRecord> walked;
  while (client_.GetNextAttendanceRecord(m, terminal, enroll, enrollMachine, verify, state, year,
                                         month, day, hour, minute)) {
    walked.push_back({enroll, state, year, month, day, hour, minute});
    EXPECT_EQ(terminal, 4);
  }
  EXPECT_EQ(walked, expected_.log) << "every record, in the terminal's order";
  EXPECT_FALSE(client_.GetNextAttendanceRecord(m, terminal, enroll, enrollMachine, verify, state,
                                               year, month, day, hour, minute));

  ASSERT_TRUE(client_.ReadAllUsers(m));
  int privilege = -1, enabled = -1, backup = -1;
  std::vector<std::tuple<int, int, int>> users;
  while (client_.GetNextUser(m, enroll, enrollMachine, backup, privilege, enabled)) {
    users.emplace_back(enroll, privilege, enabled);
  }
  EXPECT_EQ(users, (std::vector<std::tuple<int, int, int>>{{7, 3, 1}, {12, 0, 0}, {30, 1, 1}}));

  ASSERT_TRUE(client_.ReadAllTemplates(m));
  std::string text = "left over";
  int length = -1;
  ASSERT_TRUE(client_.GetFingerTemplate(m, 7, 1, text, length));
  EXPECT_EQ(text, "ZmluZ2VyMQ==");
  EXPECT_EQ(length, 12);
  ASSERT_TRUE(client_.GetFingerTemplate(m, 12, 6, text, length));
  EXPECT_EQ(text, std::string(3000, 'x'));
  EXPECT_FALSE(client_.GetFingerTemplate(m, 7, 2, text, length));
  EXPECT_EQ(text, "") << "a missing finger leaves no stale text behind";

  // Reading the log again starts from its beginning.
  ASSERT_TRUE(client_.ReadAttendanceLog(m));
  ASSERT_TRUE(client_.GetNextAttendanceRecord(m, terminal, enroll, enrollMachine, verify, state,
                                              year, month, day, hour, minute));
  EXPECT_EQ(enroll, expected_.log[0].enrollNumber);
}

TEST_F(WireClientTest, ChangesReachTheTerminalAndItsStateFile) {
  const int m = 4;
  // Users: Turkish letters travel as they are; a tab cannot break the file.
  ASSERT_TRUE(client_.SetUserInfo(m, 55, "Gülizar\tÖzçelik", "9876", 2, true));
  std::string name, password;
  int privilege = -1;
  bool enabled = false;
  ASSERT_TRUE(client_.GetUserInfo(m, 55, name, password, privilege, enabled));
  EXPECT_EQ(name, "Gülizar Özçelik");
  EXPECT_EQ(password, "9876");
  EXPECT_EQ(privilege, 2);
  EXPECT_TRUE(enabled);
  EXPECT_FALSE(client_.GetUserInfo(m, 56, name, password, privilege, enabled));
  EXPECT_FALSE(client_.SetUserInfo(m, 57, "Too High", "", 9, true));
  EXPECT_EQ(SavedState().users.at(55).name, "Gülizar Özçelik");

  // Templates.
  ASSERT_TRUE(client_.SetFingerTemplate(m, 55, 0, "yeni-şablon"));
  EXPECT_FALSE(client_.SetFingerTemplate(m, 999, 0, "nobody")) << "no such user";
  ASSERT_TRUE(client_.DeleteFingerTemplate(m, 7, 0));
  EXPECT_FALSE(client_.DeleteFingerTemplate(m, 7, 0)) << "already gone";
  TerminalState onDisk = SavedState();
  EXPECT_EQ(onDisk.templates.at({55, 0}), "yeni-şablon");
  EXPECT_FALSE(onDisk.templates.count({7, 0}));

  // Deleting a user takes the user's templates along.
  ASSERT_TRUE(client_.DeleteUser(m, 12, 0, 0));
  EXPECT_FALSE(client_.DeleteUser(m, 12, 0, 0));
  onDisk = SavedState();
  EXPECT_FALSE(onDisk.users.count(12));
  EXPECT_FALSE(onDisk.templates.count({12, 6}));

  // Clock.
  ASSERT_TRUE(client_.SetDeviceTime(m, 2031, 2, 3, 4, 5, 6));
  int year, month, day, hour, minute, second;
  ASSERT_TRUE(client_.GetDeviceTime(m, year, month, day, hour, minute, second));
  EXPECT_EQ(std::make_tuple(year, month, day, hour, minute), std::make_tuple(2031, 2, 3, 4, 5));
  EXPECT_LE(second, 16);
  EXPECT_FALSE(client_.SetDeviceTime(m, 2031, 2, 29, 4, 5, 6)) << "no 29 February in 2031";
  EXPECT_NE(SavedState().clockOffset, 0);

  // Administrators, log and user data. The clear removes the records taken.
  ASSERT_TRUE(client_.ClearAdministrators(m));
  for (const auto& [enroll, user] : SavedState().users) {
    EXPECT_EQ(user.privilege, 0) << enroll;
  }
  ASSERT_TRUE(client_.ReadAttendanceLog(m));
  int a, b, c, d, e, f, g, h, i, j;
  while (client_.GetNextAttendanceRecord(m, a, b, c, d, e, f, g, h, i, j)) {
  }
  ASSERT_TRUE(client_.ClearAttendanceLog(m));
  int value = -1;
  ASSERT_TRUE(client_.GetDeviceStatus(m, 6, value));
  EXPECT_EQ(value, 0);
  ASSERT_TRUE(client_.ClearAllData(m));
  ASSERT_TRUE(client_.GetDeviceStatus(m, 2, value));
  EXPECT_EQ(value, 0);
  onDisk = SavedState();
  EXPECT_TRUE(onDisk.users.empty());
  EXPECT_TRUE(onDisk.templates.empty());
  EXPECT_TRUE(onDisk.log.empty());
}

TEST_F(WireClientTest, NotConnectedCallsAreRefusedAndDisconnectIsAlwaysSafe) {
  const int m = 4;
  EXPECT_EQ(client_.Identity(), "emu-sinama 7") << "the hello names the terminal";
  ASSERT_TRUE(client_.ReadAttendanceLog(m));
  client_.Disconnect();
  EXPECT_EQ(client_.Identity(), "") << "the identity goes with the connection";
  client_.Disconnect();
  int a, b, c, d, e, f, g, h, i, j, value;
  std::string text;
  bool flag;
  EXPECT_FALSE(client_.GetNextAttendanceRecord(m, a, b, c, d, e, f, g, h, i, j))
      << "the copy goes with the connection";
  EXPECT_FALSE(client_.GetDeviceStatus(m, 6, value));
  EXPECT_FALSE(client_.ReadAllUsers(m));
  EXPECT_FALSE(client_.GetUserInfo(m, 7, text, text, value, flag));
  EXPECT_FALSE(client_.SetUserInfo(m, 7, "x", "", 0, true));
  EXPECT_FALSE(client_.ClearAllData(m));
  EXPECT_FALSE(client_.GetFingerTemplate(m, 7, 0, text, value));
  EXPECT_EQ(test::LoadState(statePath_), expected_) << "nothing reached the terminal";

  // The emulator serves the next connection once the first is gone.
  ASSERT_TRUE(client_.ConnectNetwork("127.0.0.1", emulator_->Port()));
  EXPECT_TRUE(client_.GetDeviceStatus(m, 2, value));
  EXPECT_EQ(value, 3);
}

// Fingers placed while the program holds the log it read, and records it
// loaded but did not take, stay on the terminal: a clear removes only what was
// taken since the reading, once.
TEST(WireClientPunchTest, ClearRemovesOnlyTheRecordsTakenSinceTheReading) {
  test::TempFolder folder;
  const std::string statePath = folder / "terminal.txt";
  TerminalState state;
  for (int enroll = 1; enroll <= 5; ++enroll) state.users[enroll] = {"Kişi", "", 0, true};
  for (int i = 0; i < 300; ++i) state.log.push_back({1 + i % 5, i % 2, 2026, 12, 1, 8, i % 60});
  emulator::SaveStateFile(statePath, state);
  test::EmulatorProcess emulator(
      {"--listen", "127.0.0.1:0", "--state", statePath, "--punch-every-ms", "10"});
  WireTerminalClient client{[](int) { return std::string(); }, test::ShortTimeouts()};
  ASSERT_TRUE(client.ConnectNetwork("127.0.0.1", emulator.Port()));

  EXPECT_TRUE(client.ClearAttendanceLog(1)) << "nothing read yet: removes nothing";
  ASSERT_TRUE(client.ReadAttendanceLog(1));
  int a, b, c, d, e, f, g, h, i, j;
  for (int taken = 0; taken < 100; ++taken) {
    ASSERT_TRUE(client.GetNextAttendanceRecord(1, a, b, c, d, e, f, g, h, i, j));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // fingers keep coming
  ASSERT_TRUE(client.ClearAttendanceLog(1));
  ASSERT_TRUE(client.ClearAttendanceLog(1)) << "the same records are not removed twice";
  emulator.Stop();

  std::vector<wire::LogRecord> expected(state.log.begin() + 100, state.log.end());
  for (std::string line; !(line = emulator.ReadLine(std::chrono::milliseconds(0))).empty();) {
    ASSERT_TRUE(line.starts_with("punched ")) << line;
    expected.push_back(emulator::ParseState("[log]\n" + line.substr(8), "").log.at(0));
  }
  EXPECT_GT(expected.size(), 200u + 5u) << "records were punched during the test";
  const std::vector<wire::LogRecord> left = test::LoadState(statePath).log;
  ASSERT_EQ(left.size(), expected.size());
  EXPECT_EQ(left, expected);
}

// The bar of a long read moves as the log arrives, ends on the whole log,
// and is told only of changes; without an observer nothing more is asked.
struct ProgressRecorder : BulkReadObserver {
  void BulkReadProgress(std::size_t received, std::size_t expected) override {
    told.emplace_back(received, expected);
  }
  std::vector<std::pair<std::size_t, std::size_t>> told;
};

TEST_F(WireClientTest, BulkLoadsTellTheirProgressAsTheChunksArrive) {
  ProgressRecorder recorder;
  {
    const BulkReadWatch watch(client_, recorder);
    ASSERT_TRUE(client_.ReadAttendanceLog(4));
    ASSERT_TRUE(client_.ReadAllUsers(4));
  }
  ASSERT_TRUE(client_.ReadAllTemplates(4));  // after the watch: not told
  const std::size_t records = expected_.log.size();
  ASSERT_GE(recorder.told.size(), 6u);
  EXPECT_EQ(recorder.told.front().second, records) << "against the count asked first";
  std::set<std::size_t> beforeTheEnd;
  for (std::size_t i = 0; i + 1 < recorder.told.size(); ++i) {
    if (recorder.told[i].first < records) beforeTheEnd.insert(recorder.told[i].first);
  }
  EXPECT_GE(beforeTheEnd.size(), 5u) << "the bar moves during the read";
  const auto logEnd = std::find(recorder.told.begin(), recorder.told.end(),
                                std::pair<std::size_t, std::size_t>{records, records});
  ASSERT_NE(logEnd, recorder.told.end());
  EXPECT_EQ(recorder.told.back(), (std::pair<std::size_t, std::size_t>{3, 3})) << "the users";
  EXPECT_LE(recorder.told.size(), 101u + 101u);
}

// A terminal that gives no count still has each chunk told, so that a stop
// asked during its long read is seen at the next chunk, not at the end.
TEST(BulkReadMeterTest, WithoutACountEveryChunkIsToldAndTheEndFillsTheBar) {
  ProgressRecorder recorder;
  BulkReadMeter meter(&recorder, 0);
  meter.Arrived(1024);
  meter.Arrived(2048);
  meter.Finished(2500);
  using Told = std::vector<std::pair<std::size_t, std::size_t>>;
  EXPECT_EQ(recorder.told, (Told{{1024, 0}, {2048, 0}, {2500, 2500}}));
}

}  // namespace
}  // namespace miravel
