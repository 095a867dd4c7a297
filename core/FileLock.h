#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "core/StopRequest.h"

namespace miravel {

// What a FileLock tells the user when it cannot be had.
struct FileLockTexts {
  std::string cannotOpen;  // the lock file could not be opened or created
  std::string cannotLock;  // the system refused the lock itself
  std::string givenUp;     // the limit passed while another program held it
};

// One writer at a time across programs: an exclusive flock on a lock file,
// held while the object lives. The system drops it when its holder ends in
// any way, so a killed program never blocks the next one. The lock file
// itself is left in place; it holds nothing.
class FileLock {
 public:
  // Waits for the lock. While another program holds it, whileWaiting is
  // called about every 100 ms (the first call tells the user that the
  // command waits). Throws AppError: cannotOpen or cannotLock with the path
  // and the system's reason, givenUp when limit has passed without the lock;
  // StoppedOnRequest within 100 ms of a stop requested while it waits.
  FileLock(const std::string& lockPath, std::chrono::milliseconds limit,
           const std::function<void()>& whileWaiting, const FileLockTexts& texts,
           const StopRequest* stop = nullptr);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

// A waiting limit as the user reads it: "10 dakika", "90 saniye".
std::string WaitLimitText(std::chrono::milliseconds limit);

}  // namespace miravel
