#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DeviceSettings.h"
#include "transfer/DeliveryNote.h"
#include "core/RecordFileLock.h"
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
  // Asked once per terminal, after its records are in the record file: clear
  // the terminal's log now? (The user may change the option during a run.)
  // RunParallelTransfer asks once, before the first terminal.
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
  // The run is done with the row (transferred, failed, skipped or unticked).
  virtual void RowFinished(int row) { (void)row; }
};

struct TransferJob {
  DeviceList devices;
  std::vector<bool> ticked;  // one per device; missing entries count as not ticked
  std::string recordFilePath;
  std::string programFolder;
  std::function<CalendarDate()> today;  // the computer's date when not set
  std::chrono::milliseconds lockWaitLimit = kTransferLockWaitLimit;
};

// Runs the transfer over every ticked device in list order: connect, take the
// whole log into the record file and the day's backup, clear the log when the
// option says so, disconnect. The record file is locked against other
// transfers for the whole run (waiting for one that is running). An unreachable terminal only gets
// the failed status. A conversion error, a file error, an impossible record date or a link error
// stops the whole run with AppError; the terminal being transferred is then disconnected, its files
// are closed, the record file stays as it was before that terminal and its log is not cleared.
void RunTransfer(const TransferJob& job, TerminalClient& terminal, TransferSink& sink);

// The transfer of one connected terminal reached through link (LinkOf);
// returns the number of records merged (0 when the terminal refused to hand
// over its log). The records at the front of the log that the note says the
// record file already holds are not merged again; the note is written before
// the record file is replaced and loses the terminal once its log is cleared.
int TransferTerminal(TerminalClient& terminal, TransferSink& sink, const TransferJob& job, int row,
                     int machineNumber, const std::string& inOutMode, const std::string& link,
                     DeliveryNote& note);

CalendarDate TodayOnThisComputer();

// The start every transfer run shares: every row's status and progress reset;
// then, when any row is ticked, the record file's lock (waiting for another
// run as the sink is told), the leftovers of killed runs removed and the
// delivery note read. Returns the lock, or none when nothing is ticked.
std::unique_ptr<RecordFileLock> StartTransferRun(const TransferJob& job, TransferSink& sink,
                                                 DeliveryNote& note);

// Status index 6: the number of attendance records the terminal holds.
inline constexpr int kRecordCountStatus = 6;

}  // namespace miravel
