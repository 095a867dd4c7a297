#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/ByteStream.h"
#include "terminal/WireProtocol.h"
#include "terminal/WireTimeouts.h"

namespace miravel {

struct DeviceTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The program's side of the wire protocol over one open link: one request and
// its reply per call. A result of false is the terminal's refusal; a broken,
// truncated or mismatched reply, a time-out or a lost link throws AppError.
// After a throw the link is out of step and must be closed.
class WireSession {
 public:
  // Told after each chunk of a bulk load how many items have arrived in all.
  using ItemsArrived = std::function<void(std::size_t received)>;

  // progressLimit: the longest time a call may go without progress (see
  // WireTimeouts::progress); then it throws the no-answer error.
  explicit WireSession(ByteStream& stream,
                       std::chrono::milliseconds progressLimit = WireTimeouts{}.progress)
      : stream_(stream), progressLimit_(progressLimit) {}

  // The terminal answers with its machine number and protocol version, and
  // from version 3 on its identity (empty in version 2).
  bool Hello(int machineNumber, std::uint8_t version, int& terminalMachine, std::string& identity);
  bool RegisterEvents(int machineNumber, int eventMask);
  bool GetDeviceStatus(int machineNumber, int statusIndex, int& value);
  bool ReadAttendanceLog(int machineNumber, std::vector<wire::LogRecord>& records,
                         const ItemsArrived& onItems = {});
  // The terminal removes count records from the front of its log (all it
  // holds when it holds fewer) and keeps the rest.
  bool ClearAttendanceLog(int machineNumber, std::uint32_t count);
  bool ReadAllUsers(int machineNumber, std::vector<wire::UserEntry>& users,
                    const ItemsArrived& onItems = {});
  bool GetUserInfo(int machineNumber, int enrollNumber, std::string& name, std::string& password,
                   int& privilege, bool& enabled);
  bool SetUserInfo(int machineNumber, int enrollNumber, std::string_view name,
                   std::string_view password, int privilege, bool enabled);
  bool DeleteUser(int machineNumber, int enrollNumber, int backupNumber, int reserved);
  bool ReadAllTemplates(int machineNumber, std::vector<wire::TemplateEntry>& templates,
                        const ItemsArrived& onItems = {});
  bool SetFingerTemplate(int machineNumber, int enrollNumber, int finger, std::string_view text);
  bool DeleteFingerTemplate(int machineNumber, int enrollNumber, int finger);
  bool GetDeviceTime(int machineNumber, DeviceTime& time);
  bool SetDeviceTime(int machineNumber, const DeviceTime& time);
  bool ClearAdministrators(int machineNumber);
  bool ClearAllData(int machineNumber);

 private:
  using PayloadHandler = std::function<void(wire::PayloadReader&)>;

  // Sends op for machineNumber with args and reads the reply: chunk frames go
  // to onChunk (a chunk for an operation without one is a broken reply), and
  // when the terminal did the work, the rest of the final reply to onDone.
  bool Exchange(wire::Op op, int machineNumber, const wire::PayloadWriter& args,
                const PayloadHandler& onDone = {}, const PayloadHandler& onChunk = {});
  wire::Frame ReadFrame();

  ByteStream& stream_;
  std::chrono::milliseconds progressLimit_;
  std::chrono::steady_clock::time_point progressDeadline_;
  wire::FrameDecoder decoder_;
  std::string request_;
};

}  // namespace miravel
