#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "emulator/TerminalState.h"

namespace miravel::emulator {

struct ClockReading {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// What a terminal does with its memory. Every change is written to the state
// file at once (atomically), so a killed emulator loses nothing it confirmed.
// A false result is the terminal's refusal.
class EmulatedTerminal {
 public:
  // statePath may be empty: nothing is then saved (tests of the logic alone).
  EmulatedTerminal(TerminalState state, std::string statePath);

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
  void Save();

  TerminalState state_;
  std::string statePath_;
};

}  // namespace miravel::emulator
