// The store's turn of a command that writes it: the lock across programs, and
// the store as the last holder of the lock left it.
#include <set>

#include "core/AppError.h"
#include "personnel/PersonnelCommands.h"

namespace miravel {

std::string PersonGoneMessage(const std::string& perNo) {
  return perNo +
         " bu pencere açıkken başka bir program tarafından bilgisayardan silinmiş; "
         "değişiklik kaydedilmedi ve bilgisayardaki liste yeniden yüklendi";
}

std::string StoreWaitStoppedMessage() {
  return "Başka bir programın personel kayıtlarına yazması beklenirken durduruldu; hiçbir şey "
         "yazılmadı";
}

std::unique_ptr<StoreLock> PersonnelCommands::TakeStore() {
  bool waited = false;
  const auto waiting = [&] {
    waited = true;
    // A stop while waiting gives up at once: nothing was written yet.
    if (Stopping()) throw AppError(StoreWaitStoppedMessage());
    feedback_.WaitingForStore();
  };
  try {
    auto lock = std::make_unique<StoreLock>(store_, storeWaitLimit_, waiting);
    if (waited) feedback_.HideProgress();
    return lock;
  } catch (...) {
    // The error box must not stand over a caption that still says "waiting".
    if (waited) feedback_.HideProgress();
    throw;
  }
}

bool PersonnelCommands::FollowStoreOnDisk() {
  // The lines, not their number: another program may have replaced one.
  if (!storeLines_ || store_.ReadList() == *storeLines_) return false;
  std::set<std::string> ticked;
  for (int row = 0; row < storeList_.RowCount(); ++row) {
    if (storeList_.Ticked(row)) ticked.insert(storeList_.Text(row, kPerNoColumn));
  }
  storeList_.RemoveAllRows();
  LoadStoreList();
  for (int row = 0; row < storeList_.RowCount(); ++row) {
    if (ticked.contains(storeList_.Text(row, kPerNoColumn))) storeList_.SetTicked(row, true);
  }
  return true;
}

}  // namespace miravel
