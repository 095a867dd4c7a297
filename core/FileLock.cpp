#include "core/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "core/AppError.h"
#include "core/SafeFile.h"

namespace miravel {

std::string WaitLimitText(std::chrono::milliseconds limit) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit).count();
  if (seconds >= 60 && seconds % 60 == 0) return std::to_string(seconds / 60) + " dakika";
  return std::to_string(seconds) + " saniye";
}

FileLock::FileLock(const std::string& lockPath, std::chrono::milliseconds limit,
                   const std::function<void()>& whileWaiting, const FileLockTexts& texts,
                   const StopRequest* stop) {
  fd_ = OpenPlainFile(lockPath, O_RDWR | O_CREAT, "Kilit dosyası", 0666);
  if (fd_ < 0) throw FileError(texts.cannotOpen, lockPath, errno);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EINTR) continue;
    if (error != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
      ::close(fd_);
      fd_ = -1;
      if (error != EWOULDBLOCK) throw FileError(texts.cannotLock, lockPath, error);
      throw AppError(texts.givenUp);
    }
    if (stop != nullptr && stop->Requested()) {
      ::close(fd_);
      fd_ = -1;
      throw StoppedOnRequest();
    }
    if (whileWaiting) whileWaiting();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);  // closing drops the lock
}

}  // namespace miravel
