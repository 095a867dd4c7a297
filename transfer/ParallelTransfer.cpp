#include "transfer/ParallelTransfer.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <vector>

#include "core/AppError.h"
#include "core/Numbers.h"
#include "terminal/DeviceConnection.h"
#include "terminal/TerminalClient.h"
#include "transfer/FrontFilter.h"
#include "transfer/RecordLine.h"

namespace miravel {
namespace {

// A record kept from its reading until the one merge: 16 bytes, so that
// fifty terminals of 100,000 records fit in some 80 MB.
struct KeptRecord {
  std::int32_t enrollNumber = 0, inOutState = 0;
  std::uint16_t year = 0;
  std::uint8_t month = 0, day = 0, hour = 0, minute = 0;
};

enum class Outcome { kNotTried, kFailed, kReadRefused, kRead, kStopped };

struct Row {
  int number = 0;
  const DeviceEntry* device = nullptr;
  ConnectionTarget target;
  std::string link;
  bool aloneOnLink = false;     // keeps its connection until its log is cleared
  bool machineUnknown = false;  // a network row whose machine number does not convert

  Outcome outcome = Outcome::kNotTried;
  std::exception_ptr error;  // kStopped
  bool mergeOpened = false;  // a run one terminal at a time would have opened its merge
  int machine = 0;
  std::string identity;  // TerminalIdentity, once a record came
  std::vector<KeptRecord> records;
  std::uint64_t walked = 0, skipped = 0, checksum = 0;
  int cutUserNumbers = 0;  // of the records kept (FitsUserColumn)
  bool skippedByNote = false;
  std::shared_ptr<TerminalClient> client;
  bool clearRefused = false;
};

// What the rows of one link have taken so far: a later row for the same
// terminal takes only what is behind it, as if it had been cleared.
using TakenByTerminal = std::map<std::string, DeliveredFront>;

class ParallelRun {
 public:
  ParallelRun(const TransferJob& job, const TerminalClientMaker& makeClient, TransferSink& sink,
              int parallel)
      : job_(job), makeClient_(makeClient), sink_(sink), parallel_(std::max(1, parallel)) {}

  void Run();

 private:
  void Plan();
  // Runs work for every row, rows of different links at the same time (at
  // most parallel_ at once), rows of one link one after another in row order.
  void ForEachLink(const std::vector<Row*>& rows, const std::function<void(Row&)>& work);
  void ReadStage(const std::vector<Row*>& stage) {
    ForEachLink(stage, [&](Row& row) { ReadRow(row, takenOnLink_.at(row.link)); });
  }
  void ReadRow(Row& row, TakenByTerminal& taken);
  void Walk(Row& row, TerminalClient& terminal, TakenByTerminal& taken);
  void Stop(Row& row);
  void Report(const std::function<void()>& call);
  void TouchMerges(const std::vector<Row*>& rows);
  void MergeAndReplace(const std::vector<Row*>& transferred);
  // Returns the row whose clear failed on the link, or nullptr.
  Row* ClearLogs(const std::vector<Row*>& transferred);
  bool ClearThroughNewConnection(Row& row);
  void Finish(Row& row);
  CalendarDate Today() const { return job_.today ? job_.today() : TodayOnThisComputer(); }

