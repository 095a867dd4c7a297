#include "transfer/TransferRun.h"

#include <algorithm>
#include <ctime>
#include <optional>

#include "core/FolderPath.h"
#include "core/Numbers.h"
#include "terminal/DeviceConnection.h"
#include "terminal/TerminalClient.h"
#include "transfer/RecordLine.h"

namespace miravel {
CalendarDate TodayOnThisComputer() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::unique_ptr<RecordFileLock> StartTransferRun(const TransferJob& job, TransferSink& sink,
                                                 DeliveryLedger& ledger) {
  const int count = static_cast<int>(job.devices.size());
  for (int row = 1; row <= count; ++row) {
    sink.StatusChanged(row, RowStatus::kNone);
    sink.ProgressChanged(row, 0);
  }
  const bool anyTicked =
      std::find(job.ticked.begin(), job.ticked.end(), true) != job.ticked.end() && count > 0;
  if (!anyTicked) return nullptr;
  bool waiting = false;
  std::unique_ptr<RecordFileLock> lock;
  try {
    lock = std::make_unique<RecordFileLock>(
        job.recordFilePath, job.lockWaitLimit,
        [&] {
          if (!waiting) sink.WaitingForOtherTransfer(true);
          waiting = true;
          sink.Repaint();
        },
        job.stop);
  } catch (...) {
    if (waiting) sink.WaitingForOtherTransfer(false);
    throw;
  }
  if (waiting) sink.WaitingForOtherTransfer(false);
  // The ledger first: a stopped run's merge file still lying there tells it
  // that the run did not replace the record file.
  ledger.Load();
  RecordFileMerger::RemoveLeftoverMergeFiles(job.recordFilePath);
  return lock;
}

std::string SetAsideFileOf(const std::string& programFolder) {
  return PathInFolder(programFolder, "ayrilan-kayitlar.txt");
}

}  // namespace miravel
