#include "core/IniFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "core/AppError.h"
#include "core/Cp1254.h"
#include "core/FileStamp.h"
#include "core/InPlaceRewrite.h"
#include "core/SafeFile.h"
#include "core/Utf8.h"

namespace miravel {
namespace {

// The file is kept as the bytes read, in Windows-1254 exactly as on disk, with
// a small index over them: the offset of each section header and two sorted
// lists of (name hash, position) for sections and key lines. Names and values
// are parsed from the bytes when asked for, so a file costs little more than
// its size in memory whatever its lines look like. Changes not yet on disk
// live beside the bytes (Pending); a commit writes the bytes with them
// applied and then holds what it wrote, so a reload of what we wrote gives
// what we hold. A small commit (a cell edit) splices its lines into the held
// bytes and shifts the index, so that it costs one safe replacement of the
// file and little else; a big one builds the file and its index afresh.
// Every marker of the format is ASCII and the code page has one
// byte per character, so parsing the bytes is exact.

// A bare line is a line of a section with no '=': it names no key, so it is
// never read, but it stands among the keys as an entry of its section: a new
// key goes after it and erasing the section removes it.
enum class LineKind : unsigned char { kOther, kHeader, kKey, kBare };

// Lines that belong to a section's entries rather than to its comments.
bool IsEntry(LineKind kind) {
  return kind == LineKind::kKey || kind == LineKind::kBare;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// [begin, end) of text without the blanks at both ends.
void TrimRange(std::string_view text, std::size_t& begin, std::size_t& end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
}

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::string_view name;   // of a header or a key
  std::string_view value;  // of a key
};

// Classifies one line (without its line end) the way the Windows profile
// functions read it. Lines before the first header belong to no section, so
// they are never keys there. A line in a section that is neither blank,
// comment nor header and has no '=' is no key for those functions either (a
// device whose "adi" line lost its '=' gets the default name): a file edited
// there reads the same here.
ParsedLine ParseLine(std::string_view t, bool inSection) {
  ParsedLine line;
  std::size_t first = 0;
  while (first < t.size() && IsBlank(t[first])) ++first;
  if (first == t.size() || t[first] == ';') return line;
  if (t[first] == '[') {
    std::size_t begin = first + 1;
    std::size_t close = t.find(']', begin);
    if (close == std::string_view::npos) close = t.size();
    TrimRange(t, begin, close);
    line.kind = LineKind::kHeader;
    line.name = t.substr(begin, close - begin);
    return line;
  }
  if (!inSection) return line;
  const std::size_t equals = t.find('=', first);
  if (equals == std::string_view::npos) {
    line.kind = LineKind::kBare;
    return line;
  }
  line.kind = LineKind::kKey;
  std::size_t nameEnd = equals;
  std::size_t nameBegin = first;
  TrimRange(t, nameBegin, nameEnd);
  line.name = t.substr(nameBegin, nameEnd - nameBegin);
  std::size_t valueBegin = equals + 1;
  std::size_t valueEnd = t.size();
  TrimRange(t, valueBegin, valueEnd);
  if (valueEnd - valueBegin >= 2 && (t[valueBegin] == '"' || t[valueBegin] == '\'') &&
      t[valueEnd - 1] == t[valueBegin]) {
    ++valueBegin;
    --valueEnd;
  }
  line.value = t.substr(valueBegin, valueEnd - valueBegin);
  return line;
}

// One line of the bytes: its text is [begin, textEnd), its line end (CR LF,
// LF, a lone CR or none at the end of the file) runs to next.
struct LineSpan {
  std::size_t begin = 0;
  std::size_t textEnd = 0;
  std::size_t next = 0;
};

LineSpan LineAt(std::string_view bytes, std::size_t begin) {
  std::size_t stop = begin;
  // Every byte above CR is line text: one comparison for most bytes.
  while (stop < bytes.size() && (static_cast<unsigned char>(bytes[stop]) > '\r' ||
                                 (bytes[stop] != '\r' && bytes[stop] != '\n'))) {
    ++stop;
  }
  std::size_t next = stop;
  if (stop < bytes.size()) {
    next = bytes[stop] == '\r' && stop + 1 < bytes.size() && bytes[stop + 1] == '\n' ? stop + 2
                                                                                     : stop + 1;
  }
  return {begin, stop, next};
}

std::string_view TextOf(std::string_view bytes, const LineSpan& line) {
  return bytes.substr(line.begin, line.textEnd - line.begin);
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view bytes) {
  std::string out(bytes);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

bool SameFolded(std::string_view name, std::string_view folded) {
  if (name.size() != folded.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (LowerAscii(name[i]) != folded[i]) return false;
  }
  return true;
}

// The index key of a name given by a caller: blanks around it do not count,
// as they could not survive a reload.
std::string LookupKey(std::string_view utf8Name) {
  return LowerAscii(Utf8ToCp1254(TrimBlanks(utf8Name)));
}

// An index entry: a 24-bit hash of a name above a 40-bit position (a section
// number, or a line's offset in the bytes). Sorted, the entries of one hash
// stand together in file order, so the first that matches is the first of its
// name, as the profile functions read. 40 bits reach far beyond any file that
// fits in memory.
constexpr int kPositionBits = 40;
constexpr std::uint64_t kPositionMask = (std::uint64_t{1} << kPositionBits) - 1;

std::uint64_t FoldedHash(std::string_view name, std::uint64_t seed) {
  std::uint64_t hash = 14695981039346656037ull ^ seed;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(LowerAscii(c));
    hash *= 1099511628211ull;
  }
  // Mixes the high bits down before the top 24 are taken.
  hash ^= hash >> 29;
  hash *= 0xbf58476d1ce4e5b9ull;
  hash ^= hash >> 32;
  return hash >> kPositionBits;
}

std::uint64_t SectionHash(std::string_view name) {
  return FoldedHash(name, 0);
}

// Keys are hashed with the number of their section, so that one sorted list
// serves every section.
std::uint64_t KeyHash(std::size_t section, std::string_view name) {
  return FoldedHash(name, (section + 1) * 0x9e3779b97f4a7c15ull);
}

std::uint64_t IndexEntry(std::uint64_t hash, std::uint64_t position) {
  return hash << kPositionBits | position;
}

// The index over the bytes.
struct Index {
  std::vector<std::uint64_t> headers;   // offset of each header line, in file order
  std::vector<std::uint64_t> sections;  // (name hash, section number), sorted
  std::vector<std::uint64_t> keys;      // (section number and key name hash, line offset), sorted
};

// Calls visit(line, parsed, section) for every line; section is the number of
// the section the line stands in (of the header itself for a header), or
// npos before the first header.
// The mark a UTF-8 editor may put at the start of a file. It is no text of
// the first line: read as such it would hide the file's first section (its
// header would not start with '['), and a write would add a second one. It
// stays in the file as it is.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

template <typename Visit>
void ForEachLine(std::string_view bytes, Visit visit) {
  std::size_t section = std::string_view::npos;
  std::size_t headers = 0;
  for (std::size_t pos = bytes.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0; pos < bytes.size();) {
    const LineSpan line = LineAt(bytes, pos);
    const ParsedLine parsed = ParseLine(TextOf(bytes, line), section != std::string_view::npos);
    if (parsed.kind == LineKind::kHeader) section = headers++;
    visit(line, parsed, section);
    pos = line.next;
  }
}

// Sorts index entries by their hash. Entries are made in file order, so a
// stable sort by the 24 hash bits alone keeps each hash's entries in file
// order: three counting passes instead of a comparison sort of the whole value.
void SortByHash(std::vector<std::uint64_t>& entries) {
  // A short list is sorted quicker whole: hash above position gives the same order.
  if (entries.size() < 1024) {
    std::sort(entries.begin(), entries.end());
    return;
  }
  // Left uninitialised: every slot is written before it is read.
  const std::unique_ptr<std::uint64_t[]> spare(new std::uint64_t[entries.size()]);
  std::uint64_t* from = entries.data();
  std::uint64_t* to = spare.get();
  const std::size_t size = entries.size();
  for (int shift = kPositionBits; shift < 64; shift += 8) {
    std::array<std::size_t, 257> starts{};
    for (std::size_t i = 0; i < size; ++i) ++starts[((from[i] >> shift) & 0xff) + 1];
    for (std::size_t digit = 1; digit < starts.size(); ++digit) starts[digit] += starts[digit - 1];
    for (std::size_t i = 0; i < size; ++i) to[starts[(from[i] >> shift) & 0xff]++] = from[i];
    std::swap(from, to);
  }
  if (from != entries.data()) std::copy(from, from + size, entries.data());
}

// Upper bounds of the headers and key lines, so that each list is allocated
// once: growing by doubling could hold three times the room while it copies.
// Room reserved but never filled is never touched, so it takes no memory.
struct Bounds {
  std::size_t headers = 0;
  std::size_t keys = 0;
};

Bounds BoundsOf(std::string_view bytes) {
  std::array<std::size_t, 256> counts{};
  for (const char c : bytes) ++counts[static_cast<unsigned char>(c)];
  const std::size_t lines = counts['\n'] + counts['\r'] + 1;
  return {std::min(lines, counts['[']), std::min(lines, counts['='])};
}

Index BuildIndex(std::string_view bytes) {
  Index index;
  const Bounds bounds = BoundsOf(bytes);
  index.headers.reserve(bounds.headers);
  index.sections.reserve(bounds.headers);
  index.keys.reserve(bounds.keys);
  ForEachLine(bytes, [&](const LineSpan& line, const ParsedLine& parsed, std::size_t section) {
    if (parsed.kind == LineKind::kHeader) {
      index.headers.push_back(line.begin);
      index.sections.push_back(IndexEntry(SectionHash(parsed.name), section));
    } else if (parsed.kind == LineKind::kKey) {
      index.keys.push_back(IndexEntry(KeyHash(section, parsed.name), line.begin));
    }
  });
  SortByHash(index.sections);
  SortByHash(index.keys);
  return index;
}

// Keys written into a section but not yet on disk, in the order written.
struct NewKeys {
  std::vector<std::string> lines;                     // "key=value"
  std::unordered_map<std::string, std::size_t> keys;  // lower-cased name -> line
  // Where they go in the bytes: after the section's last entry line.
  std::size_t at = 0;
};

// A section written but not yet on disk; it goes at the end of the file.
struct NewSection {
  std::string name;
  NewKeys body;
  bool erased = false;  // erased again before the commit
};

// The changes since the last commit. Taking them back is forgetting them.
struct Pending {
  std::map<std::uint64_t, std::string> replaced;      // key line offset -> new line
  std::unordered_map<std::size_t, NewKeys> added;     // section number -> new keys
  std::vector<NewSection> appended;                   // in the order written
  std::unordered_map<std::string, std::size_t> live;  // lower-cased name -> appended
  std::vector<bool> erased;                           // per section; empty when none is
  bool dirty = false;

