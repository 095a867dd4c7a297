#include "transfer/DeliveryLedger.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "core/AppError.h"
#include "core/BufferedFile.h"
#include "core/Checksum.h"
#include "core/SafeFile.h"
#include "core/Utf8.h"
#include "terminal/DeviceConnection.h"

namespace miravel {
namespace {

constexpr const char* kHeader = "miravel teslim defteri 2";

// The ledger is one line per item; a control character in a typed address
// or a terminal's identity must not break it into two.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

std::uint64_t TextChecksum(std::string_view text) {
  return Checksum(text);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::string RecordText(const TerminalRecord& r) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%d %d %d %d %d %d %d", r.enrollNumber, r.inOutState, r.year,
                r.month, r.day, r.hour, r.minute);
  return buffer;
}

bool ParseRecord(const std::string& text, TerminalRecord& r) {
  int used = 0;
  return std::sscanf(text.c_str(), "%d %d %d %d %d %d %d%n", &r.enrollNumber, &r.inOutState,
                     &r.year, &r.month, &r.day, &r.hour, &r.minute, &used) == 7 &&
         static_cast<std::size_t>(used) == text.size();
}

void FormatEntry(std::string& out, const LedgerEntry& entry, const char* prefix) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%scihaz %" PRIu64 " %016" PRIx64 " ", prefix, entry.count,
                entry.checksum);
  out += buffer + OneLine(entry.terminal) + "\n";
  for (const TerminalRecord& r : entry.tail)
    out += std::string(prefix) + "son " + RecordText(r) + "\n";
}

// A record at position i of the log matches the entry's tail from position t.
bool RunMatches(const LedgerEntry& entry, std::size_t t, std::size_t length, std::size_t i,
                const LogView& recordAt) {
  for (std::size_t k = 0; k < length; ++k) {
    if (!(recordAt(i + k) == entry.tail[t + k])) return false;
  }
  return true;
}

}  // namespace

void RecordChecksum::Add(const TerminalRecord& record) {
  for (const int value : {record.enrollNumber, record.inOutState, record.year, record.month,
                          record.day, record.hour, record.minute}) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
      value_ ^= (bits >> shift) & 0xff;
      value_ *= 1099511628211ull;
    }
  }
}

std::string TerminalIdentity(const std::string& helloIdentity, const std::string& link,
                             int machineNumber) {
  if (!helloIdentity.empty()) return OneLine("kimlik " + helloIdentity);
  return link + " makine " + std::to_string(machineNumber);
}

LedgerEntry EntryOfLog(const std::string& terminal, std::size_t size, const LogView& recordAt) {
  LedgerEntry entry;
  entry.terminal = terminal;
  entry.count = size;
  RecordChecksum checksum;
  for (std::size_t i = 0; i < size; ++i) checksum.Add(recordAt(i));
  entry.checksum = checksum.Value();
  for (std::size_t i = size - std::min(size, kLedgerTailRecords); i < size; ++i) {
    entry.tail.push_back(recordAt(i));
  }
  return entry;
}

std::size_t NewRecordsStart(const LedgerEntry& entry, std::size_t size, const LogView& recordAt) {
  if (entry.count == 0) return 0;
  if (size >= entry.count) {
    RecordChecksum front;
    for (std::size_t i = 0; i < entry.count; ++i) front.Add(recordAt(i));
    if (front.Value() == entry.checksum) return static_cast<std::size_t>(entry.count);
  }
  // One record alike is no proof: a person punching twice in one minute
  // makes two equal records.
  const std::size_t tail = entry.tail.size();
  if (tail < 2) return 0;
  for (std::size_t i = 0; i + tail <= size; ++i) {
    if (RunMatches(entry, 0, tail, i, recordAt)) return i + tail;
  }
  // The oldest of the tail dropped too: the log starts with the rest of it.
  for (std::size_t length = std::min(tail - 1, size); length >= 2; --length) {
    if (RunMatches(entry, tail - length, length, 0, recordAt)) return length;
  }
  return 0;
}

DeliveryLedger::DeliveryLedger(const std::string& recordFilePath) : recordPath_(recordFilePath) {}

const LedgerEntry* DeliveryLedger::EntryOf(const std::string& terminal) const {
  for (const LedgerEntry& entry : entries_) {
    if (entry.terminal == terminal) return &entry;
  }
  return nullptr;
}

