// The checks that only read: the terminal is left exactly as it was.
#include <algorithm>

#include "conformance/BulkDecoding.h"
#include "conformance/Checker.h"
#include "conformance/ClockFieldsText.h"
#include "conformance/ProtocolRules.h"
#include "core/AppError.h"
#include "core/Utf8.h"
#include "transfer/RecordLine.h"

namespace miravel::conformance {

using std::chrono::milliseconds;
using wire::Op;
using wire::PayloadReader;
using wire::PayloadWriter;

namespace {

constexpr std::uint8_t kUnknownOp = 200;
// Users asked one by one; beyond it the password count is not compared.
constexpr std::size_t kUsersAsked = 200;
// A reply followed by nothing for this long is the end of the exchange.
constexpr milliseconds kStrayWait{250};

std::string Number(long long value) {
  return std::to_string(value);
}

bool IsUtf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t at = pos;
    if (DecodeUtf8(text, pos) == 0xFFFD && text.substr(at, 3) != "\xEF\xBF\xBD") return false;
  }
  return true;
}

std::string RecordText(const wire::LogRecord& r) {
  return "sicil " + Number(r.enrollNumber) + ", durum " + Number(r.inOutState) + ", " +
         Number(r.year) + "/" + Number(r.month) + "/" + Number(r.day) + " " + Number(r.hour) + ":" +
         Number(r.minute);
}

// The terminal's reason for a date or time the program would stop at; empty
// when it is a real one.
std::string DateTimeProblem(int year, int month, int day, int hour, int minute, int second = 0) {
  try {
    CheckRecordDateTime(year, month, day, hour, minute);
  } catch (const AppError& error) {
    return error.what();
  }
  if (second < 0 || second > 59) return "saniye " + Number(second);
  return "";
}

}  // namespace

void Checker::CheckHello() {
  // A fresh link: the hello the program sends first.
  link_.Close();
  Sent("Hello: sürüm 2, makine " + Number(HelloMachine()));
  if (!link_.Open()) {
    Fail("bağlantı açılamadı", rules::kHello);
    return;
  }
  PayloadWriter version;
  version.U8(wire::kProtocolVersion);
  const Answer answer =
      link_.SendRaw(RequestFrame(Op::kHello, HelloMachine(), version.Bytes()),
                    static_cast<std::uint8_t>(Op::kHello), 0, options_.times.hello);
  NoteWaits(answer);
  if (answer.ending != Ending::kReply) {
    Got(answer.ending == Ending::kClosed ? "bağlantı kapandı" : "yanıt yok");
    Fail("selamlaşmaya " + Number(options_.times.hello.count() / 1000) +
             " s içinde düzgün yanıt gelmedi" +
             (answer.problem.empty() ? "" : " (" + answer.problem + ")"),
         answer.ending == Ending::kBroken ? rules::kBrokenReply : rules::kHello);
    return;
  }
  if (answer.Refused()) {
    Got("reddedildi");
    Fail("sürüm 2 selamı reddedildi", rules::kVersions);
    return;
  }
  try {
    PayloadReader reply(answer.outputs);
    const int version2 = reply.U8();
    const int answered = reply.I32();
    reply.ExpectEnd();
    Got("tamam: sürüm " + Number(version2) + ", makine " + Number(answered));
    if (version2 != wire::kProtocolVersion) {
      Fail("yanıttaki sürüm " + Number(version2), rules::kVersions);
    } else if (link_.Serial() && answered != machine_) {
      Fail("seri hatta makine " + Number(machine_) + " soruldu, " + Number(answered) +
               " yanıt verdi",
           rules::kSerialMachine);
    }
    if (!options_.machine && !link_.Serial()) machine_ = answered;
  } catch (const AppError&) {
    Fail("yanıt alanları sürüm u8 ve makine i32 değil", rules::kHello);
    link_.Close();
  }
}

void Checker::CheckOtherVersion() {
  Sent("Hello: sürüm 4");
  if (!Connected()) return;
  PayloadWriter version;
  version.U8(wire::kIdentityProtocolVersion + 1);
  const Answer answer =
      link_.SendRaw(RequestFrame(Op::kHello, HelloMachine(), version.Bytes()),
                    static_cast<std::uint8_t>(Op::kHello), 0, options_.times.silence);
  NoteWaits(answer);
  // Refusing and closing are both a refused connection to the program.
  ExpectNoDoneThenAlive(answer, true, rules::kVersions);
}