  bool Erased(std::size_t section) const { return section < erased.size() && erased[section]; }
};

// Writes the line "key=value" into keys: in place when the key is there
// (keeping its spelling), else after the others.
void WriteKey(NewKeys& keys, const std::string& key, const std::string& value) {
  std::string folded = LowerAscii(key);
  const auto found = keys.keys.find(folded);
  if (found != keys.keys.end()) {
    std::string& line = keys.lines[found->second];
    line = std::string(ParseLine(line, true).name) + "=" + value;
    return;
  }
  keys.lines.push_back(key + "=" + value);
  keys.keys.emplace(std::move(folded), keys.lines.size() - 1);
}

const std::string* FindKey(const NewKeys& keys, std::string_view foldedKey) {
  const auto found = keys.keys.find(std::string(foldedKey));
  return found == keys.keys.end() ? nullptr : &keys.lines[found->second];
}

// Names are written into the file as they are given; one that would read back
// as something else (another section, a comment, a header) is a fault of the
// caller and is refused before anything changes.
std::string SectionNameBytes(std::string_view name) {
  const std::string bytes = Utf8ToCp1254(TrimBlanks(name));
  if (bytes.find_first_of(std::string_view("]\r\n\0", 4)) != std::string::npos) {
    throw AppError("Geçersiz bölüm adı: '" + std::string(name) + "'");
  }
  return bytes;
}

std::string KeyNameBytes(std::string_view name) {
  const std::string bytes = Utf8ToCp1254(TrimBlanks(name));
  if (bytes.empty() || bytes.front() == '[' || bytes.front() == ';' ||
      bytes.find_first_of(std::string_view("=\r\n\0", 4)) != std::string::npos) {
    throw AppError("Geçersiz anahtar adı: '" + std::string(name) + "'");
  }
  return bytes;
}

// A value must stay on its own line: a typed name must not start a section.
std::string ValueBytes(std::string_view value) {
  std::string bytes = Utf8ToCp1254(value);
  std::replace_if(
      bytes.begin(), bytes.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
  return bytes;
}

constexpr std::size_t kNone = std::string_view::npos;

// A commit of at most this many changed or new key lines (a cell edit, a
// person's four personal keys) is spliced into the held bytes, and the index
// follows by shifting offsets; a bigger one (a bulk command) builds the file
// and its index afresh, which costs the same once per command.
constexpr std::size_t kSmallCommit = 16;

// Room kept free behind the held bytes, so that a commit that makes the file
// a little longer grows it in place instead of copying it whole. Room never
// written takes no memory.
constexpr std::size_t kGrowthRoom = 1 << 20;

// From this size on a file takes a changed key line where it stands (see
// CommitInPlace), filling at most kMostBlanksFilled blanks after its value.
constexpr std::size_t kInPlaceFrom = 1 << 20;
constexpr std::size_t kMostBlanksFilled = 40;

// A whole commit goes to the disk in pieces of about this size.
constexpr std::size_t kSerializePiece = 1 << 20;

// Splices closer than this are moved as one, so that the tail of a big file
// is moved once for the keys of one section.
constexpr std::size_t kSpliceJoinGap = 4096;

// `removed` bytes at `at` of the held bytes give way to text: a replaced key
// line, or new key lines of a section (keys, after `prefix` bytes of line end).
struct Splice {
  std::size_t at = 0;
  std::size_t removed = 0;
  std::string text;
  std::size_t section = kNone;
  const NewKeys* keys = nullptr;
  std::size_t prefix = 0;

  std::ptrdiff_t Growth() const {
    return static_cast<std::ptrdiff_t>(text.size()) - static_cast<std::ptrdiff_t>(removed);
  }
};

// Applies sorted, disjoint splices to bytes, back to front so that each
// position still holds when it is reached; returns what undoes them.
std::vector<Splice> ApplySplices(std::string& bytes, const std::vector<Splice>& splices) {
  std::vector<Splice> joined;
  for (const Splice& splice : splices) {
    if (!joined.empty() &&
        splice.at - (joined.back().at + joined.back().removed) < kSpliceJoinGap) {
      Splice& last = joined.back();
      const std::size_t lastEnd = last.at + last.removed;
      last.text.append(bytes, lastEnd, splice.at - lastEnd);
      last.text += splice.text;
      last.removed = splice.at + splice.removed - last.at;
    } else {
      joined.push_back({splice.at, splice.removed, splice.text});
    }
  }
  std::ptrdiff_t growth = 0;
  for (const Splice& splice : joined) growth += splice.Growth();
  if (growth > 0 && bytes.size() + static_cast<std::size_t>(growth) > bytes.capacity()) {
    bytes.reserve(bytes.size() + static_cast<std::size_t>(growth) + kGrowthRoom);
  }
  std::vector<Splice> undo(joined.size());
  std::ptrdiff_t before = growth;
  for (std::size_t i = joined.size(); i-- > 0;) {
    const Splice& splice = joined[i];
    before -= splice.Growth();
    // Where the splice stands once every splice before it is applied.
    undo[i] = {splice.at + static_cast<std::size_t>(before), splice.text.size(),
               bytes.substr(splice.at, splice.removed)};
    bytes.replace(splice.at, splice.removed, splice.text);
  }
  return undo;
}

void UndoSplices(std::string& bytes, const std::vector<Splice>& undo) {
  for (std::size_t i = undo.size(); i-- > 0;) {
    bytes.replace(undo[i].at, undo[i].removed, undo[i].text);
  }
}

}  // namespace

struct IniFile::Impl {
  std::string path;
  std::string bytes;  // the file as we last read or wrote it
  Index index;
  FileStamp stamp;  // the file as we last read or wrote it
  int groupDepth = 0;
  Pending pending;