void DeliveryLedger::Put(const LedgerEntry& entry) {
  for (LedgerEntry& held : entries_) {
    if (held.terminal == entry.terminal) {
      held = entry;
      return;
    }
  }
  entries_.push_back(entry);
}

bool DeliveryLedger::Parse(const std::string& bytes) {
  entries_.clear();
  pending_.clear();
  const std::size_t sealAt = bytes.rfind("denetim ");
  if (sealAt == std::string::npos || bytes.empty() || bytes.back() != '\n') return false;
  std::uint64_t seal = 0;
  int used = 0;
  const std::string sealLine = bytes.substr(sealAt, bytes.size() - sealAt - 1);
  if (std::sscanf(sealLine.c_str(), "denetim %16" SCNx64 "%n", &seal, &used) != 1 ||
      static_cast<std::size_t>(used) != sealLine.size() ||
      seal != TextChecksum(std::string_view(bytes).substr(0, sealAt))) {
    return false;
  }
  std::istringstream lines(bytes.substr(0, sealAt));
  std::string line;
  if (!std::getline(lines, line) || line != kHeader) return false;
  while (std::getline(lines, line)) {
    const bool pendingItem = line.starts_with("b") && !line.starts_with("bekleyen ");
    if (pendingItem && pending_.empty()) return false;
    const std::string item = pendingItem ? line.substr(1) : line;
    std::vector<LedgerEntry>& entries =
        pendingItem && !pending_.empty() ? pending_.back().entries : entries_;
    LedgerEntry entry;
    TerminalRecord record;
    std::uint64_t size = 0;
    if (line.starts_with("bekleyen ")) {
      if (!pending_.empty()) return false;
      pending_.push_back({line.substr(9), {}, {}, {}});
    } else if (!pending_.empty() && line.starts_with("ek ") &&
               std::sscanf(line.c_str(), "ek %" SCNu64 " %n", &size, &used) == 1 && used > 0) {
      pending_.back().appended.push_back({line.substr(static_cast<std::size_t>(used)), size});
    } else if (!pending_.empty() && line.starts_with("kanit ")) {
      pending_.back().probeLines.push_back(line.substr(6));
    } else if (std::sscanf(item.c_str(), "cihaz %" SCNu64 " %16" SCNx64 " %n", &entry.count,
                           &entry.checksum, &used) == 2 &&
               used > 0 && static_cast<std::size_t>(used) < item.size()) {
      entry.terminal = item.substr(static_cast<std::size_t>(used));
      entries.push_back(entry);
    } else if (item.starts_with("son ") && ParseRecord(item.substr(4), record) &&
               !entries.empty() && entries.back().tail.size() < kLedgerTailRecords) {
      entries.back().tail.push_back(record);
    } else {
      return false;
    }
  }
  return true;
}

void DeliveryLedger::Load() {
  path_ = FollowLinks(recordPath_) + ".teslim";
  previousPath_ = path_ + ".onceki";
  problem_.clear();
  entries_.clear();
  pending_.clear();
  for (const std::string& path : {path_, previousPath_}) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 ? !S_ISREG(info.st_mode) : errno != ENOENT) {
      throw AppError("Teslim defteri normal bir dosya değil: " + path +
                     ". Onu kaldırın ya da başka bir yere taşıyın (program yenisini yazar; o "
                     "zamana kadar aktarım yapılmaz).");
    }
  }
  std::string bytes;
  bool found = false;
  try {
    found = ReadWholeFile(path_, bytes);
  } catch (const AppError&) {
    found = true;
    bytes.clear();
  }
  trusted_ = true;
  if (found && Parse(bytes)) {
    Settle();
    return;
  }
  trusted_ = false;  // a damaged file must not become the previous generation
  std::string previous;
  bool previousFound = false;
  try {
    previousFound = ReadWholeFile(previousPath_, previous);
  } catch (const AppError&) {
    previousFound = false;
  }
  if (!found && !previousFound) return;  // no run has written one yet
  const bool previousGood = previousFound && Parse(previous);
  if (!previousGood) {
    entries_.clear();
    pending_.clear();
  }
  problem_ = "Teslim defteri " + std::string(found ? "bozuk, okunamadı" : "silinmiş") + ": " +
             path_ +
             (previousGood ? std::string("; bir önceki kuşağı (") + previousPath_ + ") kullanıldı."
                           : std::string("; önceki kuşağı da okunamadı, cihazlardaki bütün "
                                         "kayıtlar yeniden alınıyor."));
  Settle();
  if (pending_.empty() && previousGood) Write();
}

