#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "core/DeviceSettings.h"
#include "core/RecordFileLock.h"
#include "transfer/ClockCheck.h"
#include "core/StopRequest.h"
#include "transfer/DeliveryLedger.h"
#include "transfer/RecordFileMerger.h"

namespace miravel {

class TerminalClient;

// The status shown for a row: nothing yet, connected, connection failed.
enum class RowStatus { kNone = 0, kConnected = 1, kFailed = 2 };

// Where a transfer reports what the user sees. Rows are 1-based, as in the
// main window's grid and the backup file names.
class TransferSink {
 public:
  virtual ~TransferSink() = default;
  virtual void StatusChanged(int row, RowStatus status) = 0;
  // Called only when the shown percentage changes (at most 101 times per
  // terminal however many records flow).
  virtual void ProgressChanged(int row, int percent) = 0;
  // The points where the window repaints its grid.
  virtual void Repaint() {}
  // Asked once, before the first terminal: clear the logs once their
  // records are in the record file?
  virtual bool ShouldClearLog() = 0;
  // A terminal's transfer ran to its end; records is how many went into the
  // record file.
  virtual void TerminalTransferred(int row, int records) { (void)row, (void)records; }
  // The first records of the terminal's log were already in the record file
  // (an earlier run stopped before it could clear them): they were not
  // merged again. Called before TerminalTransferred.
  virtual void AlreadyDelivered(int row, int records) { (void)row, (void)records; }
  // Of the records a terminal's transfer merged, this many had a user number
  // too long for the record line's user column (FitsUserColumn). Called
  // before TerminalTransferred, only when there were any.
  virtual void UserNumbersCut(int row, int records) { (void)row, (void)records; }
  // Records of the terminal with an impossible date or time were not merged
  // but set aside in setAsideFile (SetAsideFileOf). Called before
  // TerminalTransferred.
  virtual void RecordsSetAside(int row, int records, const std::string& setAsideFile) {
    (void)row, (void)records, (void)setAsideFile;
  }
  // The terminal's clock was off when its log was read, or records of this
  // transfer were stamped far ahead (ClockWarning); they were merged as
  // stamped. Called before TerminalTransferred, only when there was something.
  virtual void ClockWrong(int row, const ClockWarning& warning) { (void)row, (void)warning; }
  // The delivery ledger could not be read (problem says which file and what
  // was used instead): up to maybeTwice of the records merged in this run may
  // have been in the record file already. Called once, after the merge.
  virtual void LedgerUnreadable(const std::string& problem, int maybeTwice) {
    (void)problem, (void)maybeTwice;
  }
  // The terminal refused to hand over its log: nothing of it was merged and
  // its log was not cleared. The row's status is the failed one.
  virtual void LogReadRefused(int row) { (void)row; }
  // The records are in the record file, but the terminal refused to clear
  // them: the next run brings them again.
  virtual void LogClearRefused(int row) { (void)row; }
  // Another transfer into the same record file is running: this one starts
  // waiting for it (true; Repaint is called while it waits) or has stopped
  // waiting (false: it got its turn, or gave up with an error).
  virtual void WaitingForOtherTransfer(bool waiting) { (void)waiting; }
  // The user stopped the run before the row's records reached the record
  // file: nothing of its log was merged or cleared (the row's status and
  // progress were reset). Called before RowFinished.
  virtual void RowStopped(int row) { (void)row; }
  // The row's records are in the record file, but the run was stopped before
  // its log was cleared: the next run takes only the records that are new
  // and clears them all. Called before TerminalTransferred.
  virtual void LogClearLeft(int row) { (void)row; }
  // The run ended early because the user asked it to stop; replaced says
  // whether the record file took the records of the rows told
  // TerminalTransferred (otherwise nothing was merged). Called last, once.
  virtual void TransferStopped(bool replaced) { (void)replaced; }
  // The run is done with the row (transferred, failed, skipped or unticked).
  virtual void RowFinished(int row) { (void)row; }
};

struct TransferJob {
  DeviceList devices;
  std::vector<bool> ticked;  // one per device; missing entries count as not ticked
  std::string recordFilePath;
  std::string programFolder;
  std::function<CalendarDate()> today;  // the computer's date when not set
  // What a terminal's clock is compared with: this computer's when not set.
  const Clock* clock = nullptr;
  std::chrono::milliseconds lockWaitLimit = kTransferLockWaitLimit;
  // The device a COM port maps to, so that two rows on one line are known as
  // one link; none (or an empty result) compares the port numbers.
  std::function<std::string(int comPort)> serialDeviceOf;
  // Every record the terminals hold is delivered again, whatever the ledger
  // says (for an office that lost its record file).
  bool deliverAgain = false;
  // The user's wish to stop (null: never), seen while the run waits for
  // another transfer, before each row is contacted, while a log is read and
  // walked, before the record file is replaced and before each log is
  // cleared.
  const StopRequest* stop = nullptr;
};

CalendarDate TodayOnThisComputer();

// The start of a transfer run: every row's status and progress reset; then,
// when any row is ticked, the record file's lock (waiting for another run as
// the sink is told), the delivery ledger read (settling a stopped run) and
// the leftovers of killed runs removed. Returns the lock, or none when
// nothing is ticked.
std::unique_ptr<RecordFileLock> StartTransferRun(const TransferJob& job, TransferSink& sink,
                                                 DeliveryLedger& ledger);

// The file of the office folder where records with an impossible date or
// time are set aside: "ayrilan-kayitlar.txt", one tab-separated line per
// record (when, row, terminal name, terminal, enroll number, in/out state,
// year, month, day, hour, minute as the terminal gave them).
std::string SetAsideFileOf(const std::string& programFolder);

// Status index 6: the number of attendance records the terminal holds.
inline constexpr int kRecordCountStatus = 6;

}  // namespace miravel
