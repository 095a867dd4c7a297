#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "terminal/LinkGroups.h"

namespace miravel {

// One version of the record file as it lies on disk. Every replacement makes
// a new file (a new inode, written by us, so a new size or time), so a
// version names exactly one state of the file: the old one while a merge file
// waits for its rename, the new one once it took the record file's name.
struct RecordFileVersion {
  std::uint64_t device = 0, inode = 0, size = 0;
  std::int64_t modifiedNs = 0;

  bool operator==(const RecordFileVersion&) const = default;
  // The version at path, or none when there is no file.
  static std::optional<RecordFileVersion> Of(const std::string& path);
};

// One record as the terminal delivers it, before it becomes a line.
struct TerminalRecord {
  int enrollNumber = 0, inOutState = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

// A checksum over records in the order the terminal delivers them (64-bit
// FNV-1a over the seven values), so that a later run can tell whether a log
// still starts with the records an earlier run merged.
class RecordChecksum {
 public:
  void Add(const TerminalRecord& record);
  std::uint64_t Value() const { return value_; }

 private:
  std::uint64_t value_ = 14695981039346656037ull;
};

// The front of one terminal's log that a version of the record file holds.
struct DeliveredFront {
  std::string terminal;  // TerminalIdentity text
  std::uint64_t count = 0;
  std::uint64_t checksum = 0;
};

// A terminal: its link and the machine number it gives for its records.
std::string TerminalIdentity(const std::string& link, int machineNumber);

// The delivery note "<record file>.teslim" beside the record file (links
// followed): which records at the front of which terminal's log are already
// in which version of the record file. It is what lets a run that was
// stopped between replacing the record file and clearing the log (a kill, a
// refused clear, a clear whose reply was lost) be followed by one that merges
// only the records behind that front, instead of all of them a second time.
//
// The note is written durably before each replacement, naming the old
// version (what it already held) and the new one (what it will hold); a
// later run trusts only the entries of the version the record file really
// is, so a kill before the rename is told from one after it. A terminal's
// entries go once its clear is confirmed. Only a run holding the record
// file's lock reads or writes the note.
class DeliveryNote {
 public:
  explicit DeliveryNote(const std::string& recordFilePath);

  // Reads the note. A missing note holds nothing; so does one that cannot be
  // read or understood: in doubt, records are merged again rather than lost.
  void Load();

  // What the given version of the record file holds of the terminal's log.
  std::optional<DeliveredFront> FrontIn(const std::optional<RecordFileVersion>& version,
                                        const std::string& terminal) const;

  // Before the merge file (version next) is renamed over the record file
  // (version current, none when it was missing): writes the note to disk with
  // what current holds, and for next the same minus the terminals merged now
  // plus delivered (the whole front each of them delivered). Throws AppError
  // when it cannot be written; the record file must then not be replaced.
  void BeforeReplacement(const std::optional<RecordFileVersion>& current,
                         const RecordFileVersion& next,
                         const std::vector<std::string>& mergedTerminals,
                         const std::vector<DeliveredFront>& delivered);
  // The rename succeeded: only next's entries still mean anything.
  void Replaced(const RecordFileVersion& next);
  // The terminals' logs were cleared: their entries go (the note file goes
  // with its last entry).
  void Forget(const std::vector<std::string>& terminals);

 private:
  using Block = std::pair<RecordFileVersion, std::vector<DeliveredFront>>;
  const Block* BlockOf(const RecordFileVersion& version) const;
  void Write() const;

  std::string recordPath_;
  std::string path_;  // set by Load
  std::vector<Block> blocks_;
};

}  // namespace miravel
