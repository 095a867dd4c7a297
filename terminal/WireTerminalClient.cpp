#include "terminal/WireTerminalClient.h"

#include "core/AppError.h"
#include "terminal/FdStream.h"
#include "terminal/LinkOpening.h"
#include "terminal/WireSession.h"

namespace miravel {
namespace {

// Verify mode reported with every record: the terminals identify by finger.
constexpr int kVerifyByFinger = 1;

// The status indexes that count what each bulk load brings.
constexpr int kUserCountStatus = 2;
constexpr int kTemplateCountStatus = 3;
constexpr int kRecordCountStatus = 6;

// The session's per-chunk word for the meter; nothing at all when nobody listens.
WireSession::ItemsArrived Told(BulkReadMeter& meter) {
  if (!meter.Active()) return {};
  return [&meter](std::size_t received) { meter.Arrived(received); };
}

}  // namespace

WireTerminalClient::WireTerminalClient(SerialDevicePathFor serialDevicePath, WireTimeouts timeouts)
    : serialDevicePath_(std::move(serialDevicePath)), timeouts_(timeouts) {}

WireTerminalClient::~WireTerminalClient() = default;

BulkReadMeter WireTerminalClient::StartMeter(WireSession& session, int machineNumber,
                                             int countStatus) {
  BulkReadObserver* observer = BulkReadObserverOrNull();
  // Without anyone to tell, the load costs no extra exchange.
  if (!observer) return BulkReadMeter(nullptr, 0);
  int count = 0;
  // A terminal that will not say only costs the bar its steps, not the load.
  if (!session.GetDeviceStatus(machineNumber, countStatus, count) || count < 0) count = 0;
  return BulkReadMeter(observer, static_cast<std::size_t>(count));
}

template <typename Call>
bool WireTerminalClient::OnLink(Call&& call) {
  if (!session_) return false;
  try {
    return call(*session_);
  } catch (...) {
    // The reply stream is out of step after any failure: never read on from it.
    Disconnect();
    throw;
  }
}

bool WireTerminalClient::Open(int fd, bool serial, int machineNumber) {
  if (fd < 0) return false;
  stream_ = std::make_unique<FdStream>(
      fd, serial ? FdStream::Kind::kSerial : FdStream::Kind::kSocket, timeouts_.hello);
  stream_->SetStopRequest(StopRequestOrNull());
  session_ = std::make_unique<WireSession>(*stream_, timeouts_.progress);
  int answeredMachine = 0;
  bool answered = false;
  try {
    answered =
        session_->Hello(machineNumber, wire::kIdentityProtocolVersion, answeredMachine, identity_);
    // A terminal (or bridge) of the version before refuses it; one that does
    // not answer at all is not asked twice.
    if (!answered) {
      answered = session_->Hello(machineNumber, wire::kProtocolVersion, answeredMachine, identity_);
    }
  } catch (const AppError&) {
    answered = false;  // a link that closes or mumbles at once is a refused connection
  } catch (const StoppedOnRequest&) {
    Disconnect();
    throw;
  }
  // On a serial line several terminals may listen; only ours may answer.
  if (!answered || (serial && answeredMachine != machineNumber)) {
    Disconnect();
    return false;
  }
  terminalMachine_ = answeredMachine;
  stream_->SetQuietTimeout(timeouts_.quiet);
  return true;
}

bool WireTerminalClient::ConnectNetwork(const std::string& ipAddress, int port) {
  Disconnect();
  if (port < 1 || port > 65535) return false;
  // The machine number of a network terminal is not known yet: 0 asks whoever
  // is at the address.
  return Open(ConnectTcp(ipAddress, port, timeouts_.connect, StopRequestOrNull()), false, 0);
}

bool WireTerminalClient::ConnectSerial(int comPort, int machineNumber, int baudRate) {
  Disconnect();
  if (!serialDevicePath_) return false;
  return Open(OpenSerialLine(serialDevicePath_(comPort), baudRate), true, machineNumber);
}

void WireTerminalClient::SetStopRequest(const StopRequest* stop) {
  TerminalClient::SetStopRequest(stop);
  if (stream_) stream_->SetStopRequest(stop);
}

void WireTerminalClient::Disconnect() {
  session_.reset();
  stream_.reset();
  terminalMachine_ = 0;
  log_.clear();
  nextRecord_ = 0;
  clearedRecords_ = 0;
  users_.clear();
  nextUser_ = 0;
  templates_.clear();
}

bool WireTerminalClient::RegisterEvents(int machineNumber, int eventMask) {
  return OnLink([&](WireSession& s) { return s.RegisterEvents(machineNumber, eventMask); });
}

bool WireTerminalClient::GetDeviceStatus(int machineNumber, int statusIndex, int& value) {
  return OnLink(
      [&](WireSession& s) { return s.GetDeviceStatus(machineNumber, statusIndex, value); });
}

bool WireTerminalClient::ReadAttendanceLog(int machineNumber) {
  nextRecord_ = 0;
  clearedRecords_ = 0;
  log_.clear();
  return OnLink([&](WireSession& s) {
    BulkReadMeter meter = StartMeter(s, machineNumber, kRecordCountStatus);
    if (!s.ReadAttendanceLog(machineNumber, log_, Told(meter))) return false;
    meter.Finished(log_.size());
    return true;
  });
}

bool WireTerminalClient::GetNextAttendanceRecord(int /*machineNumber*/, int& terminalNumber,
                                                 int& enrollNumber, int& enrollMachine,
                                                 int& verifyMode, int& inOutState, int& year,
                                                 int& month, int& day, int& hour, int& minute) {
  if (!session_ || nextRecord_ >= log_.size()) {
    // Walked to its end: the copy is no longer needed, only how many records
    // were taken (for the clear). A run that keeps many terminals connected
    // until their logs are cleared would otherwise hold every log twice.
    std::vector<wire::LogRecord>().swap(log_);
    return false;
  }
  const wire::LogRecord& record = log_[nextRecord_++];
  terminalNumber = terminalMachine_;
  enrollNumber = record.enrollNumber;
  enrollMachine = terminalMachine_;
  verifyMode = kVerifyByFinger;
  inOutState = record.inOutState;
  year = record.year;
  month = record.month;
  day = record.day;
  hour = record.hour;
  minute = record.minute;
  return true;
}

bool WireTerminalClient::ClearAttendanceLog(int machineNumber) {
  // Only what the program took: records punched since the log was read, and
  // loaded records nobody asked for, stay on the terminal.
  const auto delivered = static_cast<std::uint32_t>(nextRecord_ - clearedRecords_);
  const bool done =
      OnLink([&](WireSession& s) { return s.ClearAttendanceLog(machineNumber, delivered); });
  if (done) clearedRecords_ = nextRecord_;
  return done;
}

bool WireTerminalClient::ReadAllUsers(int machineNumber) {
  nextUser_ = 0;
  users_.clear();
  return OnLink([&](WireSession& s) {
    BulkReadMeter meter = StartMeter(s, machineNumber, kUserCountStatus);
    if (!s.ReadAllUsers(machineNumber, users_, Told(meter))) return false;
    meter.Finished(users_.size());
    return true;
  });
}

bool WireTerminalClient::GetNextUser(int /*machineNumber*/, int& enrollNumber, int& enrollMachine,
                                     int& backupNumber, int& privilege, int& enabled) {
  if (!session_ || nextUser_ >= users_.size()) return false;
  const wire::UserEntry& user = users_[nextUser_++];
  enrollNumber = user.enrollNumber;
  enrollMachine = terminalMachine_;
  backupNumber = 0;
  privilege = user.privilege;
  enabled = user.enabled ? 1 : 0;
  return true;
}

bool WireTerminalClient::GetUserInfo(int machineNumber, int enrollNumber, std::string& name,
                                     std::string& password, int& privilege, bool& enabled) {
  return OnLink([&](WireSession& s) {
    return s.GetUserInfo(machineNumber, enrollNumber, name, password, privilege, enabled);
  });
}

bool WireTerminalClient::SetUserInfo(int machineNumber, int enrollNumber, const std::string& name,
                                     const std::string& password, int privilege, bool enabled) {
  return OnLink([&](WireSession& s) {
    return s.SetUserInfo(machineNumber, enrollNumber, name, password, privilege, enabled);
  });
}

bool WireTerminalClient::DeleteUser(int machineNumber, int enrollNumber, int backupNumber,
                                    int reserved) {
  return OnLink([&](WireSession& s) {
    return s.DeleteUser(machineNumber, enrollNumber, backupNumber, reserved);
  });
}

bool WireTerminalClient::ReadAllTemplates(int machineNumber) {
  templates_.clear();
  std::vector<wire::TemplateEntry> loaded;
  const bool done = OnLink([&](WireSession& s) {
    BulkReadMeter meter = StartMeter(s, machineNumber, kTemplateCountStatus);
    if (!s.ReadAllTemplates(machineNumber, loaded, Told(meter))) return false;
    meter.Finished(loaded.size());
    return true;
  });
  for (auto& entry : loaded) {
    templates_[{entry.enrollNumber, entry.finger}] = std::move(entry.text);
  }
  return done;
}

bool WireTerminalClient::GetFingerTemplate(int /*machineNumber*/, int enrollNumber, int finger,
                                           std::string& templateText, int& length) {
  templateText.clear();
  length = 0;
  if (!session_) return false;
  const auto found = templates_.find({enrollNumber, finger});
  if (found == templates_.end()) return false;
  templateText = found->second;
  length = static_cast<int>(templateText.size());
  return true;
}

bool WireTerminalClient::SetFingerTemplate(int machineNumber, int enrollNumber, int finger,
                                           const std::string& templateText) {
  return OnLink([&](WireSession& s) {
    return s.SetFingerTemplate(machineNumber, enrollNumber, finger, templateText);
  });
}

bool WireTerminalClient::DeleteFingerTemplate(int machineNumber, int enrollNumber, int finger) {
  return OnLink(
      [&](WireSession& s) { return s.DeleteFingerTemplate(machineNumber, enrollNumber, finger); });
}

bool WireTerminalClient::GetDeviceTime(int machineNumber, int& year, int& month, int& day,
                                       int& hour, int& minute, int& second) {
  return OnLink([&](WireSession& s) {
    DeviceTime time;
    if (!s.GetDeviceTime(machineNumber, time)) return false;
    year = time.year;
    month = time.month;
    day = time.day;
    hour = time.hour;
    minute = time.minute;
    second = time.second;
    return true;
  });
}

bool WireTerminalClient::SetDeviceTime(int machineNumber, int year, int month, int day, int hour,
                                       int minute, int second) {
  return OnLink([&](WireSession& s) {
    return s.SetDeviceTime(machineNumber, DeviceTime{year, month, day, hour, minute, second});
  });
}

bool WireTerminalClient::ClearAdministrators(int machineNumber) {
  return OnLink([&](WireSession& s) { return s.ClearAdministrators(machineNumber); });
}

bool WireTerminalClient::ClearAllData(int machineNumber) {
  return OnLink([&](WireSession& s) { return s.ClearAllData(machineNumber); });
}

}  // namespace miravel
