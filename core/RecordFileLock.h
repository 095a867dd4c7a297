#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "core/FileLock.h"

namespace miravel {

// One transfer at a time per record file, across programs: the window and a
// scheduled miravel-aktar that meet would otherwise each replace the record
// file with their own merge and lose the other's records. The lock is an
// exclusive flock on "<record file>.kilit" beside the file the record path
// really names (links followed), held from before the first terminal until
// the last one is done. The system drops it when its holder ends in any way,
// so a killed run never blocks the next one.
class RecordFileLock {
 public:
  // Waits for the lock. While another run holds it, whileWaiting is called
  // about every 100 ms (the first call tells the user that the run waits).
  // Throws AppError when the lock file cannot be opened, or when limit has
  // passed without the lock; StoppedOnRequest when stop is requested while
  // it waits.
  RecordFileLock(const std::string& recordFilePath, std::chrono::milliseconds limit,
                 const std::function<void()>& whileWaiting, const StopRequest* stop = nullptr);

  static std::string LockPathFor(const std::string& recordFilePath);

 private:
  FileLock lock_;
};

// How long a transfer waits for another one into the same record file.
inline constexpr std::chrono::minutes kTransferLockWaitLimit{10};

}  // namespace miravel
