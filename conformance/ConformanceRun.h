#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "conformance/CheckResult.h"
#include "conformance/ProbeLink.h"

namespace miravel::conformance {

struct RunOptions {
  LinkTarget target;
  LinkTimes times;
  // The machine number requests carry; on a serial line it is required, over
  // TCP the number the terminal gives in its hello is used when none is given.
  std::optional<int> machine;
  // Also the checks that change the terminal (and put it back as it was).
  bool writing = false;
  // With writing: the log may lose records to the clear by count.
  bool logMayBeCleared = false;
};

// Runs every check in order against the terminal or bridge at options.target
// and hands each result to onResult as soon as it is known.
std::vector<CheckResult> RunChecks(const RunOptions& options,
                                   const std::function<void(const CheckResult&)>& onResult = {});

}  // namespace miravel::conformance
