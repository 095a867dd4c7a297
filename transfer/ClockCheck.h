#pragma once

#include <optional>
#include <string>

#include "core/Clock.h"

namespace miravel {

// How far a terminal's clock may be off this computer's, either way, before
// the transfer warns: every minute of drift is a minute of lateness or
// overtime in the records it stamps.
inline constexpr long long kClockTolerance = 2 * 60;
// A record stamped further ahead of this computer's clock than this was
// stamped by a clock gone wrong (a power cut, a mistyped date).
inline constexpr long long kRecordsAheadLimit = 24 * 60 * 60;

// What a transfer found wrong with a terminal's clock. It only tells: the
// records go into the record file as the terminal stamped them.
struct ClockWarning {
  // Seconds the terminal's clock was ahead of this computer's (negative:
  // behind) when its log was read; only when beyond kClockTolerance.
  std::optional<long long> terminalAhead;
  // Records of this transfer stamped more than kRecordsAheadLimit ahead of
  // this computer's clock.
  int recordsAhead = 0;

  bool Any() const { return terminalAhead.has_value() || recordsAhead > 0; }
};

// How far the terminal's clock (none when it did not tell it) is ahead of
// this computer's, read together, when that is beyond kClockTolerance.
std::optional<long long> ClockOffBeyondTolerance(const std::optional<LocalDateTime>& terminal,
                                                 const LocalDateTime& pc);

// A record's stamp too far ahead of this computer's clock (kRecordsAheadLimit).
bool StampedTooFarAhead(const LocalDateTime& stamp, const LocalDateTime& pc);

// The user's words for the warning. howToSet says how the user sets this
// terminal's clock in the program at hand; it is given when the clock is off.
std::string ClockWarningNote(const ClockWarning& warning, const std::string& howToSet);

// A span of time as the user reads it, its two largest units:
// "3 dk 20 sn", "2 sa 5 dk", "3 gün 4 sa", "45 sn".
std::string DurationText(long long seconds);

}  // namespace miravel
