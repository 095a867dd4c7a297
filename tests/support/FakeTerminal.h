#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "terminal/TerminalClient.h"

namespace miravel::test {

struct FakeRecord {
  int enrollNumber = 0;
  int inOutState = 0;
  int year = 2026, month = 12, day = 7, hour = 8, minute = 0;
};

struct FakeUser {
  std::string name;
  std::string password;
  int privilege = 0;
  bool enabled = true;
};

// An in-memory terminal for tests. Everything it holds can be set directly;
// it can refuse connections and log operations, report a record count
// different from what it delivers, and raise a link error on the n-th call of
// an operation. Every call is written to `calls` as "Operation(arg,arg,...)"
// so tests can check the order and the arguments.
//
// Like the real terminal, ClearAttendanceLog removes only the records
// delivered since ReadAttendanceLog on this connection, from the front of
// `log`: records a test appends to `log` after the reading (a finger placed
// during a transfer) stay.
class FakeTerminal : public TerminalClient {
 public:
  // What the terminal holds.
  std::vector<FakeRecord> log;
  std::map<int, FakeUser> users;                         // by enroll number, in order
  std::map<std::pair<int, int>, std::string> templates;  // (enroll, finger) -> text
  int clockYear = 2026, clockMonth = 12, clockDay = 7;
  int clockHour = 9, clockMinute = 0, clockSecond = 0;

  // Script.
  bool refuseNetwork = false;
  std::set<int> refusedPorts;  // network connects to these ports are refused
  bool refuseSerial = false;
  std::optional<int> reportedRecordCount;  // status 6 when set, else log size
  std::optional<int> reportedUserCount;    // status 2 when set, else users
  std::vector<int> listedOrder;            // ReadAllUsers lists these, in this order, when set
  std::set<int> refusedEnrolls;            // SetUserInfo, SetFingerTemplate refused for these
  bool statusFails = false;                // GetDeviceStatus returns false
  bool refuseReadLog = false;              // ReadAttendanceLog returns false
  bool refuseClearLog = false;             // ClearAttendanceLog returns false, log kept
  // A bulk load tells its observer as if its items came in chunks of this
  // many, against the count GetDeviceStatus would give (none when it fails).
  std::size_t itemsPerChunk = 100;
  std::size_t chunksSent = 0;  // of every bulk load so far
  // The clock, administrator and erase operations and the bulk reads of
  // users and templates named here return false (the terminal refuses them)
  // though connected.
  std::set<std::string> refusedOperations;
  std::vector<std::string> calls;
  // Runs inside every call, after it is recorded (to act during a command).
  std::function<void(const std::string& operation)> onCall;

  // The occurrence-th call (1-based) of operation throws AppError(message).
  void FailOnCall(const std::string& operation, int occurrence,
                  const std::string& message = "Cihazla iletişim koptu");

  bool IsConnected() const { return connected_; }
  int CallCount(const std::string& operation) const;

  bool ConnectNetwork(const std::string& ipAddress, int port) override;
  bool ConnectSerial(int comPort, int machineNumber, int baudRate) override;
  void Disconnect() override;
  bool RegisterEvents(int machineNumber, int eventMask) override;
  bool GetDeviceStatus(int machineNumber, int statusIndex, int& value) override;
  bool ReadAttendanceLog(int machineNumber) override;
  bool GetNextAttendanceRecord(int machineNumber, int& terminalNumber, int& enrollNumber,
                               int& enrollMachine, int& verifyMode, int& inOutState, int& year,
                               int& month, int& day, int& hour, int& minute) override;
  bool ClearAttendanceLog(int machineNumber) override;
  bool ReadAllUsers(int machineNumber) override;
  bool GetNextUser(int machineNumber, int& enrollNumber, int& enrollMachine, int& backupNumber,
                   int& privilege, int& enabled) override;
  bool GetUserInfo(int machineNumber, int enrollNumber, std::string& name, std::string& password,
                   int& privilege, bool& enabled) override;
  bool SetUserInfo(int machineNumber, int enrollNumber, const std::string& name,
                   const std::string& password, int privilege, bool enabled) override;
  bool DeleteUser(int machineNumber, int enrollNumber, int backupNumber, int reserved) override;
  bool ReadAllTemplates(int machineNumber) override;
  bool GetFingerTemplate(int machineNumber, int enrollNumber, int finger, std::string& templateText,
                         int& length) override;
  bool SetFingerTemplate(int machineNumber, int enrollNumber, int finger,
                         const std::string& templateText) override;
  bool DeleteFingerTemplate(int machineNumber, int enrollNumber, int finger) override;
  bool GetDeviceTime(int machineNumber, int& year, int& month, int& day, int& hour, int& minute,
                     int& second) override;
  bool SetDeviceTime(int machineNumber, int year, int month, int day, int hour, int minute,
                     int second) override;
  bool ClearAdministrators(int machineNumber) override;
  bool ClearAllData(int machineNumber) override;

 private:
  // Records the call and throws when it is the scripted failing one.
  void Enter(const std::string& operation, const std::string& arguments);
  // What was read goes with the connection: a clear on the next one removes
  // nothing until the log is read again.
  void ForgetLoadedLog();
  // Tells the observer of a load of total items, chunk by chunk, counted
  // beforehand as status countStatus answers.
  void TellLoad(int countStatus, std::size_t total);
  // Connected and not told to refuse the operation.
  bool Accepts(const std::string& operation) const;

  bool connected_ = false;
  std::map<std::string, int> callCounts_;
  std::map<std::string, std::pair<int, std::string>> failures_;
  std::vector<FakeRecord> loadedLog_;
  std::size_t nextRecord_ = 0;
  std::size_t clearedRecords_ = 0;  // of loadedLog_, already removed from log
  std::vector<int> loadedUsers_;
  std::size_t nextUser_ = 0;
  std::map<std::pair<int, int>, std::string> loadedTemplates_;
};

}  // namespace miravel::test