void Checker::CheckRegisterEvents() {
  // The personnel window's masks: 1 on a network, 2000 on a serial line.
  PayloadWriter mask;
  mask.I32(link_.Serial() ? 2000 : 1);
  const auto answer =
      Ask(Op::kRegisterEvents, mask, "RegisterEvents: maske " + Number(link_.Serial() ? 2000 : 1));
  if (!answer) return;
  Got(answer->Done() ? "tamam" : "reddedildi");
  if (!answer->outputs.empty()) Fail("yanıtta fazladan bayt", rules::kRegisterEvents);
}

void Checker::CheckLog() {
  PayloadWriter none;
  PayloadWriter six;
  six.I32(6);
  // The count just before the read bounds the log from below for durum-6.
  if (auto before = Ask(Op::kGetDeviceStatus, six, "GetDeviceStatus 6"); before && before->Done()) {
    PayloadReader reply(before->outputs);
    if (reply.Remaining() == 4) found_.logStatusBefore = reply.I32();
  }
  if (Failed()) return;
  const auto answer = AskDone(Op::kReadAttendanceLog, none, "ReadAttendanceLog", rules::kLog,
                              wire::kLogRecordBytes);
  if (!answer) return;
  std::vector<wire::LogRecord> records;
  const BulkProblem problem = DecodeLog(*answer, records);
  Got(Number(answer->chunks.size()) + " parça, " + Number(records.size()) + " kayıt");
  if (problem) {
    Fail(problem.problem, problem.rule);
    return;
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto& r = records[i];
    const std::string wrong = DateTimeProblem(r.year, r.month, r.day, r.hour, r.minute);
    if (!wrong.empty()) {
      Fail(Number(i + 1) + ". kayıt (" + RecordText(r) + "): " + wrong, rules::kLogDates);
      return;
    }
  }
  if (!records.empty()) Got("ilki " + RecordText(records.front()));
  found_.log = std::move(records);
}

void Checker::CheckUsers() {
  const auto answer = AskDone(Op::kReadAllUsers, PayloadWriter(), "ReadAllUsers", rules::kUsers, 9);
  if (!answer) return;
  std::vector<wire::UserEntry> users;
  const BulkProblem problem = DecodeUsers(*answer, users);
  Got(Number(answer->chunks.size()) + " parça, " + Number(users.size()) + " kişi");
  if (problem) {
    Fail(problem.problem, problem.rule);
    return;
  }
  std::set<int> seen;
  for (const auto& user : users) {
    if (user.privilege < 0 || user.privilege > 3) {
      Fail("sicil " + Number(user.enrollNumber) + " yetkisi " + Number(user.privilege),
           rules::kUsers);
      return;
    }
    if (!seen.insert(user.enrollNumber).second) {
      Fail("sicil " + Number(user.enrollNumber) + " iki kez listelendi", rules::kUsers);
      return;
    }
  }
  found_.users = std::move(users);
}

