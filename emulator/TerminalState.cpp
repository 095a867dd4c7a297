#include "emulator/TerminalState.h"

#include <charconv>
#include <set>
#include <string>

#include "core/AppError.h"
#include "core/SafeFile.h"

namespace miravel::emulator {
namespace {

enum class Section { kNone, kTerminal, kUsers, kTemplates, kLog };

class LineParser {
 public:
  LineParser(const std::string& fileName, std::size_t lineNumber)
      : fileName_(fileName), lineNumber_(lineNumber) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw AppError(fileName_ + ", satır " + std::to_string(lineNumber_) + ": " + what);
  }

  std::vector<std::string_view> Fields(std::string_view line, std::size_t count) const {
    std::vector<std::string_view> fields;
    fields.reserve(count);
    std::size_t start = 0;
    // The last field takes the rest of the line, so a template text is whole.
    while (fields.size() + 1 < count) {
      const std::size_t tab = line.find('\t', start);
      if (tab == std::string_view::npos) break;
      fields.push_back(line.substr(start, tab - start));
      start = tab + 1;
    }
    fields.push_back(line.substr(start));
    if (fields.size() != count) Fail(std::to_string(count) + " alan bekleniyordu");
    return fields;
  }

  std::int64_t Number(std::string_view text, std::int64_t low, std::int64_t high) const {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
      Fail("'" + std::string(text) + "' geçerli bir sayı değil (" + std::to_string(low) + ".." +
           std::to_string(high) + ")");
    }
    return value;
  }

 private:
  const std::string& fileName_;
  std::size_t lineNumber_;
};

constexpr std::int64_t kIntMax = 2147483647;

void AppendNumber(std::string& out, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

void AppendLogLine(std::string& out, const wire::LogRecord& r) {
  for (const std::int64_t value :
       {std::int64_t{r.enrollNumber}, std::int64_t{r.inOutState}, std::int64_t{r.year},
        std::int64_t{r.month}, std::int64_t{r.day}, std::int64_t{r.hour}}) {
    AppendNumber(out, value);
    out += '\t';
  }
  AppendNumber(out, r.minute);
}

}  // namespace

std::string CleanField(std::string_view text) {
  std::string clean(text);
  for (char& c : clean) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return clean;
}

