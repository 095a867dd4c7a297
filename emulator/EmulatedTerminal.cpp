#include "emulator/EmulatedTerminal.h"

#include <algorithm>
#include <iterator>
#include <tuple>

namespace miravel::emulator {

namespace {
constexpr int kFingers = 10;
constexpr int kMaxPrivilege = 3;
}  // namespace

EmulatedTerminal::EmulatedTerminal(TerminalState state, std::string statePath)
    : state_(std::move(state)), statePath_(std::move(statePath)) {}

void EmulatedTerminal::Changed() {
  const SaveClock::time_point now = SaveClock::now();
  if (!unsaved_) firstUnsaved_ = now;
  unsaved_ = true;
  lastChange_ = now;
}

void EmulatedTerminal::SaveNow() {
  if (!unsaved_) return;
  if (!statePath_.empty()) {
    try {
      SaveStateFile(statePath_, state_);
    } catch (...) {
      firstUnsaved_ = lastChange_ = SaveClock::now();
      throw;
    }
  }
  unsaved_ = false;
}

void EmulatedTerminal::SaveWhenDue(SaveClock::time_point now) {
  if (unsaved_ &&
      (now - lastChange_ >= kQuietBeforeSave || now - firstUnsaved_ >= kLongestUnsaved)) {
    SaveNow();
  }
}

bool EmulatedTerminal::DeviceStatus(int index, int& value) const {
  const auto& users = state_.users;
  switch (index) {
    case 1:
      value = static_cast<int>(std::count_if(users.begin(), users.end(),
                                             [](const auto& u) { return u.second.privilege > 0; }));
      return true;
    case 2:
      value = static_cast<int>(users.size());
      return true;
    case 3:
      value = static_cast<int>(state_.templates.size());
      return true;
    case 4:
      value = static_cast<int>(std::count_if(
          users.begin(), users.end(), [](const auto& u) { return !u.second.password.empty(); }));
      return true;
    case 6:
      value = static_cast<int>(state_.log.size());
      return true;
    default:
      return false;
  }
}

void EmulatedTerminal::ClearLog(std::size_t count) {
  auto& log = state_.log;
  log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(std::min(count, log.size())));
  Changed();
}

bool EmulatedTerminal::Punch(std::time_t now, std::uint64_t pick, wire::LogRecord& record) {
  const auto& users = state_.users;
  if (users.empty()) return false;
  const int enroll =
      std::next(users.begin(), static_cast<std::ptrdiff_t>(pick % users.size()))->first;
  auto& log = state_.log;
  const auto last = std::find_if(
      log.rbegin(), log.rend(), [&](const wire::LogRecord& r) { return r.enrollNumber == enroll; });
  const bool inside = last != log.rend() && last->inOutState == kEntryState;
  const ClockReading clock = Clock(now);
  record = {enroll,      inside ? kExitState : kEntryState,
            clock.year,  clock.month,
            clock.day,   clock.hour,
            clock.minute};
  // A clock set back must not put the new record before older ones.
  const auto when = [](const wire::LogRecord& r) {
    return std::tie(r.year, r.month, r.day, r.hour, r.minute);
  };
  if (!log.empty() && when(record) < when(log.back())) {
    std::tie(record.year, record.month, record.day, record.hour, record.minute) = when(log.back());
  }
  log.push_back(record);
  Changed();
  return true;
}

bool EmulatedTerminal::SetUser(int enrollNumber, const std::string& name,
                               const std::string& password, int privilege, bool enabled) {
  if (enrollNumber < 0 || privilege < 0 || privilege > kMaxPrivilege) return false;
  state_.users[enrollNumber] = User{CleanField(name), CleanField(password), privilege, enabled};
  Changed();
  return true;
}

const User* EmulatedTerminal::FindUser(int enrollNumber) const {
  const auto found = state_.users.find(enrollNumber);
  return found == state_.users.end() ? nullptr : &found->second;
}

bool EmulatedTerminal::DeleteUser(int enrollNumber) {
  if (state_.users.erase(enrollNumber) == 0) return false;
  auto& templates = state_.templates;
  auto it = templates.lower_bound({enrollNumber, 0});
  while (it != templates.end() && it->first.first == enrollNumber) it = templates.erase(it);
  Changed();
  return true;
}

bool EmulatedTerminal::SetTemplate(int enrollNumber, int finger, const std::string& text) {
  if (finger < 0 || finger >= kFingers || !FindUser(enrollNumber)) return false;
  state_.templates[{enrollNumber, finger}] = CleanField(text);
  Changed();
  return true;
}

bool EmulatedTerminal::DeleteTemplate(int enrollNumber, int finger) {
  if (state_.templates.erase({enrollNumber, finger}) == 0) return false;
  Changed();
  return true;
}

void EmulatedTerminal::ClearAdministrators() {
  for (auto& [enroll, user] : state_.users) user.privilege = 0;
  Changed();
}

void EmulatedTerminal::ClearAllData() {
  state_.users.clear();
  state_.templates.clear();
  Changed();
}

ClockReading EmulatedTerminal::Clock(std::time_t now) const {
  const std::time_t shown = now + static_cast<std::time_t>(state_.clockOffset);
  std::tm local{};
  localtime_r(&shown, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::optional<std::time_t> LocalTimeOf(const ClockReading& r) {
  // Every field within its range before any arithmetic on it: a program may
  // send any 32-bit value, and month - 1 of the smallest one overflows.
  if (r.year < 1970 || r.year > 2200 || r.month < 1 || r.month > 12 || r.day < 1 || r.day > 31 ||
      r.hour < 0 || r.hour > 23 || r.minute < 0 || r.minute > 59 || r.second < 0 || r.second > 59) {
    return std::nullopt;
  }
  std::tm local{};
  local.tm_year = r.year - 1900;
  local.tm_mon = r.month - 1;
  local.tm_mday = r.day;
  local.tm_hour = r.hour;
  local.tm_min = r.minute;
  local.tm_sec = r.second;
  local.tm_isdst = -1;
  const std::time_t wanted = std::mktime(&local);
  // mktime rolls 31 April over into May; a terminal refuses such a time.
  if (wanted == static_cast<std::time_t>(-1) || local.tm_year != r.year - 1900 ||
      local.tm_mon != r.month - 1 || local.tm_mday != r.day || local.tm_hour != r.hour ||
      local.tm_min != r.minute || local.tm_sec != r.second) {
    return std::nullopt;
  }
  return wanted;
}

bool EmulatedTerminal::SetClock(const ClockReading& reading, std::time_t now) {
  const std::optional<std::time_t> wanted = LocalTimeOf(reading);
  if (!wanted) return false;
  state_.clockOffset = static_cast<std::int64_t>(*wanted) - static_cast<std::int64_t>(now);
  Changed();
  return true;
}

}  // namespace miravel::emulator
