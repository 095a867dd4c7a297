#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "terminal/LinkGroups.h"

namespace miravel {

struct ConnectionTarget;

// One record as the terminal delivers it, before it becomes a line.
struct TerminalRecord {
  int enrollNumber = 0, inOutState = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0;

  bool operator==(const TerminalRecord&) const = default;
};

// A checksum over records in the order the terminal delivers them (64-bit
// FNV-1a over the seven values), so that a later run can tell whether a log
// still starts with the records an earlier run handled.
class RecordChecksum {
 public:
  void Add(const TerminalRecord& record);
  std::uint64_t Value() const { return value_; }

 private:
  std::uint64_t value_ = 14695981039346656037ull;
};

// A terminal: the identity it gives in its hello, or, for one that gives
// none, its link and the machine number it gives for its records.
std::string TerminalIdentity(const std::string& helloIdentity, const std::string& link,
                             int machineNumber);

// How many records at the end of a terminal's handled log the ledger keeps,
// to find where they stand in a log whose oldest records were dropped.
inline constexpr std::size_t kLedgerTailRecords = 8;

// What the ledger knows of one terminal: the log as it was last read, every
// record of it delivered (or set aside). Its size does not depend on the
// number of records.
struct LedgerEntry {
  std::string terminal;  // TerminalIdentity
  std::uint64_t count = 0;
  std::uint64_t checksum = RecordChecksum().Value();  // over those count records
  std::vector<TerminalRecord> tail;  // the last of them (at most kLedgerTailRecords), oldest first

  bool operator==(const LedgerEntry&) const = default;
};

// A log of size records, record i given by recordAt(i).
using LogView = std::function<TerminalRecord(std::size_t)>;
LedgerEntry EntryOfLog(const std::string& terminal, std::size_t size, const LogView& recordAt);

// Where the records not delivered before begin in a log just read:
// - a log that still starts with the entry's records (it grew at the back):
//   behind them;
// - a log that dropped its oldest records (a full terminal) or was cleared
//   only in part: behind the entry's last records, found as a run of at
//   least two, or as at least two at the very front of the log;
// - anything else (cleared and refilled, a reset terminal): 0, every record.
// In doubt every record is new: a record is never skipped unless it lines up.
std::size_t NewRecordsStart(const LedgerEntry& entry, std::size_t size, const LogView& recordAt);

// A file a run appends to before it replaces the record file (a day's
// backup, the set-aside file), and its size before the run's lines.
struct AppendedFile {
  std::string path;
  std::uint64_t sizeBefore = 0;
};

// The delivery ledger "<record file>.teslim" beside the record file (links
// followed): for every terminal, which of its records have reached the
// record file (LedgerEntry). An office that keeps its logs on the terminals
// gets each record once, run after run, whatever happens to the record file
// afterwards: what is delivered is a fact about the terminal's records.
//
// A run writes the ledger twice, durably: before it appends to the backups
// and the merge file, its pending entries with how to tell afterwards
// whether its replacement happened (the merge file's name, lines the record
// file must then hold, the sizes of the files it appends to); after the
// rename, the entries committed. A run stopped in between is decided by the
// next one: the merge file still there, or the lines missing from the record
// file, mean the replacement did not happen (or cannot be shown to have):
// the pending entries go and the appended files are cut back to their sizes,
// so the records come again once, backup included. The previous generation
// stays beside it as "<ledger>.onceki". Only a run holding the record file's
// lock reads or writes the ledger.
class DeliveryLedger {
 public:
  explicit DeliveryLedger(const std::string& recordFilePath);

  // Reads the ledger and settles a stopped run's pending entries. A missing
  // ledger (and previous generation) holds nothing. A damaged one is
  // replaced by its previous generation, or by nothing, and Problem() says
  // so. A path that is not a plain file throws AppError saying what to do.
  void Load();
  // The Turkish text for the user when the ledger could not be read; empty
  // otherwise.
  const std::string& Problem() const { return problem_; }
  const std::string& Path() const { return path_; }

  // The committed entry of the terminal, or nullptr.
  const LedgerEntry* EntryOf(const std::string& terminal) const;

  // Writes the pending entries durably. Throws AppError when it cannot; the
  // run must then not touch the record file or the backups.
  void BeginReplacement(const std::string& mergePath, const std::vector<AppendedFile>& appended,
                        const std::vector<std::string>& probeLines,
                        const std::vector<LedgerEntry>& entries);
  // The rename succeeded: the pending entries stand, written durably.
  void Commit();
  // The run stopped before the rename: the pending entries go and the
  // appended files are cut back.
  void Abandon();
  // Entries that changed without a replacement (a log that only lost its
  // oldest records, or brought nothing new): written only when they differ.
  void Update(const std::vector<LedgerEntry>& entries);

 private:
  struct Pending {
    std::string mergePath;
    std::vector<AppendedFile> appended;
    std::vector<std::string> probeLines;
    std::vector<LedgerEntry> entries;
  };
  bool Parse(const std::string& bytes);
  void Settle();
  static void CutBack(const std::vector<AppendedFile>& appended);
  bool RecordFileHolds(const std::vector<std::string>& lines) const;
  void Put(const LedgerEntry& entry);
  std::string Format() const;
  void Write();

  std::string recordPath_;
  std::string path_;
  std::string previousPath_;
  std::string problem_;
  bool trusted_ = true;  // the file at path_ is one this ledger wrote or read whole
  std::vector<LedgerEntry> entries_;
  std::vector<Pending> pending_;  // at most one
};

}  // namespace miravel