TerminalState ParseState(std::string_view text, const std::string& fileName) {
  TerminalState state;
  std::set<std::string> terminalKeys;
  Section section = Section::kNone;
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const LineParser parse(fileName, lineNumber);
    if (line.front() == '[') {
      if (line == "[terminal]") {
        section = Section::kTerminal;
      } else if (line == "[users]") {
        section = Section::kUsers;
      } else if (line == "[templates]") {
        section = Section::kTemplates;
      } else if (line == "[log]") {
        section = Section::kLog;
      } else {
        parse.Fail("bilinmeyen bölüm " + std::string(line));
      }
      continue;
    }
    switch (section) {
      case Section::kNone:
        parse.Fail("bölüm başlığından önce satır");
      case Section::kTerminal: {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) parse.Fail("anahtar=değer bekleniyordu");
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        // A key we do not know, or one given twice, would be dropped or
        // overwritten when the state is saved again: refused instead.
        if (key != "machine" && key != "clockoffset" && key != "identity" && key != "capacity") {
          parse.Fail("bilinmeyen anahtar " + std::string(key));
        }
        if (!terminalKeys.insert(std::string(key)).second) {
          parse.Fail("aynı anahtar ikinci kez: " + std::string(key));
        }
        if (key == "machine") {
          state.machineNumber = static_cast<int>(parse.Number(value, 0, kIntMax));
        } else if (key == "identity") {
          state.identity = std::string(value);
        } else if (key == "capacity") {
          state.capacity = static_cast<std::size_t>(parse.Number(value, 0, kIntMax));
        } else {
          // About a hundred years either way is plenty for a clock.
          state.clockOffset = parse.Number(value, -4'000'000'000LL, 4'000'000'000LL);
        }
        break;
      }
      case Section::kUsers: {
        const auto f = parse.Fields(line, 5);
        User user;
        const int enroll = static_cast<int>(parse.Number(f[0], 0, kIntMax));
        // Longer texts could not travel to the program.
        if (f[1].size() > wire::kMaxTextBytes || f[2].size() > wire::kMaxTextBytes) {
          parse.Fail("ad ya da şifre çok uzun");
        }
        user.name = std::string(f[1]);
        user.password = std::string(f[2]);
        user.privilege = static_cast<int>(parse.Number(f[3], 0, 255));
        user.enabled = parse.Number(f[4], 0, 1) == 1;
        if (!state.users.emplace(enroll, std::move(user)).second) {
          parse.Fail("aynı kullanıcı ikinci kez: " + std::to_string(enroll));
        }
        break;
      }
      case Section::kTemplates: {
        const auto f = parse.Fields(line, 3);
        const int enroll = static_cast<int>(parse.Number(f[0], 0, kIntMax));
        const int finger = static_cast<int>(parse.Number(f[1], 0, 9));
        if (f[2].size() > wire::kMaxTemplateBytes) parse.Fail("şablon çok uzun");
        if (!state.templates.emplace(std::pair{enroll, finger}, std::string(f[2])).second) {
          parse.Fail("aynı parmak ikinci kez: " + std::to_string(enroll) + " " +
                     std::to_string(finger));
        }
        break;
      }
      case Section::kLog: {
        const auto f = parse.Fields(line, 7);
        wire::LogRecord record;
        // The ranges are what the wire carries; dates are not checked here so
        // that a rehearsal can feed the program a broken record on purpose.
        record.enrollNumber = static_cast<std::int32_t>(parse.Number(f[0], 0, kIntMax));
        record.inOutState = static_cast<int>(parse.Number(f[1], 0, 255));
        record.year = static_cast<int>(parse.Number(f[2], 0, 65535));
        record.month = static_cast<int>(parse.Number(f[3], 0, 255));
        record.day = static_cast<int>(parse.Number(f[4], 0, 255));
        record.hour = static_cast<int>(parse.Number(f[5], 0, 255));
        record.minute = static_cast<int>(parse.Number(f[6], 0, 255));
        state.log.push_back(record);
        break;
      }
    }
  }
  return state;
}

void DropOldestBeyondCapacity(TerminalState& state) {
  if (state.capacity == 0 || state.log.size() <= state.capacity) return;
  state.log.erase(state.log.begin(), state.log.begin() + static_cast<std::ptrdiff_t>(
                                                             state.log.size() - state.capacity));
}

std::string FormatState(const TerminalState& state) {
  std::string out;
  out.reserve(64 + state.users.size() * 48 + state.log.size() * 28);
  out += "[terminal]\nmachine=";
  AppendNumber(out, state.machineNumber);
  out += "\nclockoffset=";
  AppendNumber(out, state.clockOffset);
  if (!state.identity.empty()) out += "\nidentity=" + CleanField(state.identity);
  if (state.capacity > 0) {
    out += "\ncapacity=";
    AppendNumber(out, static_cast<std::int64_t>(state.capacity));
  }
  out += "\n[users]\n";
  for (const auto& [enroll, user] : state.users) {
    AppendNumber(out, enroll);
    out += '\t';
    out += CleanField(user.name);
    out += '\t';
    out += CleanField(user.password);
    out += '\t';
    AppendNumber(out, user.privilege);
    out += user.enabled ? "\t1\n" : "\t0\n";
  }
  out += "[templates]\n";
  for (const auto& [key, text] : state.templates) {
    AppendNumber(out, key.first);
    out += '\t';
    AppendNumber(out, key.second);
    out += '\t';
    out += CleanField(text);
    out += '\n';
  }
  out += "[log]\n";
  for (const wire::LogRecord& r : state.log) {
    AppendLogLine(out, r);
    out += '\n';
  }
  return out;
}

std::string FormatLogLine(const wire::LogRecord& record) {
  std::string line;
  AppendLogLine(line, record);
  return line;
}

bool LoadStateFile(const std::string& path, TerminalState& state) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  state = ParseState(bytes, path);
  return true;
}

void SaveStateFile(const std::string& path, const TerminalState& state) {
  WriteFileAtomically(path, FormatState(state));
}

}  // namespace miravel::emulator
