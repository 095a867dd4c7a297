// The settings window's commands against the fake terminal, without a window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
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

// With a client per link: four rows, two of them on one link and one
// refused. The links are tested at once, the rows of one link one after the
// other, every status reaches the sink on the thread that started the test,
// and a bad number still stops the run where a run row after row would.
TEST(TestAllConnectionsByLinkTest, TestsTheLinksAtOnceAndTheRowsOfOneLinkInTurn) {
  std::mutex mutex;
  std::map<std::string, int> connecting;  // per connect call with its arguments
  int atOnce = 0, mostAtOnce = 0, mostOnOneLink = 0;
  const TerminalClientMaker maker = [&]() -> std::shared_ptr<TerminalClient> {
    auto terminal = std::make_shared<test::FakeTerminal>();
    terminal->refusedPorts = {3};
    test::FakeTerminal* self = terminal.get();
    terminal->onCall = [&, self](const std::string& operation) {
      if (operation != "ConnectNetwork") return;
      const std::string link = self->calls.back();
      {
        const std::lock_guard<std::mutex> hold(mutex);
        mostAtOnce = std::max(mostAtOnce, ++atOnce);
        mostOnOneLink = std::max(mostOnOneLink, ++connecting[link]);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      const std::lock_guard<std::mutex> hold(mutex);
      --atOnce;
      --connecting[link];
    };
    return terminal;
  };
  class CallerThreadSink : public RecordingSink {
   public:
    void StatusChanged(int device, const std::string& text) override {
      onCaller = onCaller && std::this_thread::get_id() == caller;
      RecordingSink::StatusChanged(device, text);
    }
    std::thread::id caller = std::this_thread::get_id();
    bool onCaller = true;
  } sink;
  test::FakeTerminal unused;
  DeviceCommands commands(unused, sink, maker);
  DeviceList rows = {Ethernet(1), Ethernet(2), Ethernet(1), Ethernet(3)};
  commands.TestAllConnections(rows);
  EXPECT_EQ(sink.status, (std::map<int, std::string>{{1, "Bağlantı Kuruldu"},
                                                     {2, "Bağlantı Kuruldu"},
                                                     {3, "Bağlantı Kuruldu"},
                                                     {4, "Bağlantı Kurulamadı"}}));
  EXPECT_GE(mostAtOnce, 2);
  EXPECT_EQ(mostOnOneLink, 1);
  EXPECT_TRUE(sink.onCaller);
  EXPECT_TRUE(unused.calls.empty());

  rows[2].ipPort = "43x";
  try {
    commands.TestAllConnections(rows);
    ADD_FAILURE() << "no error";
  } catch (const AppError& error) {
    EXPECT_STREQ(error.what(), "'43x' is not a valid integer value");
  }
  EXPECT_EQ(sink.status[2], "Bağlantı Kuruldu");
  EXPECT_EQ(sink.status[3], "Kontrol Ediliyor");
  EXPECT_EQ(sink.status[4], "");  // another link, but after the stop: not contacted
}

}  // namespace
}  // namespace miravel
