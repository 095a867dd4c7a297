// The settings window's commands against the fake terminal, without a window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "core/AppError.h"
#include "devices/ClockText.h"
#include "devices/DeviceCommands.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/TestClock.h"

namespace miravel {
namespace {

using ::testing::ElementsAre;

// Remembers the status of every device and what was on screen at each paint.
class RecordingSink : public DeviceCommandSink {
 public:
  void StatusChanged(int device, const std::string& text) override { status[device] = text; }
  void Repaint() override { painted.push_back(status); }
  void StripeRows() override { ++stripes; }
  bool ConfirmReset() override { return true; }

  std::map<int, std::string> status;
  std::vector<std::map<int, std::string>> painted;
  int stripes = 0;
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
  test::TestClock pc;
  RecordingSink sink;
  DeviceCommands commands{terminal, sink};
};

TEST(FormatClockTextTest, PadsEachNumberAndKeepsTheLastDigitsOfALongOne) {
  EXPECT_EQ(FormatClockText({2024, 3, 5, 9, 7, 3}), "05/03/2024  09:07:03");
  EXPECT_EQ(FormatClockText({12026, 12, 131, 0, 0, 59}), "31/12/2026  00:00:59");
}

TEST_F(DeviceCommandsTest, TestAllPaintsCheckingBeforeEachConnectAndStopsAtABadNumber) {
  DeviceList rows = {Ethernet(1), Ethernet(2), Ethernet(3)};
  terminal.refusedPorts = {2};
  std::vector<std::string> shownAtConnect;
  terminal.onCall = [&](const std::string& operation) {
    // What the last paint before the connect showed for the device being connected.
    if (operation != "ConnectNetwork") return;
    const int device = static_cast<int>(shownAtConnect.size()) + 1;
    shownAtConnect.push_back(sink.painted.empty() ? "" : sink.painted.back()[device]);
  };
  commands.TestAllConnections(rows);
  EXPECT_THAT(shownAtConnect,
              ElementsAre("Kontrol Ediliyor", "Kontrol Ediliyor", "Kontrol Ediliyor"));
  EXPECT_EQ(sink.status[2], "Bağlantı Kurulamadı");
  EXPECT_EQ(sink.stripes, 0);

  // Earlier rows keep their result, the current one "Kontrol Ediliyor", later rows stay empty.
  rows[1].ipPort = "43x";
  EXPECT_EQ(ErrorOf([&] { commands.TestAllConnections(rows); }),
            "'43x' is not a valid integer value");
  EXPECT_EQ(sink.status[1], "Bağlantı Kuruldu");
  EXPECT_EQ(sink.status[2], "Kontrol Ediliyor");
  EXPECT_EQ(sink.status[3], "");
}

TEST_F(DeviceCommandsTest, ARefusalShowsNoSuccessTextAndTheLinkAlwaysCloses) {
  const DeviceList rows = {Ethernet(1)};
  // Not zeros or the values of an earlier reading.
  EXPECT_EQ(commands.ReadClock(rows, 1, pc)->Text(), "07/12/2026  09:00:00");
  terminal.refusedOperations = {"GetDeviceTime"};
  EXPECT_EQ(commands.ReadClock(rows, 1, pc)->Text(), "");
  EXPECT_EQ(sink.status[1], "Cihaz işlemi yapmadı");
  EXPECT_EQ(commands.SetClock(rows, 1, pc)->after.Text(), "");
  EXPECT_EQ(sink.status[1], "Tarih/Saat Kaydedildi");

  terminal.FailOnCall("ClearAdministrators", 1);
  EXPECT_EQ(ErrorOf([&] { commands.ClearAdministrators(rows, 1); }), "Cihazla iletişim koptu");
  EXPECT_FALSE(terminal.IsConnected());
  EXPECT_FALSE(commands.DeviceConnected());
  // A refused call never shows its success text.
  terminal.refusedOperations = {"SetDeviceTime", "ClearAdministrators", "ClearAllData"};
  commands.SetClock(rows, 1, pc);
  EXPECT_EQ(sink.status[1], "Cihaz işlemi yapmadı");
  commands.ClearAdministrators(rows, 1);
  EXPECT_EQ(sink.status[1], "Cihaz işlemi yapmadı");
  commands.Reset(rows, 1);
  EXPECT_EQ(sink.status[1], "Cihaz işlemi yapmadı");
  terminal.refusedOperations = {};
  // No connection: nothing for the field, and the row says why.
  terminal.refuseNetwork = true;
  EXPECT_FALSE(commands.ReadClock(rows, 1, pc).has_value());
  EXPECT_EQ(sink.status[1], "Bağlantı Kurulamadı");
}

}  // namespace
}  // namespace miravel
