// The one way from a device entry to a connection, with the rules by which the
// transfer, the settings window and the personnel window differ.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/AppError.h"
#include "terminal/DeviceConnection.h"
#include "tests/support/FakeTerminal.h"

namespace miravel {
namespace {

using ::testing::ElementsAre;

DeviceEntry Entry(const std::string& type, const std::string& comPort = "Com3") {
  DeviceEntry entry;
  entry.connectionType = type;
  entry.machineNumber = "7";
  entry.comPort = comPort;
  entry.baudRate = "19200";
  entry.ipAddress = "127.0.0.1";
  entry.ipPort = "4370";
  return entry;
}

std::string ErrorOf(const DeviceEntry& entry, const ConnectionRules& rules) {
  try {
    TargetOf(entry, rules);
  } catch (const AppError& error) {
    return error.what();
  }
  return "";
}

TEST(DeviceConnectionTest, RulesChooseTheLineAndReadThePortAsEachCommandAlwaysHas) {
  // Only exactly "Ethernet" is a network; an empty or near-miss type goes over
  // the serial line for the settings and personnel windows and is not tried by
  // the transfer and the connection test.
  for (const std::string type : {"", "Ethernet ", "ethernet", "Modem"}) {
    EXPECT_EQ(TargetOf(Entry(type), kSettingsConnection).kind, ConnectionKind::kSerial) << type;
    EXPECT_EQ(TargetOf(Entry(type), kPersonnelConnection).kind, ConnectionKind::kSerial) << type;
    EXPECT_EQ(TargetOf(Entry(type), kTestConnection).kind, ConnectionKind::kNone) << type;
    EXPECT_EQ(TargetOf(Entry(type), kTransferConnection).kind, ConnectionKind::kNone) << type;
  }
  const ConnectionTarget network = TargetOf(Entry("Ethernet"), kTestConnection);
  EXPECT_EQ(network, (ConnectionTarget{ConnectionKind::kNetwork, "127.0.0.1", 4370, 0, 0, 0}));
  EXPECT_EQ(TargetOf(Entry("Comm Port"), kTransferConnection),
            (ConnectionTarget{ConnectionKind::kSerial, "", 0, 3, 19200, 7}));

  // The fourth character, or an exact name of Com1..Com4 with 0 for anything
  // else (never a port of an earlier connection).
  const auto port = [](const std::string& text, const ConnectionRules& rules) {
    return TargetOf(Entry("Comm Port", text), rules).comPort;
  };
  EXPECT_EQ(port("COM3", kSettingsConnection), 3);
  EXPECT_EQ(port("Com12", kSettingsConnection), 1);
  EXPECT_EQ(port("Com4", kPersonnelConnection), 4);
  EXPECT_EQ(port("COM3", kPersonnelConnection), 0);
  EXPECT_EQ(port("Comx", kPersonnelConnection), 0);
  EXPECT_EQ(ErrorOf(Entry("Comm Port", "Comx"), kSettingsConnection),
            "'x' is not a valid integer value");
}

TEST(DeviceConnectionTest, ReadsOnlyTheNumbersTheLineNeedsInOrder) {
  DeviceEntry bad = Entry("Comm Port", "Port");
  bad.baudRate = "hızlı";
  bad.machineNumber = "bir";
  EXPECT_EQ(ErrorOf(bad, kSettingsConnection), "'hızlı' is not a valid integer value");
  bad.baudRate = "9600";
  EXPECT_EQ(ErrorOf(bad, kSettingsConnection), "'bir' is not a valid integer value");

  // A network entry needs neither the baud rate nor the machine number.
  bad.connectionType = "Ethernet";
  EXPECT_EQ(TargetOf(bad, kPersonnelConnection).ipPort, 4370);
  EXPECT_THROW(MachineNumberOf(bad), AppError);
  bad.ipPort = " 43 70";
  EXPECT_EQ(ErrorOf(bad, kTestConnection), "' 43 70' is not a valid integer value");
}

TEST(DeviceConnectionTest, ConnectsAndRegistersForEventsOnlyWhenAsked) {
  test::FakeTerminal terminal;
  ConnectionTarget network = TargetOf(Entry("Ethernet"), kPersonnelConnection);
  network.machineNumber = 7;
  ASSERT_TRUE(ConnectTo(terminal, network, kPersonnelConnection));
  ASSERT_TRUE(ConnectTo(terminal, TargetOf(Entry(""), kPersonnelConnection), kPersonnelConnection));
  EXPECT_TRUE(ConnectTo(terminal, network, kSettingsConnection));
  EXPECT_THAT(terminal.calls, ElementsAre("ConnectNetwork(127.0.0.1,4370)", "RegisterEvents(7,1)",
                                          "ConnectSerial(3,7,19200)", "RegisterEvents(7,2000)",
                                          "ConnectNetwork(127.0.0.1,4370)"));

  terminal.calls.clear();
  terminal.refuseNetwork = true;
  EXPECT_FALSE(ConnectTo(terminal, network, kPersonnelConnection));
  EXPECT_FALSE(ConnectTo(terminal, ConnectionTarget{}, kSettingsConnection));
  EXPECT_THAT(terminal.calls, ElementsAre("ConnectNetwork(127.0.0.1,4370)"));
}

TEST(PersonnelTargetTest, TakesTheMachineNumberForBothLinesAndCutsTheAddress) {
  DeviceEntry entry;
  entry.connectionType = "Ethernet";
  entry.ipAddress = "192.168.100.200     yedek";
  entry.ipPort = "4370";
  entry.machineNumber = "12";
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
