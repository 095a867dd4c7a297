#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace miravel {

// The in/out value written for a record: 1 entry, 0 exit. A terminal set to
// "always entry" or "always exit" overrides the record's own state; otherwise
// even states 0, 2, 4 are entries, odd states 1, 3, 5 exits, and any other
// state is written as the terminal gave it.
int InOutValue(std::string_view inOutMode, int terminalState);

// One line of the record file, 31 characters without its line end:
// "000,UUUUU,V YYYY/MM/DD HH:MM:00". Every column is fixed because readers of
// the file (and our own merge) take the time from fixed columns. An in/out
// value that does not fit its one column (10 and above, or negative) is
// written as kOutOfRangeInOutChar.
std::string FormatRecordLine(int userNumber, int inOutValue, int year, int month, int day, int hour,
                             int minute);
inline constexpr char kOutOfRangeInOutChar = '9';

// The user column is five characters wide, as the programs that read the
// file expect: a user number of more characters keeps only its last five
// there, and its records read as another user's. A transfer counts them.
inline constexpr int kRecordUserChars = 5;
bool FitsUserColumn(int userNumber);
// What a terminal's row says of such records.
std::string CutUserNumbersNote(int records);

// The time of a line in minutes, counted from 30 December 1899 00:00, read
// from the fixed columns of the line. For lines already in the record file a
// date that is not a calendar date counts as day 0 and an impossible clock
// time as 00:00; a line that does not follow the layout at all (or an empty
// line) has time 0, so it stays ahead of every real record.
std::int64_t ExistingLineTime(std::string_view line);

// ExistingLineTime for a stream of lines: a record file holds long runs of
// lines of one day, so the day of the previous line is remembered rather than
// worked out again for every line.
class ExistingLineClock {
 public:
  std::int64_t TimeOf(std::string_view line);

 private:
  char lastDate_[10] = {};
  std::int64_t lastDays_ = 0;
  bool hasLast_ = false;
};

// The same for a line just built from a terminal record, where an impossible
// date or time is an error: throws AppError "'YYYY/MM/DD' is not a valid date"
// or "'HH:MM:00' is not a valid time" with the texts as they stand in the line.
std::int64_t NewLineTime(std::string_view line);

// Checks a terminal record's date and time before they go into the fixed
// columns, which keep only their last digits: month 101 would become 01 and
// year 12026 become 2026, a different, valid time. Throws the same messages
// as NewLineTime, with the values as the terminal gave them.
void CheckRecordDateTime(int year, int month, int day, int hour, int minute);

}  // namespace miravel
