#include "core/IniFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <list>
#include <unordered_map>
#include <utility>

#include "core/AppError.h"
#include "core/Cp1254.h"
#include "core/SafeFile.h"
#include "core/Utf8.h"

namespace miravel {
namespace {

// The file is kept as its lines, in Windows-1254 bytes exactly as read, so that
// a write changes only the lines it is about and a reload of what we wrote
// gives what we hold in memory. Every marker of the format is ASCII and the
// code page has one byte per character, so parsing the bytes is exact.

enum class LineEnd : unsigned char { kNone, kCrLf, kLf, kCr };
// A bare line is a line of a section with no '=': it names no key, so it is
// never read, but it stands among the keys as an entry of its section: a new
// key goes after it and erasing the section removes it.
enum class LineKind : unsigned char { kOther, kHeader, kKey, kBare };

// Lines that belong to a section's entries rather than to its comments.
bool IsEntry(LineKind kind) {
  return kind == LineKind::kKey || kind == LineKind::kBare;
}

struct Line {
  std::string text;  // without its line end
  LineEnd end = LineEnd::kCrLf;
  LineKind kind = LineKind::kOther;
  // Where the name (header or key) and the value (key) stand in text.
  std::size_t nameBegin = 0;
  std::size_t nameSize = 0;
  std::size_t valueBegin = 0;
  std::size_t valueSize = 0;

  std::string_view Name() const { return std::string_view(text).substr(nameBegin, nameSize); }
  std::string_view Value() const { return std::string_view(text).substr(valueBegin, valueSize); }
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// [begin, end) of text without the blanks at both ends.
void TrimRange(std::string_view text, std::size_t& begin, std::size_t& end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
}

// Classifies one line the way the Windows profile functions read it. Lines
// before the first header belong to no section, so they are never keys there.
// A line in a section that is neither blank, comment nor header and has no
// '=' is no key for those functions either (a device whose "adi" line lost its
// '=' gets the default name): a file edited there reads the same here.
Line ParseLine(std::string text, LineEnd end, bool inSection) {
  Line line;
  line.text = std::move(text);
  line.end = end;
  const std::string_view t = line.text;
  std::size_t first = 0;
  while (first < t.size() && IsBlank(t[first])) ++first;
  if (first == t.size() || t[first] == ';') return line;
  if (t[first] == '[') {
    std::size_t begin = first + 1;
    std::size_t close = t.find(']', begin);
    if (close == std::string_view::npos) close = t.size();
    TrimRange(t, begin, close);
    line.kind = LineKind::kHeader;
    line.nameBegin = begin;
    line.nameSize = close - begin;
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
  line.nameBegin = nameBegin;
  line.nameSize = nameEnd - nameBegin;
  std::size_t valueBegin = equals + 1;
  std::size_t valueEnd = t.size();
  TrimRange(t, valueBegin, valueEnd);
  if (valueEnd - valueBegin >= 2 && (t[valueBegin] == '"' || t[valueBegin] == '\'') &&
      t[valueEnd - 1] == t[valueBegin]) {
    ++valueBegin;
    --valueEnd;
  }
  line.valueBegin = valueBegin;
  line.valueSize = valueEnd - valueBegin;
  return line;
}

std::string LowerAscii(std::string_view bytes) {
  std::string out(bytes);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The index key of a name given by a caller: blanks around it do not count,
// as they could not survive a reload.
std::string LookupKey(std::string_view utf8Name) {
  return LowerAscii(Utf8ToCp1254(TrimBlanks(utf8Name)));
}

struct Section {
  bool hasHeader = true;  // false for the lines before the first header
  bool erased = false;    // erased in the pending commit: header and key lines are not written
  Line header;
  std::vector<Line> body;       // the lines up to the next header
  std::size_t keyLinesEnd = 0;  // one past the last entry (key or bare line); new keys go here
  std::unordered_map<std::string, std::size_t> keys;  // lower-cased name -> first key line
};

using SectionList = std::list<Section>;
using SectionIt = SectionList::iterator;
// Every live section of a name, in file order; the first one is the one read and written.
using SectionIndex = std::unordered_map<std::string, std::vector<SectionIt>>;

// What tells, without reading the file, whether it is still the one we hold.
// stat follows a symbolic link, so an edit of the file it points to counts.
struct FileStamp {
  // kUnknown: stat failed for another reason than a missing file; it never
  // matches, so the next call reads the file again (and reports what fails).
  enum class Kind : unsigned char { kMissing, kRegular, kOther, kUnknown };
  Kind kind = Kind::kMissing;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  time_t seconds = 0;
  long nanoseconds = 0;

  bool operator==(const FileStamp&) const = default;
  bool Matches(const FileStamp& other) const { return kind != Kind::kUnknown && *this == other; }
};

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) stamp.kind = FileStamp::Kind::kUnknown;
    return stamp;
  }
  stamp.kind = S_ISREG(info.st_mode) ? FileStamp::Kind::kRegular : FileStamp::Kind::kOther;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.seconds = info.st_mtim.tv_sec;
  stamp.nanoseconds = info.st_mtim.tv_nsec;
  return stamp;
}

// One change not yet on disk, with what is needed to take it back.
struct Undo {
  enum class Kind { kReplacedLine, kInsertedKey, kAppendedSection, kErasedSections } kind;
  SectionIt section{};
  std::size_t line = 0;
  Line oldLine;                   // kReplacedLine
  std::string name;               // kInsertedKey: key; kAppendedSection, kErasedSections: section
  std::vector<SectionIt> erased;  // kErasedSections, in file order
};

void AppendLineEnd(std::string& out, LineEnd end) {
  switch (end) {
    case LineEnd::kNone:
      break;
    case LineEnd::kCrLf:
      out += "\r\n";
      break;
    case LineEnd::kLf:
      out += '\n';
      break;
    case LineEnd::kCr:
      out += '\r';
      break;
  }
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

}  // namespace

struct IniFile::Impl {
  std::string path;
  SectionList sections;
  SectionIndex index;
  FileStamp stamp;  // the file as we last read or wrote it
  int groupDepth = 0;
  bool dirty = false;
  std::vector<Undo> undo;  // the changes since the last commit, oldest first

