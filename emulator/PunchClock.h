#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>

#include "emulator/EmulatedTerminal.h"

namespace miravel::emulator {

// Staff placing fingers on the terminal while it runs: one new record every
// interval, whatever the program is doing, so that a transfer meets a log that
// grows while it is read.
class PunchClock {
 public:
  using Clock = std::chrono::steady_clock;

  // announce hears every record made. The same seed picks the same users.
  PunchClock(EmulatedTerminal& terminal, std::chrono::milliseconds interval, std::uint64_t seed,
             std::function<void(const wire::LogRecord&)> announce);

  // The first record comes one interval after now.
  void Start(Clock::time_point now);
  // Makes a record when one is due. After a long stall it makes one, not a
  // burst: a terminal reads one finger at a time.
  void Tick(Clock::time_point now);
  // How long a wait may last so that the next record comes on time.
  std::chrono::milliseconds UntilDue(Clock::time_point now) const;

 private:
  EmulatedTerminal& terminal_;
  std::chrono::milliseconds interval_;
  std::mt19937_64 random_;
  std::function<void(const wire::LogRecord&)> announce_;
  Clock::time_point due_;
};

}  // namespace miravel::emulator
