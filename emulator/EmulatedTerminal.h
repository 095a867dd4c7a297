#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "emulator/TerminalState.h"

namespace miravel::emulator {

struct ClockReading {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// What a terminal does with its memory. A false result is the terminal's
// refusal.
//
// The state file follows the memory, but not after every change: rewriting a
// state of thousands of templates for each one sent would make a bulk send
// take hours. The server saves when a connection ends and when it stops
// (SaveNow), and in between once the terminal has been quiet for half a
// second, or changes have kept coming for ten (SaveWhenDue). Each save
// replaces the file atomically.
// The computer's time of a local calendar time; none for a time that is not
// a real one (31 April, 25 o'clock).
std::optional<std::time_t> LocalTimeOf(const ClockReading& reading);

class EmulatedTerminal {
 public:
  using SaveClock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kQuietBeforeSave{500};
  static constexpr std::chrono::seconds kLongestUnsaved{10};

  // statePath may be empty: nothing is then saved (tests of the logic alone).
  EmulatedTerminal(TerminalState state, std::string statePath);

  bool HasUnsavedChanges() const { return unsaved_; }
  // Writes the state file when something changed since it was last written.
  // Throws AppError when it cannot; the changes then stay unsaved and the
  // next try waits for another quiet moment.
  void SaveNow();
  // SaveNow when the terminal has been quiet long enough, or the oldest
  // unsaved change is old enough.
  void SaveWhenDue(SaveClock::time_point now);

  const TerminalState& State() const { return state_; }
  int MachineNumber() const { return state_.machineNumber; }

  // 1 administrators, 2 users, 3 fingerprint templates, 4 passwords,
  // 6 attendance records; other indexes are refused.
  bool DeviceStatus(int index, int& value) const;

  // Removes count records from the front of the log (all of them when it
  // holds fewer): the ones the program read; later ones stay.
  void ClearLog(std::size_t count);
  // Adds the record a finger placed now would make: the pick-th user (counted
  // round the users), entering unless the user's last record is an entry,
  // stamped with the terminal's clock but never before the last record, so
  // the log stays in time order. False, and nothing added, without users.
  bool Punch(std::time_t now, std::uint64_t pick, wire::LogRecord& record);
  // Creates or overwrites the user.
  bool SetUser(int enrollNumber, const std::string& name, const std::string& password,
               int privilege, bool enabled);
  const User* FindUser(int enrollNumber) const;
  // Removes the user and the user's templates.
  bool DeleteUser(int enrollNumber);
  // Only for an existing user, fingers 0 to 9.
  bool SetTemplate(int enrollNumber, int finger, const std::string& text);
  bool DeleteTemplate(int enrollNumber, int finger);
  // Every privilege above 0 becomes 0.
  void ClearAdministrators();
  // Users and templates go; the log and the clock stay.
  void ClearAllData();

  // The computer's clock plus the terminal's offset, in local time.
  ClockReading Clock(std::time_t now) const;
  // Refuses a time that is not a real calendar time.
  bool SetClock(const ClockReading& reading, std::time_t now);

 private:
  void Changed();

  TerminalState state_;
  std::string statePath_;
  bool unsaved_ = false;
  SaveClock::time_point firstUnsaved_{};
  SaveClock::time_point lastChange_{};
};

}  // namespace miravel::emulator
