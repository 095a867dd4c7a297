#include "transfer/ParallelTransfer.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "core/AppError.h"
#include "core/BufferedFile.h"
#include "core/Numbers.h"
#include "core/SafeFile.h"
#include "terminal/BulkReadProgress.h"
#include "terminal/DeviceConnection.h"
#include "terminal/TerminalClient.h"
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

// A text as one field of a tab-separated line.
std::string OneField(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

// kStopped: an error stopped the run at this row; kInterrupted: the user's
// stop came while its log was read or walked.
enum class Outcome { kNotTried, kFailed, kReadRefused, kRead, kStopped, kInterrupted };

struct Row {
  int number = 0;
  const DeviceEntry* device = nullptr;
  ConnectionTarget target;
  std::string link;
  bool aloneOnLink = false;     // keeps its connection until its log is cleared
  bool machineUnknown = false;  // a network row whose machine number does not convert

  Outcome outcome = Outcome::kNotTried;
  std::exception_ptr error;  // kStopped
  int machine = 0;
  std::string identity;             // TerminalIdentity
  std::vector<KeptRecord> records;  // the whole log as read
  // Records with an impossible date or time: their place in the log and
  // their values as the terminal gave them.
  std::vector<std::pair<std::size_t, TerminalRecord>> impossible;
  std::size_t start = 0;  // the first record not delivered before
  std::uint64_t walked = 0, checksum = 0;
  bool skippedByLedger = false;
  int merged = 0, setAside = 0;
  int cutUserNumbers = 0;  // of the records merged (FitsUserColumn)
  std::shared_ptr<TerminalClient> client;
  bool clearRefused = false;
  LocalDateTime pcAtRead;  // this computer's clock when the log was read
  ClockWarning clock;
  bool clearLeft = false;  // the user's stop came before its log was cleared

  TerminalRecord At(std::size_t i) const {
    const KeptRecord& r = records[i];
    return {r.enrollNumber, r.inOutState, r.year, r.month, r.day, r.hour, r.minute};
  }
  bool Impossible(std::size_t i) const {
    return std::binary_search(impossible.begin(), impossible.end(),
                              std::pair<std::size_t, TerminalRecord>{i, {}},
                              [](const auto& a, const auto& b) { return a.first < b.first; });
  }
};

// A row's bar: the log's read over the link fills it up to kLogReadShare
// (over a slow serial line that is nearly all of the time), the walk through
// the records read the rest.
constexpr int kLogReadShare = 90;

class LogReadBar : public BulkReadObserver {
 public:
  LogReadBar(std::function<void(int percent)> show, const StopRequest* stop)
      : show_(std::move(show)), stop_(stop) {}
  void BulkReadProgress(std::size_t received, std::size_t expected) override {
    // A long read over a slow line ends here, counted or not; the link is dropped.
    ThrowIfStopRequested(stop_);
    if (expected == 0) return;
    const int percent =
        ProgressPercent(static_cast<std::int64_t>(received), static_cast<std::int64_t>(expected)) *
        kLogReadShare / 100;
    if (percent > shown_) show_(shown_ = percent);
  }

 private:
  std::function<void(int)> show_;
  const StopRequest* stop_;
  int shown_ = 0;
};

// The terminal's link watches the stop while its row is read, and never
// after: the clears that follow the record file's replacement must not be cut
// short by a stop.
class LinkStopWhileReading {
 public:
  LinkStopWhileReading(TerminalClient& terminal, const StopRequest* stop) : terminal_(terminal) {
    terminal_.SetStopRequest(stop);
  }
  ~LinkStopWhileReading() { terminal_.SetStopRequest(nullptr); }
  LinkStopWhileReading(const LinkStopWhileReading&) = delete;
  LinkStopWhileReading& operator=(const LinkStopWhileReading&) = delete;

 private:
  TerminalClient& terminal_;
};

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
    ForEachLink(stage, [&](Row& row) { ReadRow(row); });
  }
  void ReadRow(Row& row);
  void Walk(Row& row, TerminalClient& terminal);
  void CheckClock(Row& row, TerminalClient& terminal);
  void Stop(Row& row);
  void Report(const std::function<void()>& call);
  // In row order: what of each log is new, against the ledger and the rows
  // of the same terminal before it.
  void Decide(const std::vector<Row*>& transferred);
  void MergeAndReplace(const std::vector<Row*>& transferred);
  void SetAside(const std::vector<Row*>& transferred, const std::string& path);
  // Returns the row whose clear failed on the link, or nullptr.
  Row* ClearLogs(const std::vector<Row*>& transferred);
  bool ClearThroughNewConnection(Row& row);
  void Finish(Row& row);
  // The user's stop came before the record file was replaced: no row is
  // shown as transferred, nothing was merged, cleared or entered in the
  // ledger. An error a row met meanwhile is still thrown.
  void EndStoppedBeforeReplacement();
  bool StopAsked() const { return job_.stop != nullptr && job_.stop->Requested(); }
  CalendarDate Today() const { return job_.today ? job_.today() : TodayOnThisComputer(); }

  const TransferJob& job_;
  const TerminalClientMaker& makeClient_;
  TransferSink& sink_;
  const int parallel_;
  DeliveryLedger ledger_{job_.recordFilePath};
  std::vector<LedgerEntry> entries_;  // of the terminals read, in the order first read
  bool clearLogs_ = false;
  std::vector<Row> rows_;  // every row of the list
  int planStop_ = INT_MAX;
  std::exception_ptr planError_;
  std::atomic<int> stop_{INT_MAX};  // the first row that stopped the run
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
    row.link = LinkOf(row.target, job_.serialDeviceOf);
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

