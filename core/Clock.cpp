#include "core/Clock.h"

#include <ctime>

namespace miravel {
namespace {

class ComputerClock : public Clock {
 public:
  LocalDateTime Now() const override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
  }
};

}  // namespace

Clock& SystemClock() {
  static ComputerClock clock;
  return clock;
}

namespace {

// Days since 1 January 1970 of a date of the proleptic Gregorian calendar.
long long DaysSinceEpoch(int year, int month, int day) {
  const long long y = year - (month <= 2 ? 1 : 0);
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yearOfEra = y - era * 400;
  const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

long long SecondsOf(const LocalDateTime& time) {
  return DaysSinceEpoch(time.year, time.month, time.day) * 86400 + time.hour * 3600LL +
         time.minute * 60LL + time.second;
}

}  // namespace

long long SecondsBetween(const LocalDateTime& from, const LocalDateTime& to) {
  return SecondsOf(to) - SecondsOf(from);
}

}  // namespace miravel