void Checker::CheckUserInfo() {
  if (!found_.users) {
    Skip("kişi listesi okunamadı");
    return;
  }
  const auto& users = *found_.users;
  const std::size_t asked = std::min(users.size(), kUsersAsked);
  int passwords = 0;
  Sent("GetUserInfo: listedeki ilk " + Number(asked) + " kişi");
  for (std::size_t i = 0; i < asked; ++i) {
    const auto& user = users[i];
    PayloadWriter enroll;
    enroll.I32(user.enrollNumber);
    const std::string what = "GetUserInfo " + Number(user.enrollNumber);
    if (!Connected()) return;
    Answer answer = link_.Exchange(Op::kGetUserInfo, machine_, enroll.Bytes());
    NoteWaits(answer);
    if (!answer.Done()) {
      Got(what + ": " + (answer.Refused() ? "reddedildi" : "yanıt yok ya da bozuk"));
      Fail("listedeki sicil " + Number(user.enrollNumber) + " sorulunca " +
               (answer.Refused() ? "reddedildi" : "düzgün yanıt gelmedi"),
           answer.ending == Ending::kReply ? rules::kUserInfo : rules::kBrokenReply);
      return;
    }
    try {
      PayloadReader reply(answer.outputs);
      const std::string name = reply.Text(wire::kMaxTextBytes);
      const std::string password = reply.Text(wire::kMaxTextBytes);
      const int privilege = reply.I32();
      const bool enabled = reply.U8() != 0;
      reply.ExpectEnd();
      if (i == 0) Got(what + ": \"" + name + "\", yetki " + Number(privilege));
      if (!IsUtf8(name) || !IsUtf8(password)) {
        Fail("sicil " + Number(user.enrollNumber) + " adı ya da şifresi UTF-8 değil",
             rules::kUserInfo);
        return;
      }
      if (privilege != user.privilege || enabled != user.enabled) {
        Fail("sicil " + Number(user.enrollNumber) + ": yetki/etkinlik listede " +
                 Number(user.privilege) + "/" + Number(user.enabled) + ", bilgide " +
                 Number(privilege) + "/" + Number(enabled),
             rules::kUserInfo);
        return;
      }
      if (!password.empty()) ++passwords;
    } catch (const AppError&) {
      Fail("sicil " + Number(user.enrollNumber) + ": alanlar çerçeveye uymuyor", rules::kUserInfo);
      link_.Close();
      return;
    }
  }
  if (asked == users.size()) found_.passwords = passwords;
  const int unused = UnusedEnroll(users);
  PayloadWriter enroll;
  enroll.I32(unused);
  const auto answer =
      Ask(Op::kGetUserInfo, enroll, "GetUserInfo " + Number(unused) + " (listede yok)");
  if (!answer) return;
  Got("listede olmayan " + Number(unused) + ": " + (answer->Done() ? "tamam" : "reddedildi"));
  if (answer->Done())
    Fail("listede olmayan sicil " + Number(unused) + " reddedilmedi", rules::kUserInfo);
}

void Checker::CheckTemplates() {
  const auto answer =
      AskDone(Op::kReadAllTemplates, PayloadWriter(), "ReadAllTemplates", rules::kTemplates, 9);
  if (!answer) return;
  std::vector<wire::TemplateEntry> templates;
  const BulkProblem problem = DecodeTemplates(*answer, templates);
  Got(Number(answer->chunks.size()) + " parça, " + Number(templates.size()) + " parmak izi");
  if (problem) {
    Fail(problem.problem, problem.rule);
    return;
  }
  std::set<int> users;
  if (found_.users) {
    for (const auto& user : *found_.users) users.insert(user.enrollNumber);
  }
  std::set<std::pair<int, int>> seen;
  for (const auto& entry : templates) {
    const std::string which =
        "sicil " + Number(entry.enrollNumber) + " parmak " + Number(entry.finger);
    if (entry.finger > 9) {
      Fail(which + ": parmak 0..9 değil", rules::kTemplates);
      return;
    }
    if (!seen.insert({entry.enrollNumber, entry.finger}).second) {
      Fail(which + " iki kez listelendi", rules::kTemplates);
      return;
    }
    if (found_.users && !users.count(entry.enrollNumber)) {
      Fail(which + ": kişi listesinde böyle bir kişi yok", rules::kSetTemplate);
      return;
    }
  }
  found_.templates = std::move(seen);
}