void ParallelRun::Walk(Row& row, TerminalClient& terminal) {
  int total = 0;
  if (!terminal.GetDeviceStatus(row.machine, kRecordCountStatus, total)) total = 0;
  int shownPercent = 0;
  int terminalNumber = 0, unused2 = 0, unused3 = 0;
  TerminalRecord r;
  while (terminal.GetNextAttendanceRecord(row.machine, terminalNumber, r.enrollNumber, unused2,
                                          unused3, r.inOutState, r.year, r.month, r.day, r.hour,
                                          r.minute)) {
    ThrowIfStopRequested(job_.stop);
    if (row.records.empty()) {
      row.identity = TerminalIdentity(terminal.Identity(), row.link, terminalNumber);
    }
    try {
      CheckRecordDateTime(r.year, r.month, r.day, r.hour, r.minute);
    } catch (const AppError&) {
      row.impossible.emplace_back(row.records.size(), r);
    }
    row.records.push_back({r.enrollNumber, r.inOutState, static_cast<std::uint16_t>(r.year),
                           static_cast<std::uint8_t>(r.month), static_cast<std::uint8_t>(r.day),
                           static_cast<std::uint8_t>(r.hour), static_cast<std::uint8_t>(r.minute)});
    const int percent =
        kLogReadShare + ProgressPercent(static_cast<std::int64_t>(row.records.size()), total) *
                            (100 - kLogReadShare) / 100;
    if (percent > shownPercent) {
      shownPercent = percent;
      Report([&] {
        sink_.ProgressChanged(row.number, percent);
        sink_.Repaint();
      });
    }
  }
  if (row.records.empty()) {
    row.identity = TerminalIdentity(terminal.Identity(), row.link, row.machine);
  }
}

void ParallelRun::CheckClock(Row& row, TerminalClient& terminal) {
  LocalDateTime time;
  // A terminal that will not tell its clock is no fault of the transfer.
  const bool told = terminal.GetDeviceTime(row.machine, time.year, time.month, time.day, time.hour,
                                           time.minute, time.second);
  row.pcAtRead = (job_.clock ? *job_.clock : SystemClock()).Now();
  row.clock.terminalAhead =
      ClockOffBeyondTolerance(told ? std::optional(time) : std::nullopt, row.pcAtRead);
}