  static void Parse(std::string_view bytes, SectionList& sections, SectionIndex& index);
  void Reload(const FileStamp& now);
  void Refresh();
  Section* Find(std::string_view lookupKey);
  // Room for one more record before a change, so that a change once made is
  // always recorded; growing by half keeps a long group linear.
  void MakeRoomForUndo() {
    if (undo.size() == undo.capacity()) undo.reserve(16 + undo.capacity() * 3 / 2);
  }
  void Write(const std::string& section, const std::string& key, const std::string& value);
  void Erase(const std::string& lookupKey);
  std::string Serialize() const;
  void Commit();
  void Rollback();
  void DropErased();
  template <typename Change>
  void Apply(Change change);
};

void IniFile::Impl::Parse(std::string_view bytes, SectionList& sections, SectionIndex& index) {
  Section preamble;
  preamble.hasHeader = false;
  sections.push_back(std::move(preamble));
  Section* current = &sections.back();
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t stop = bytes.find_first_of("\r\n", pos);
    std::size_t next = bytes.size();
    LineEnd end = LineEnd::kNone;
    if (stop != std::string_view::npos) {
      if (bytes[stop] == '\n') {
        end = LineEnd::kLf;
        next = stop + 1;
      } else if (stop + 1 < bytes.size() && bytes[stop + 1] == '\n') {
        end = LineEnd::kCrLf;
        next = stop + 2;
      } else {
        end = LineEnd::kCr;
        next = stop + 1;
      }
    }
    const std::size_t lineEnd = stop == std::string_view::npos ? bytes.size() : stop;
    Line line = ParseLine(std::string(bytes.substr(pos, lineEnd - pos)), end, current->hasHeader);
    pos = next;
    if (line.kind == LineKind::kHeader) {
      Section section;
      const std::string key = LowerAscii(line.Name());
      section.header = std::move(line);
      sections.push_back(std::move(section));
      index[key].push_back(std::prev(sections.end()));
      current = &sections.back();
      continue;
    }
    if (line.kind == LineKind::kKey) {
      current->keys.try_emplace(LowerAscii(line.Name()), current->body.size());
    }
    if (IsEntry(line.kind)) current->keyLinesEnd = current->body.size() + 1;
    current->body.push_back(std::move(line));
  }
}

// Reads the file as it is now; a failed read leaves everything as it was.
void IniFile::Impl::Reload(const FileStamp& now) {
  std::string bytes;
  // Only a regular file holds settings: anything else at the path (a folder, a
  // pipe that would block the read) reads as empty, as a missing file does,
  // and a write to it fails.
  if (now.kind == FileStamp::Kind::kRegular || now.kind == FileStamp::Kind::kUnknown) {
    if (!ReadWholeFile(path, bytes)) bytes.clear();
  }
  SectionList freshSections;
  SectionIndex freshIndex;
  Parse(bytes, freshSections, freshIndex);
  // Swapping keeps the index's iterators valid in their new list.
  sections.swap(freshSections);
  index.swap(freshIndex);
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

Section* IniFile::Impl::Find(std::string_view lookupKey) {
  const auto it = index.find(std::string(lookupKey));
  return it == index.end() ? nullptr : &*it->second.front();
}

void IniFile::Impl::Write(const std::string& section, const std::string& key,
                          const std::string& value) {
  std::string sectionKey = LowerAscii(section);
  std::string keyKey = LowerAscii(key);
  MakeRoomForUndo();
  const auto found = index.find(sectionKey);
  if (found == index.end()) {
    Section fresh;
    fresh.header = ParseLine("[" + section + "]", LineEnd::kCrLf, false);
    fresh.body.push_back(ParseLine(key + "=" + value, LineEnd::kCrLf, true));
    fresh.keys.emplace(std::move(keyKey), 0);
    fresh.keyLinesEnd = 1;
    sections.push_back(std::move(fresh));
    const SectionIt it = std::prev(sections.end());
    index[sectionKey].push_back(it);
    undo.push_back({Undo::Kind::kAppendedSection, it, 0, {}, std::move(sectionKey), {}});
    dirty = true;
    return;
  }
  const SectionIt target = found->second.front();
  const auto keyIt = target->keys.find(keyKey);
  if (keyIt != target->keys.end()) {
    Line& slot = target->body[keyIt->second];
    // The key keeps the spelling it has in the file.
    Line fresh = ParseLine(std::string(slot.Name()) + "=" + value, LineEnd::kCrLf, true);
    undo.push_back({Undo::Kind::kReplacedLine, target, keyIt->second, std::move(slot), {}, {}});
    slot = std::move(fresh);
    dirty = true;
    return;
  }
  const std::size_t at = target->keyLinesEnd;
  target->body.insert(target->body.begin() + static_cast<std::ptrdiff_t>(at),
                      ParseLine(key + "=" + value, LineEnd::kCrLf, true));
  target->keys.emplace(keyKey, at);
  target->keyLinesEnd = at + 1;
  undo.push_back({Undo::Kind::kInsertedKey, target, at, {}, std::move(keyKey), {}});
  dirty = true;
}

// Every section of the name goes: a second one left behind would come to light
// with old keys mixed into what is written under the name next.
void IniFile::Impl::Erase(const std::string& lookupKey) {
  const auto found = index.find(lookupKey);
  if (found == index.end()) return;
  MakeRoomForUndo();
  undo.push_back({Undo::Kind::kErasedSections, {}, 0, {}, lookupKey, std::move(found->second)});
  index.erase(found);
  for (const SectionIt& it : undo.back().erased) it->erased = true;
  dirty = true;
}

std::string IniFile::Impl::Serialize() const {
  std::size_t size = 0;
  for (const Section& section : sections) {
    size += section.header.text.size() + 2;
    for (const Line& line : section.body) size += line.text.size() + 2;
  }
  std::string out;
  out.reserve(size);
  bool open = false;  // the last line written has no line end yet
  const auto emit = [&](const Line& line) {
    // Only the last line of a file may lack its line end.
    if (open) out += "\r\n";
    out += line.text;
    AppendLineEnd(out, line.end);
    open = line.end == LineEnd::kNone;
  };
  for (const Section& section : sections) {
    if (section.hasHeader && !section.erased) emit(section.header);
    for (const Line& line : section.body) {
      if (section.erased && IsEntry(line.kind)) continue;
      emit(line);
    }
  }
  return out;
}

void IniFile::Impl::Commit() {
  if (!dirty) {
    undo.clear();
    return;
  }
  std::size_t written = 0;
  try {
    const std::string bytes = Serialize();
    written = bytes.size();
    WriteFileAtomically(path, bytes);
  } catch (...) {
    // What is not on disk must not be read either.
    Rollback();
    throw;
  }
  DropErased();
  undo.clear();
  dirty = false;
  // Our own write is no outside edit: the file now holds what we hold. A size
  // other than ours means another program wrote in between; the next call
  // reads its file.
  stamp = StampOf(path);
  if (stamp.kind != FileStamp::Kind::kRegular || stamp.size != static_cast<off_t>(written)) {
    stamp.kind = FileStamp::Kind::kUnknown;
  }
}

void IniFile::Impl::Rollback() {
  for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
    switch (it->kind) {
      case Undo::Kind::kReplacedLine:
        it->section->body[it->line] = std::move(it->oldLine);
        break;
      case Undo::Kind::kInsertedKey:
        it->section->body.erase(it->section->body.begin() + static_cast<std::ptrdiff_t>(it->line));
        it->section->keys.erase(it->name);
        it->section->keyLinesEnd = it->line;
        break;
      case Undo::Kind::kAppendedSection:
        index.erase(it->name);
        sections.erase(it->section);
        break;
      case Undo::Kind::kErasedSections:
        for (const SectionIt& erased : it->erased) erased->erased = false;
        index[it->name] = std::move(it->erased);
        break;
    }
  }
  undo.clear();
  dirty = false;
}

// Once an erase is on disk, the erased sections' headers and keys are dropped
// for good; their comment and blank lines stay where they were.
void IniFile::Impl::DropErased() {
  for (Undo& change : undo) {
    if (change.kind != Undo::Kind::kErasedSections) continue;
    for (const SectionIt& it : change.erased) {
      std::erase_if(it->body, [](const Line& line) { return IsEntry(line.kind); });
      it->keys.clear();
      it->keyLinesEnd = 0;
      it->hasHeader = false;
      it->erased = false;
      it->header = Line();
      if (it->body.empty()) sections.erase(it);
    }
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
  return impl_->Find(LookupKey(section)) != nullptr;
}

bool IniFile::KeyExists(std::string_view section, std::string_view key) const {
  impl_->Refresh();
  const Section* found = impl_->Find(LookupKey(section));
  return found != nullptr && found->keys.contains(LookupKey(key));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue, std::size_t maxChars) const {
  impl_->Refresh();
  const Section* found = impl_->Find(LookupKey(section));
  if (found != nullptr) {
    const auto keyIt = found->keys.find(LookupKey(key));
    if (keyIt != found->keys.end()) {
      // One byte is one character in the file's code page.
      return Cp1254ToUtf8(found->body[keyIt->second].Value().substr(0, maxChars));
    }
  }
  return CutToChars(defaultValue, maxChars);
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
