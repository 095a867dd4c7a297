// The settings window's commands against the fake terminal, without a window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "core/AppError.h"
#include "devices/DeviceCommands.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/TestClock.h"

namespace miravel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Remembers the status of every row and what was on screen at each paint.
class RecordingSink : public DeviceCommandSink {
 public:
  void StatusChanged(int row, const std::string& text) override { status[row] = text; }
  void Repaint() override { painted.push_back(status); }
  void StripeRows() override { ++stripes; }
  bool ConfirmReset() override {
    ++questions;
    return answer;
  }

  std::map<int, std::string> status;
  std::vector<std::map<int, std::string>> painted;
  int stripes = 0;
  int questions = 0;
  bool answer = true;
};

DeviceEntry Ethernet(int port, const std::string& machine = "5") {
  DeviceEntry entry;
  entry.connectionType = "Ethernet";
  entry.ipAddress = "127.0.0.1";
  entry.ipPort = std::to_string(port);
  entry.machineNumber = machine;
  return entry;
}

class DeviceCommandsTest : public ::testing::Test {
 protected:
  std::string ErrorOf(const std::function<void()>& command) {
    try {
      command();
    } catch (const AppError& error) {
      return error.what();
    }
    return "";
  }

  test::FakeTerminal terminal;
  RecordingSink sink;
  int activeMachine = 0;
  DeviceCommands commands{terminal, sink, activeMachine};
};

TEST(FormatClockTextTest, PadsEachNumberAndKeepsTheLastDigitsOfALongOne) {
  EXPECT_EQ(FormatClockText({2024, 3, 5, 9, 7, 3}), "05/03/2024  09:07:03");
  EXPECT_EQ(FormatClockText({12026, 12, 131, 0, 0, 59}), "31/12/2026  00:00:59");
}

TEST_F(DeviceCommandsTest, TestAllShowsCheckingWhileEachConnectBlocksAndGoesOnPastADeadOne) {
  DeviceList rows = {Ethernet(1), Ethernet(2), Ethernet(3)};
  rows.push_back(Ethernet(4));
  rows.back().connectionType = "Ethernet ";
  terminal.refusedPorts = {2};
  std::vector<std::string> shownAtConnect;
  terminal.onCall = [&](const std::string& operation) {
    // What the last paint before the connect showed in the row being connected.
    if (operation != "ConnectNetwork") return;
    const std::size_t row = shownAtConnect.size();
    shownAtConnect.push_back(sink.painted.empty() ? ""
                                                  : sink.painted.back()[static_cast<int>(row)]);
  };
  sink.status[0] = "eski";
  commands.TestAllConnections(rows);
  EXPECT_THAT(shownAtConnect,
              ElementsAre("Kontrol Ediliyor", "Kontrol Ediliyor", "Kontrol Ediliyor"));
  EXPECT_EQ(sink.status, (std::map<int, std::string>{{0, "Bağlantı Kuruldu"},
                                                     {1, "Bağlantı Kurulamadı"},
                                                     {2, "Bağlantı Kuruldu"},
                                                     {3, "Kontrol Ediliyor"}}));
  EXPECT_EQ(sink.stripes, 0);
  EXPECT_FALSE(terminal.IsConnected());
  EXPECT_FALSE(commands.DeviceConnected());
  EXPECT_EQ(activeMachine, 0);

  // A bad number ends the run there: earlier rows keep their result, later rows stay empty.
  rows[1].ipPort = "43x";
  EXPECT_EQ(ErrorOf([&] { commands.TestAllConnections(rows); }),
            "'43x' is not a valid integer value");
  EXPECT_EQ(sink.status[0], "Bağlantı Kuruldu");
  EXPECT_EQ(sink.status[1], "Kontrol Ediliyor");
  EXPECT_EQ(sink.status[2], "");
}

