#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "core/FileLock.h"

namespace miravel {

class PersonnelStore;

// One command at a time writes the personnel store, across programs: two
// copies into the store that overlap (two nightly copies from two terminals
// started in the same minute, or the personnel window and a nightly copy)
// would each replace parmakizi.ini from their own reading and lose the
// other's persons. The lock is an exclusive flock on personel/personel.kilit,
// held for one command, never for the whole time a window is open, so a
// window left open does not hold up the nightly copy.
class StoreLock {
 public:
  // Waits for the lock as FileLock does; gives up with StoreGivenUpMessage.
  StoreLock(const PersonnelStore& store, std::chrono::milliseconds limit,
            const std::function<void()>& whileWaiting);

 private:
  FileLock lock_;
};

// How long a command waits for another one's: miravel-personel runs
// unattended and a copy of a large terminal takes minutes, so it waits
// long; a user in front of the window is told sooner.
inline constexpr std::chrono::minutes kStoreLockWaitLimit{10};
inline constexpr std::chrono::minutes kWindowStoreLockWaitLimit{2};

// Shown while a command waits for the lock.
std::string StoreBusyMessage();
// The command gave up after limit: nothing was written.
std::string StoreGivenUpMessage(std::chrono::milliseconds limit);

}  // namespace miravel
