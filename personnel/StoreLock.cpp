#include "personnel/StoreLock.h"

#include "personnel/PersonnelStore.h"

namespace miravel {

std::string StoreBusyMessage() {
  return "Personel dosyaları başka bir işlem tarafından kullanılıyor, bekleniyor…";
}

std::string StoreGivenUpMessage(std::chrono::milliseconds limit) {
  return "Personel dosyaları başka bir işlem tarafından kullanılıyor; " + WaitLimitText(limit) +
         " beklendi, bu işlem yapılmadı, hiçbir şey yazılmadı. Diğer işlem bitince yeniden "
         "deneyin.";
}

StoreLock::StoreLock(const PersonnelStore& store, std::chrono::milliseconds limit,
                     const std::function<void()>& whileWaiting)
    : lock_(store.LockPath(), limit, whileWaiting,
            {"Personel kilit dosyası açılamadı", "Personel dosyaları kilitlenemedi",
             StoreGivenUpMessage(limit)}) {}

}  // namespace miravel
