#include "transfer/TransferRun.h"

#include <algorithm>
#include <ctime>
#include <optional>

#include "core/Numbers.h"
#include "terminal/DeviceConnection.h"
#include "terminal/TerminalClient.h"
#include "transfer/RecordLine.h"

namespace miravel {
namespace {

constexpr int kRecordCountStatus = 6;

}  // namespace

CalendarDate TodayOnThisComputer() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

int TransferTerminal(TerminalClient& terminal, TransferSink& sink, const TransferJob& job, int row,
                     int machineNumber, const std::string& inOutMode) {
  RecordFileMerger merger;
  merger.Open(job.recordFilePath, job.programFolder, row,
              job.today ? job.today() : TodayOnThisComputer());
  if (!terminal.ReadAttendanceLog(machineNumber)) {
    // Nothing was read, so nothing may be cleared: the merger is abandoned and
    // the record file stays as it was.
    sink.StatusChanged(row, RowStatus::kFailed);
    sink.LogReadRefused(row);
    return 0;
  }
  int total = 0;
  if (!terminal.GetDeviceStatus(machineNumber, kRecordCountStatus, total)) total = 0;

  int taken = 0;
  int shownPercent = 0;
  int unused1 = 0, unused2 = 0, unused3 = 0;
  int enroll = 0, state = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0;
  while (terminal.GetNextAttendanceRecord(machineNumber, unused1, enroll, unused2, unused3, state,
                                          year, month, day, hour, minute)) {
    ++taken;
    CheckRecordDateTime(year, month, day, hour, minute);
    merger.Add(
        FormatRecordLine(enroll, InOutValue(inOutMode, state), year, month, day, hour, minute));
    const int percent = ProgressPercent(taken, total);
    if (percent != shownPercent) {
      shownPercent = percent;
      sink.ProgressChanged(row, percent);
      sink.Repaint();
    }
  }
  merger.Finish();
  // Only now, with every record safely in the record file, may the terminal
  // forget them.
  if (sink.ShouldClearLog() && !terminal.ClearAttendanceLog(machineNumber)) {
    sink.LogClearRefused(row);
  }
  sink.TerminalTransferred(row, taken);
  return taken;
}

void RunTransfer(const TransferJob& job, TerminalClient& terminal, TransferSink& sink) {
  const int count = static_cast<int>(job.devices.size());
  for (int row = 1; row <= count; ++row) {
    sink.StatusChanged(row, RowStatus::kNone);
    sink.ProgressChanged(row, 0);
  }
  const bool anyTicked =
      std::find(job.ticked.begin(), job.ticked.end(), true) != job.ticked.end() && count > 0;
  std::optional<RecordFileLock> lock;
  if (anyTicked) {
    bool waiting = false;
    try {
      lock.emplace(job.recordFilePath, job.lockWaitLimit, [&] {
        if (!waiting) sink.WaitingForOtherTransfer(true);
        waiting = true;
        sink.Repaint();
      });
    } catch (...) {
      if (waiting) sink.WaitingForOtherTransfer(false);
      throw;
    }
    if (waiting) sink.WaitingForOtherTransfer(false);
    RecordFileMerger::RemoveLeftoverMergeFiles(job.recordFilePath);
  }
  for (int row = 1; row <= count; ++row) {
    const DeviceEntry& device = job.devices[row - 1];
    const bool ticked =
        static_cast<std::size_t>(row - 1) < job.ticked.size() && job.ticked[row - 1];
    if (!ticked) {
      sink.StatusChanged(row, RowStatus::kNone);
    } else if (const ConnectionTarget target = TargetOf(device, kTransferConnection);
               target.kind != ConnectionKind::kNone) {
      // A type that is neither "Ethernet" nor "Comm Port" is skipped.
      if (ConnectTo(terminal, target, kTransferConnection)) {
        DisconnectOnExit disconnect(terminal);
        sink.StatusChanged(row, RowStatus::kConnected);
        // A network terminal's machine number is read once it is connected.
        const int machine = target.kind == ConnectionKind::kNetwork ? MachineNumberOf(device)
                                                                    : target.machineNumber;
        TransferTerminal(terminal, sink, job, row, machine, device.inOutMode);
      } else {
        sink.StatusChanged(row, RowStatus::kFailed);
      }
    }
    sink.RowFinished(row);
    sink.Repaint();
  }
}

}  // namespace miravel
