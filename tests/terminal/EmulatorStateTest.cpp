#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <set>

#include "core/AppError.h"
#include "emulator/EmulatedTerminal.h"
#include "emulator/RequestHandler.h"
#include "emulator/StateGenerator.h"
#include "emulator/TerminalState.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TimeLimits.h"

namespace miravel::emulator {
namespace {

TEST(TerminalStateTest, FileRoundTripsAndKeepsNamesFromBreakingLines) {
  test::TempFolder folder;
  const std::string path = folder / "cihaz.txt";
  TerminalState state;
  state.machineNumber = 7;
  state.clockOffset = -3600;
  EmulatedTerminal terminal(state, path);
  ASSERT_TRUE(terminal.SetUser(12, "Gülşen\tIşık\r\n[log]", "12\t34", 2, false));
  ASSERT_TRUE(terminal.SetUser(3, "Ömer", "", 0, true));
  ASSERT_TRUE(terminal.SetTemplate(12, 9, "AbC+/=="));
  // Not written after every change: the server saves when it is due.
  EXPECT_FALSE(test::FileExists(path));
  terminal.SaveWhenDue(EmulatedTerminal::SaveClock::now());
  EXPECT_FALSE(test::FileExists(path));
  terminal.SaveWhenDue(EmulatedTerminal::SaveClock::now() + EmulatedTerminal::kQuietBeforeSave);
  EXPECT_FALSE(terminal.HasUnsavedChanges());

  TerminalState loaded;
  ASSERT_TRUE(LoadStateFile(path, loaded));
  EXPECT_EQ(loaded, terminal.State());
  EXPECT_EQ(loaded.users.at(12).name, "Gülşen Işık  [log]");
  EXPECT_EQ(loaded.users.at(12).password, "12 34");
  EXPECT_EQ(loaded.clockOffset, -3600);
  EXPECT_EQ(test::ReadFile(path),
            "[terminal]\nmachine=7\nclockoffset=-3600\n[users]\n3\tÖmer\t\t0\t1\n"
            "12\tGülşen Işık  [log]\t12 34\t2\t0\n[templates]\n12\t9\tAbC+/==\n[log]\n");

  TerminalState missing;
  EXPECT_FALSE(LoadStateFile(folder / "yok.txt", missing));
}

TEST(TerminalStateTest, ReadsHandWrittenFilesAndNamesTheBadLine) {
  const TerminalState state =
      ParseState("[terminal]\r\nmachine=3\r\n\r\n[log]\r\n5\t1\t2026\t13\t40\t8\t0\r\n", "t.txt");
  EXPECT_EQ(state.machineNumber, 3);
  ASSERT_EQ(state.log.size(), 1u);
  // An impossible date passes: the program's own checks must meet it.
  EXPECT_EQ(state.log[0], (wire::LogRecord{5, 1, 2026, 13, 40, 8, 0}));

  const std::string tooLongName = "[users]\n1\t" + std::string(5000, 'a') + "\t\t0\t1\n";
  for (const std::string& bad :
       {std::string("[log]\n1\t0\t2026\t12\t1\t8\n"), std::string("[users]\n1\tAli\t\t9x\t1\n"),
        std::string("[log]\n1\t300\t2026\t1\t1\t8\t0\n"), std::string("[kayit]\n"),
        std::string("1\t2\n"), std::string("[templates]\n1\t10\tabc\n"), tooLongName,
        // What a save would drop or merge: an unknown key, the same one, user or finger twice.
        std::string("makine=2\n"), std::string("machine=1\nmachine=2\n"),
        std::string("[users]\n1\tAli\t\t0\t1\n1\tVeli\t\t0\t1\n"),
        std::string("[templates]\n1\t0\tabc\n1\t0\tdef\n")}) {
    try {
      ParseState("[terminal]\n" + bad, "t.txt");
      ADD_FAILURE() << "accepted: " << bad.substr(0, 40);
    } catch (const AppError& error) {
      EXPECT_NE(std::string(error.what()).find("t.txt, satır "), std::string::npos);
    }
  }
}

TEST(EmulatedTerminalTest, BehavesLikeATerminal) {
  TerminalState state;
  state.users[1] = {"Ali", "", 3, true};
  state.users[2] = {"Ayşe", "99", 1, true};
  state.users[3] = {"Can", "", 0, true};
  state.templates[{1, 0}] = "t10";
  state.templates[{2, 0}] = "t20";
  state.templates[{2, 5}] = "t25";
  state.log.push_back({1, 0, 2026, 12, 1, 8, 0});
  EmulatedTerminal terminal(state, "");

  int value = -1;
  EXPECT_TRUE(terminal.DeviceStatus(2, value));
  EXPECT_EQ(value, 3);
  EXPECT_TRUE(terminal.DeviceStatus(6, value));
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(terminal.DeviceStatus(1, value));
  EXPECT_EQ(value, 2);
  EXPECT_FALSE(terminal.DeviceStatus(42, value));

  // Deleting a user takes exactly that user's templates.
  EXPECT_TRUE(terminal.DeleteUser(2));
  EXPECT_FALSE(terminal.DeleteUser(2));
  EXPECT_EQ(terminal.State().templates.size(), 1u);
  EXPECT_TRUE(terminal.State().templates.count({1, 0}));

  EXPECT_FALSE(terminal.SetTemplate(2, 0, "no such user"));
  EXPECT_FALSE(terminal.SetTemplate(1, 10, "no such finger"));
  EXPECT_FALSE(terminal.SetUser(4, "Deniz", "", 4, true));

  terminal.ClearAdministrators();
  for (const auto& [enroll, user] : terminal.State().users) EXPECT_EQ(user.privilege, 0);

  terminal.ClearAllData();
  EXPECT_TRUE(terminal.State().users.empty());
  EXPECT_TRUE(terminal.State().templates.empty());
  EXPECT_EQ(terminal.State().log.size(), 1u) << "erasing user data keeps the log";
}

TEST(EmulatedTerminalTest, PunchesKeepTimeOrderAndAClearTakesOnlyTheCountedFront) {
  TerminalState state;
  state.users[3] = {"Ali", "", 0, true};
  state.users[8] = {"Ayşe", "", 0, true};
  for (int i = 0; i < 3; ++i) state.log.push_back({3, kEntryState, 2026, 12, 7, 17, 30 + i});
  EmulatedTerminal terminal(state, "");
  // A clock behind the last record: the new one takes the last record's time.
  wire::LogRecord record;
  ASSERT_TRUE(terminal.Punch(1'700'000'000, 0, record));
  EXPECT_EQ(record, (wire::LogRecord{3, kExitState, 2026, 12, 7, 17, 32}));
  ASSERT_TRUE(terminal.Punch(1'700'000'000, 3, record));
  EXPECT_EQ(record.enrollNumber, 8);
  ASSERT_TRUE(terminal.Punch(1'700'000'000, 2, record));
  EXPECT_EQ(record.inOutState, kEntryState) << "after an exit comes an entry";

  RequestHandler handler(terminal, std::nullopt);
  wire::PayloadWriter clear;
  clear.U8(static_cast<std::uint8_t>(wire::Op::kClearAttendanceLog)).I32(1);
  EXPECT_THROW(handler.Handle(clear.Bytes(), false), AppError) << "a clear without its count";
  EXPECT_EQ(terminal.State().log.size(), 6u);
  clear.U32(99);
  handler.Handle(clear.Bytes(), false);
  EXPECT_TRUE(terminal.State().log.empty()) << "more than it holds empties the log";
}

TEST(EmulatedTerminalTest, ClockIsTheComputersPlusAnOffsetAndRefusesImpossibleTimes) {
  EmulatedTerminal terminal(TerminalState(), "");
  const std::time_t now = 1'800'000'000;
  ASSERT_TRUE(terminal.SetClock({2031, 2, 3, 4, 5, 6}, now));
  const ClockReading later = terminal.Clock(now + 65);
  EXPECT_EQ(later.year, 2031);
  EXPECT_EQ(later.month, 2);
  EXPECT_EQ(later.day, 3);
  EXPECT_EQ(later.hour, 4);
  EXPECT_EQ(later.minute, 6);
  EXPECT_EQ(later.second, 11);
  const auto offset = terminal.State().clockOffset;
  EXPECT_FALSE(terminal.SetClock({2031, 2, 29, 0, 0, 0}, now));
  EXPECT_FALSE(terminal.SetClock({2031, 1, 1, 24, 0, 0}, now));
  // Any 32-bit value can come over the wire; none may overflow the check.
  EXPECT_FALSE(terminal.SetClock({2031, INT_MIN, 1, 0, 0, 0}, now));
  EXPECT_FALSE(terminal.SetClock({2031, 1, INT_MAX, INT_MIN, INT_MAX, INT_MIN}, now));
  EXPECT_EQ(terminal.State().clockOffset, offset);
}

TEST(StateGeneratorTest, MakesRealisticRepeatableData) {
  const std::time_t now = 1'796'000'000;  // a Monday at the end of November 2026
  const GenerateOptions options{30, 2, 1000, 5};
  TerminalState state;
  state.users[100] = {"Eski", "", 0, true};
  Generate(state, options, now);

  EXPECT_EQ(state.users.size(), 31u);
  EXPECT_EQ(state.users.begin()->first, 100);
  EXPECT_EQ(state.users.rbegin()->first, 130) << "new users follow the highest number";
  EXPECT_EQ(state.templates.size(), 62u);
  ASSERT_EQ(state.log.size(), 1000u);

  std::tm today{};
  localtime_r(&now, &today);
  std::set<int> states;
  for (std::size_t i = 0; i < state.log.size(); ++i) {
    const auto& r = state.log[i];
    states.insert(r.inOutState);
    EXPECT_TRUE(state.users.count(r.enrollNumber));
    std::tm day{};
    day.tm_year = r.year - 1900;
    day.tm_mon = r.month - 1;
    day.tm_mday = r.day;
    day.tm_hour = 12;
    day.tm_isdst = -1;
    const std::time_t noon = std::mktime(&day);
    EXPECT_NE(day.tm_wday, 0);
    EXPECT_NE(day.tm_wday, 6);
    EXPECT_LT(noon, now);
    EXPECT_GT(noon, now - 60 * 24 * 3600) << "recent days";
    EXPECT_TRUE(r.hour >= 7 && r.hour <= 18);
    if (i > 0) {
      const auto& p = state.log[i - 1];
      EXPECT_LE(std::make_tuple(p.year, p.month, p.day, p.hour, p.minute),
                std::make_tuple(r.year, r.month, r.day, r.hour, r.minute))
          << "at record " << i;
    }
  }
  EXPECT_EQ(states, (std::set<int>{0, 1}));

  TerminalState again;
  again.users[100] = {"Eski", "", 0, true};
  Generate(again, options, now);
  EXPECT_EQ(again, state) << "the same seed gives the same data";
}

TEST(TerminalStateTest, LargeStateLoadsAndSavesQuickly) {
  test::TempFolder folder;
  const std::string path = folder / "buyuk.txt";
  TerminalState state;
  Generate(state, GenerateOptions{10000, 2, 100000, 1}, 1'796'000'000);

  const auto start = std::chrono::steady_clock::now();
  SaveStateFile(path, state);
  TerminalState loaded;
  ASSERT_TRUE(LoadStateFile(path, loaded));
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(loaded, state);
  // About 0.2 s here; a per-line copy of the whole state would take minutes.
  EXPECT_LT(seconds.count(), 5.0 * test::kTimeLimitScale);
}

}  // namespace
}  // namespace miravel::emulator