void Checker::CheckStatus(int index) {
  PayloadWriter args;
  args.I32(index);
  const auto answer =
      AskDone(Op::kGetDeviceStatus, args, "GetDeviceStatus " + Number(index), rules::kStatus);
  if (!answer) return;
  int value = 0;
  try {
    PayloadReader reply(answer->outputs);
    value = reply.I32();
    reply.ExpectEnd();
  } catch (const AppError&) {
    Fail("değer tam bir i32 değil", rules::kStatus);
    return;
  }
  Got("tamam: " + Number(value));
  if (value < 0) {
    Fail("sayı eksi olamaz", rules::kStatus);
    return;
  }
  // More than the program would ever take from the terminal is a wrong count
  // even before any list is compared.
  const long long bound = index == 6   ? static_cast<long long>(wire::kMaxLogRecords)
                          : index == 3 ? static_cast<long long>(wire::kMaxUsers) * 10
                                       : static_cast<long long>(wire::kMaxUsers);
  if (value > bound) {
    Fail(Number(value) + " okuyucunun sınırını (" + Number(bound) + ") aşıyor", rules::kLimits);
    return;
  }
  // Each count against the lists read before; unknown lists are not compared.
  std::optional<long long> expected;
  std::string against;
  const auto& users = found_.users;
  switch (index) {
    case 1:
      if (users) {
        expected = std::count_if(users->begin(), users->end(),
                                 [](const wire::UserEntry& u) { return u.privilege > 0; });
        against = "listede yetkisi 0'dan büyük kişi";
      }
      break;
    case 2:
      if (users) {
        expected = static_cast<long long>(users->size());
        against = "listedeki kişi";
      }
      break;
    case 3:
      if (found_.templates) {
        expected = static_cast<long long>(found_.templates->size());
        against = "listedeki parmak izi";
      }
      break;
    case 4:
      if (found_.passwords) {
        expected = *found_.passwords;
        against = "şifresi olan kişi";
      } else if (users && value > static_cast<long long>(users->size())) {
        Fail("şifre sayısı kişi sayısından (" + Number(users->size()) + ") büyük", rules::kStatus);
      }
      break;
    case 6:
      // Records only ever come at the back: the count before the read, the
      // records read and this count can only grow in that order.
      if (found_.log) {
        const long long read = static_cast<long long>(found_.log->size());
        if (found_.logStatusBefore && *found_.logStatusBefore > read) {
          Fail("okumadan hemen önce " + Number(*found_.logStatusBefore) + " kayıt dedi, " +
                   Number(read) + " kayıt gönderdi",
               rules::kStatus);
        } else if (value < read) {
          Fail(Number(read) + " kayıt okunduktan sonra " + Number(value) + " dedi", rules::kStatus);
        }
      }
      break;
    default:
      break;
  }
  if (expected && *expected != value) {
    Fail(Number(value) + " dedi, " + against + " sayısı " + Number(*expected), rules::kStatus);
  }
}

void Checker::CheckOtherStatus() {
  for (const int index : {0, 5, 7, -1}) {
    PayloadWriter args;
    args.I32(index);
    const auto answer = Ask(Op::kGetDeviceStatus, args, "GetDeviceStatus " + Number(index));
    if (!answer) return;
    Got(Number(index) + ": " + (answer->Done() ? "tamam" : "reddedildi"));
    if (answer->Done()) {
      Fail("durum " + Number(index) + " reddedilmedi", rules::kStatus);
      return;
    }
  }
}

void Checker::CheckClock() {
  const auto answer = AskDone(Op::kGetDeviceTime, PayloadWriter(), "GetDeviceTime", rules::kClock);
  if (!answer) return;
  int f[6];
  try {
    PayloadReader reply(answer->outputs);
    for (int& field : f) field = reply.I32();
    reply.ExpectEnd();
  } catch (const AppError&) {
    Fail("yanıt altı i32 değil", rules::kClock);
    return;
  }
  Got(ClockFieldsText(f));
  const std::string wrong = DateTimeProblem(f[0], f[1], f[2], f[3], f[4], f[5]);
  if (!wrong.empty()) Fail(wrong, rules::kClock);
}

void Checker::ExpectNoDoneThenAlive(const Answer& answer, bool silenceAllowed, const char* rule) {
  switch (answer.ending) {
    case Ending::kReply:
      Got(answer.Done() ? "tamam" : "reddedildi");
      if (answer.Done()) {
        Fail("yanıt verildi (reddedilmeli ya da bağlantı kapanmalıydı)", rule);
        return;
      }
      break;
    case Ending::kClosed:
      Got("bağlantı kapandı");
      break;
    case Ending::kSilent:
      Got("yanıt yok");
      if (!silenceAllowed) {
        Fail("yanıt yok, bağlantı da açık kaldı", rule);
        return;
      }
      break;
    case Ending::kNoProgress:
    case Ending::kBroken:
      Got("bozuk yanıt: " + answer.problem);
      Fail("bozuk ya da bitmeyen yanıt (ilk baytlar: " + answer.firstBytes + ")",
           rules::kBrokenReply);
      return;
  }
  // Whatever the terminal did, it must go on serving: a hello on the same
  // link, or on a new one when it closed.
  PayloadWriter version;
  version.U8(wire::kProtocolVersion);
  const auto hello = Ask(Op::kHello, version, "ardından Hello");
  if (hello && !hello->Done()) Fail("ardından selamlaşma reddedildi", rules::kHello);
  if (hello && hello->Done()) Got("ardından selamlaşma tamam");
}

