#include "core/RecordFileLock.h"

#include "core/SafeFile.h"

namespace miravel {

std::string RecordFileLock::LockPathFor(const std::string& recordFilePath) {
  return FollowLinks(recordFilePath) + ".kilit";
}

RecordFileLock::RecordFileLock(const std::string& recordFilePath, std::chrono::milliseconds limit,
                               const std::function<void()>& whileWaiting, const StopRequest* stop)
    : lock_(LockPathFor(recordFilePath), limit, whileWaiting,
            {"Kilit dosyası açılamadı", "Kayıt dosyası kilitlenemedi",
             "Aynı kayıt dosyasına başka bir aktarım sürüyor; " + WaitLimitText(limit) +
                 " beklendi, bu aktarım yapılmadı: " + recordFilePath},
            stop) {}

}  // namespace miravel
