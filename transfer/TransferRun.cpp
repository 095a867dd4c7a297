#include "transfer/TransferRun.h"

#include <algorithm>
#include <ctime>
#include <optional>

#include "core/Numbers.h"
#include "terminal/DeviceConnection.h"
#include "terminal/TerminalClient.h"
#include "transfer/FrontFilter.h"
#include "transfer/RecordLine.h"

namespace miravel {
CalendarDate TodayOnThisComputer() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

int TransferTerminal(TerminalClient& terminal, TransferSink& sink, const TransferJob& job, int row,
                     int machineNumber, const std::string& inOutMode, const std::string& link,
                     DeliveryNote& note) {
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

  int merged = 0;
  int cut = 0;
  FrontFilter filter([&](const TerminalRecord& r) {
    merger.Add(FormatRecordLine(r.enrollNumber, InOutValue(inOutMode, r.inOutState), r.year,
                                r.month, r.day, r.hour, r.minute));
    ++merged;
    if (!FitsUserColumn(r.enrollNumber)) ++cut;
  });
  std::string identity;
  int taken = 0;
  int shownPercent = 0;
  int terminalNumber = 0, unused2 = 0, unused3 = 0;
  TerminalRecord r;
  while (terminal.GetNextAttendanceRecord(machineNumber, terminalNumber, r.enrollNumber, unused2,
                                          unused3, r.inOutState, r.year, r.month, r.day, r.hour,
                                          r.minute)) {
    if (++taken == 1) {
      identity = TerminalIdentity(link, terminalNumber);
      filter.Expect(note.FrontIn(merger.ReadVersion(), identity));
    }
    CheckRecordDateTime(r.year, r.month, r.day, r.hour, r.minute);
    filter.Take(r);
    const int percent = ProgressPercent(taken, total);
    if (percent != shownPercent) {
      shownPercent = percent;
      sink.ProgressChanged(row, percent);
      sink.Repaint();
    }
  }
  filter.End();
  const RecordFileVersion next = merger.FinishMergeFile();
  std::vector<std::string> mergedTerminals;
  if (taken > 0) mergedTerminals.push_back(identity);
  note.BeforeReplacement(merger.ReadVersion(), next, mergedTerminals,
                         {{identity, filter.Walked(), filter.Checksum()}});
  merger.ReplaceRecordFile();
  note.Replaced(next);
  // Only now, with every record safely in the record file, may the terminal
  // forget them. Its entry in the note goes when it has, or when the log is
  // to stay (then every record comes again next time, as the option says).
  if (sink.ShouldClearLog() && !terminal.ClearAttendanceLog(machineNumber)) {
    sink.LogClearRefused(row);
  } else {
    note.Forget(mergedTerminals);
  }
  if (filter.Skipped() > 0) sink.AlreadyDelivered(row, static_cast<int>(filter.Skipped()));
  if (cut > 0) sink.UserNumbersCut(row, cut);
  sink.TerminalTransferred(row, merged);
  return merged;
}

std::unique_ptr<RecordFileLock> StartTransferRun(const TransferJob& job, TransferSink& sink,
                                                 DeliveryNote& note) {
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
    lock = std::make_unique<RecordFileLock>(job.recordFilePath, job.lockWaitLimit, [&] {
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
  note.Load();
  return lock;
}

void RunTransfer(const TransferJob& job, TerminalClient& terminal, TransferSink& sink) {
  const int count = static_cast<int>(job.devices.size());
  DeliveryNote note(job.recordFilePath);
  const std::unique_ptr<RecordFileLock> lock = StartTransferRun(job, sink, note);
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
        TransferTerminal(terminal, sink, job, row, machine, device.inOutMode, LinkOf(target), note);
      } else {
        sink.StatusChanged(row, RowStatus::kFailed);
      }
    }
    sink.RowFinished(row);
    sink.Repaint();
  }
}

}  // namespace miravel