  void Reload(const FileStamp& seen);
  void Refresh();

  std::size_t SectionEnd(std::size_t section) const {
    return section + 1 < index.headers.size() ? index.headers[section + 1] : bytes.size();
  }
  LineSpan Line(std::uint64_t offset) const { return LineAt(bytes, offset); }
  // Calls each(section) for every section of the name in the bytes, in file
  // order, while it returns true.
  template <typename Each>
  void ForEachSectionNamed(std::string_view folded, Each each) const;
  std::size_t FirstSectionNamed(std::string_view folded) const;
  // The offset of the first key line of the name in the section, or kNone.
  std::size_t KeyLine(std::size_t section, std::string_view foldedKey) const;
  // Offset after the last entry line of the section (after its header when
  // it has none): where new keys go.
  std::size_t EntriesEnd(std::size_t section) const;

  // The section a name reads from: one written since the last commit, or
  // the first of the bytes when it is not erased.
  struct Found {
    const NewSection* appended = nullptr;
    std::size_t section = kNone;
    explicit operator bool() const { return appended != nullptr || section != kNone; }
  };
  Found FindSection(std::string_view folded) const;
  // The line of the key as it now reads, or nullopt.
  std::optional<std::string_view> KeyText(const Found& found, std::string_view foldedKey) const;

