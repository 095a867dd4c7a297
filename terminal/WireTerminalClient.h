#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "terminal/TerminalClient.h"
#include "terminal/WireProtocol.h"
#include "terminal/WireTimeouts.h"

namespace miravel {

class FdStream;
class WireSession;

// The production TerminalClient: our wire protocol over TCP (ConnectNetwork)
// or over a serial device (ConnectSerial). Bulk loads fetch everything in one
// exchange and the GetNext... calls walk the local copy; while an observer
// listens, each load first asks the terminal for its count and tells the
// observer as the chunks arrive. A link failure during
// a call throws AppError and closes the link; later calls then return false
// like every call made while not connected.
class WireTerminalClient : public TerminalClient {
 public:
  // serialDevicePath gives the device file for a COM port number.
  using SerialDevicePathFor = std::function<std::string(int comPort)>;

  explicit WireTerminalClient(SerialDevicePathFor serialDevicePath, WireTimeouts timeouts = {});
  ~WireTerminalClient() override;
  WireTerminalClient(const WireTerminalClient&) = delete;
  WireTerminalClient& operator=(const WireTerminalClient&) = delete;

  bool IsConnected() const { return session_ != nullptr; }

  bool ConnectNetwork(const std::string& ipAddress, int port) override;
  bool ConnectSerial(int comPort, int machineNumber, int baudRate) override;
  void Disconnect() override;
  std::string Identity() const override { return session_ ? identity_ : std::string(); }
  void SetStopRequest(const StopRequest* stop) override;
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
  // Takes an open descriptor, says hello and keeps the link when the
  // expected terminal answered; otherwise closes it.
  bool Open(int fd, bool serial, int machineNumber);
  // The meter of a bulk load counted by status countStatus: asks the terminal
  // for the count first when an observer listens.
  BulkReadMeter StartMeter(WireSession& session, int machineNumber, int countStatus);
  // Runs call on the open link; any exception closes the link first.
  template <typename Call>
  bool OnLink(Call&& call);

  SerialDevicePathFor serialDevicePath_;
  WireTimeouts timeouts_;
  std::unique_ptr<FdStream> stream_;
  std::unique_ptr<WireSession> session_;
  int terminalMachine_ = 0;
  std::string identity_;  // from the hello

  std::vector<wire::LogRecord> log_;
  std::size_t nextRecord_ = 0;  // records of log_ delivered so far
  // Records of log_ a clear has already removed from the terminal: a second
  // clear must not remove them again (it would take records nobody read).
  std::size_t clearedRecords_ = 0;
  std::vector<wire::UserEntry> users_;
  std::size_t nextUser_ = 0;
  std::map<std::pair<int, int>, std::string> templates_;  // (enroll, finger) -> text
};

}  // namespace miravel
