#include "conformance/ReportText.h"

#include <algorithm>
#include <cstdio>

namespace miravel::conformance {
namespace {

const char* VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::kPass:
      return "GEÇTİ  ";
    case Verdict::kFail:
      return "KALDI  ";
    case Verdict::kSkip:
      return "ATLANDI";
  }
  return "";
}

std::string Duration(std::chrono::milliseconds took) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(took.count()) / 1000.0);
  return text;
}

}  // namespace

std::string ReportLine(const CheckResult& result) {
  std::string line = std::string(VerdictText(result.verdict)) + " " + result.name + " (" +
                     result.title + ") | gönderilen: " + (result.sent.empty() ? "-" : result.sent) +
                     " | gelen: " + (result.received.empty() ? "-" : result.received);
  if (result.verdict == Verdict::kFail) {
    line += " | sorun: " + result.problem;
    if (!result.rule.empty()) line += " | kural: " + result.rule;
  } else if (result.verdict == Verdict::kSkip) {
    line += " | neden: " + result.problem;
  }
  return line;
}

std::string SummaryLine(const std::vector<CheckResult>& results, std::chrono::milliseconds took) {
  const auto count = [&](Verdict verdict) {
    return std::to_string(std::count_if(results.begin(), results.end(), [&](const CheckResult& r) {
      return r.verdict == verdict;
    }));
  };
  return "Sonuç: " + std::to_string(results.size()) + " denetimden " + count(Verdict::kPass) +
         " geçti, " + count(Verdict::kFail) + " kaldı, " + count(Verdict::kSkip) + " atlandı (" +
         Duration(took) + ")";
}

int ExitCodeOf(const std::vector<CheckResult>& results) {
  return std::any_of(results.begin(), results.end(),
                     [](const CheckResult& r) { return r.verdict == Verdict::kFail; })
             ? 1
             : 0;
}

}  // namespace miravel::conformance