bool DeliveryLedger::RecordFileHolds(const std::vector<std::string>& lines) const {
  std::map<std::string, long, std::less<>> wanted;
  for (const std::string& line : lines) ++wanted[line];
  LineReader reader;
  if (!reader.Open(FollowLinks(recordPath_), "Kayıt dosyası")) return false;
  std::string_view line;
  while (!wanted.empty() && reader.Next(line)) {
    const auto it = wanted.find(line);
    if (it != wanted.end() && --it->second == 0) wanted.erase(it);
  }
  return wanted.empty();
}

void DeliveryLedger::Settle() {
  if (pending_.empty()) return;
  const Pending pending = pending_.front();
  pending_.clear();
  // Only a stop between the replacement and its commit leaves both the merge
  // file gone and the lines in the record file; anything else, and a record
  // file changed since by another program, is decided the safe way.
  const bool replaced = !Exists(pending.mergePath) && RecordFileHolds(pending.probeLines);
  if (replaced) {
    for (const LedgerEntry& entry : pending.entries) Put(entry);
  } else {
    CutBack(pending.appended);
  }
  Write();
}

void DeliveryLedger::CutBack(const std::vector<AppendedFile>& appended) {
  // The records come again: what the stopped run appended goes.
  for (const AppendedFile& file : appended) {
    struct stat info {};
    if (::stat(file.path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uint64_t>(info.st_size) > file.sizeBefore &&
        ::truncate(file.path.c_str(), static_cast<off_t>(file.sizeBefore)) != 0) {
      throw FileError("Yarım kalan bir aktarımın eklediği satırlar geri alınamadı", file.path,
                      errno);
    }
  }
}

void DeliveryLedger::Abandon() {
  if (pending_.empty()) return;
  CutBack(pending_.front().appended);
  pending_.clear();
  Write();
}

std::string DeliveryLedger::Format() const {
  std::string text = std::string(kHeader) + "\n";
  for (const LedgerEntry& entry : entries_) FormatEntry(text, entry, "");
  for (const Pending& pending : pending_) {
    text += "bekleyen " + OneLine(pending.mergePath) + "\n";
    for (const AppendedFile& file : pending.appended) {
      text += "ek " + std::to_string(file.sizeBefore) + " " + OneLine(file.path) + "\n";
    }
    for (const std::string& line : pending.probeLines) text += "kanit " + OneLine(line) + "\n";
    for (const LedgerEntry& entry : pending.entries) FormatEntry(text, entry, "b");
  }
  char seal[32];
  std::snprintf(seal, sizeof seal, "denetim %016" PRIx64 "\n", TextChecksum(text));
  return text + seal;
}

void DeliveryLedger::Write() {
  // The generation being replaced stays beside it: one damaged file loses at
  // most the entries of the last run.
  std::string current;
  bool currentGood = false;
  try {
    currentGood = trusted_ && ReadWholeFile(path_, current);
  } catch (const AppError&) {
    currentGood = false;
  }
  if (currentGood) WriteFileAtomically(previousPath_, current);
  WriteFileAtomically(path_, Format());
  trusted_ = true;
}

void DeliveryLedger::BeginReplacement(const std::string& mergePath,
                                      const std::vector<AppendedFile>& appended,
                                      const std::vector<std::string>& probeLines,
                                      const std::vector<LedgerEntry>& entries) {
  pending_ = {{mergePath, appended, probeLines, entries}};
  Write();
}

void DeliveryLedger::Commit() {
  if (pending_.empty()) return;
  for (const LedgerEntry& entry : pending_.front().entries) Put(entry);
  pending_.clear();
  Write();
}

void DeliveryLedger::Update(const std::vector<LedgerEntry>& entries) {
  bool changed = false;
  for (const LedgerEntry& entry : entries) {
    const LedgerEntry* held = EntryOf(entry.terminal);
    if (held != nullptr && *held == entry) continue;
    Put(entry);
    changed = true;
  }
  if (changed) Write();
}

}  // namespace miravel
