#pragma once

#include <chrono>
#include <string>

#include "emulator/TerminalState.h"
#include "terminal/WireTerminalClient.h"

namespace miravel::test {

// Time-outs short enough that a test of a dead or silent terminal takes a
// second, long enough for a loaded machine.
inline WireTimeouts ShortTimeouts() {
  WireTimeouts timeouts;
  timeouts.connect = std::chrono::milliseconds(2000);
  timeouts.hello = std::chrono::milliseconds(3000);
  timeouts.quiet = std::chrono::milliseconds(5000);
  return timeouts;
}

inline emulator::TerminalState LoadState(const std::string& path) {
  emulator::TerminalState state;
  emulator::LoadStateFile(path, state);
  return state;
}

}  // namespace miravel::test