void ParallelRun::ReadRow(Row& row) {
  // After a stop, as in a run one terminal at a time, no later row is contacted.
  if (row.number > stop_ || StopAsked()) return;
  std::shared_ptr<TerminalClient> terminal;
  try {
    terminal = makeClient_();
    // A client handed out again cannot keep an earlier row's connection.
    for (Row& other : rows_) {
      if (other.client == terminal) other.client.reset();
    }
    const LinkStopWhileReading stopWatch(*terminal, job_.stop);
    if (!ConnectTo(*terminal, row.target, kTransferConnection)) {
      row.outcome = Outcome::kFailed;
      Report([&] { sink_.StatusChanged(row.number, RowStatus::kFailed); });
      return;
    }
    Report([&] { sink_.StatusChanged(row.number, RowStatus::kConnected); });
    // A network terminal's machine number is read once it is connected.
    row.machine = row.target.kind == ConnectionKind::kNetwork ? MachineNumberOf(*row.device)
                                                              : row.target.machineNumber;
    LogReadBar bar(
        [&](int percent) {
          Report([&] {
            sink_.ProgressChanged(row.number, percent);
            sink_.Repaint();
          });
        },
        job_.stop);
    bool read = false;
    {
      const BulkReadWatch watch(*terminal, bar);
      read = terminal->ReadAttendanceLog(row.machine);
    }
    if (!read) {
      row.outcome = Outcome::kReadRefused;
      Report([&] { sink_.StatusChanged(row.number, RowStatus::kFailed); });
    } else {
      CheckClock(row, *terminal);
      Walk(row, *terminal);
      row.outcome = Outcome::kRead;
    }
  } catch (const StoppedOnRequest&) {
    row.outcome = Outcome::kInterrupted;
    row.records = {};
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

void ParallelRun::Decide(const std::vector<Row*>& transferred) {
  std::map<std::string, LedgerEntry> known;  // as this run leaves them
  for (Row* row : transferred) {
    const LogView at = [row](std::size_t i) { return row->At(i); };
    const auto earlier = known.find(row->identity);
    const LedgerEntry* entry = earlier != known.end() ? &earlier->second
                               : job_.deliverAgain    ? nullptr
                                                      : ledger_.EntryOf(row->identity);
    row->start = entry ? NewRecordsStart(*entry, row->records.size(), at) : 0;
    row->skippedByLedger = earlier == known.end() && row->start > 0;
    LedgerEntry now = EntryOfLog(row->identity, row->records.size(), at);
    row->walked = now.count;
    row->checksum = now.checksum;
    // An empty log tells nothing a later run could use.
    if (row->records.empty()) continue;
    if (earlier == known.end()) entries_.push_back(now);
    known[row->identity] = std::move(now);
    for (const auto& bad : row->impossible) row->setAside += bad.first >= row->start ? 1 : 0;
    row->merged = static_cast<int>(row->records.size() - row->start) - row->setAside;
    for (std::size_t i = row->start; i < row->records.size(); ++i) {
      const KeptRecord& r = row->records[i];
      if (row->Impossible(i)) continue;
      if (!FitsUserColumn(r.enrollNumber)) ++row->cutUserNumbers;
      if (StampedTooFarAhead({r.year, r.month, r.day, r.hour, r.minute, 0}, row->pcAtRead)) {
        ++row->clock.recordsAhead;
      }
    }
  }
  for (LedgerEntry& entry : entries_) entry = known.at(entry.terminal);
}

void ParallelRun::SetAside(const std::vector<Row*>& transferred, const std::string& path) {
  std::string text = MissingLineEnd(path);
  char when[32] = {};
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
  for (Row* row : transferred) {
    for (const auto& [index, r] : row->impossible) {
      if (index < row->start) continue;
      char values[128];
      std::snprintf(values, sizeof values, "%d\t%d\t%d\t%d\t%d\t%d\t%d", r.enrollNumber,
                    r.inOutState, r.year, r.month, r.day, r.hour, r.minute);
      text += std::string(when) + "\t" + std::to_string(row->number) + "\t" +
              OneField(row->device->name) + "\t" + OneField(row->identity) + "\t" + values + "\n";
    }
  }
  FileWriter file;
  if (!file.Open(path, FileWriter::Mode::kAppend, "Ayrılan kayıtlar dosyası")) {
    throw FileError("Ayrılan kayıtlar dosyası açılamadı", path, errno);
  }
  file.Write(text);
  file.Close(true);
}

std::uint64_t SizeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

void ParallelRun::MergeAndReplace(const std::vector<Row*>& transferred) {
  int newRecords = 0;
  int setAside = 0;
  for (const Row* row : transferred) {
    newRecords += row->merged;
    setAside += row->setAside;
  }
  ThrowIfStopRequested(job_.stop);
  if (newRecords + setAside == 0) {
    // Nothing new: the record file and the backups stay as they are.
    ledger_.Update(entries_);
    return;
  }
  std::vector<int> rowNumbers;
  std::vector<RecordFileMerger::LineSource> sources;
  std::vector<std::string> probes;
  for (Row* row : transferred) {
    rowNumbers.push_back(row->number);
    const auto lineAt = [row](std::size_t i) {
      const KeptRecord& r = row->records[i];
      return FormatRecordLine(r.enrollNumber, InOutValue(row->device->inOutMode, r.inOutState),
                              r.year, r.month, r.day, r.hour, r.minute);
    };
    // The last new lines of each terminal are what shows, after a stop,
    // that the record file was replaced.
    std::size_t probesLeft = kLedgerTailRecords;
    for (std::size_t i = row->records.size(); i > row->start && probesLeft > 0; --i) {
      if (row->Impossible(i - 1)) continue;
      probes.push_back(lineAt(i - 1));
      --probesLeft;
    }
    sources.push_back([row, lineAt, next = row->start](std::string& line) mutable {
      while (next < row->records.size() && row->Impossible(next)) ++next;
      if (next == row->records.size()) return false;
      line = lineAt(next++);
      return true;
    });
  }
  const std::string setAsidePath = SetAsideFileOf(job_.programFolder);
  std::vector<AppendedFile> appended;
  for (const int number : rowNumbers) {
    const std::string path = RecordFileMerger::BackupPath(job_.programFolder, Today(), number);
    appended.push_back({path, SizeOf(path)});
  }
  if (setAside > 0) appended.push_back({setAsidePath, SizeOf(setAsidePath)});
  RecordFileMerger merger;
  merger.Open(job_.recordFilePath, job_.programFolder, rowNumbers, Today());
  ledger_.BeginReplacement(merger.MergePath(), appended, probes, entries_);
  bool replaced = false;
  try {
    merger.MergeGathered(std::move(sources));
    if (setAside > 0) SetAside(transferred, setAsidePath);
    merger.FinishMergeFile();
    // The last point where a stop leaves everything as it was: the merge
    // file goes with the merger and the backups are cut back.
    ThrowIfStopRequested(job_.stop);
    merger.ReplaceRecordFile();
    replaced = true;
    ledger_.Commit();
  } catch (...) {
    // Not replaced: what the run appended goes now, so the records come
    // again once (if this fails too, the next run settles it).
    if (!replaced) {
      try {
        ledger_.Abandon();
      } catch (const AppError&) {
      }
    }
    throw;
  }
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
  // Only a log that still starts with what was read loses exactly that.
  if (walked != row.walked || checksum.Value() != row.checksum) return false;
  return terminal->ClearAttendanceLog(row.machine);
}

Row* ParallelRun::ClearLogs(const std::vector<Row*>& transferred) {
  std::vector<Row*> clearing;
  for (std::size_t i = 0; i < transferred.size(); ++i) {
    Row& row = *transferred[i];
    // The last row of a terminal clears what all of its rows took.
    const bool laterRowOfSameTerminal =
        row.walked > 0 && std::any_of(transferred.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                      transferred.end(), [&](const Row* later) {
                                        return later->walked > 0 && later->identity == row.identity;
                                      });
    if (clearLogs_ && !laterRowOfSameTerminal) clearing.push_back(&row);
  }
  // A maker that hands out one client for every row cannot let a row keep
  // its connection: the clear of another row would take that client.
  if (clearing.size() > 1) {
    const std::shared_ptr<TerminalClient> probe = makeClient_();
    for (Row* row : transferred) {
      if (row->client == probe) {
        row->client->Disconnect();
        row->client.reset();
      }
    }
  }
  // Different links are cleared at the same time, like they were read.
  std::map<Row*, bool> done;
  for (Row* row : clearing) done[row] = false;
  ForEachLink(clearing, [&](Row& row) {
    // After a stop the logs stay; the ledger keeps their records from being
    // merged again, and the next run clears them.
    if (StopAsked()) {
      row.clearLeft = true;
      if (row.client) row.client->Disconnect();
      row.client.reset();
      return;
    }
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
    } else if (row->clearLeft) {
      for (Row* same : transferred) {
        same->clearLeft |= same == row || (row->walked > 0 && same->identity == row->identity);
      }
    } else if (!done.at(row)) {
      for (Row* same : transferred) {
        same->clearRefused |= same == row || (row->walked > 0 && same->identity == row->identity);
      }
    }
  }
  for (Row* row : transferred) {
    if (row->client) row->client->Disconnect();
    row->client.reset();
  }
  return failed;
}

void ParallelRun::Finish(Row& row) {
  const bool ticked =
      static_cast<std::size_t>(row.number - 1) < job_.ticked.size() && job_.ticked[row.number - 1];
  if (!ticked) sink_.StatusChanged(row.number, RowStatus::kNone);
  if (row.outcome == Outcome::kReadRefused) sink_.LogReadRefused(row.number);
  if (row.outcome == Outcome::kRead) {
    if (row.clearRefused) sink_.LogClearRefused(row.number);
    if (row.clearLeft) sink_.LogClearLeft(row.number);
    // What an earlier row of this run took is no news to the user.
    if (row.skippedByLedger) sink_.AlreadyDelivered(row.number, static_cast<int>(row.start));
    if (row.setAside > 0) {
      sink_.RecordsSetAside(row.number, row.setAside, SetAsideFileOf(job_.programFolder));
    }
    if (row.cutUserNumbers > 0) sink_.UserNumbersCut(row.number, row.cutUserNumbers);
    if (row.clock.Any()) sink_.ClockWrong(row.number, row.clock);
    sink_.TerminalTransferred(row.number, row.merged);
  }
  sink_.RowFinished(row.number);
  sink_.Repaint();
}

void ParallelRun::EndStoppedBeforeReplacement() {
  for (Row& row : rows_) {
    if (row.client) row.client->Disconnect();
    row.client.reset();
  }
  std::exception_ptr error = planError_;
  for (Row& row : rows_) {
    if (row.outcome == Outcome::kStopped && !error) error = row.error;
    // A row that could not be reached, or refused its log, shows that.
    if (!row.link.empty() && row.outcome != Outcome::kFailed &&
        row.outcome != Outcome::kReadRefused) {
      row.outcome = Outcome::kNotTried;
      sink_.StatusChanged(row.number, RowStatus::kNone);
      sink_.ProgressChanged(row.number, 0);
      sink_.RowStopped(row.number);
    }
    Finish(row);
  }
  sink_.TransferStopped(false);
  if (error) std::rethrow_exception(error);
}

void ParallelRun::Run() {
  std::unique_ptr<RecordFileLock> lock;
  bool stoppedWaiting = false;
  try {
    lock = StartTransferRun(job_, sink_, ledger_);
  } catch (const StoppedOnRequest&) {
    stoppedWaiting = true;  // while waiting for another transfer's lock
  }
  Plan();
  if (stoppedWaiting) return EndStoppedBeforeReplacement();
  if (!lock) {
    for (Row& row : rows_) Finish(row);
    return;
  }
  clearLogs_ = sink_.ShouldClearLog();
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

  if (StopAsked()) return EndStoppedBeforeReplacement();
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
    if (!transferred.empty()) {
      Decide(transferred);
      MergeAndReplace(transferred);
      if (!ledger_.Problem().empty()) {
        int merged = 0;
        for (const Row* row : transferred) merged += row->merged;
        sink_.LedgerUnreadable(ledger_.Problem(), merged);
      }
      failed = ClearLogs(transferred);
    }
  } catch (const StoppedOnRequest&) {
    return EndStoppedBeforeReplacement();
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
  if (std::any_of(transferred.begin(), transferred.end(),
                  [](const Row* row) { return row->clearLeft; })) {
    sink_.TransferStopped(true);
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