TEST_F(DeviceCommandsTest, ClockIsReadAndSetOnTheSelectedRowAndTheLinkClosed) {
  const DeviceList rows = {Ethernet(1), Ethernet(2, "9")};
  terminal.clockYear = 2025, terminal.clockMonth = 2, terminal.clockDay = 1;
  terminal.clockHour = 9, terminal.clockMinute = 5, terminal.clockSecond = 7;
  EXPECT_EQ(commands.ReadClock(rows, 1), "01/02/2025  09:05:07");
  EXPECT_EQ(sink.status[1], "Tarih/Saat okundu");
  EXPECT_EQ(sink.painted.front().at(1), "Tarih/saat Okunuyor");
  EXPECT_EQ(sink.stripes, 1);
  EXPECT_EQ(activeMachine, 9);

  const test::TestClock pc({2026, 12, 7, 23, 59, 58});
  EXPECT_EQ(commands.SetClock(rows, 0, pc), "07/12/2026  23:59:58");
  EXPECT_EQ(sink.status[0], "Tarih/Saat Kaydedildi");
  EXPECT_EQ(sink.status[1], "");
  EXPECT_THAT(terminal.calls,
              ElementsAre("ConnectNetwork(127.0.0.1,2)", "GetDeviceTime(9)", "Disconnect()",
                          "ConnectNetwork(127.0.0.1,1)", "SetDeviceTime(5,2026,12,7,23,59,58)",
                          "GetDeviceTime(5)", "Disconnect()"));
  EXPECT_FALSE(commands.DeviceConnected());

  // A terminal that does not tell its time gives an empty text, not old or made-up values.
  terminal.refusedOperations = {"GetDeviceTime"};
  EXPECT_EQ(commands.ReadClock(rows, 0), "");
  // No connection: nothing for the field, and the row says why.
  terminal.refuseNetwork = true;
  EXPECT_EQ(commands.ReadClock(rows, 0), std::nullopt);
  EXPECT_EQ(sink.status[0], "Bağlantı Kurulamadı");
}

TEST_F(DeviceCommandsTest, BadNumbersSendNothingAndMissingRowsAreLeftAlone) {
  DeviceList rows = {Ethernet(1, "bir")};
  EXPECT_EQ(ErrorOf([&] { commands.ClearAdministrators(rows, 0); }),
            "'bir' is not a valid integer value");
  EXPECT_THAT(terminal.calls, IsEmpty());
  EXPECT_EQ(sink.status[0], "Yetkililer siliniyor");
  EXPECT_FALSE(commands.DeviceConnected());

  commands.ReadClock(rows, 1);
  commands.TestConnection(rows, -1);
  commands.Reset({}, 0);
  EXPECT_THAT(terminal.calls, IsEmpty());
  EXPECT_EQ(sink.questions, 0);

  // A link lost in the middle still closes the connection.
  rows[0].machineNumber = "3";
  terminal.FailOnCall("ClearAdministrators", 1);
  EXPECT_EQ(ErrorOf([&] { commands.ClearAdministrators(rows, 0); }), "Cihazla iletişim koptu");
  EXPECT_FALSE(terminal.IsConnected());
  EXPECT_FALSE(commands.DeviceConnected());
}

TEST_F(DeviceCommandsTest, AdministratorsAndResetReportEachOutcome) {
  const DeviceList rows = {Ethernet(1, "4")};
  commands.ClearAdministrators(rows, 0);
  EXPECT_EQ(sink.status[0], "Yetkililer silindi");
  EXPECT_EQ(terminal.CallCount("ClearAdministrators"), 1);

  sink.answer = false;
  commands.Reset(rows, 0);
  EXPECT_EQ(sink.status[0], "");
  EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 1);

  sink.answer = true;
  terminal.refuseNetwork = true;
  commands.Reset(rows, 0);
  EXPECT_EQ(sink.status[0], "Bağlantı Kurulamadı");
  EXPECT_EQ(terminal.CallCount("ClearAllData"), 0);

  terminal.refuseNetwork = false;
  terminal.refusedOperations = {
      "ClearAllData"};  // not examined: the terminal's answer is not checked
  commands.Reset(rows, 0);
  EXPECT_EQ(sink.status[0], "Cihaz Sıfırlandı");
  EXPECT_EQ(terminal.calls.back(), "Disconnect()");
  EXPECT_EQ(terminal.CallCount("ClearAllData"), 1);
  EXPECT_EQ(sink.questions, 3);
}

TEST(PersonnelTargetTest, TakesTheMachineNumberForBothLinesAndCutsTheAddress) {
  DeviceEntry entry = Ethernet(4370, "12");
  entry.ipAddress = "192.168.100.200     yedek";
  EXPECT_EQ(PersonnelTargetOf(entry),
            (ConnectionTarget{ConnectionKind::kNetwork, "192.168.100.200     ", 4370, 0, 0, 12}));
  entry.connectionType = "";
  entry.comPort = "COM3";
  entry.baudRate = "9600";
  EXPECT_EQ(PersonnelTargetOf(entry),
            (ConnectionTarget{ConnectionKind::kSerial, "", 0, 0, 9600, 12}));
}

}  // namespace
}  // namespace miravel
