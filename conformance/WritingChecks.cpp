// The checks that change the terminal, each putting back what it changed: a
// test user (with its templates) comes and goes, the clock is set back. Only
// the clear by count cannot be undone, which is why it asks for a flag.
#include <algorithm>
#include <ctime>

#include "conformance/BulkDecoding.h"
#include "conformance/Checker.h"
#include "conformance/ClockFieldsText.h"
#include "conformance/ProtocolRules.h"
#include "core/AppError.h"

namespace miravel::conformance {

using wire::Op;
using wire::PayloadReader;
using wire::PayloadWriter;

namespace {

constexpr const char* kTestName = "Miravel Doğrulama Çalışanı";
constexpr const char* kTestPassword = "4321";
constexpr const char* kTestTemplate = "TVJWTC1ET0dSVUxBTUEtU0FCTE9OVQ==";

std::string Number(long long value) {
  return std::to_string(value);
}

struct UserInfo {
  std::string name, password;
  int privilege = 0;
  bool enabled = false;
};

UserInfo ReadUserInfo(const std::string& outputs) {
  PayloadReader reply(outputs);
  UserInfo info;
  info.name = reply.Text(wire::kMaxTextBytes);
  info.password = reply.Text(wire::kMaxTextBytes);
  info.privilege = reply.I32();
  info.enabled = reply.U8() != 0;
  reply.ExpectEnd();
  return info;
}

// The six fields of a clock reading, as the terminal's local time.
struct ClockFields {
  int f[6] = {};
  std::time_t AsSeconds() const {
    std::tm tm{};
    tm.tm_year = f[0] - 1900;
    tm.tm_mon = f[1] - 1;
    tm.tm_mday = f[2];
    tm.tm_hour = f[3];
    tm.tm_min = f[4];
    tm.tm_sec = f[5];
    return ::timegm(&tm);  // plain calendar arithmetic, no time zone
  }
  static ClockFields FromSeconds(std::time_t seconds) {
    std::tm tm{};
    ::gmtime_r(&seconds, &tm);
    return {{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec}};
  }
  std::string Text() const { return ClockFieldsText(f); }
  PayloadWriter Args() const {
    PayloadWriter args;
    for (int field : f) args.I32(field);
    return args;
  }
};

bool StartsWith(const std::vector<wire::LogRecord>& log,
                std::vector<wire::LogRecord>::const_iterator from,
                std::vector<wire::LogRecord>::const_iterator to) {
  const auto count = static_cast<std::size_t>(to - from);
  return log.size() >= count && std::equal(from, to, log.begin());
}

}  // namespace

std::optional<std::vector<wire::UserEntry>> Checker::ReadUsers(std::string_view why) {
  const auto answer = AskDone(Op::kReadAllUsers, PayloadWriter(),
                              "ReadAllUsers (" + std::string(why) + ")", rules::kUsers, 9);
  if (!answer) return std::nullopt;
  std::vector<wire::UserEntry> users;
  if (const BulkProblem problem = DecodeUsers(*answer, users)) {
    Fail(problem.problem, problem.rule);
    return std::nullopt;
  }
  return users;
}

std::optional<std::vector<wire::TemplateEntry>> Checker::ReadTemplates(std::string_view why) {
  const auto answer = AskDone(Op::kReadAllTemplates, PayloadWriter(),
                              "ReadAllTemplates (" + std::string(why) + ")", rules::kTemplates, 9);
  if (!answer) return std::nullopt;
  std::vector<wire::TemplateEntry> templates;
  if (const BulkProblem problem = DecodeTemplates(*answer, templates)) {
    Fail(problem.problem, problem.rule);
    return std::nullopt;
  }
  return templates;
}

std::optional<std::vector<wire::LogRecord>> Checker::ReadLog(std::string_view why) {
  const auto answer =
      AskDone(Op::kReadAttendanceLog, PayloadWriter(),
              "ReadAttendanceLog (" + std::string(why) + ")", rules::kLog, wire::kLogRecordBytes);
  if (!answer) return std::nullopt;
  std::vector<wire::LogRecord> log;
  if (const BulkProblem problem = DecodeLog(*answer, log)) {
    Fail(problem.problem, problem.rule);
    return std::nullopt;
  }
  return log;
}

void Checker::CheckCreateUser() {
  const auto before = ReadUsers("önce");
  if (!before) return;
  const int enroll = UnusedEnroll(*before);
  PayloadWriter set;
  set.I32(enroll).Text(kTestName).Text(kTestPassword).I32(0).U8(1);
  // From here on the user may exist, whatever the answer says.
  testEnroll_ = enroll;
  if (!AskDone(Op::kSetUserInfo, set, "SetUserInfo " + Number(enroll) + " \"" + kTestName + "\"",
               rules::kSetUser)) {
    return;
  }
  testUserMade_ = true;
  PayloadWriter get;
  get.I32(enroll);
  const auto info =
      AskDone(Op::kGetUserInfo, get, "GetUserInfo " + Number(enroll), rules::kSetUser);
  if (!info) return;
  try {
    const UserInfo read = ReadUserInfo(info->outputs);
    Got("geri okunan: \"" + read.name + "\", şifre \"" + read.password + "\", yetki " +
        Number(read.privilege));
    if (read.name != kTestName || read.password != kTestPassword || read.privilege != 0 ||
        !read.enabled) {
      Fail("geri okunan kişi yazılandan farklı", rules::kSetUser);
      return;
    }
  } catch (const AppError&) {
    Fail("GetUserInfo alanları çerçeveye uymuyor", rules::kUserInfo);
    return;
  }
  const auto after = ReadUsers("sonra");
  if (!after) return;
  const bool listed = std::any_of(after->begin(), after->end(), [&](const wire::UserEntry& u) {
    return u.enrollNumber == enroll;
  });
  Got("listede " + Number(after->size()) + " kişi (önce " + Number(before->size()) + ")");
  if (!listed || after->size() != before->size() + 1) {
    Fail("kişi listesi yeni kişiyi tam bir kez göstermiyor", rules::kSetUser);
    return;
  }
  PayloadWriter badPrivilege;
  badPrivilege.I32(enroll).Text(kTestName).Text(kTestPassword).I32(4).U8(1);
  const auto refused =
      Ask(Op::kSetUserInfo, badPrivilege, "SetUserInfo " + Number(enroll) + " yetki 4");
  if (!refused) return;
  Got(std::string("yetki 4: ") + (refused->Done() ? "tamam" : "reddedildi"));
  if (refused->Done()) Fail("yetki 4 kabul edildi", rules::kSetUser);
}

void Checker::CheckTemplateWrite() {
  if (!testEnroll_ || !testUserMade_) {
    Skip("deneme kişisi yazılamadı");
    return;
  }
  const int enroll = *testEnroll_;
  PayloadWriter set;
  set.I32(enroll).I32(0).Text(kTestTemplate);
  if (!AskDone(Op::kSetFingerTemplate, set, "SetFingerTemplate " + Number(enroll) + " parmak 0",
               rules::kSetTemplate)) {
    return;
  }
  const auto stored = ReadTemplates("yazdıktan sonra");
  if (!stored) return;
  const auto found = std::find_if(
      stored->begin(), stored->end(),
      [&](const wire::TemplateEntry& t) { return t.enrollNumber == enroll && t.finger == 0; });
  if (found == stored->end() || found->text != kTestTemplate) {
    Got(found == stored->end() ? "listede yok" : "metni farklı: " + found->text.substr(0, 40));
    Fail("yazılan parmak izi listede aynen yok", rules::kSetTemplate);
    return;
  }
  Got("listede aynen var");

  PayloadWriter badFinger;
  badFinger.I32(enroll).I32(10).Text(kTestTemplate);
  const auto finger10 = Ask(Op::kSetFingerTemplate, badFinger, "SetFingerTemplate parmak 10");
  if (!finger10) return;
  Got(std::string("parmak 10: ") + (finger10->Done() ? "tamam" : "reddedildi"));
  if (finger10->Done()) Fail("parmak 10 kabul edildi", rules::kSetTemplate);

  const int stranger = UnusedEnroll(found_.users.value_or(std::vector<wire::UserEntry>{}), enroll);
  PayloadWriter unknown;
  unknown.I32(stranger).I32(0).Text(kTestTemplate);
  const auto noUser =
      Ask(Op::kSetFingerTemplate, unknown, "SetFingerTemplate " + Number(stranger) + " (kişi yok)");
  if (!noUser) return;
  Got(std::string("kişisi olmayan iz: ") + (noUser->Done() ? "tamam" : "reddedildi"));
  if (noUser->Done()) {
    Fail("kişisi olmayan bir sicile parmak izi yazıldı", rules::kSetTemplate);
    PayloadWriter undo;
    undo.I32(stranger).I32(0);
    Ask(Op::kDeleteFingerTemplate, undo,
        "DeleteFingerTemplate " + Number(stranger) + " (geri alma)");
  }

  PayloadWriter remove;
  remove.I32(enroll).I32(0);
  if (!AskDone(Op::kDeleteFingerTemplate, remove,
               "DeleteFingerTemplate " + Number(enroll) + " parmak 0", rules::kSetTemplate)) {
    return;
  }
  const auto left = ReadTemplates("sildikten sonra");
  if (!left) return;
  if (std::any_of(left->begin(), left->end(), [&](const wire::TemplateEntry& t) {
        return t.enrollNumber == enroll && t.finger == 0;
      })) {
    Fail("silinen parmak izi listede duruyor", rules::kSetTemplate);
  }
}

void Checker::CheckDeleteUser() {
  if (!testEnroll_ || !testUserMade_) {
    Skip("deneme kişisi yazılamadı");
    return;
  }
  const int enroll = *testEnroll_;
  PayloadWriter set;
  set.I32(enroll).I32(3).Text(kTestTemplate);
  if (!AskDone(Op::kSetFingerTemplate, set, "SetFingerTemplate " + Number(enroll) + " parmak 3",
               rules::kSetTemplate)) {
    return;
  }
  PayloadWriter remove;
  remove.I32(enroll).I32(0).I32(0);
  if (!AskDone(Op::kDeleteUser, remove, "DeleteUser " + Number(enroll) + ", 0, 0",
               rules::kDeleteUser)) {
    return;
  }
  testEnroll_.reset();
  PayloadWriter get;
  get.I32(enroll);
  const auto info = Ask(Op::kGetUserInfo, get, "GetUserInfo " + Number(enroll));
  if (!info) return;
  Got(std::string("silinen kişi: ") + (info->Done() ? "hâlâ var" : "reddedildi"));
  if (info->Done()) {
    Fail("silinen kişi hâlâ soruluyor", rules::kDeleteUser);
    testEnroll_ = enroll;
    return;
  }
  const auto templates = ReadTemplates("sildikten sonra");
  if (!templates) return;
  if (std::any_of(templates->begin(), templates->end(),
                  [&](const wire::TemplateEntry& t) { return t.enrollNumber == enroll; })) {
    Fail("silinen kişinin parmak izi listede kaldı", rules::kDeleteUser);
    return;
  }
  const auto users = ReadUsers("sildikten sonra");
  if (users && std::any_of(users->begin(), users->end(),
                           [&](const wire::UserEntry& u) { return u.enrollNumber == enroll; })) {
    Fail("silinen kişi listede kaldı", rules::kDeleteUser);
  }
  if (users) Got("kişi ve parmak izleri listelerde yok");
}

void Checker::RemoveTestUser() {
  if (!testEnroll_) return;
  PayloadWriter remove;
  remove.I32(*testEnroll_).I32(0).I32(0);
  Sent("DeleteUser " + Number(*testEnroll_) + " (toparlama)");
  const bool removed = link_.IsOpen() || Connected()
                           ? link_.Exchange(Op::kDeleteUser, machine_, remove.Bytes()).Done()
                           : false;
  Got(removed ? "deneme kişisi silindi"
              : "deneme kişisi (sicil " + Number(*testEnroll_) + ") silinemedi: elle silin");
  testEnroll_.reset();
}

void Checker::CheckSetClock() {
  const auto readClock = [&](std::string_view why) -> std::optional<ClockFields> {
    const auto answer = AskDone(Op::kGetDeviceTime, PayloadWriter(),
                                "GetDeviceTime (" + std::string(why) + ")", rules::kClock);
    if (!answer) return std::nullopt;
    try {
      PayloadReader reply(answer->outputs);
      ClockFields clock;
      for (int& field : clock.f) field = reply.I32();
      reply.ExpectEnd();
      return clock;
    } catch (const AppError&) {
      Fail("yanıt altı i32 değil", rules::kClock);
      return std::nullopt;
    }
  };
  const auto setClock = [&](const ClockFields& clock) {
    return Ask(Op::kSetDeviceTime, clock.Args(), "SetDeviceTime " + clock.Text());
  };
  const auto original = readClock("önce");
  if (!original) return;
  const auto readAt = std::chrono::steady_clock::now();
  const ClockFields wanted{{2031, 5, 17, 10, 20, 30}};
  const auto set = setClock(wanted);
  if (!set) return;
  if (set->Done()) {
    if (const auto now = readClock("kurulduktan sonra")) {
      const auto drift = now->AsSeconds() - wanted.AsSeconds();
      Got("kurulan saat okunuyor: " + now->Text());
      if (drift < 0 || drift > 5)
        Fail("okunan saat kurulandan " + Number(drift) + " s farklı", rules::kSetClock);
    }
    const ClockFields impossible{{2026, 2, 30, 12, 0, 0}};
    if (const auto refused = setClock(impossible)) {
      Got(std::string("30 Şubat: ") + (refused->Done() ? "tamam" : "reddedildi"));
      if (refused->Done()) Fail("olmayan bir gün (30 Şubat) kabul edildi", rules::kSetClock);
    }
  } else {
    Got("reddedildi");
    Fail("geçerli bir saat reddedildi", rules::kSetClock);
  }
  // Back to what it showed, plus the time the check took.
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - readAt);
  const ClockFields back = ClockFields::FromSeconds(original->AsSeconds() + elapsed.count());
  const auto restored = setClock(back);
  if (restored && !restored->Done()) Fail("saat geri alınamadı", rules::kSetClock);
  if (restored && restored->Done()) Got("saat geri alındı: " + back.Text());
}

