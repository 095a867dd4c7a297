// The INI layer reads a file of any bytes without failing, and a write of one
// key changes that key's line (or adds one line, or one section at the end)
// and keeps every other byte of the file as it was.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Cp1254.h"
#include "core/IniFile.h"
#include "fuzz/FuzzSupport.h"

namespace {

using miravel::IniFile;
using miravel::fuzz::Check;

// Names as the program uses them, in other spellings than a file may hold:
// case and blanks must not matter, Turkish letters go through the code page.
constexpr std::string_view kSections[] = {"cihaz1", "Ayarlar", "Yeni Bölüm"};
constexpr std::string_view kKeys[] = {"adi", "Dosya", "k"};
constexpr std::string_view kValue = "Kapı 2 (giriş)";

bool IsLineBreak(char c) {
  return c == '\n' || c == '\r';
}

// Whether a line starts at pos: the start of the file, or right after a line
// end (a CR followed by LF ends its line only after the LF).
bool IsLineStart(std::string_view bytes, std::size_t pos) {
  if (pos == 0) return true;
  if (bytes[pos - 1] == '\n') return true;
  return bytes[pos - 1] == '\r' && (pos == bytes.size() || bytes[pos] != '\n');
}

// The end of the line starting at pos, its line end included.
std::size_t LineEndAfter(std::string_view bytes, std::size_t pos) {
  const std::size_t stop = bytes.find_first_of("\r\n", pos);
  if (stop == std::string_view::npos) return bytes.size();
  if (bytes[stop] == '\r' && stop + 1 < bytes.size() && bytes[stop + 1] == '\n') return stop + 2;
  return stop + 1;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::size_t CommonPrefix(std::string_view a, std::string_view b) {
  std::size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

// The line end the writer puts before appending to a file whose last line has none.
std::string_view MissingLineEnd(std::string_view bytes) {
  return !bytes.empty() && !IsLineBreak(bytes.back()) ? "\r\n" : "";
}

// A new key: one line inserted at a line start; at the end of a file without
// a last line end, that line end first.
void CheckInsertedKey(std::string_view before, std::string_view after, std::string_view line) {
  const std::string atEnd = std::string(MissingLineEnd(before)) + std::string(line);
  if (!MissingLineEnd(before).empty() && after == std::string(before) + atEnd) return;
  Check(after.size() == before.size() + line.size(), "not exactly one key line was added");
  const std::size_t prefix = CommonPrefix(before, after);
  // Where the same bytes could shift, the insertion may lie a little earlier.
  for (std::size_t at = prefix + 1; at-- > 0 && prefix - at <= line.size();) {
    if (IsLineStart(before, at) && after.substr(at, line.size()) == line &&
        after.substr(at + line.size()) == before.substr(at)) {
      return;
    }
  }
  miravel::fuzz::Fail("a new key changed other bytes of the file");
}

// An existing key: its first line is replaced, keeping the name's spelling.
void CheckReplacedKey(std::string_view before, std::string_view after, std::string_view key,
                      std::string_view valueBytes) {
  if (before == after) return;  // it held that value already, written the same way
  std::size_t at = CommonPrefix(before, after);
  // A key line that ended in a lone CR gets CR LF: the change is in that line.
  if (at > 0 && before[at - 1] == '\r' && at < after.size() && after[at] == '\n') --at;
  while (!IsLineStart(before, at)) --at;
  const std::size_t end = LineEndAfter(before, at);
  const std::string_view old = before.substr(at, end - at);
  const std::size_t equals = old.find('=');
  Check(equals != std::string_view::npos, "a line without '=' was taken for the key");
  const std::string_view name = TrimBlanks(old.substr(0, equals));
  Check(SameIgnoringAsciiCase(name, miravel::Utf8ToCp1254(key)), "another key's line changed");
  const std::string expected = std::string(before.substr(0, at)) + std::string(name) + "=" +
                               std::string(valueBytes) + "\r\n" + std::string(before.substr(end));
  Check(after == expected, "writing a key changed more than its line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const miravel::fuzz::ScratchFolder folder;
  static const std::string path = folder / "ayarlar.ini";
  const std::string_view before(reinterpret_cast<const char*>(data), size);
  miravel::fuzz::WriteFile(path, before);

  // The names depend on the input's length, so every input tries one pair.
  const std::string_view section = kSections[size % 3];
  const std::string_view key = kKeys[size / 3 % 3];

  IniFile ini(path);
  const bool hadSection = ini.SectionExists(section);
  const bool hadKey = ini.KeyExists(section, key);
  Check(hadSection || !hadKey, "a key without its section");
  // Reads of every kind must hold on any file, whatever they return.
  (void)ini.ReadString(section, key, "yok", 3);
  (void)ini.ReadString("", "", "");

  ini.WriteString(section, key, kValue);
  const std::string after = miravel::fuzz::ReadFile(path);
  const std::string valueBytes = miravel::Utf8ToCp1254(kValue);
  const std::string keyLine = miravel::Utf8ToCp1254(key) + "=" + valueBytes + "\r\n";
  if (!hadSection) {
    const std::string expected = std::string(before) + std::string(MissingLineEnd(before)) + "[" +
                                 miravel::Utf8ToCp1254(section) + "]\r\n" + keyLine;
    Check(after == expected, "a new section changed other bytes of the file");
  } else if (!hadKey) {
    CheckInsertedKey(before, after, keyLine);
  } else {
    CheckReplacedKey(before, after, key, valueBytes);
  }
  // What is on disk reads back as written, in this object and in a fresh one.
  Check(ini.ReadString(section, key, "") == kValue, "the written value does not read back");
  Check(IniFile(path).ReadString(section, key, "") == kValue, "the file does not read back");
  return 0;
}
