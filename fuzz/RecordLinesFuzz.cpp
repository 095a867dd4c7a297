// A record file of any bytes, read line by line through a small buffer so
// that lines span buffer fills: the reader gives exactly the file's lines, and
// the time of a line is the same however it is worked out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/AppError.h"
#include "core/BufferedFile.h"
#include "fuzz/FuzzSupport.h"
#include "transfer/RecordLine.h"

namespace {

using miravel::fuzz::Check;

// The lines of the file as the record file defines them, worked out the plain way.
std::vector<std::string_view> SplitLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  while (!bytes.empty()) {
    const std::size_t newline = bytes.find('\n');
    std::string_view line = bytes.substr(0, newline);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (newline == std::string_view::npos) break;
    bytes.remove_prefix(newline + 1);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const miravel::fuzz::ScratchFolder folder;
  static const std::string path = folder / "tr500.txt";
  if (size == 0) return 0;
  // The first byte picks the buffer size, the rest is the file.
  const std::size_t bufferSize = 1 + data[0] % 64;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  miravel::fuzz::WriteFile(path, bytes);

  const std::vector<std::string_view> expected = SplitLines(bytes);
  miravel::LineReader reader(bufferSize);
  Check(reader.Open(path), "the record file does not open");
  miravel::ExistingLineClock clock;
  std::size_t count = 0;
  std::string_view line;
  while (reader.Next(line)) {
    Check(count < expected.size(), "more lines than the file holds");
    Check(line == expected[count], "a line read differs from the file's line");
    ++count;
    const std::int64_t time = miravel::ExistingLineTime(line);
    Check(clock.TimeOf(line) == time, "the remembered day gives another time");
    try {
      // A line that is valid as a new record has the same time either way.
      Check(miravel::NewLineTime(line) == time, "a valid line reads two ways");
    } catch (const miravel::AppError&) {
    }
  }
  Check(count == expected.size(), "lines of the file were not read");
  Check(reader.AtEnd(), "the reader stopped before the end");
  return 0;
}
