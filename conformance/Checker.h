#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "conformance/ConformanceRun.h"
#include "conformance/ProbeLink.h"
#include "terminal/WireProtocol.h"

namespace miravel::conformance {

// What the checks learn from the terminal and compare later.
struct Findings {
  std::optional<std::vector<wire::LogRecord>> log;
  std::optional<int> logStatusBefore;  // status 6 just before the log was read
  std::optional<std::vector<wire::UserEntry>> users;
  std::optional<int> passwords;  // users with a password, when every user was asked
  std::optional<std::set<std::pair<int, int>>> templates;  // (enroll, finger)
  // Exchanges given up for want of progress, and the longest wait seen.
  std::vector<std::string> stalled;
  std::chrono::milliseconds longestWait{0};
  std::string longestWaitIn;
};

// Runs the checks one after another over one link, which it opens again
// (with a hello) whenever a check left it closed.
class Checker {
 public:
  explicit Checker(const RunOptions& options);

  std::vector<CheckResult> Run(const std::function<void(const CheckResult&)>& onResult);

 private:
  using CheckBody = void (Checker::*)();

  // The running check's line.
  void Sent(std::string_view text);
  void Got(std::string_view text);
  // The first failure of a check decides its line; later ones are dropped.
  void Fail(std::string problem, const char* rule);
  void Skip(std::string reason);
  bool Failed() const { return current_.verdict == Verdict::kFail; }

  // Opens the link and says hello when it is not open; fails the check when
  // the terminal cannot be reached.
  bool Connected();
  // One exchange, noted in the line; a link failure fails the check.
  std::optional<Answer> Ask(wire::Op op, const wire::PayloadWriter& args,
                            std::string_view description, std::size_t minItemBytes = 0);
  // Ask, and the terminal must have done it.
  std::optional<Answer> AskDone(wire::Op op, const wire::PayloadWriter& args,
                                std::string_view description, const char* rule,
                                std::size_t minItemBytes = 0);
  void NoteWaits(const Answer& answer);
  int HelloMachine() const;

  // Reads (the terminal stays as it was).
  void CheckHello();
  void CheckOtherVersion();
  void CheckRegisterEvents();
  void CheckLog();
  void CheckUsers();
  void CheckUserInfo();
  void CheckTemplates();
  void CheckStatus(int index);
  void CheckStatusAdministrators() { CheckStatus(1); }
  void CheckStatusUsers() { CheckStatus(2); }
  void CheckStatusTemplates() { CheckStatus(3); }
  void CheckStatusPasswords() { CheckStatus(4); }
  void CheckStatusLog() { CheckStatus(6); }
  void CheckOtherStatus();
  void CheckClock();
  void CheckUnknownRequest();
  void CheckBrokenChecksum();
  void CheckOneReply();
  void CheckOtherMachine();
  void CheckProgress();
  // Answers that must not be a done reply, then the terminal must still answer.
  void ExpectNoDoneThenAlive(const Answer& answer, bool silenceAllowed, const char* rule);

  // Writes (each undone before the run ends).
  void CheckCreateUser();
  void CheckTemplateWrite();
  void CheckDeleteUser();
  void CheckSetClock();
  void CheckClearLog();
  void RemoveTestUser();

  // Reads a bulk list again for a writing check; none when it failed.
  std::optional<std::vector<wire::UserEntry>> ReadUsers(std::string_view why);
  std::optional<std::vector<wire::TemplateEntry>> ReadTemplates(std::string_view why);
  std::optional<std::vector<wire::LogRecord>> ReadLog(std::string_view why);

  RunOptions options_;
  ProbeLink link_;
  int machine_ = 0;
  Findings found_;
  CheckResult current_;
  std::optional<int> testEnroll_;  // the test user while it may exist
  bool testUserMade_ = false;      // the terminal took it
};

// An enroll number no listed user has: the highest free one up to 99999 (so
// that it never meets the office's numbering), else one above the highest.
int UnusedEnroll(const std::vector<wire::UserEntry>& users, int skip = -1);

}  // namespace miravel::conformance
