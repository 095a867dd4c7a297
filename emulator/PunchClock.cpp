#include "emulator/PunchClock.h"

#include <ctime>

namespace miravel::emulator {

PunchClock::PunchClock(EmulatedTerminal& terminal, std::chrono::milliseconds interval,
                       std::uint64_t seed, std::function<void(const wire::LogRecord&)> announce)
    : terminal_(terminal), interval_(interval), random_(seed), announce_(std::move(announce)) {}

void PunchClock::Start(Clock::time_point now) {
  due_ = now + interval_;
}

void PunchClock::Tick(Clock::time_point now) {
  if (now < due_) return;
  wire::LogRecord record;
  if (terminal_.Punch(std::time(nullptr), random_(), record) && announce_) announce_(record);
  due_ += interval_;
  if (due_ <= now) due_ = now + interval_;
}

std::chrono::milliseconds PunchClock::UntilDue(Clock::time_point now) const {
  if (now >= due_) return std::chrono::milliseconds(0);
  // Rounded up: waking a little early would only spin until the due time.
  return std::chrono::ceil<std::chrono::milliseconds>(due_ - now);
}

}  // namespace miravel::emulator