void Checker::CheckClearLog() {
  if (!options_.logMayBeCleared) {
    Skip("--kayit-silinebilir verilmedi: cihazdan kayıt silinmedi");
    return;
  }
  const auto first = ReadLog("önce");
  if (!first) return;
  if (first->size() < 2) {
    Skip("en az 2 kayıt gerekir, cihazda " + Number(first->size()) + " var");
    return;
  }
  PayloadWriter zero;
  zero.U32(0);
  if (!AskDone(Op::kClearAttendanceLog, zero, "ClearAttendanceLog 0", rules::kClearLog)) return;
  const auto second = ReadLog("0 silindikten sonra");
  if (!second) return;
  if (!StartsWith(*second, first->begin(), first->end())) {
    Fail("0 kayıt silinmesi istendi, kayıtlar değişti", rules::kClearLog);
    return;
  }
  // Keep at least one record so that "all of them" cannot pass for "that many".
  const std::uint32_t count =
      static_cast<std::uint32_t>(std::min<std::size_t>(2, first->size() - 1));
  PayloadWriter some;
  some.U32(count);
  if (!AskDone(Op::kClearAttendanceLog, some, "ClearAttendanceLog " + Number(count),
               rules::kClearLog)) {
    return;
  }
  const auto third = ReadLog(Number(count) + " silindikten sonra");
  if (!third) return;
  Got(Number(first->size()) + " kayıttan " + Number(third->size()) + " kaldı");
  if (!StartsWith(*third, first->begin() + count, first->end())) {
    Fail("baştan tam " + Number(count) + " kayıt silinmedi", rules::kClearLog);
  }
}

}  // namespace miravel::conformance
