// A settings file in memory costs a small multiple of its size, whatever its
// lines look like: a file of a hundred megabytes must not take gigabytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "core/IniFile.h"
#include "tests/support/PeakMemory.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TimeLimits.h"

namespace miravel {
namespace {

// Smaller under the sanitizers, which make every byte slower; the ratio holds.
constexpr std::size_t kFileBytes = 100'000'000 / test::kTimeLimitScale;

// The growth of the peak resident size of a child process that loads the
// file, reads a key and writes one, in tenths of the file size; 255 when the
// child failed.
int PeakGrowthTenths(const std::string& path) {
  if (const pid_t child = ::fork(); child != 0) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
  }
  // Starts the peak afresh at what the child holds now.
  const int clear = ::open("/proc/self/clear_refs", O_WRONLY);
  if (clear >= 0 && ::write(clear, "5", 1) == 1) ::close(clear);
  const long before = test::PeakKilobytes(RUSAGE_SELF);
  IniFile ini(path);
  if (!ini.SectionExists("c7") || ini.ReadString("c7", "k1", "v") != "v") _exit(255);
  ini.WriteString("c7", "yeni", "1");
  const long growth = (test::PeakKilobytes(RUSAGE_SELF) - before) * 1024;
  _exit(static_cast<int>(std::min<long>(254, growth * 10 / static_cast<long>(kFileBytes))));
}

TEST(IniFileMemory, PeakStaysWithinSixTimesTheFileSize) {
  test::TempFolder dir;
  const std::string path = dir / "cihazlar.ini";
  // Sections of twenty short keys, and section headers only.
  for (const bool headersOnly : {false, true}) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string chunk;
    for (long n = 0, size = 0; size < static_cast<long>(kFileBytes); ++n) {
      chunk += headersOnly || n % 20 == 0
                   ? "[c" + std::to_string(headersOnly ? n : n / 20) + "]\r\n"
                   : "k" + std::to_string(n % 20) + "=v\r\n";
      if (chunk.size() >= (1 << 20)) {
        out << chunk;
        size += static_cast<long>(chunk.size());
        chunk.clear();
      }
    }
    out.close();
    const int tenths = PeakGrowthTenths(path);
    std::printf("[ memory ] %s: peak growth %.1f times the file\n",
                headersOnly ? "headers only" : "short lines", tenths / 10.0);
    EXPECT_LT(tenths, 60 * test::kMemoryLimitScale);
  }
}

}  // namespace
}  // namespace miravel
