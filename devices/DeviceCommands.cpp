#include "devices/DeviceCommands.h"

#include "core/Numbers.h"
#include "core/Utf8.h"
#include "terminal/TerminalClient.h"

namespace miravel {
namespace {

constexpr std::size_t kTargetAddressWidth = 20;

bool Exists(const DeviceList& rows, int row) {
  return row >= 0 && static_cast<std::size_t>(row) < rows.size();
}

}  // namespace

std::string FormatClockText(const LocalDateTime& time) {
  return PadNumber(2, time.day) + "/" + PadNumber(2, time.month) + "/" + PadNumber(4, time.year) +
         "  " + PadNumber(2, time.hour) + ":" + PadNumber(2, time.minute) + ":" +
         PadNumber(2, time.second);
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
                               int& activeMachineNumber)
    : terminal_(terminal), sink_(sink), activeMachineNumber_(activeMachineNumber) {}

bool DeviceCommands::ConnectSelectedDevice(const DeviceList& rows, int row) {
  deviceConnected_ = false;
  if (!Exists(rows, row)) return false;
  const DeviceEntry& device = rows[row];
  const ConnectionTarget target = TargetOf(device, kSettingsConnection);
  // Every command after the connect needs the machine number: read it before
  // anything is sent, so a bad one leaves the terminal untouched.
  const int machine =
      target.kind == ConnectionKind::kNetwork ? MachineNumberOf(device) : target.machineNumber;
  if (ConnectTo(terminal_, target, kSettingsConnection)) {
    deviceConnected_ = true;
    activeMachineNumber_ = machine;
  } else {
    sink_.StatusChanged(row, device_status::kRefused);
  }
  sink_.Repaint();
  return deviceConnected_;
}

void DeviceCommands::TestRow(const DeviceList& rows, int row) {
  const ConnectionTarget target = TargetOf(rows[row], kConnectionTest);
  if (target.kind == ConnectionKind::kNone) return;
  if (ConnectTo(terminal_, target, kConnectionTest)) {
    DisconnectOnExit disconnect(terminal_);
    sink_.StatusChanged(row, device_status::kConnected);
  } else {
    sink_.StatusChanged(row, device_status::kRefused);
  }
}

void DeviceCommands::TestConnection(const DeviceList& rows, int row) {
  if (!Exists(rows, row)) return;
  Start(rows, row, device_status::kChecking);
  TestRow(rows, row);
  sink_.Repaint();
}

void DeviceCommands::TestAllConnections(const DeviceList& rows) {
  for (int row = 0; Exists(rows, row); ++row) sink_.StatusChanged(row, "");
  for (int row = 0; Exists(rows, row); ++row) {
    sink_.StatusChanged(row, device_status::kChecking);
    sink_.Repaint();
    TestRow(rows, row);
    sink_.Repaint();
  }
}

void DeviceCommands::Start(const DeviceList& rows, int row, const char* text) {
  for (int r = 0; Exists(rows, r); ++r) sink_.StatusChanged(r, "");
  sink_.StatusChanged(row, text);
  sink_.Repaint();
  sink_.StripeRows();
}

std::string DeviceCommands::ReadClockText() {
  LocalDateTime time;
  if (!terminal_.GetDeviceTime(activeMachineNumber_, time.year, time.month, time.day, time.hour,
                               time.minute, time.second)) {
    return {};
  }
  return FormatClockText(time);
}

std::optional<std::string> DeviceCommands::ReadClock(const DeviceList& rows, int row) {
  if (!Exists(rows, row)) return std::nullopt;
  Start(rows, row, device_status::kReadingClock);
  if (!ConnectSelectedDevice(rows, row)) return std::nullopt;
  Session session(*this);
  // The success text only once the terminal told its clock: a refusal or a
  // broken link must not stand beside "read".
  std::string text = ReadClockText();
  sink_.StatusChanged(row,
                      text.empty() ? device_status::kDeviceRefused : device_status::kClockRead);
  return text;
}

std::optional<std::string> DeviceCommands::SetClock(const DeviceList& rows, int row,
                                                    const Clock& pcClock) {
  if (!Exists(rows, row)) return std::nullopt;
  Start(rows, row, device_status::kSettingClock);
  if (!ConnectSelectedDevice(rows, row)) return std::nullopt;
  Session session(*this);
  const LocalDateTime now = pcClock.Now();
  const bool set = terminal_.SetDeviceTime(activeMachineNumber_, now.year, now.month, now.day,
                                           now.hour, now.minute, now.second);
  sink_.StatusChanged(row, set ? device_status::kClockSet : device_status::kDeviceRefused);
  return ReadClockText();
}

void DeviceCommands::ClearAdministrators(const DeviceList& rows, int row) {
  if (!Exists(rows, row)) return;
  Start(rows, row, device_status::kClearingAdministrators);
  if (!ConnectSelectedDevice(rows, row)) {
    sink_.StatusChanged(row, device_status::kRefused);
    return;
  }
  Session session(*this);
  const bool cleared = terminal_.ClearAdministrators(activeMachineNumber_);
  sink_.StatusChanged(
      row, cleared ? device_status::kAdministratorsCleared : device_status::kDeviceRefused);
}

void DeviceCommands::Reset(const DeviceList& rows, int row) {
  if (!Exists(rows, row)) return;
  Start(rows, row, device_status::kResetting);
  if (!sink_.ConfirmReset()) {
    sink_.StatusChanged(row, "");
    return;
  }
  sink_.RepaintWindow();
  if (!ConnectSelectedDevice(rows, row)) return;
  Session session(*this);
  const bool erased = terminal_.ClearAllData(activeMachineNumber_);
  sink_.StatusChanged(row, erased ? device_status::kResetDone : device_status::kDeviceRefused);
}

ConnectionTarget PersonnelTargetOf(const DeviceEntry& device) {
  ConnectionTarget target = TargetOf(device, kPersonnelConnection);
  if (target.kind == ConnectionKind::kNetwork) {
    target.machineNumber = MachineNumberOf(device);
    target.ipAddress = CutToChars(target.ipAddress, kTargetAddressWidth);
  }
  return target;
}

}  // namespace miravel
