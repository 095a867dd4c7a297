#include "emulator/RequestHandler.h"

#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "core/AppError.h"
#include "emulator/HostileReplies.h"

namespace miravel::emulator {

using wire::Op;
using wire::PayloadReader;
using wire::PayloadWriter;

namespace {

// Chunks of about a second at 115,200 baud (some 11 KB): the program moves
// its bar as each chunk arrives, so on the slowest line it moves every
// second; on a network the extra frame headers cost nothing to speak of.
constexpr std::size_t kLogRecordsPerChunk = 1024;
static_assert(kLogRecordsPerChunk <= wire::kLogRecordsPerChunk);
constexpr std::size_t kUsersPerChunk = 1024;
// Templates are packed until a chunk holds about this many bytes.
constexpr std::size_t kTemplateChunkBytes = 8 * 1024;

void AppendReply(std::string& out, Op op, bool done, const PayloadWriter& outputs = {}) {
  PayloadWriter reply;
  reply.U8(static_cast<std::uint8_t>(op)).U8(done ? wire::kDone : wire::kRefused);
  if (done) reply.Bytes() += outputs.Bytes();
  wire::AppendFrame(out, wire::FrameKind::kReply, reply.Bytes());
}

// A chunk frame: op, item count, items.
void AppendChunk(std::string& out, Op op, std::uint32_t count, const std::string& items) {
  PayloadWriter chunk;
  chunk.U8(static_cast<std::uint8_t>(op)).U32(count);
  chunk.Bytes() += items;
  wire::AppendFrame(out, wire::FrameKind::kChunk, chunk.Bytes());
}

}  // namespace

RequestHandler::RequestHandler(EmulatedTerminal& terminal,
                               std::optional<std::size_t> dropAfterRecords)
    : terminal_(terminal), dropAfterRecords_(dropAfterRecords) {}

Response RequestHandler::Handle(std::string_view requestPayload, bool serialLine) {
  PayloadReader request(requestPayload);
  const std::uint8_t opByte = request.U8();
  const int machine = request.I32();
  Response response;
  if (!wire::IsKnownOp(opByte)) throw AppError("bilinmeyen istek " + std::to_string(opByte));
  const bool hostile = hostilitySwitch_.empty() || ::access(hostilitySwitch_.c_str(), F_OK) == 0;
  const bool otherMachine = hostile && hostility_ == Hostility::kOtherMachine;
  if (serialLine && machine != terminal_.MachineNumber() && !otherMachine) return response;
  const Op op = static_cast<Op>(opByte);
  if (op != Op::kHello && hostile) {
    const std::string_view arguments =
        requestPayload.substr(requestPayload.size() - request.Remaining());
    if (auto hostile = HostileResponse(hostility_, op, arguments)) return *hostile;
  }
  std::string& out = response.bytes;

  switch (op) {
    case Op::kHello: {
      // A program of another version would send requests laid out
      // differently; one of the version before gets that version's reply.
      const std::uint8_t version = request.U8();
      const bool known =
          version == wire::kProtocolVersion || version == wire::kIdentityProtocolVersion;
      request.ExpectEnd();
      PayloadWriter outputs;
      // Another machine than the one asked for (one bit off never overflows).
      outputs.U8(version).I32(otherMachine ? machine ^ 1 : terminal_.MachineNumber());
      if (version == wire::kIdentityProtocolVersion) outputs.Text(terminal_.Identity());
      AppendReply(out, op, known, outputs);
      break;
    }
    case Op::kRegisterEvents:
      request.I32();
      request.ExpectEnd();
      AppendReply(out, op, true);
      break;
    case Op::kGetDeviceStatus: {
      const int index = request.I32();
      request.ExpectEnd();
      int value = 0;
      PayloadWriter outputs;
      const bool done = terminal_.DeviceStatus(index, value);
      outputs.I32(value);
      AppendReply(out, op, done, outputs);
      break;
    }
    case Op::kReadAttendanceLog: {
      request.ExpectEnd();
      const auto& log = terminal_.State().log;
      std::size_t sent = log.size();
      if (dropAfterRecords_ && *dropAfterRecords_ < log.size()) {
        sent = *dropAfterRecords_;
        response.closeAfter = true;
      }
      PayloadWriter items;
      for (std::size_t i = 0; i < sent; i += kLogRecordsPerChunk) {
        const std::size_t end = std::min(sent, i + kLogRecordsPerChunk);
        items.Bytes().clear();
        for (std::size_t k = i; k < end; ++k) items.Log(log[k]);
        AppendChunk(out, op, static_cast<std::uint32_t>(end - i), items.Bytes());
      }
      if (!response.closeAfter) {
        PayloadWriter outputs;
        outputs.U32(static_cast<std::uint32_t>(log.size()));
        AppendReply(out, op, true, outputs);
      }
      break;
    }
    case Op::kClearAttendanceLog: {
      const std::uint32_t count = request.U32();
      request.ExpectEnd();
      if (clearFault_ == ClearFault::kRefuse) {
        AppendReply(out, op, false);
        break;
      }
      // A terminal that clears its whole log whatever the count: the loss a
      // clear by count exists to prevent.
      const bool clearsAll = hostile && hostility_ == Hostility::kClearsAll;
      terminal_.ClearLog(clearsAll ? terminal_.State().log.size() : count);
      if (clearFault_ == ClearFault::kDropReply) {
        response.closeAfter = true;  // the records are gone, the reply never comes
        break;
      }
      AppendReply(out, op, true);
      break;
    }
    case Op::kReadAllUsers: {
      request.ExpectEnd();
      const auto& users = terminal_.State().users;
      PayloadWriter items;
      std::uint32_t inChunk = 0;
      for (auto it = users.begin(); it != users.end();) {
        items.I32(it->first).I32(it->second.privilege).U8(it->second.enabled ? 1 : 0);
        ++inChunk;
        ++it;
        if (inChunk == kUsersPerChunk || it == users.end()) {
          AppendChunk(out, op, inChunk, items.Bytes());
          items.Bytes().clear();
          inChunk = 0;
        }
      }
      PayloadWriter outputs;
      outputs.U32(static_cast<std::uint32_t>(users.size()));
      AppendReply(out, op, true, outputs);
      break;
    }
    case Op::kGetUserInfo: {
      const int enroll = request.I32();
      request.ExpectEnd();
      const User* user = terminal_.FindUser(enroll);
      PayloadWriter outputs;
      if (user) {
        outputs.Text(user->name).Text(user->password).I32(user->privilege).U8(user->enabled);
      }
      AppendReply(out, op, user != nullptr, outputs);
      break;
    }
    case Op::kSetUserInfo: {
      const int enroll = request.I32();
      const std::string name = request.Text(wire::kMaxTextBytes);
      const std::string password = request.Text(wire::kMaxTextBytes);
      const int privilege = request.I32();
      const bool enabled = request.U8() != 0;
      request.ExpectEnd();
      AppendReply(out, op, terminal_.SetUser(enroll, name, password, privilege, enabled));
      break;
    }
    case Op::kDeleteUser: {
      const int enroll = request.I32();
      request.I32();  // backup number and reserved: the whole user goes
      request.I32();
      request.ExpectEnd();
      AppendReply(out, op, terminal_.DeleteUser(enroll));
      break;
    }
    case Op::kReadAllTemplates: {
      request.ExpectEnd();
      const auto& templates = terminal_.State().templates;
      PayloadWriter items;
      std::uint32_t inChunk = 0;
      for (auto it = templates.begin(); it != templates.end();) {
        items.I32(it->first.first).U8(static_cast<std::uint8_t>(it->first.second)).Text(it->second);
        ++inChunk;
        ++it;
        if (items.Bytes().size() >= kTemplateChunkBytes || it == templates.end()) {
          AppendChunk(out, op, inChunk, items.Bytes());
          items.Bytes().clear();
          inChunk = 0;
        }
      }
      PayloadWriter outputs;
      outputs.U32(static_cast<std::uint32_t>(templates.size()));
      AppendReply(out, op, true, outputs);
      break;
    }
    case Op::kSetFingerTemplate: {
      const int enroll = request.I32();
      const int finger = request.I32();
      const std::string text = request.Text(wire::kMaxTemplateBytes);
      request.ExpectEnd();
      AppendReply(out, op, terminal_.SetTemplate(enroll, finger, text));
      break;
    }
    case Op::kDeleteFingerTemplate: {
      const int enroll = request.I32();
      const int finger = request.I32();
      request.ExpectEnd();
      AppendReply(out, op, terminal_.DeleteTemplate(enroll, finger));
      break;
    }
    case Op::kGetDeviceTime: {
      request.ExpectEnd();
      const ClockReading now = terminal_.Clock(std::time(nullptr));
      PayloadWriter outputs;
      outputs.I32(now.year)
          .I32(now.month)
          .I32(now.day)
          .I32(now.hour)
          .I32(now.minute)
          .I32(now.second);
      AppendReply(out, op, true, outputs);
      break;
    }
    case Op::kSetDeviceTime: {
      ClockReading wanted;
      wanted.year = request.I32();
      wanted.month = request.I32();
      wanted.day = request.I32();
      wanted.hour = request.I32();
      wanted.minute = request.I32();
      wanted.second = request.I32();
      request.ExpectEnd();
      const bool keepsClock = hostile && hostility_ == Hostility::kKeepsClock;
      AppendReply(out, op,
                  keepsClock ? LocalTimeOf(wanted).has_value()
                             : terminal_.SetClock(wanted, std::time(nullptr)));
      break;
    }
    case Op::kClearAdministrators:
      request.ExpectEnd();
      terminal_.ClearAdministrators();
      AppendReply(out, op, true);
      break;
    case Op::kClearAllData:
      request.ExpectEnd();
      terminal_.ClearAllData();
      AppendReply(out, op, true);
      break;
  }
  return response;
}

}  // namespace miravel::emulator
