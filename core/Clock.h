#pragma once

namespace miravel {

// A local date and time to the second, as the PC's clock and a terminal's
// clock give it.
struct LocalDateTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;

  bool operator==(const LocalDateTime&) const = default;
};

// A day of the calendar: the day a backup file is named after.
struct CalendarDate {
  int year = 0, month = 0, day = 0;
};

// The PC's clock, behind one seam so that tests can fix the date and time
// instead of racing the real clock.
class Clock {
 public:
  virtual ~Clock() = default;
  // Local time; parts of a second are dropped.
  virtual LocalDateTime Now() const = 0;
};

// The computer's own clock.
Clock& SystemClock();

// The seconds from one clock reading to another (negative when `to` is
// earlier), across days, months and leap years.
long long SecondsBetween(const LocalDateTime& from, const LocalDateTime& to);

}  // namespace miravel
