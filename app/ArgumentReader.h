#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/AppError.h"
#include "core/FolderPath.h"
#include "core/Numbers.h"

namespace miravel {

// Walks the arguments of a headless program: miravel-aktar,
// miravel-personel and miravel-cihaz read their options the same way and say the same when an
// option lacks its value.
class ArgumentReader {
 public:
  explicit ArgumentReader(const std::vector<std::string>& arguments) : arguments_(arguments) {}

  // The next argument; none once all are read.
  const std::string* Next() { return next_ < arguments_.size() ? &arguments_[next_++] : nullptr; }
  // The options every headless program takes: --help (or -h) and --folder
  // KLASÖR. Returns whether argument was one of them.
  bool TakeCommonOption(const std::string& argument, bool& help, std::string& folder) {
    if (argument == "--help" || argument == "-h") {
      help = true;
    } else if (argument == "--folder") {
      folder = Value();
    } else {
      return false;
    }
    return true;
  }
  // The value of the option Next just gave.
  const std::string& Value() {
    if (next_ >= arguments_.size()) throw AppError(arguments_[next_ - 1] + " bir değer bekliyor");
    return arguments_[next_++];
  }

 private:
  const std::vector<std::string>& arguments_;
  std::size_t next_ = 0;
};

// An argument that is neither an option the program knows nor its option's
// value: the program's one command word.
inline void TakeCommandWord(const std::string& argument, std::string& command) {
  if (argument.starts_with("-")) throw AppError("Bilinmeyen seçenek: " + argument);
  if (!command.empty()) throw AppError("Tek komut verilebilir: " + command + ", " + argument);
  command = argument;
}

// One verb of a program and its command word.
template <typename Verb>
struct NamedVerb {
  const char* name;
  Verb verb;
};

// The verb a command word names, from a program's table of them.
template <typename Verb, std::size_t Count>
Verb VerbNamed(const std::string& command, const NamedVerb<Verb> (&verbs)[Count]) {
  if (command.empty()) throw AppError("Komut verilmedi");
  for (const NamedVerb<Verb>& entry : verbs) {
    if (command == entry.name) return entry.verb;
  }
  throw AppError("Bilinmeyen komut: " + command);
}

// A list of device rows, "1,3,4", numbered from 1 (--only, --cihaz).
inline std::vector<int> ParseRowList(const std::string& text) {
  std::vector<int> rows;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::string item =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const int row = ParseInteger(item);
    if (row < 1) throw AppError("Geçersiz satır numarası: " + item);
    rows.push_back(row);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return rows;
}

// A --folder value as the programs join file names to it: ending in '/'
// (an empty value, the current folder, stays empty).
inline void EndFolderWithSlash(std::string& folder) {
  folder = PathInFolder(folder, "");
}

}  // namespace miravel
