#pragma once

#include <string>

#include "core/StopRequest.h"
#include "terminal/BulkReadProgress.h"

namespace miravel {

// One terminal, as the program sees it: one member per terminal operation.
// Outputs are written through references; the bool result is the terminal's
// answer (true = done). A result of false only means the terminal refused.
// A failure of the link itself (broken reply, connection lost, time-out in the
// middle of a call) is not a refusal: it throws AppError with a message for the
// user, which stops the running command.
//
// Texts are UTF-8. Each window owns one instance; at most one connection is
// open on it at a time.
class TerminalClient {
 public:
  virtual ~TerminalClient() = default;

  virtual bool ConnectNetwork(const std::string& ipAddress, int port) = 0;
  virtual bool ConnectSerial(int comPort, int machineNumber, int baudRate) = 0;
  // Always safe to call, connected or not.
  virtual void Disconnect() = 0;
  // What the connected terminal says it is in its hello (the same text on
  // every connection, whatever link reaches it); empty when it says nothing.
  virtual std::string Identity() const { return {}; }

  // The observer told of every later bulk load's progress (nullptr: none),
  // until another is set; it must outlive its setting (see BulkReadWatch).
  // A client that cannot tell progress ignores it: the load then reports
  // nothing. A client that wraps another passes it on.
  virtual void SetBulkReadObserver(BulkReadObserver* observer) { bulkReadObserver_ = observer; }
  BulkReadObserver* BulkReadObserverOrNull() const { return bulkReadObserver_; }

  // While a stop is set (not null), a wait of the link, in a connect or in a
  // call, ends as soon as the stop is asked: the call throws StoppedOnRequest
  // and the link is dropped. Unset, every wait runs to its time-out. A command
  // sets it only where it may leave off (the transfer while it reads, never
  // for the clears that follow the record file's replacement).
  virtual void SetStopRequest(const StopRequest* stop) { stopRequest_ = stop; }
  const StopRequest* StopRequestOrNull() const { return stopRequest_; }

  virtual bool RegisterEvents(int machineNumber, int eventMask) = 0;

  // Status index 2 is the number of users, 6 the number of attendance records.
  virtual bool GetDeviceStatus(int machineNumber, int statusIndex, int& value) = 0;

  // Loads the whole log; GetNextAttendanceRecord then walks the loaded copy
  // and returns false at its end. The three bulk loads tell the observer, if
  // any, of their progress against the count of status 6, 2 or 3.
  virtual bool ReadAttendanceLog(int machineNumber) = 0;
  virtual bool GetNextAttendanceRecord(int machineNumber, int& terminalNumber, int& enrollNumber,
                                       int& enrollMachine, int& verifyMode, int& inOutState,
                                       int& year, int& month, int& day, int& hour, int& minute) = 0;
  // Removes from the terminal only the records GetNextAttendanceRecord
  // delivered since the log was last read on this connection (and not
  // removed by an earlier clear): records punched after the reading, and
  // loaded records not yet taken, stay for the next transfer. Without a
  // reading on this connection it removes nothing.
  virtual bool ClearAttendanceLog(int machineNumber) = 0;

  // Loads all users; GetNextUser then walks the loaded copy.
  virtual bool ReadAllUsers(int machineNumber) = 0;
  virtual bool GetNextUser(int machineNumber, int& enrollNumber, int& enrollMachine,
                           int& backupNumber, int& privilege, int& enabled) = 0;
  virtual bool GetUserInfo(int machineNumber, int enrollNumber, std::string& name,
                           std::string& password, int& privilege, bool& enabled) = 0;
  virtual bool SetUserInfo(int machineNumber, int enrollNumber, const std::string& name,
                           const std::string& password, int privilege, bool enabled) = 0;
  virtual bool DeleteUser(int machineNumber, int enrollNumber, int backupNumber, int reserved) = 0;

  // Loads all templates; GetFingerTemplate then reads the loaded copy.
  virtual bool ReadAllTemplates(int machineNumber) = 0;
  virtual bool GetFingerTemplate(int machineNumber, int enrollNumber, int finger,
                                 std::string& templateText, int& length) = 0;
  virtual bool SetFingerTemplate(int machineNumber, int enrollNumber, int finger,
                                 const std::string& templateText) = 0;
  virtual bool DeleteFingerTemplate(int machineNumber, int enrollNumber, int finger) = 0;

  virtual bool GetDeviceTime(int machineNumber, int& year, int& month, int& day, int& hour,
                             int& minute, int& second) = 0;
  virtual bool SetDeviceTime(int machineNumber, int year, int month, int day, int hour, int minute,
                             int second) = 0;

  virtual bool ClearAdministrators(int machineNumber) = 0;
  virtual bool ClearAllData(int machineNumber) = 0;

 private:
  BulkReadObserver* bulkReadObserver_ = nullptr;
  const StopRequest* stopRequest_ = nullptr;
};

}  // namespace miravel
