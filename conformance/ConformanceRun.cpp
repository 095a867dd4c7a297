#include "conformance/ConformanceRun.h"

#include "conformance/Checker.h"

namespace miravel::conformance {

std::vector<CheckResult> RunChecks(const RunOptions& options,
                                   const std::function<void(const CheckResult&)>& onResult) {
  Checker checker(options);
  return checker.Run(onResult);
}

}  // namespace miravel::conformance