  void Write(const std::string& section, const std::string& key, const std::string& value);
  void Erase(const std::string& lookupKey);
  // Gives the file as the pending changes make it to sink, piece by piece.
  bool Serialize(const ByteSink& sink) const;
  void Commit();
  bool CommitInPlace();
  bool CommitSmall();
  void CommitWhole();
  void ShiftIndex(const std::vector<Splice>& splices);
  void Rollback() { pending = Pending(); }
  template <typename Change>
  void Apply(Change change);
};

template <typename Each>
void IniFile::Impl::ForEachSectionNamed(std::string_view folded, Each each) const {
  const std::uint64_t hash = SectionHash(folded);
  for (auto it =
           std::lower_bound(index.sections.begin(), index.sections.end(), IndexEntry(hash, 0));
       it != index.sections.end() && (*it >> kPositionBits) == hash; ++it) {
    const std::size_t section = *it & kPositionMask;
    const LineSpan line = Line(index.headers[section]);
    if (SameFolded(ParseLine(TextOf(bytes, line), false).name, folded) && !each(section)) return;
  }
}

std::size_t IniFile::Impl::FirstSectionNamed(std::string_view folded) const {
  std::size_t first = kNone;
  ForEachSectionNamed(folded, [&](std::size_t section) {
    first = section;
    return false;
  });
  return first;
}

std::size_t IniFile::Impl::KeyLine(std::size_t section, std::string_view foldedKey) const {
  const std::uint64_t hash = KeyHash(section, foldedKey);
  const std::size_t begin = index.headers[section];
  const std::size_t end = SectionEnd(section);
  for (auto it = std::lower_bound(index.keys.begin(), index.keys.end(), IndexEntry(hash, 0));
       it != index.keys.end() && (*it >> kPositionBits) == hash; ++it) {
    const std::size_t offset = *it & kPositionMask;
    if (offset < begin || offset >= end) continue;
    if (SameFolded(ParseLine(TextOf(bytes, Line(offset)), true).name, foldedKey)) return offset;
  }
  return kNone;
}

std::size_t IniFile::Impl::EntriesEnd(std::size_t section) const {
  const std::size_t end = SectionEnd(section);
  LineSpan line = Line(index.headers[section]);
  std::size_t after = line.next;
  for (std::size_t pos = line.next; pos < end; pos = line.next) {
    line = Line(pos);
    if (IsEntry(ParseLine(TextOf(bytes, line), true).kind)) after = line.next;
  }
  return after;
}

IniFile::Impl::Found IniFile::Impl::FindSection(std::string_view folded) const {
  Found found;
  if (!pending.live.empty()) {
    const auto live = pending.live.find(std::string(folded));
    if (live != pending.live.end()) {
      found.appended = &pending.appended[live->second];
      return found;
    }
  }
  const std::size_t first = FirstSectionNamed(folded);
  // The sections of a name are erased together: the first tells for all.
  if (first != kNone && !pending.Erased(first)) found.section = first;
  return found;
}

std::optional<std::string_view> IniFile::Impl::KeyText(const Found& found,
                                                       std::string_view foldedKey) const {
  if (found.appended != nullptr) {
    const std::string* line = FindKey(found.appended->body, foldedKey);
    if (line == nullptr) return std::nullopt;
    return std::string_view(*line);
  }
  const std::size_t offset = KeyLine(found.section, foldedKey);
  if (offset != kNone) {
    const auto replaced = pending.replaced.find(offset);
    if (replaced != pending.replaced.end()) return std::string_view(replaced->second);
    return TextOf(bytes, Line(offset));
  }
  const auto added = pending.added.find(found.section);
  if (added == pending.added.end()) return std::nullopt;
  const std::string* line = FindKey(added->second, foldedKey);
  if (line == nullptr) return std::nullopt;
  return std::string_view(*line);
}

// Reads the file as it is now; a failed read leaves nothing held and a stamp
// that matches nothing.
void IniFile::Impl::Reload(const FileStamp& seen) {
  // A rewrite in place that was stopped is completed before anything is read.
  const FileStamp now = FinishInPlaceRewrite(path) ? StampOf(path) : seen;
  // The old bytes go before the new ones come, so that a big file is never
  // held twice. Until the read succeeds nothing is held and the stamp matches
  // nothing: a read that fails is tried again by the next call.
  index = Index();
  std::string().swap(bytes);
  stamp = FileStamp();
  stamp.kind = FileStamp::Kind::kUnknown;
  // Only a regular file holds settings: anything else at the path (a folder, a
  // pipe that would block the read) reads as empty, as a missing file does,
  // and a write to it fails.
  if (now.kind == FileStamp::Kind::kRegular || now.kind == FileStamp::Kind::kUnknown) {
    bytes.reserve(static_cast<std::size_t>(std::max<off_t>(now.size, 0)) + kGrowthRoom);
    if (!ReadWholeFile(path, bytes)) bytes.clear();
  }
  index = BuildIndex(bytes);
  stamp = now;
}

// Another program (an editor, a second copy of ours) may have changed the file
// since we last read or wrote it; then it is read again, so that we neither
// read stale values nor write them back over that edit. One stat per call: the
// file is read only when it changed. The stamp is taken before the read, so a
// change during the read shows up as a difference next time. Inside a write
// group nothing is read again: the group's changes are not on disk yet and
// would be lost.
void IniFile::Impl::Refresh() {
  if (groupDepth > 0) return;
  const FileStamp now = StampOf(path);
  if (!now.Matches(stamp)) Reload(now);
}

void IniFile::Impl::Write(const std::string& section, const std::string& key,
                          const std::string& value) {
  std::string sectionKey = LowerAscii(section);
  const Found found = FindSection(sectionKey);
  if (!found) {
    NewSection fresh;
    fresh.name = section;
    WriteKey(fresh.body, key, value);
    pending.appended.push_back(std::move(fresh));
    pending.live[std::move(sectionKey)] = pending.appended.size() - 1;
  } else if (found.appended != nullptr) {
    WriteKey(pending.appended[pending.live.at(sectionKey)].body, key, value);
  } else {
    const std::size_t offset = KeyLine(found.section, LowerAscii(key));
    if (offset != kNone) {
      // The key keeps the spelling it has in the file.
      const std::string_view name = ParseLine(TextOf(bytes, Line(offset)), true).name;
      pending.replaced[offset] = std::string(name) + "=" + value;
    } else {
      auto [added, isNew] = pending.added.try_emplace(found.section);
      if (isNew) added->second.at = EntriesEnd(found.section);
      WriteKey(added->second, key, value);
    }
  }
  pending.dirty = true;
}

// Every section of the name goes: a second one left behind would come to light
// with old keys mixed into what is written under the name next.
void IniFile::Impl::Erase(const std::string& lookupKey) {
  const auto live = pending.live.find(lookupKey);
  if (live != pending.live.end()) {
    pending.appended[live->second].erased = true;
    pending.live.erase(live);
    pending.dirty = true;
  }
  ForEachSectionNamed(lookupKey, [&](std::size_t section) {
    if (pending.Erased(section)) return true;
    if (pending.erased.empty()) pending.erased.resize(index.headers.size());
    pending.erased[section] = true;
    pending.dirty = true;
    return true;
  });
}

bool IniFile::Impl::Serialize(const ByteSink& sink) const {
  // Lines are gathered into pieces; long runs of held bytes go out as they
  // stand, without a copy.
  std::string piece;
  piece.reserve(kSerializePiece + kSerializePiece / 4);
  bool ok = true;
  char last = '\n';  // of what went out: nothing yet needs no line end
  const auto flush = [&] {
    if (!piece.empty()) ok = ok && sink(piece);
    piece.clear();
  };
  const auto put = [&](std::string_view text) {
    if (text.empty()) return;
    last = text.back();
    if (text.size() >= kSerializePiece) {
      flush();
      ok = ok && sink(text);
      return;
    }
    piece += text;
    if (piece.size() >= kSerializePiece) flush();
  };
  const std::string_view all = bytes;
  // Only the last line of a file may lack its line end: a line written after
  // it gets one first.
  const auto emit = [&](std::string_view line) {
    if (last != '\n' && last != '\r') put("\r\n");
    put(line);
    put("\r\n");
  };
  const auto copy = [&](std::size_t from, std::size_t to) { put(all.substr(from, to - from)); };
  copy(0, index.headers.empty() ? bytes.size() : index.headers.front());
  for (std::size_t section = 0; section < index.headers.size(); ++section) {
    const std::size_t begin = index.headers[section];
    const std::size_t end = SectionEnd(section);
    if (pending.Erased(section)) {
      // Its header and entries go; its comment and blank lines stay.
      for (std::size_t pos = begin; pos < end;) {
        const LineSpan line = Line(pos);
        const LineKind kind = ParseLine(TextOf(all, line), true).kind;
        if (pos != begin && !IsEntry(kind)) copy(line.begin, line.next);
        pos = line.next;
      }
      continue;
    }
    std::size_t cursor = begin;
    for (auto it = pending.replaced.lower_bound(begin);
         it != pending.replaced.end() && it->first < end; ++it) {
      copy(cursor, it->first);
      emit(it->second);
      cursor = Line(it->first).next;
    }
    const auto added = pending.added.find(section);
    if (added != pending.added.end()) {
      copy(cursor, added->second.at);
      cursor = added->second.at;
      for (const std::string& line : added->second.lines) emit(line);
    }
    copy(cursor, end);
  }
  for (const NewSection& section : pending.appended) {
    if (section.erased) continue;
    emit("[" + section.name + "]");
    for (const std::string& line : section.body.lines) emit(line);
  }
  flush();
  return ok;
}

void IniFile::Impl::Commit() {
  if (!pending.dirty) {
    pending = Pending();
    return;
  }
  if (!CommitInPlace() && !CommitSmall()) CommitWhole();
  pending = Pending();
  // Our own write is no outside edit. A size other than ours means another
  // program wrote in between; the next call reads its file.
  stamp = StampOf(path);
  if (stamp.kind != FileStamp::Kind::kRegular || stamp.size != static_cast<off_t>(bytes.size())) {
    stamp.kind = FileStamp::Kind::kUnknown;
  }
}

// A few key lines of a big file (a person's card number in a store of
// hundreds of megabytes) are written where they stand, each filled with
// blanks to the length it had: a value is read without the blanks after it,
// here and by the Windows profile functions. A longer line, a line much
// shorter than it was, or any other change goes the way of a replacement.
bool IniFile::Impl::CommitInPlace() {
  if (bytes.size() < kInPlaceFrom || pending.replaced.empty() ||
      pending.replaced.size() > kSmallCommit || !pending.erased.empty() ||
      !pending.appended.empty() || !pending.added.empty() ||
      stamp.kind != FileStamp::Kind::kRegular) {
    return false;
  }
  std::vector<BytePatch> patches;
  for (const auto& [offset, line] : pending.replaced) {
    const LineSpan old = Line(offset);
    const std::size_t length = old.textEnd - old.begin;
    if (line.size() > length || length - line.size() > kMostBlanksFilled) return false;
    patches.push_back({offset, bytes.substr(offset, length), line});
    patches.back().after.resize(length, ' ');
  }
  try {
    if (!RewriteInPlace(path, patches, stamp)) return false;
  } catch (...) {
    Rollback();
    throw;
  }
  for (const BytePatch& patch : patches) bytes.replace(patch.offset, patch.after.size(), patch.after);
  return true;
}

// The file is still replaced whole, the safe way: nothing else of the format
// would leave the old file or the new one after a crash. What a small change
// spares is the rest: building a second copy of the file and parsing it again.
bool IniFile::Impl::CommitSmall() {
  if (!pending.erased.empty() || !pending.appended.empty() ||
      pending.replaced.size() + pending.added.size() > kSmallCommit) {
    return false;
  }
  std::vector<Splice> splices;
  for (const auto& [offset, line] : pending.replaced) {
    splices.push_back({offset, Line(offset).next - offset, line + "\r\n"});
  }
  for (const auto& [section, keys] : pending.added) {
    Splice splice{keys.at, 0, "", section, &keys};
    // Only the file's last line may lack its line end: new lines after it
    // give it one, unless it is replaced and has one already.
    const char before = bytes[keys.at - 1];
    // Named apart: clang cannot capture a structured binding in C++20.
    const std::size_t at = keys.at;
    const bool replacedThere = std::any_of(splices.begin(), splices.end(), [&](const Splice& s) {
      return s.keys == nullptr && s.at + s.removed == at;
    });
    if (before != '\n' && before != '\r' && !replacedThere) splice.text = "\r\n";
    splice.prefix = splice.text.size();
    for (const std::string& line : keys.lines) splice.text += line + "\r\n";
    splices.push_back(std::move(splice));
  }
  std::sort(splices.begin(), splices.end(),
            [](const Splice& a, const Splice& b) { return a.at < b.at; });
  const std::vector<Splice> undo = ApplySplices(bytes, splices);
  try {
    WriteFileAtomically(path, bytes);
  } catch (...) {
    // What is not on disk must not be read either.
    UndoSplices(bytes, undo);
    Rollback();
    throw;
  }
  ShiftIndex(splices);
  return true;
}

// Offsets behind a splice move by its growth; a replaced line keeps its own.
// The shift keeps the order of the sorted lists: within one hash, offsets
// stay in file order. New key lines join the list where their entry sorts.
void IniFile::Impl::ShiftIndex(const std::vector<Splice>& splices) {
  const auto shifted = [&](std::uint64_t offset) {
    std::ptrdiff_t growth = 0;
    for (const Splice& splice : splices) {
      if (splice.at > offset || (splice.at == offset && splice.removed > 0)) break;
      growth += splice.Growth();
    }
    return static_cast<std::uint64_t>(static_cast<std::ptrdiff_t>(offset) + growth);
  };
  for (std::uint64_t& header : index.headers) header = shifted(header);
  for (std::uint64_t& entry : index.keys) {
    entry = (entry & ~kPositionMask) | shifted(entry & kPositionMask);
  }
  std::ptrdiff_t growth = 0;
  for (const Splice& splice : splices) {
    if (splice.keys != nullptr) {
      std::uint64_t at = splice.at + static_cast<std::size_t>(growth) + splice.prefix;
      for (const std::string& line : splice.keys->lines) {
        const std::uint64_t entry =
            IndexEntry(KeyHash(splice.section, ParseLine(line, true).name), at);
        index.keys.insert(std::upper_bound(index.keys.begin(), index.keys.end(), entry), entry);
        at += line.size() + 2;
      }
    }
    growth += splice.Growth();
  }
}

void IniFile::Impl::CommitWhole() {
  try {
    WriteFileAtomically(path, [this](const ByteSink& sink) { return Serialize(sink); });
  } catch (...) {
    Rollback();
    throw;
  }
  // The file now holds what we wrote. We read it back rather than build it
  // beside the bytes we hold: a store of hundreds of megabytes would be held
  // twice. The write happened; a read that fails now is only tried again by
  // the next call.
  pending = Pending();
  try {
    Reload(StampOf(path));
  } catch (...) {  // NOLINT(bugprone-empty-catch): Reload left a stamp that never matches
  }
}

template <typename Change>
void IniFile::Impl::Apply(Change change) {
  Refresh();
  ++groupDepth;
  try {
    change();
  } catch (...) {
    if (--groupDepth == 0) Rollback();
    throw;
  }
  if (--groupDepth == 0) Commit();
}

IniFile::IniFile(std::string path) : impl_(std::make_unique<Impl>()) {
  impl_->path = std::move(path);
  // A FIFO or device where the file should be is named to the user at once
  // (reading it would block or never end); one that appears later reads as
  // empty, and writing to it fails.
  RequirePlainFileOrMissing(impl_->path, "Dosya");
  impl_->Reload(StampOf(impl_->path));
}

IniFile::~IniFile() {
  // A group left open by mistake still reaches the disk; a destructor cannot report.
  if (impl_->groupDepth > 0) {
    try {
      impl_->Commit();
    } catch (...) {
    }
  }
}

const std::string& IniFile::Path() const {
  return impl_->path;
}

bool IniFile::SectionExists(std::string_view section) const {
  impl_->Refresh();
  return static_cast<bool>(impl_->FindSection(LookupKey(section)));
}

bool IniFile::KeyExists(std::string_view section, std::string_view key) const {
  impl_->Refresh();
  const Impl::Found found = impl_->FindSection(LookupKey(section));
  return found && impl_->KeyText(found, LookupKey(key)).has_value();
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue, std::size_t maxChars) const {
  impl_->Refresh();
  const Impl::Found found = impl_->FindSection(LookupKey(section));
  if (found) {
    const std::optional<std::string_view> line = impl_->KeyText(found, LookupKey(key));
    if (line) {
      // One byte is one character in the file's code page.
      return Cp1254ToUtf8(ParseLine(*line, true).value.substr(0, maxChars));
    }
  }
  return CutToChars(defaultValue, maxChars);
}

std::vector<std::optional<std::string>> IniFile::ReadKeys(
    std::string_view section, const std::vector<KeyToRead>& keys) const {
  impl_->Refresh();
  std::vector<std::optional<std::string>> values(keys.size());
  const Impl::Found found = impl_->FindSection(LookupKey(section));
  if (!found) return values;
  std::vector<std::string> folded;
  for (const KeyToRead& key : keys) folded.push_back(LookupKey(key.key));
  const auto take = [&](std::size_t i, std::string_view line) {
    values[i] = Cp1254ToUtf8(ParseLine(line, true).value.substr(0, keys[i].maxChars));
  };
  if (impl_->pending.dirty || found.section == kNone) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (const auto line = impl_->KeyText(found, folded[i])) take(i, *line);
    }
    return values;
  }
  // With nothing pending the section's own lines tell it all: one walk over
  // a few lines that lie together instead of a search of the whole index per
  // key. The first line of a name wins, as everywhere.
  std::vector<bool> seen(keys.size());
  const std::string_view bytes = impl_->bytes;
  const std::size_t end = impl_->SectionEnd(found.section);
  for (std::size_t pos = impl_->Line(impl_->index.headers[found.section]).next; pos < end;) {
    const LineSpan line = impl_->Line(pos);
    pos = line.next;
    const ParsedLine parsed = ParseLine(TextOf(bytes, line), true);
    if (parsed.kind != LineKind::kKey) continue;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (!seen[i] && SameFolded(parsed.name, folded[i])) {
        seen[i] = true;
        take(i, TextOf(bytes, line));
        break;
      }
    }
  }
  return values;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string sectionBytes = SectionNameBytes(section);
  const std::string keyBytes = KeyNameBytes(key);
  const std::string valueBytes = ValueBytes(value);
  impl_->Apply([&] { impl_->Write(sectionBytes, keyBytes, valueBytes); });
}

void IniFile::EraseSection(std::string_view section) {
  const std::string lookupKey = LookupKey(section);
  impl_->Apply([&] { impl_->Erase(lookupKey); });
}

void IniFile::BeginWriteGroup() {
  impl_->Refresh();
  ++impl_->groupDepth;
}

void IniFile::EndWriteGroup() {
  if (impl_->groupDepth == 0) return;
  if (--impl_->groupDepth == 0) impl_->Commit();
}

IniWriteGroup::~IniWriteGroup() noexcept(false) {
  if (std::uncaught_exceptions() > uncaughtAtStart_) {
    // The command is already stopping with its own error, which is the one the
    // user must see; throwing here would end the program.
    try {
      file_.EndWriteGroup();
    } catch (...) {
    }
    return;
  }
  file_.EndWriteGroup();
}

}  // namespace miravel
