#include "tests/support/FakeTerminal.h"

#include <algorithm>

#include "core/AppError.h"

namespace miravel::test {
namespace {

std::string Join(std::initializer_list<std::string> parts) {
  std::string out;
  for (const auto& part : parts) {
    if (!out.empty()) out += ",";
    out += part;
  }
  return out;
}

std::string N(int value) {
  return std::to_string(value);
}

}  // namespace

void FakeTerminal::FailOnCall(const std::string& operation, int occurrence,
                              const std::string& message) {
  failures_[operation] = {occurrence, message};
}

int FakeTerminal::CallCount(const std::string& operation) const {
  const auto it = callCounts_.find(operation);
  return it == callCounts_.end() ? 0 : it->second;
}

void FakeTerminal::Enter(const std::string& operation, const std::string& arguments) {
  calls.push_back(operation + "(" + arguments + ")");
  const int count = ++callCounts_[operation];
  if (onCall) onCall(operation);
  const auto failure = failures_.find(operation);
  if (failure != failures_.end() && failure->second.first == count) {
    throw AppError(failure->second.second);
  }
}

bool FakeTerminal::Accepts(const std::string& operation) const {
  return connected_ && refusedOperations.count(operation) == 0;
}

bool FakeTerminal::ConnectNetwork(const std::string& ipAddress, int port) {
  Enter("ConnectNetwork", Join({ipAddress, N(port)}));
  ForgetLoadedLog();
  connected_ = !refuseNetwork && refusedPorts.count(port) == 0;
  return connected_;
}

bool FakeTerminal::ConnectSerial(int comPort, int machineNumber, int baudRate) {
  Enter("ConnectSerial", Join({N(comPort), N(machineNumber), N(baudRate)}));
  ForgetLoadedLog();
  connected_ = !refuseSerial;
  return connected_;
}

void FakeTerminal::Disconnect() {
  calls.push_back("Disconnect()");
  connected_ = false;
  ForgetLoadedLog();
}

void FakeTerminal::ForgetLoadedLog() {
  loadedLog_.clear();
  nextRecord_ = 0;
  clearedRecords_ = 0;
}

bool FakeTerminal::RegisterEvents(int machineNumber, int eventMask) {
  Enter("RegisterEvents", Join({N(machineNumber), N(eventMask)}));
  return connected_;
}

bool FakeTerminal::GetDeviceStatus(int machineNumber, int statusIndex, int& value) {
  Enter("GetDeviceStatus", Join({N(machineNumber), N(statusIndex)}));
  if (!connected_ || statusFails) return false;
  if (statusIndex == 2) {
    value = reportedUserCount.value_or(static_cast<int>(users.size()));
  } else if (statusIndex == 6) {
    value = reportedRecordCount.value_or(static_cast<int>(log.size()));
  } else {
    value = 0;
  }
  return true;
}

void FakeTerminal::TellLoad(int countStatus, std::size_t total) {
  BulkReadObserver* observer = BulkReadObserverOrNull();
  if (!observer) return;
  int count = 0;  // what a failing status leaves
  if (!statusFails && countStatus == 2) {
    count = reportedUserCount.value_or(static_cast<int>(users.size()));
  } else if (!statusFails && countStatus == 6) {
    count = reportedRecordCount.value_or(static_cast<int>(log.size()));
  } else if (!statusFails) {
    count = static_cast<int>(templates.size());
  }
  BulkReadMeter meter(observer, static_cast<std::size_t>(std::max(count, 0)));
  for (std::size_t received = 0; received < total;) {
    received = std::min(total, received + std::max<std::size_t>(itemsPerChunk, 1));
    ++chunksSent;
    meter.Arrived(received);
  }
  meter.Finished(total);
}

bool FakeTerminal::ReadAttendanceLog(int machineNumber) {
  Enter("ReadAttendanceLog", N(machineNumber));
  ForgetLoadedLog();
  if (!connected_ || refuseReadLog) return false;
  TellLoad(6, log.size());
  loadedLog_ = log;
  return true;
}

bool FakeTerminal::GetNextAttendanceRecord(int machineNumber, int& terminalNumber,
                                           int& enrollNumber, int& enrollMachine, int& verifyMode,
                                           int& inOutState, int& year, int& month, int& day,
                                           int& hour, int& minute) {
  Enter("GetNextAttendanceRecord", N(machineNumber));
  if (!connected_ || nextRecord_ >= loadedLog_.size()) return false;
  const FakeRecord& record = loadedLog_[nextRecord_++];
  terminalNumber = machineNumber;
  enrollMachine = machineNumber;
  verifyMode = 1;
  enrollNumber = record.enrollNumber;
  inOutState = record.inOutState;
  year = record.year;
  month = record.month;
  day = record.day;
  hour = record.hour;
  minute = record.minute;
  return true;
}

bool FakeTerminal::ClearAttendanceLog(int machineNumber) {
  Enter("ClearAttendanceLog", N(machineNumber));
  if (!connected_ || refuseClearLog) return false;
  const std::size_t delivered = std::min(nextRecord_ - clearedRecords_, log.size());
  log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(delivered));
  clearedRecords_ = nextRecord_;
  return true;
}

