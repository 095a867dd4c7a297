#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "terminal/WireProtocol.h"

namespace miravel::emulator {

// In/out states of the records the emulator makes itself.
inline constexpr int kEntryState = 0;
inline constexpr int kExitState = 1;

struct User {
  std::string name;
  std::string password;
  int privilege = 0;
  bool enabled = true;

  bool operator==(const User&) const = default;
};

// Everything an emulated terminal remembers. Users and templates are kept in
// enroll-number order; the log in the order of the state file.
struct TerminalState {
  int machineNumber = 1;
  // What the terminal says it is in its hello; made once and kept.
  std::string identity;
  // The most records the log holds; a full log drops its oldest. 0: no limit.
  std::size_t capacity = 0;
  std::int64_t clockOffset = 0;  // seconds added to the computer's clock
  std::map<int, User> users;
  std::map<std::pair<int, int>, std::string> templates;  // (enroll, finger) -> text
  std::vector<wire::LogRecord> log;

  bool operator==(const TerminalState&) const = default;
};

// A full log drops its oldest records, as a terminal does.
void DropOldestBeyondCapacity(TerminalState& state);

// The state file: UTF-8 text, sections [terminal], [users], [templates] and
// [log], tab-separated fields. Throws AppError naming the line on a bad line.
TerminalState ParseState(std::string_view text, const std::string& fileName);
std::string FormatState(const TerminalState& state);
// One [log] line of the state file, without its line end.
std::string FormatLogLine(const wire::LogRecord& record);

// False when the file does not exist (the caller starts from an empty state).
bool LoadStateFile(const std::string& path, TerminalState& state);
// Replaces the file atomically.
void SaveStateFile(const std::string& path, const TerminalState& state);

// A text as a field of the state file: tab, CR and LF become blanks, so a name
// can never split a line or a field.
std::string CleanField(std::string_view text);

}  // namespace miravel::emulator
