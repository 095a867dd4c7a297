#include "devices/DeviceCommands.h"

#include <utility>
#include <vector>

#include "devices/ClockText.h"
#include "devices/DeviceStatus.h"
#include "devices/RowsByLink.h"
#include "terminal/DeviceConnection.h"
#include "terminal/TerminalClient.h"

namespace miravel {
namespace {

bool Exists(const DeviceList& rows, int device) {
  return device >= 1 && static_cast<std::size_t>(device) <= rows.size();
}

const DeviceEntry& DeviceAt(const DeviceList& rows, int device) {
  return rows[static_cast<std::size_t>(device - 1)];
}

}  // namespace

std::string ClockReading::Text() const {
  return terminal ? FormatClockText(*terminal) : std::string();
}

std::optional<long long> ClockReading::Difference() const {
  if (!terminal) return std::nullopt;
  return SecondsBetween(pc, *terminal);
}

// The open connection of one command: closed, and DeviceConnected cleared,
// however the command ends.
class DeviceCommands::Session {
 public:
  explicit Session(DeviceCommands& commands) : commands_(commands) {}
  ~Session() {
    commands_.terminal_.Disconnect();
    commands_.deviceConnected_ = false;
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

 private:
  DeviceCommands& commands_;
};

DeviceCommands::DeviceCommands(TerminalClient& terminal, DeviceCommandSink& sink,
                               TerminalClientMaker makeClient)
    : terminal_(terminal), sink_(sink), makeClient_(std::move(makeClient)) {}

bool DeviceCommands::ConnectSelectedDevice(const DeviceList& rows, int device) {
  deviceConnected_ = false;
  if (!Exists(rows, device)) return false;
  const DeviceEntry& entry = DeviceAt(rows, device);
  const ConnectionTarget target = TargetOf(entry, kSettingsConnection);
  // Every command after the connect needs the machine number: read it before
  // anything is sent, so a bad one leaves the terminal untouched.
  const int machine =
      target.kind == ConnectionKind::kNetwork ? MachineNumberOf(entry) : target.machineNumber;
  if (ConnectTo(terminal_, target, kSettingsConnection)) {
    deviceConnected_ = true;
    machineNumber_ = machine;
  } else {
    sink_.StatusChanged(device, device_status::kRefused);
  }
  sink_.Repaint();
  return deviceConnected_;
}

void DeviceCommands::TestDevice(const DeviceList& rows, int device) {
  const ConnectionTarget target = TargetOf(DeviceAt(rows, device), kTestConnection);
  if (target.kind == ConnectionKind::kNone) return;
  if (ConnectTo(terminal_, target, kTestConnection)) {
    DisconnectOnExit disconnect(terminal_);
    sink_.StatusChanged(device, device_status::kConnected);
  } else {
    sink_.StatusChanged(device, device_status::kRefused);
  }
}

void DeviceCommands::TestConnection(const DeviceList& rows, int device) {
  if (!Exists(rows, device)) return;
  Start(rows, device, device_status::kChecking);
  TestDevice(rows, device);
  sink_.Repaint();
}

void DeviceCommands::TestAllConnections(const DeviceList& rows, const StopRequest* stop) {
  std::vector<int> devices;
  for (int device = 1; Exists(rows, device); ++device) {
    sink_.StatusChanged(device, "");
    devices.push_back(device);
  }
  RunRowsByLink(rows, devices, kTestConnection, makeClient_, &terminal_, sink_,
                [&rows, stop](DeviceCommands& commands, int device) {
                  // An empty cell would read as a test still to come.
                  if (stop != nullptr && stop->Requested()) {
                    commands.sink_.StatusChanged(device, device_status::kNotTested);
                    return;
                  }
                  commands.sink_.StatusChanged(device, device_status::kChecking);
                  commands.sink_.Repaint();
                  commands.TestDevice(rows, device);
                  commands.sink_.Repaint();
                });
}

void DeviceCommands::Start(const DeviceList& rows, int device, const char* text) {
  for (int other = 1; Exists(rows, other); ++other) sink_.StatusChanged(other, "");
  sink_.StatusChanged(device, text);
  sink_.Repaint();
  sink_.StripeRows();
}

ClockReading DeviceCommands::ReadConnectedClock(const Clock& pcClock) {
  ClockReading reading;
  LocalDateTime time;
  if (terminal_.GetDeviceTime(machineNumber_, time.year, time.month, time.day, time.hour,
                              time.minute, time.second)) {
    reading.terminal = time;
  }
  reading.pc = pcClock.Now();
  return reading;
}

std::optional<ClockReading> DeviceCommands::ReadClock(const DeviceList& rows, int device,
                                                      const Clock& pcClock) {
  if (!Exists(rows, device)) return std::nullopt;
  Start(rows, device, device_status::kReadingClock);
  if (!ConnectSelectedDevice(rows, device)) return std::nullopt;
  Session session(*this);
  // The success text only once the terminal told its clock: a refusal or a
  // broken link must not stand beside "read".
  ClockReading reading = ReadConnectedClock(pcClock);
  sink_.StatusChanged(device,
                      reading.terminal ? device_status::kClockRead : device_status::kDeviceRefused);
  return reading;
}

std::optional<ClockSetting> DeviceCommands::SetClock(const DeviceList& rows, int device,
                                                     const Clock& pcClock,
                                                     std::optional<long long> leastDifference) {
  if (!Exists(rows, device)) return std::nullopt;
  Start(rows, device, device_status::kSettingClock);
  if (!ConnectSelectedDevice(rows, device)) return std::nullopt;
  Session session(*this);
  ClockSetting setting;
  if (leastDifference) {
    setting.before = ReadConnectedClock(pcClock);
    const std::optional<long long> off = setting.before->Difference();
    if (off && *off < *leastDifference && -*off < *leastDifference) {
      // Near enough: the terminal keeps its clock, and the row says it was read.
      sink_.StatusChanged(device, device_status::kClockRead);
      setting.after = *setting.before;
      return setting;
    }
  }
  const LocalDateTime now = pcClock.Now();
  setting.sent = true;
  setting.refused = !terminal_.SetDeviceTime(machineNumber_, now.year, now.month, now.day, now.hour,
                                             now.minute, now.second);
  sink_.StatusChanged(device,
                      setting.refused ? device_status::kDeviceRefused : device_status::kClockSet);
  setting.after = ReadConnectedClock(pcClock);
  return setting;
}

void DeviceCommands::ClearAdministrators(const DeviceList& rows, int device) {
  if (!Exists(rows, device)) return;
  Start(rows, device, device_status::kClearingAdministrators);
  if (!ConnectSelectedDevice(rows, device)) {
    sink_.StatusChanged(device, device_status::kRefused);
    return;
  }
  Session session(*this);
  const bool cleared = terminal_.ClearAdministrators(machineNumber_);
  sink_.StatusChanged(
      device, cleared ? device_status::kAdministratorsCleared : device_status::kDeviceRefused);
}

void DeviceCommands::Reset(const DeviceList& rows, int device) {
  if (AskReset(rows, device)) EraseAfterYes(rows, device);
}

bool DeviceCommands::AskReset(const DeviceList& rows, int device) {
  if (!Exists(rows, device)) return false;
  Start(rows, device, device_status::kResetting);
  if (sink_.ConfirmReset()) return true;
  sink_.StatusChanged(device, "");
  return false;
}

void DeviceCommands::EraseAfterYes(const DeviceList& rows, int device) {
  if (!Exists(rows, device)) return;
  if (!ConnectSelectedDevice(rows, device)) return;
  Session session(*this);
  const bool erased = terminal_.ClearAllData(machineNumber_);
  sink_.StatusChanged(device, erased ? device_status::kResetDone : device_status::kDeviceRefused);
}

}  // namespace miravel