bool FakeTerminal::ReadAllUsers(int machineNumber) {
  Enter("ReadAllUsers", N(machineNumber));
  loadedUsers_.clear();
  nextUser_ = 0;
  if (!Accepts("ReadAllUsers")) return false;
  for (const auto& [enroll, user] : users) loadedUsers_.push_back(enroll);
  if (!listedOrder.empty()) loadedUsers_ = listedOrder;
  TellLoad(2, loadedUsers_.size());
  return true;
}

bool FakeTerminal::GetNextUser(int machineNumber, int& enrollNumber, int& enrollMachine,
                               int& backupNumber, int& privilege, int& enabled) {
  Enter("GetNextUser", N(machineNumber));
  if (!connected_ || nextUser_ >= loadedUsers_.size()) return false;
  enrollNumber = loadedUsers_[nextUser_++];
  const auto it = users.find(enrollNumber);
  enrollMachine = machineNumber;
  backupNumber = 0;
  privilege = it == users.end() ? 0 : it->second.privilege;
  enabled = it == users.end() ? 0 : it->second.enabled;
  return true;
}

bool FakeTerminal::GetUserInfo(int machineNumber, int enrollNumber, std::string& name,
                               std::string& password, int& privilege, bool& enabled) {
  Enter("GetUserInfo", Join({N(machineNumber), N(enrollNumber)}));
  const auto it = users.find(enrollNumber);
  if (!connected_ || it == users.end()) return false;
  name = it->second.name;
  password = it->second.password;
  privilege = it->second.privilege;
  enabled = it->second.enabled;
  return true;
}

bool FakeTerminal::SetUserInfo(int machineNumber, int enrollNumber, const std::string& name,
                               const std::string& password, int privilege, bool enabled) {
  Enter("SetUserInfo",
        Join({N(machineNumber), N(enrollNumber), name, password, N(privilege), N(enabled)}));
  if (!connected_ || refusedEnrolls.count(enrollNumber) != 0) return false;
  users[enrollNumber] = FakeUser{name, password, privilege, enabled};
  return true;
}

bool FakeTerminal::DeleteUser(int machineNumber, int enrollNumber, int backupNumber, int reserved) {
  Enter("DeleteUser", Join({N(machineNumber), N(enrollNumber), N(backupNumber), N(reserved)}));
  if (!Accepts("DeleteUser") || users.erase(enrollNumber) == 0) return false;
  for (auto it = templates.begin(); it != templates.end();) {
    it = it->first.first == enrollNumber ? templates.erase(it) : std::next(it);
  }
  return true;
}

bool FakeTerminal::ReadAllTemplates(int machineNumber) {
  Enter("ReadAllTemplates", N(machineNumber));
  loadedTemplates_.clear();
  if (!Accepts("ReadAllTemplates")) return false;
  loadedTemplates_ = templates;
  TellLoad(3, loadedTemplates_.size());
  return true;
}

bool FakeTerminal::GetFingerTemplate(int machineNumber, int enrollNumber, int finger,
                                     std::string& templateText, int& length) {
  Enter("GetFingerTemplate", Join({N(machineNumber), N(enrollNumber), N(finger)}));
  const auto it = loadedTemplates_.find({enrollNumber, finger});
  if (!connected_ || it == loadedTemplates_.end()) return false;
  templateText = it->second;
  length = static_cast<int>(it->second.size());
  return true;
}

bool FakeTerminal::SetFingerTemplate(int machineNumber, int enrollNumber, int finger,
                                     const std::string& templateText) {
  Enter("SetFingerTemplate", Join({N(machineNumber), N(enrollNumber), N(finger)}));
  if (!connected_ || refusedEnrolls.count(enrollNumber) != 0) return false;
  templates[{enrollNumber, finger}] = templateText;
  return true;
}

bool FakeTerminal::DeleteFingerTemplate(int machineNumber, int enrollNumber, int finger) {
  Enter("DeleteFingerTemplate", Join({N(machineNumber), N(enrollNumber), N(finger)}));
  return connected_ && templates.erase({enrollNumber, finger}) > 0;
}

bool FakeTerminal::GetDeviceTime(int machineNumber, int& year, int& month, int& day, int& hour,
                                 int& minute, int& second) {
  Enter("GetDeviceTime", N(machineNumber));
  if (!Accepts("GetDeviceTime")) return false;
  year = clockYear;
  month = clockMonth;
  day = clockDay;
  hour = clockHour;
  minute = clockMinute;
  second = clockSecond;
  return true;
}

bool FakeTerminal::SetDeviceTime(int machineNumber, int year, int month, int day, int hour,
                                 int minute, int second) {
  Enter("SetDeviceTime",
        Join({N(machineNumber), N(year), N(month), N(day), N(hour), N(minute), N(second)}));
  if (!Accepts("SetDeviceTime")) return false;
  clockYear = year;
  clockMonth = month;
  clockDay = day;
  clockHour = hour;
  clockMinute = minute;
  clockSecond = second;
  return true;
}

bool FakeTerminal::ClearAdministrators(int machineNumber) {
  Enter("ClearAdministrators", N(machineNumber));
  if (!Accepts("ClearAdministrators")) return false;
  for (auto& [enroll, user] : users) {
    if (user.privilege > 0) user.privilege = 0;
  }
  return true;
}

bool FakeTerminal::ClearAllData(int machineNumber) {
  Enter("ClearAllData", N(machineNumber));
  if (!Accepts("ClearAllData")) return false;
  users.clear();
  templates.clear();
  return true;
}

}  // namespace miravel::test
