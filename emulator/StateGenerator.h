#pragma once

#include <cstdint>
#include <ctime>

#include "emulator/TerminalState.h"

namespace miravel::emulator {

struct GenerateOptions {
  int users = 0;             // new users, numbered after the highest existing one
  int templatesPerUser = 0;  // fingers 0..K-1 of every user that lacks them
  int logRecords = 0;        // appended to the log
  std::uint64_t seed = 1;
};

// Fills state with demo data: Turkish names, templates, and a log of entries
// and exits on recent working days, in time order, ending before now. The
// same seed and now give the same data.
void Generate(TerminalState& state, const GenerateOptions& options, std::time_t now);

}  // namespace miravel::emulator
