// A settings file in memory costs a small multiple of its size, whatever its
// lines look like: a file of a hundred megabytes must not take gigabytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "core/IniFile.h"
#include "tests/support/PeakMemory.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TimeLimits.h"

namespace miravel {
namespace {

// The sanitizers make every byte slower; a smaller file keeps the ratio honest.
constexpr std::size_t kFileBytes = 100'000'000 / test::kTimeLimitScale;

// Writes lines from next() until the file holds kFileBytes, without holding it in memory.
std::size_t WriteLines(const std::string& path, const std::function<std::string(long)>& next) {
  std::ofstream out(path, std::ios::binary);
  std::string chunk;
  std::size_t size = 0;
  for (long n = 0; size < kFileBytes; ++n) {
    chunk += next(n);
    if (chunk.size() >= (1 << 20) || size + chunk.size() >= kFileBytes) {
      out << chunk;
      size += chunk.size();
      chunk.clear();
    }
  }
  return size;
}

// The growth of the peak resident size, in bytes, of a child process that
// loads the file, reads one key and writes one key; -1 when the child failed.
long PeakGrowthOfLoadReadWrite(const std::string& path, const std::string& section) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    // Starts the peak afresh at what the child holds now (Linux: "5" resets it).
    const int clear = ::open("/proc/self/clear_refs", O_WRONLY);
    if (clear >= 0) {
      (void)!::write(clear, "5", 1);
      ::close(clear);
    }
    const long before = test::PeakKilobytes(RUSAGE_SELF);
    long growth = -1;
    {
      IniFile ini(path);
      if (ini.ReadString(section, "k1", "yok") == "v" || ini.SectionExists(section)) {
        ini.WriteString(section, "yeni", "1");
        growth = (test::PeakKilobytes(RUSAGE_SELF) - before) * 1024;
      }
    }
    (void)!::write(fds[1], &growth, sizeof growth);
    ::_exit(0);
  }
  ::close(fds[1]);
  long growth = -1;
  if (::read(fds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return growth;
}

// Settings of many devices in short lines, and a file of section headers only.
TEST(IniFileMemory, PeakStaysWithinSixTimesTheFileSize) {
  test::TempFolder dir;
  const struct {
    const char* kind;
    std::function<std::string(long)> line;
    const char* section;
  } files[] = {
      {"short lines",
       [](long n) {
         return n % 20 == 0 ? "[c" + std::to_string(n / 20) + "]\r\n"
                            : "k" + std::to_string(n % 20) + "=v\r\n";
       },
       "c7"},
      {"headers only", [](long n) { return "[a" + std::to_string(n) + "]\r\n"; }, "a7"},
  };
  for (const auto& file : files) {
    const std::string path = dir / "cihazlar.ini";
    const auto start = std::chrono::steady_clock::now();
    const std::size_t size = WriteLines(path, file.line);
    const long growth = PeakGrowthOfLoadReadWrite(path, file.section);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double ratio = static_cast<double>(growth) / static_cast<double>(size);
    std::printf("[ memory ] %s: %zu bytes, peak growth %ld kB, %.2f times, %.1f s\n", file.kind,
                size, growth / 1024, ratio, seconds);
    ASSERT_GT(growth, 0) << file.kind;
    EXPECT_LT(ratio, 6.0 * test::kMemoryLimitScale) << file.kind;
  }
}

}  // namespace
}  // namespace miravel