  const TransferJob& job_;
  const TerminalClientMaker& makeClient_;
  TransferSink& sink_;
  const int parallel_;
  DeliveryNote note_{job_.recordFilePath};
  std::optional<RecordFileVersion> startVersion_;
  bool clearLogs_ = false;
  std::vector<Row> rows_;  // every row of the list
  int planStop_ = INT_MAX;
  std::exception_ptr planError_;
  std::atomic<int> stop_{INT_MAX};  // the first row that stopped the run
  // Filled before the reading threads start, each link then used by one.
  std::map<std::string, TakenByTerminal> takenOnLink_;
  std::mutex sinkMutex_;
  std::mutex stopMutex_;
};

void ParallelRun::Plan() {
  std::map<std::string, int> rowsOnLink;
  for (std::size_t i = 0; i < job_.devices.size(); ++i) {
    Row& row = rows_.emplace_back();
    row.number = static_cast<int>(i) + 1;
    row.device = &job_.devices[i];
    if (i >= job_.ticked.size() || !job_.ticked[i] || planError_) continue;
    try {
      row.target = TargetOf(*row.device, kTransferConnection);
    } catch (...) {
      planStop_ = row.number;
      planError_ = std::current_exception();
      continue;
    }
    if (row.target.kind == ConnectionKind::kNone) continue;
    row.link = LinkOf(row.target);
    ++rowsOnLink[row.link];
    if (row.target.kind == ConnectionKind::kNetwork) {
      try {
        MachineNumberOf(*row.device);
      } catch (const AppError&) {
        row.machineUnknown = true;
      }
    }
  }
  for (Row& row : rows_) {
    row.aloneOnLink = !row.link.empty() && rowsOnLink[row.link] == 1;
  }
}

void ParallelRun::Report(const std::function<void()>& call) {
  const std::lock_guard<std::mutex> hold(sinkMutex_);
  call();
}

void ParallelRun::Stop(Row& row) {
  row.outcome = Outcome::kStopped;
  row.error = std::current_exception();
  row.records = {};
  const std::lock_guard<std::mutex> hold(stopMutex_);
  stop_ = std::min(stop_.load(), row.number);
}

void ParallelRun::Walk(Row& row, TerminalClient& terminal, TakenByTerminal& taken) {
  int total = 0;
  if (!terminal.GetDeviceStatus(row.machine, kRecordCountStatus, total)) total = 0;
  FrontFilter filter([&](const TerminalRecord& r) {
    if (!FitsUserColumn(r.enrollNumber)) ++row.cutUserNumbers;
    row.records.push_back({r.enrollNumber, r.inOutState, static_cast<std::uint16_t>(r.year),
                           static_cast<std::uint8_t>(r.month), static_cast<std::uint8_t>(r.day),
                           static_cast<std::uint8_t>(r.hour), static_cast<std::uint8_t>(r.minute)});
  });
  int shownPercent = 0;
  int terminalNumber = 0, unused2 = 0, unused3 = 0;
  TerminalRecord r;
  while (terminal.GetNextAttendanceRecord(row.machine, terminalNumber, r.enrollNumber, unused2,
                                          unused3, r.inOutState, r.year, r.month, r.day, r.hour,
                                          r.minute)) {
    if (filter.Walked() == 0) {
      row.identity = TerminalIdentity(row.link, terminalNumber);
      const auto earlier = taken.find(row.identity);
      if (earlier != taken.end()) {
        filter.Expect(earlier->second);
      } else {
        const auto front = note_.FrontIn(startVersion_, row.identity);
        row.skippedByNote = front.has_value();
        filter.Expect(front);
      }
    }
    CheckRecordDateTime(r.year, r.month, r.day, r.hour, r.minute);
    filter.Take(r);
    const int percent = ProgressPercent(static_cast<std::int64_t>(filter.Walked()), total);
    if (percent != shownPercent) {
      shownPercent = percent;
      Report([&] {
        sink_.ProgressChanged(row.number, percent);
        sink_.Repaint();
      });
    }
  }
  filter.End();
  row.walked = filter.Walked();
  row.skipped = filter.Skipped();
  row.checksum = filter.Checksum();
  row.skippedByNote = row.skippedByNote && row.skipped > 0;
  if (clearLogs_ && row.walked > 0) taken[row.identity] = {row.identity, row.walked, row.checksum};
}

void ParallelRun::ReadRow(Row& row, TakenByTerminal& taken) {
  // After a stop, as in a run one terminal at a time, no later row is contacted.
  if (row.number > stop_) return;
  std::shared_ptr<TerminalClient> terminal;
  try {
    terminal = makeClient_();
    if (!ConnectTo(*terminal, row.target, kTransferConnection)) {
      row.outcome = Outcome::kFailed;
      Report([&] { sink_.StatusChanged(row.number, RowStatus::kFailed); });
      return;
    }
    Report([&] { sink_.StatusChanged(row.number, RowStatus::kConnected); });
    // A network terminal's machine number is read once it is connected.
    row.machine = row.target.kind == ConnectionKind::kNetwork ? MachineNumberOf(*row.device)
                                                              : row.target.machineNumber;
    row.mergeOpened = true;
    if (!terminal->ReadAttendanceLog(row.machine)) {
      row.outcome = Outcome::kReadRefused;
      Report([&] { sink_.StatusChanged(row.number, RowStatus::kFailed); });
    } else {
      Walk(row, *terminal, taken);
      row.outcome = Outcome::kRead;
    }
  } catch (...) {
    Stop(row);
  }
  if (row.outcome == Outcome::kRead && row.aloneOnLink) {
    row.client = terminal;
  } else if (terminal) {
    terminal->Disconnect();
  }
}

void ParallelRun::ForEachLink(const std::vector<Row*>& rows,
                              const std::function<void(Row&)>& work) {
  std::vector<std::string> links;
  for (const Row* row : rows) links.push_back(row->link);
  ForEachByLink(links, parallel_, [&](std::size_t i) { work(*rows[i]); });
}

void ParallelRun::TouchMerges(const std::vector<Row*>& rows) {
  // A run one terminal at a time opens a terminal's merge before asking for
  // its log: a terminal that refused its log, or stopped the run while
  // giving it, still leaves its (empty) backup and a record file, as here.
  for (Row* row : rows) {
    if (row->mergeOpened && row->outcome != Outcome::kRead) {
      RecordFileMerger abandoned;
      abandoned.Open(job_.recordFilePath, job_.programFolder, row->number, Today());
    }
  }
}

void ParallelRun::MergeAndReplace(const std::vector<Row*>& transferred) {
  std::vector<int> rowNumbers;
  std::vector<RecordFileMerger::LineSource> sources;
  for (Row* row : transferred) {
    rowNumbers.push_back(row->number);
    sources.push_back([row, next = std::size_t{0}](std::string& line) mutable {
      if (next == row->records.size()) return false;
      const KeptRecord& r = row->records[next++];
      line = FormatRecordLine(r.enrollNumber, InOutValue(row->device->inOutMode, r.inOutState),
                              r.year, r.month, r.day, r.hour, r.minute);
      return true;
    });
  }
  RecordFileMerger merger;
  merger.Open(job_.recordFilePath, job_.programFolder, rowNumbers, Today());
  const bool noteUsed = std::any_of(transferred.begin(), transferred.end(),
                                    [](const Row* row) { return row->skippedByNote; });
  if (noteUsed && !(merger.ReadVersion() == startVersion_)) {
    // The records left out were judged against the file as it was at the
    // start; another program has changed it since.
    throw AppError(
        "Kayıt dosyası aktarım sırasında başka bir programca değiştirildi; kayıt dosyasına "
        "yazılmadı, hiçbir cihazın kayıtları silinmedi: " +
        job_.recordFilePath);
  }
  merger.MergeGathered(std::move(sources));
  const RecordFileVersion next = merger.FinishMergeFile();
  std::map<std::string, DeliveredFront> fronts;  // the last row of each terminal holds it all
  for (Row* row : transferred) {
    if (row->walked > 0) fronts[row->identity] = {row->identity, row->walked, row->checksum};
  }
  std::vector<std::string> terminals;
  std::vector<DeliveredFront> delivered;
  for (const auto& [identity, front] : fronts) {
    terminals.push_back(identity);
    delivered.push_back(front);
  }
  note_.BeforeReplacement(merger.ReadVersion(), next, terminals, delivered);
  merger.ReplaceRecordFile();
  note_.Replaced(next);
  for (Row* row : transferred) row->records = {};
}

bool ParallelRun::ClearThroughNewConnection(Row& row) {
  const std::shared_ptr<TerminalClient> terminal = makeClient_();
  if (!ConnectTo(*terminal, row.target, kTransferConnection)) return false;
  DisconnectOnExit disconnect(*terminal);
  if (!terminal->ReadAttendanceLog(row.machine)) return false;
  RecordChecksum checksum;
  std::uint64_t walked = 0;
  int unused[3] = {};
  TerminalRecord r;
  while (walked < row.walked && terminal->GetNextAttendanceRecord(
                                    row.machine, unused[0], r.enrollNumber, unused[1], unused[2],
                                    r.inOutState, r.year, r.month, r.day, r.hour, r.minute)) {
    checksum.Add(r);
    ++walked;
  }
  // Only a log that still starts with what was merged loses exactly that.
  if (walked != row.walked || checksum.Value() != row.checksum) return false;
  return terminal->ClearAttendanceLog(row.machine);
}

Row* ParallelRun::ClearLogs(const std::vector<Row*>& transferred) {
  std::vector<std::string> cleared;
  std::vector<Row*> clearing;
  for (std::size_t i = 0; i < transferred.size(); ++i) {
    Row& row = *transferred[i];
    // The last row of a terminal clears what all of its rows took.
    const bool laterRowOfSameTerminal =
        row.walked > 0 && std::any_of(transferred.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                      transferred.end(), [&](const Row* later) {
                                        return later->walked > 0 && later->identity == row.identity;
                                      });
    if (!clearLogs_) {
      cleared.push_back(row.identity);  // the logs stay and bring every record again
    } else if (!laterRowOfSameTerminal) {
      clearing.push_back(&row);
    }
  }
  // Different links are cleared at the same time, like they were read.
  std::map<Row*, bool> done;
  for (Row* row : clearing) done[row] = false;
  ForEachLink(clearing, [&](Row& row) {
    try {
      done.at(&row) =
          row.client ? row.client->ClearAttendanceLog(row.machine) : ClearThroughNewConnection(row);
    } catch (...) {
      row.error = std::current_exception();
    }
    if (row.client) row.client->Disconnect();
    row.client.reset();
  });
  Row* failed = nullptr;
  for (Row* row : clearing) {
    if (row->error) {
      if (failed == nullptr) failed = row;
    } else if (done.at(row)) {
      cleared.push_back(row->identity);
    } else {
      for (Row* same : transferred) {
        same->clearRefused |= same == row || (row->walked > 0 && same->identity == row->identity);
      }
    }
  }
  for (Row* row : transferred) {
    if (row->client) row->client->Disconnect();
    row->client.reset();
  }
  note_.Forget(cleared);
  return failed;
}

void ParallelRun::Finish(Row& row) {
  const bool ticked =
      static_cast<std::size_t>(row.number - 1) < job_.ticked.size() && job_.ticked[row.number - 1];
  if (!ticked) sink_.StatusChanged(row.number, RowStatus::kNone);
  if (row.outcome == Outcome::kReadRefused) sink_.LogReadRefused(row.number);
  if (row.outcome == Outcome::kRead) {
    if (row.clearRefused) sink_.LogClearRefused(row.number);
    // What an earlier row of this run took is no news to the user.
    if (row.skippedByNote) sink_.AlreadyDelivered(row.number, static_cast<int>(row.skipped));
    if (row.cutUserNumbers > 0) sink_.UserNumbersCut(row.number, row.cutUserNumbers);
    sink_.TerminalTransferred(row.number, static_cast<int>(row.walked - row.skipped));
  }
  sink_.RowFinished(row.number);
  sink_.Repaint();
}

void ParallelRun::Run() {
  const std::unique_ptr<RecordFileLock> lock = StartTransferRun(job_, sink_, note_);
  Plan();
  if (!lock) {
    for (Row& row : rows_) Finish(row);
    return;
  }
  startVersion_ = RecordFileVersion::Of(job_.recordFilePath);
  clearLogs_ = sink_.ShouldClearLog();
  for (const Row& row : rows_) {
    if (!row.link.empty()) takenOnLink_[row.link];
  }
  // Stages end at rows whose machine number does not convert: what comes
  // after one is contacted only when it could not be reached.
  std::vector<Row*> stage;
  for (Row& row : rows_) {
    if (row.number >= planStop_ || stop_ != INT_MAX) break;
    if (row.link.empty()) continue;
    stage.push_back(&row);
    if (row.machineUnknown) {
      ReadStage(stage);
      stage.clear();
    }
  }
  if (!stage.empty()) ReadStage(stage);

  const int stop = std::min(planStop_, stop_.load());
  std::vector<Row*> before;
  std::vector<Row*> transferred;
  for (Row& row : rows_) {
    if (row.number < stop) {
      before.push_back(&row);
      if (row.outcome == Outcome::kRead) transferred.push_back(&row);
    } else if (row.client) {
      row.client->Disconnect();  // read after the stop: neither merged nor cleared
      row.client.reset();
    }
  }
  Row* failed = nullptr;
  try {
    std::vector<Row*> touched = before;
    if (stop != INT_MAX && stop != planStop_) touched.push_back(&rows_[stop - 1]);
    TouchMerges(touched);
    if (!transferred.empty()) {
      MergeAndReplace(transferred);
      failed = ClearLogs(transferred);
    }
  } catch (...) {
    // The record file could not take the records: as the first terminal's
    // merge would have, this stops the run at the first row reached.
    for (Row* row : before) {
      if (row->outcome != Outcome::kNotTried && row->outcome != Outcome::kFailed) break;
      Finish(*row);
    }
    throw;
  }
  for (Row* row : before) {
    if (row == failed) std::rethrow_exception(row->error);
    Finish(*row);
  }
  if (stop == planStop_ && planError_) std::rethrow_exception(planError_);
  if (stop != INT_MAX) std::rethrow_exception(rows_[stop - 1].error);
}

}  // namespace

void RunParallelTransfer(const TransferJob& job, const TerminalClientMaker& makeClient,
                         TransferSink& sink, int parallel) {
  ParallelRun(job, makeClient, sink, parallel).Run();
}

}  // namespace miravel