void Checker::CheckUnknownRequest() {
  Sent("bilinmeyen işlem " + Number(kUnknownOp));
  if (!Connected()) return;
  const Answer answer =
      link_.SendRaw(RequestFrame(kUnknownOp, machine_, ""), kUnknownOp, 0, options_.times.silence);
  NoteWaits(answer);
  ExpectNoDoneThenAlive(answer, link_.Serial(), rules::kUnreadable);
}

void Checker::CheckBrokenChecksum() {
  PayloadWriter two;
  two.I32(2);
  std::string frame = RequestFrame(Op::kGetDeviceStatus, machine_, two.Bytes());
  frame.back() = static_cast<char>(frame.back() ^ 0x5A);
  Sent("GetDeviceStatus 2, sağlaması bozuk");
  if (!Connected()) return;
  const Answer answer = link_.SendRaw(frame, static_cast<std::uint8_t>(Op::kGetDeviceStatus), 0,
                                      options_.times.silence);
  NoteWaits(answer);
  ExpectNoDoneThenAlive(answer, true, rules::kChecksum);
}

void Checker::CheckOneReply() {
  PayloadWriter two;
  two.I32(2);
  const struct {
    Op op;
    PayloadWriter args;
    const char* name;
    std::size_t minItemBytes;
  } requests[] = {{Op::kGetDeviceTime, PayloadWriter(), "GetDeviceTime", 0},
                  {Op::kGetDeviceStatus, two, "GetDeviceStatus 2", 0},
                  {Op::kReadAllUsers, PayloadWriter(), "ReadAllUsers", 9}};
  for (const auto& request : requests) {
    const auto answer = Ask(request.op, request.args, request.name, request.minItemBytes);
    if (!answer) return;
    const std::string stray = link_.Stray(kStrayWait);
    if (!stray.empty()) {
      Got(std::string(request.name) + " yanıtından sonra: " + HexHead(stray));
      Fail(std::string(request.name) + " yanıtından sonra istenmeden bayt geldi",
           rules::kOneAtATime);
      link_.Close();
      return;
    }
  }
  Got("her yanıttan sonra " + Number(kStrayWait.count()) + " ms sessizlik");
}

void Checker::CheckOtherMachine() {
  // A number no terminal on an office line is likely to have.
  const int other = machine_ == 999999 ? 999998 : 999999;
  Sent("Hello: makine " + Number(other));
  if (!Connected()) return;
  PayloadWriter version;
  version.U8(wire::kProtocolVersion);
  const Answer answer =
      link_.SendRaw(RequestFrame(Op::kHello, other, version.Bytes()),
                    static_cast<std::uint8_t>(Op::kHello), 0, options_.times.silence);
  NoteWaits(answer);
  if (answer.ending != Ending::kSilent) {
    Got(answer.ending == Ending::kReply ? "yanıt verdi" : "sessiz kalmadı");
    Fail("makine " + Number(other) + " için gelen istek yanıtlandı", rules::kSerialMachine);
    return;
  }
  Got("yanıt yok");
}

void Checker::CheckProgress() {
  Sent("önceki denetimlerin bütün çağrıları");
  Got("en uzun ilerlemesiz bekleme " + Number(found_.longestWait.count()) + " ms" +
      (found_.longestWaitIn.empty() ? "" : " (" + found_.longestWaitIn + ")") + ", sınır " +
      Number(options_.times.progress.count() / 1000) + " s");
  if (!found_.stalled.empty()) {
    std::string names;
    for (const auto& name : found_.stalled) names += (names.empty() ? "" : ", ") + name;
    Fail("ilerlemesiz kalan çağrılar: " + names, rules::kProgress);
  }
}

}  // namespace miravel::conformance
