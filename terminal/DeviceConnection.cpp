#include "terminal/DeviceConnection.h"

#include <array>

#include "core/Numbers.h"
#include "core/Utf8.h"
#include "terminal/TerminalClient.h"

namespace miravel {
namespace {

constexpr int kNetworkEvents = 1;
constexpr int kSerialEvents = 2000;
constexpr std::size_t kPersonnelAddressWidth = 20;

int ComPortByExactName(const std::string& portName) {
  static constexpr std::array<const char*, 4> kNames = {"Com1", "Com2", "Com3", "Com4"};
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (portName == kNames[i]) return static_cast<int>(i) + 1;
  }
  return 0;
}

}  // namespace

int ComPortFromText(const std::string& portName) {
  // The fourth character; a shorter name gives an empty text, which is not a
  // number either.
  const std::string firstThree = CutToChars(portName, 3);
  const std::string firstFour = CutToChars(portName, 4);
  return ParseInteger(firstFour.substr(firstThree.size()));
}

int MachineNumberOf(const DeviceEntry& device) {
  return ParseInteger(device.machineNumber);
}

ConnectionTarget TargetOf(const DeviceEntry& device, const ConnectionRules& rules) {
  ConnectionTarget target;
  if (device.connectionType == kConnectionEthernet) {
    target.kind = ConnectionKind::kNetwork;
    target.ipAddress = device.ipAddress;
    target.ipPort = ParseInteger(device.ipPort);
    return target;
  }
  const bool serial = rules.serial == SerialChoice::kAnythingButEthernet ||
                      device.connectionType == kConnectionSerial;
  if (!serial) return target;
  target.kind = ConnectionKind::kSerial;
  target.baudRate = ParseInteger(device.baudRate);
  target.machineNumber = MachineNumberOf(device);
  target.comPort = rules.comPort == ComPortReading::kExactName ? ComPortByExactName(device.comPort)
                                                               : ComPortFromText(device.comPort);
  return target;
}

ConnectionTarget PersonnelTargetOf(const DeviceEntry& device) {
  ConnectionTarget target = TargetOf(device, kPersonnelConnection);
  if (target.kind == ConnectionKind::kNetwork) {
    target.machineNumber = MachineNumberOf(device);
    target.ipAddress = CutToChars(target.ipAddress, kPersonnelAddressWidth);
  }
  return target;
}

bool ConnectTo(TerminalClient& terminal, const ConnectionTarget& target,
               const ConnectionRules& rules) {
  switch (target.kind) {
    case ConnectionKind::kNetwork:
      if (!terminal.ConnectNetwork(target.ipAddress, target.ipPort)) return false;
      if (rules.registerEvents) terminal.RegisterEvents(target.machineNumber, kNetworkEvents);
      return true;
    case ConnectionKind::kSerial:
      if (!terminal.ConnectSerial(target.comPort, target.machineNumber, target.baudRate)) {
        return false;
      }
      if (rules.registerEvents) terminal.RegisterEvents(target.machineNumber, kSerialEvents);
      return true;
    case ConnectionKind::kNone:
      break;
  }
  return false;
}

DisconnectOnExit::~DisconnectOnExit() {
  terminal_.Disconnect();
}

}  // namespace miravel
