#include "conformance/Checker.h"

#include <algorithm>
#include <limits>

#include "conformance/ProtocolRules.h"
#include "core/AppError.h"

namespace miravel::conformance {

using std::chrono::milliseconds;

namespace {

std::string Seconds(milliseconds time) {
  return std::to_string(time.count() / 1000) + " s";
}

// How an exchange ended that is no reply, in the user's words, and the
// paragraph that says it must not.
std::pair<std::string, const char*> EndingText(const Answer& answer, const LinkTimes& times) {
  const std::string head =
      answer.firstBytes.empty() ? "" : " (ilk baytlar: " + answer.firstBytes + ")";
  switch (answer.ending) {
    case Ending::kReply:
      return {"", nullptr};
    case Ending::kClosed:
      return {"bağlantı yanıttan önce kapandı" + head, rules::kLinkLost};
    case Ending::kSilent:
      return {Seconds(times.quiet) + " içinde yanıt gelmedi" + head, rules::kQuiet};
    case Ending::kNoProgress:
      return {Seconds(times.progress) + " boyunca ilerleme olmadı" + head, rules::kProgress};
    case Ending::kBroken:
      return {answer.problem + head, rules::kBrokenReply};
  }
  return {"", nullptr};
}

const char* ShortEndingText(Ending ending) {
  switch (ending) {
    case Ending::kReply:
      return "yanıt";
    case Ending::kClosed:
      return "bağlantı kapandı";
    case Ending::kSilent:
      return "yanıt yok";
    case Ending::kNoProgress:
      return "ilerleme yok";
    case Ending::kBroken:
      return "bozuk yanıt";
  }
  return "";
}

}  // namespace

int UnusedEnroll(const std::vector<wire::UserEntry>& users, int skip) {
  std::set<int> taken;
  for (const auto& user : users) taken.insert(user.enrollNumber);
  const auto free = [&](long long enroll) {
    return enroll != skip && !taken.count(static_cast<int>(enroll));
  };
  for (long long enroll = 99999; enroll >= 1; --enroll) {
    if (free(enroll)) return static_cast<int>(enroll);
  }
  // A terminal with every number up to 99999 taken: the first free one above.
  for (long long enroll = 100000; enroll <= std::numeric_limits<int>::max(); ++enroll) {
    if (free(enroll)) return static_cast<int>(enroll);
  }
  return 0;
}

Checker::Checker(const RunOptions& options)
    : options_(options),
      link_(options.target, options.times),
      machine_(options.machine.value_or(0)) {}

int Checker::HelloMachine() const {
  // Over TCP the program asks whoever is at the address.
  return link_.Serial() ? machine_ : 0;
}

std::vector<CheckResult> Checker::Run(const std::function<void(const CheckResult&)>& onResult) {
  struct Entry {
    const char* name;
    const char* title;
    CheckBody body;
  };
  std::vector<Entry> checks = {
      {"selam", "selamlaşma, sürüm 2 ve makine numarası", &Checker::CheckHello},
      {"surum", "başka sürümün selamı reddedilir", &Checker::CheckOtherVersion},
      {"olay-kaydi", "olay kaydı isteği, RegisterEvents", &Checker::CheckRegisterEvents},
      {"kayitlar", "hareket kayıtlarının okunması", &Checker::CheckLog},
      {"kisiler", "kişi listesi", &Checker::CheckUsers},
      {"kisi-bilgisi", "kişi bilgisi, GetUserInfo", &Checker::CheckUserInfo},
      {"parmakizleri", "parmak izi listesi", &Checker::CheckTemplates},
      {"durum-1", "durum 1: yönetici sayısı", &Checker::CheckStatusAdministrators},
      {"durum-2", "durum 2: kişi sayısı", &Checker::CheckStatusUsers},
      {"durum-3", "durum 3: parmak izi sayısı", &Checker::CheckStatusTemplates},
      {"durum-4", "durum 4: şifre sayısı", &Checker::CheckStatusPasswords},
      {"durum-6", "durum 6: hareket kaydı sayısı", &Checker::CheckStatusLog},
      {"durum-diger", "başka durum numaraları reddedilir", &Checker::CheckOtherStatus},
      {"saat", "cihaz saatinin okunması", &Checker::CheckClock},
      {"bilinmeyen-istek", "bilinmeyen bir istek", &Checker::CheckUnknownRequest},
      {"bozuk-saglama", "sağlaması bozuk bir istek", &Checker::CheckBrokenChecksum},
      {"tek-yanit", "her isteğe tek yanıt, ardından sessizlik", &Checker::CheckOneReply},
  };
  if (link_.Serial()) {
    checks.push_back(
        {"makine-no", "başka makine numarasına sessiz kalır", &Checker::CheckOtherMachine});
  }
  if (options_.writing) {
    checks.push_back(
        {"kisi-yaz", "deneme kişisi yazılır ve geri okunur", &Checker::CheckCreateUser});
    checks.push_back(
        {"parmakizi-yaz", "parmak izi yazılır, okunur, silinir", &Checker::CheckTemplateWrite});
    checks.push_back({"kisi-sil", "deneme kişisi izleriyle silinir", &Checker::CheckDeleteUser});
    checks.push_back({"saat-yaz", "saat kurulur ve geri alınır", &Checker::CheckSetClock});
    checks.push_back(
        {"kayit-sil", "sayıyla silme baştan tam o kadar kayıt siler", &Checker::CheckClearLog});
  }
  checks.push_back({"ilerleme", "hiçbir çağrı ilerleme sınırını aşmaz", &Checker::CheckProgress});

  std::vector<CheckResult> results;
  for (const Entry& check : checks) {
    current_ = CheckResult{};
    current_.name = check.name;
    current_.title = check.title;
    const auto start = std::chrono::steady_clock::now();
    (this->*check.body)();
    if (check.body == &Checker::CheckDeleteUser) RemoveTestUser();
    current_.took =
        std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
    results.push_back(current_);
    if (onResult) onResult(current_);
  }
  link_.Close();
  return results;
}

void Checker::Sent(std::string_view text) {
  if (!current_.sent.empty()) current_.sent += "; ";
  current_.sent += text;
}

void Checker::Got(std::string_view text) {
  if (!current_.received.empty()) current_.received += "; ";
  current_.received += text;
}

void Checker::Fail(std::string problem, const char* rule) {
  if (Failed()) return;
  current_.verdict = Verdict::kFail;
  current_.problem = std::move(problem);
  current_.rule = rule ? rule : "";
}

void Checker::Skip(std::string reason) {
  if (Failed()) return;
  current_.verdict = Verdict::kSkip;
  current_.problem = std::move(reason);
}

void Checker::NoteWaits(const Answer& answer) {
  if (answer.ending == Ending::kNoProgress) found_.stalled.push_back(current_.name);
  // A wait for a silence the check expects is not a terminal's delay.
  if (answer.ending == Ending::kReply && answer.longestWait > found_.longestWait) {
    found_.longestWait = answer.longestWait;
    found_.longestWaitIn = current_.name;
  }
}

bool Checker::Connected() {
  if (link_.IsOpen()) return true;
  const std::string where = link_.Serial()
                                ? options_.target.serialDevice
                                : options_.target.host + ":" + std::to_string(options_.target.port);
  if (!link_.Open()) {
    Fail("bağlantı açılamadı: " + where, rules::kHello);
    return false;
  }
  wire::PayloadWriter version;
  version.U8(wire::kProtocolVersion);
  const Answer answer =
      link_.SendRaw(RequestFrame(wire::Op::kHello, HelloMachine(), version.Bytes()),
                    static_cast<std::uint8_t>(wire::Op::kHello), 0, options_.times.hello);
  NoteWaits(answer);
  wire::PayloadReader reply(answer.outputs);
  bool fine = answer.Done();
  if (fine) {
    try {
      fine = reply.U8() == wire::kProtocolVersion;
      const int answered = reply.I32();
      reply.ExpectEnd();
      if (!options_.machine && !link_.Serial()) machine_ = answered;
    } catch (const AppError&) {
      fine = false;
    }
  }
  if (!fine) {
    link_.Close();
    const std::string why = answer.ending == Ending::kReply
                                ? (answer.Refused() ? "reddetti" : "bozuk yanıt")
                                : EndingText(answer, options_.times).first;
    Fail("bağlanırken selamlaşma olmadı (" + why + ")", rules::kHello);
  }
  return fine;
}

std::optional<Answer> Checker::Ask(wire::Op op, const wire::PayloadWriter& args,
                                   std::string_view description, std::size_t minItemBytes) {
  Sent(description);
  if (!Connected()) return std::nullopt;
  Answer answer = link_.Exchange(op, machine_, args.Bytes(), minItemBytes);
  NoteWaits(answer);
  if (answer.ending != Ending::kReply) {
    auto [text, rule] = EndingText(answer, options_.times);
    Got(ShortEndingText(answer.ending));
    Fail(std::string(description) + ": " + text, rule);
    return std::nullopt;
  }
  return answer;
}

std::optional<Answer> Checker::AskDone(wire::Op op, const wire::PayloadWriter& args,
                                       std::string_view description, const char* rule,
                                       std::size_t minItemBytes) {
  auto answer = Ask(op, args, description, minItemBytes);
  if (answer && answer->Refused()) {
    Got("reddedildi");
    Fail(std::string(description) + " reddedildi", rule);
    return std::nullopt;
  }
  return answer;
}

}  // namespace miravel::conformance
