#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "conformance/CheckResult.h"

namespace miravel::conformance {

// One line of the Turkish report: verdict, name, what was sent, what came
// back and, for a failure, the problem and the paragraph it breaks.
std::string ReportLine(const CheckResult& result);

// The closing line: how many passed, failed and were skipped, and the time.
std::string SummaryLine(const std::vector<CheckResult>& results, std::chrono::milliseconds took);

// 0 when nothing failed, 1 otherwise.
int ExitCodeOf(const std::vector<CheckResult>& results);

}  // namespace miravel::conformance
