#pragma once

#include <chrono>
#include <string>

namespace miravel::conformance {

enum class Verdict { kPass, kFail, kSkip };

// One line of the report.
struct CheckResult {
  std::string name;   // short and stable: "kayitlar", "durum-2"
  std::string title;  // what is checked, in a few words
  Verdict verdict = Verdict::kPass;
  std::string sent;      // the requests, in the program's words
  std::string received;  // what came back
  std::string problem;   // why it failed or was skipped
  std::string rule;      // on failure: the paragraph of PROTOCOL.md it breaks
  std::chrono::milliseconds took{0};
};

}  // namespace miravel::conformance
