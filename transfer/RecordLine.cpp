#include "transfer/RecordLine.h"

#include <algorithm>
#include <cstring>

#include "core/AppError.h"
#include "core/DeviceSettings.h"
#include "core/Numbers.h"

namespace miravel {
namespace {

// 0-based offsets of the fields in a record line.
constexpr std::size_t kYearAt = 12, kMonthAt = 17, kDayAt = 20, kHourAt = 23, kMinuteAt = 26;
constexpr std::size_t kDateTextAt = 12, kDateTextLength = 10;
constexpr std::size_t kTimeTextAt = 23, kTimeTextLength = 8;
constexpr std::size_t kMinimumLength = kMinuteAt + 2;

// Reads count digits at pos; -1 when any of them is not a digit.
int Digits(std::string_view line, std::size_t pos, std::size_t count) {
  int value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    const char c = line[i];
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool IsValidDate(int year, int month, int day) {
  static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const int days = kDaysInMonth[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
  return day <= days;
}

bool IsValidTime(int hour, int minute) {
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
}

// Days from 30 December 1899 to the given date (negative before it).
std::int64_t DayNumber(int year, int month, int day) {
  // Days from civil, proleptic Gregorian calendar.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const std::int64_t daysSince1970 = static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
  constexpr std::int64_t k1899To1970 = 25569;
  return daysSince1970 + k1899To1970;
}

struct LineFields {
  int year, month, day, hour, minute;
};

bool ReadFields(std::string_view line, LineFields& fields) {
  if (line.size() < kMinimumLength) return false;
  fields = {Digits(line, kYearAt, 4), Digits(line, kMonthAt, 2), Digits(line, kDayAt, 2),
            Digits(line, kHourAt, 2), Digits(line, kMinuteAt, 2)};
  return fields.year >= 0 && fields.month >= 0 && fields.day >= 0 && fields.hour >= 0 &&
         fields.minute >= 0;
}

}  // namespace

int InOutValue(std::string_view inOutMode, int terminalState) {
  if (inOutMode == kInOutAlwaysIn) return 1;
  if (inOutMode == kInOutAlwaysOut) return 0;
  if (terminalState >= 0 && terminalState <= 5) return terminalState % 2 == 0 ? 1 : 0;
  return terminalState;
}

std::string FormatRecordLine(int userNumber, int inOutValue, int year, int month, int day, int hour,
                             int minute) {
  std::string line;
  line.reserve(31);
  line += "000,";
  line += PadNumber(kRecordUserChars, userNumber);
  line += ',';
  line += (inOutValue >= 0 && inOutValue <= 9) ? static_cast<char>('0' + inOutValue)
                                               : kOutOfRangeInOutChar;
  line += ' ';
  line += PadNumber(4, year);
  line += '/';
  line += PadNumber(2, month);
  line += '/';
  line += PadNumber(2, day);
  line += ' ';
  line += PadNumber(2, hour);
  line += ':';
  line += PadNumber(2, minute);
  line += ":00";
  return line;
}

bool FitsUserColumn(int userNumber) {
  return std::to_string(userNumber).size() <= static_cast<std::size_t>(kRecordUserChars);
}

std::string CutUserNumbersNote(int records) {
  return std::to_string(records) +
         " kaydın kullanıcı numarası beş haneden uzun; kayıt dosyasına son beş hanesiyle yazıldı";
}

std::int64_t ExistingLineTime(std::string_view line) {
  return ExistingLineClock().TimeOf(line);
}

std::int64_t ExistingLineClock::TimeOf(std::string_view line) {
  if (line.size() < kMinimumLength) return 0;
  const char* date = line.data() + kDateTextAt;
  if (!hasLast_ || std::memcmp(date, lastDate_, sizeof lastDate_) != 0) {
    LineFields f{};
    if (!ReadFields(line, f)) return 0;
    std::memcpy(lastDate_, date, sizeof lastDate_);
    lastDays_ = IsValidDate(f.year, f.month, f.day) ? DayNumber(f.year, f.month, f.day) : 0;
    hasLast_ = true;
  }
  const int hour = Digits(line, kHourAt, 2);
  const int minute = Digits(line, kMinuteAt, 2);
  if (hour < 0 || minute < 0) return 0;
  return lastDays_ * 1440 + (IsValidTime(hour, minute) ? hour * 60 + minute : 0);
}

void CheckRecordDateTime(int year, int month, int day, int hour, int minute) {
  // Zero-padded to the column's width, never cut.
  const auto uncut = [](int width, int value) {
    const std::string digits = std::to_string(value);
    return digits.size() >= static_cast<std::size_t>(width)
               ? digits
               : std::string(static_cast<std::size_t>(width) - digits.size(), '0') + digits;
  };
  if (!IsValidDate(year, month, day)) {
    throw AppError("'" + uncut(4, year) + "/" + uncut(2, month) + "/" + uncut(2, day) +
                   "' is not a valid date");
  }
  if (!IsValidTime(hour, minute)) {
    throw AppError("'" + uncut(2, hour) + ":" + uncut(2, minute) + ":00' is not a valid time");
  }
}

std::int64_t NewLineTime(std::string_view line) {
  const auto text = [&](std::size_t at, std::size_t length) {
    return std::string(line.substr(std::min(at, line.size()), length));
  };
  const bool complete = line.size() >= kMinimumLength;
  const int year = complete ? Digits(line, kYearAt, 4) : -1;
  const int month = complete ? Digits(line, kMonthAt, 2) : -1;
  const int day = complete ? Digits(line, kDayAt, 2) : -1;
  if (!IsValidDate(year, month, day)) {
    throw AppError("'" + text(kDateTextAt, kDateTextLength) + "' is not a valid date");
  }
  const int hour = Digits(line, kHourAt, 2);
  const int minute = Digits(line, kMinuteAt, 2);
  if (!IsValidTime(hour, minute)) {
    throw AppError("'" + text(kTimeTextAt, kTimeTextLength) + "' is not a valid time");
  }
  return DayNumber(year, month, day) * 1440 + hour * 60 + minute;
}

}  // namespace miravel
