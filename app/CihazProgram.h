#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "terminal/LinkGroups.h"

namespace miravel {

class Clock;

// miravel-cihaz, the settings window's terminal commands without a window:
// for a schedule that keeps every terminal's clock right, or a script that
// watches whether the terminals answer. Its verbs, as typed:
enum class CihazVerb {
  kTest,                 // test
  kClock,                // saat
  kSetClock,             // saat-ayarla
  kClearAdministrators,  // yetkilileri-sil
  kReset,                // sifirla
};

struct CihazOptions {
  std::string programFolder;    // the office folder; ends in '/' once known
  std::vector<int> deviceRows;  // --cihaz, 1-based; empty with --hepsi
  bool allDevices = false;      // --hepsi
  CihazVerb verb = CihazVerb::kTest;
  std::optional<int> leastDifference;  // --fark-en-az, seconds
  bool yes = false;                    // --evet
  bool help = false;
};

// Exit statuses.
inline constexpr int kCihazAllDone = 0;
inline constexpr int kCihazSomeNotDone = 1;  // a terminal unreachable, or it refused
inline constexpr int kCihazStopped = 2;      // bad use, or a stop on an error

// Reads the command line; throws AppError with a Turkish message on bad use.
CihazOptions ParseCihazArguments(const std::vector<std::string>& arguments);
std::string CihazUsage();

// Runs the command on the rows of cihazlar.ini in the office folder, links at
// once: one line per row on out, in row order, once all have ended; errors on
// err. The two commands that erase only say what they would erase without
// --evet. Returns the exit status.
int RunCihaz(const CihazOptions& options, const TerminalClientMaker& makeClient,
             const Clock& pcClock, std::ostream& out, std::ostream& err);

}  // namespace miravel
