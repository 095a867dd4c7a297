#include "terminal/WireSession.h"

#include "core/AppError.h"
#include "terminal/BulkChunks.h"

namespace miravel {

using wire::Op;
using wire::PayloadReader;
using wire::PayloadWriter;

namespace {

[[noreturn]] void Malformed() {
  throw AppError(wire::kBadReplyMessage);
}

}  // namespace

wire::Frame WireSession::ReadFrame() {
  wire::Frame frame;
  char buffer[65536];
  while (!decoder_.Next(frame)) {
    if (std::chrono::steady_clock::now() > progressDeadline_) {
      throw AppError(wire::kNoAnswerMessage);
    }
    const std::size_t got = stream_.ReadSome(buffer, sizeof buffer);
    if (got == 0) throw AppError(wire::kLinkLostMessage);
    decoder_.Feed(buffer, got);
  }
  return frame;
}

bool WireSession::Exchange(Op op, int machineNumber, const PayloadWriter& args,
                           const PayloadHandler& onDone, const PayloadHandler& onChunk) {
  // Stray bytes from before this request cannot belong to its reply.
  decoder_.Clear();
  PayloadWriter head;
  head.U8(static_cast<std::uint8_t>(op)).I32(machineNumber);
  std::string payload = head.Bytes() + args.Bytes();
  request_.clear();
  wire::AppendFrame(request_, wire::FrameKind::kRequest, payload);
  stream_.WriteAll(request_);
  progressDeadline_ = std::chrono::steady_clock::now() + progressLimit_;

  for (;;) {
    const wire::Frame frame = ReadFrame();
    PayloadReader reader(frame.payload);
    if (frame.kind == wire::FrameKind::kRequest) Malformed();
    if (reader.U8() != static_cast<std::uint8_t>(op)) Malformed();
    if (frame.kind == wire::FrameKind::kChunk) {
      if (!onChunk) Malformed();
      onChunk(reader);
      reader.ExpectEnd();
      // Beyond the operation and the item count, a chunk that parsed whole
      // holds items: only such a chunk is progress.
      if (frame.payload.size() > 1 + 4) {
        progressDeadline_ = std::chrono::steady_clock::now() + progressLimit_;
      }
      continue;
    }
    const std::uint8_t status = reader.U8();
    if (status == wire::kRefused) {
      reader.ExpectEnd();
      return false;
    }
    if (status != wire::kDone) Malformed();
    if (onDone) onDone(reader);
    reader.ExpectEnd();
    return true;
  }
}

bool WireSession::Hello(int machineNumber, std::uint8_t version, int& terminalMachine,
                        std::string& identity) {
  PayloadWriter args;
  args.U8(version);
  identity.clear();
  return Exchange(Op::kHello, machineNumber, args, [&](PayloadReader& reply) {
    if (reply.U8() != version) Malformed();
    terminalMachine = reply.I32();
    if (version >= wire::kIdentityProtocolVersion) identity = reply.Text(wire::kMaxIdentityBytes);
  });
}

bool WireSession::RegisterEvents(int machineNumber, int eventMask) {
  PayloadWriter args;
  args.I32(eventMask);
  return Exchange(Op::kRegisterEvents, machineNumber, args);
}

bool WireSession::GetDeviceStatus(int machineNumber, int statusIndex, int& value) {
  PayloadWriter args;
  args.I32(statusIndex);
  return Exchange(Op::kGetDeviceStatus, machineNumber, args,
                  [&](PayloadReader& reply) { value = reply.I32(); });
}

bool WireSession::ReadAttendanceLog(int machineNumber, std::vector<wire::LogRecord>& records,
                                    const ItemsArrived& onItems) {
  records.clear();
  const bool done = Exchange(
      Op::kReadAttendanceLog, machineNumber, PayloadWriter(),
      [&](PayloadReader& reply) { wire::ReadBulkTotal(reply, records.size()); },
      [&](PayloadReader& chunk) {
        wire::ReadLogChunk(chunk, records);
        if (onItems) onItems(records.size());
      });
  if (!done) records.clear();
  return done;
}

bool WireSession::ClearAttendanceLog(int machineNumber, std::uint32_t count) {
  PayloadWriter args;
  args.U32(count);
  return Exchange(Op::kClearAttendanceLog, machineNumber, args);
}

bool WireSession::ReadAllUsers(int machineNumber, std::vector<wire::UserEntry>& users,
                               const ItemsArrived& onItems) {
  users.clear();
  const bool done = Exchange(
      Op::kReadAllUsers, machineNumber, PayloadWriter(),
      [&](PayloadReader& reply) { wire::ReadBulkTotal(reply, users.size()); },
      [&](PayloadReader& chunk) {
        wire::ReadUsersChunk(chunk, users);
        if (onItems) onItems(users.size());
      });
  if (!done) users.clear();
  return done;
}

bool WireSession::GetUserInfo(int machineNumber, int enrollNumber, std::string& name,
                              std::string& password, int& privilege, bool& enabled) {
  PayloadWriter args;
  args.I32(enrollNumber);
  return Exchange(Op::kGetUserInfo, machineNumber, args, [&](PayloadReader& reply) {
    name = reply.Text(wire::kMaxTextBytes);
    password = reply.Text(wire::kMaxTextBytes);
    privilege = reply.I32();
    enabled = reply.U8() != 0;
  });
}

bool WireSession::SetUserInfo(int machineNumber, int enrollNumber, std::string_view name,
                              std::string_view password, int privilege, bool enabled) {
  // The terminal would reject the frame; refuse here instead of breaking the link.
  if (name.size() > wire::kMaxTextBytes || password.size() > wire::kMaxTextBytes) return false;
  PayloadWriter args;
  args.I32(enrollNumber).Text(name).Text(password).I32(privilege).U8(enabled ? 1 : 0);
  return Exchange(Op::kSetUserInfo, machineNumber, args);
}

bool WireSession::DeleteUser(int machineNumber, int enrollNumber, int backupNumber, int reserved) {
  PayloadWriter args;
  args.I32(enrollNumber).I32(backupNumber).I32(reserved);
  return Exchange(Op::kDeleteUser, machineNumber, args);
}

bool WireSession::ReadAllTemplates(int machineNumber, std::vector<wire::TemplateEntry>& templates,
                                   const ItemsArrived& onItems) {
  templates.clear();
  std::size_t templateBytes = 0;
  const bool done = Exchange(
      Op::kReadAllTemplates, machineNumber, PayloadWriter(),
      [&](PayloadReader& reply) { wire::ReadBulkTotal(reply, templates.size()); },
      [&](PayloadReader& chunk) {
        wire::ReadTemplatesChunk(chunk, templates, templateBytes);
        if (onItems) onItems(templates.size());
      });
  if (!done) templates.clear();
  return done;
}

bool WireSession::SetFingerTemplate(int machineNumber, int enrollNumber, int finger,
                                    std::string_view text) {
  if (text.size() > wire::kMaxTemplateBytes) return false;
  PayloadWriter args;
  args.I32(enrollNumber).I32(finger).Text(text);
  return Exchange(Op::kSetFingerTemplate, machineNumber, args);
}

bool WireSession::DeleteFingerTemplate(int machineNumber, int enrollNumber, int finger) {
  PayloadWriter args;
  args.I32(enrollNumber).I32(finger);
  return Exchange(Op::kDeleteFingerTemplate, machineNumber, args);
}

bool WireSession::GetDeviceTime(int machineNumber, DeviceTime& time) {
  return Exchange(Op::kGetDeviceTime, machineNumber, PayloadWriter(), [&](PayloadReader& reply) {
    time.year = reply.I32();
    time.month = reply.I32();
    time.day = reply.I32();
    time.hour = reply.I32();
    time.minute = reply.I32();
    time.second = reply.I32();
  });
}

bool WireSession::SetDeviceTime(int machineNumber, const DeviceTime& time) {
  PayloadWriter args;
  args.I32(time.year)
      .I32(time.month)
      .I32(time.day)
      .I32(time.hour)
      .I32(time.minute)
      .I32(time.second);
  return Exchange(Op::kSetDeviceTime, machineNumber, args);
}

bool WireSession::ClearAdministrators(int machineNumber) {
  return Exchange(Op::kClearAdministrators, machineNumber, PayloadWriter());
}

bool WireSession::ClearAllData(int machineNumber) {
  return Exchange(Op::kClearAllData, machineNumber, PayloadWriter());
}

}  // namespace miravel
