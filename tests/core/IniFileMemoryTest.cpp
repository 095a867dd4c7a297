// A settings file in memory costs a small multiple of its size, whatever its
// lines look like: a file of a hundred megabytes must not take gigabytes. A
// store of fingerprint templates, whose index is small beside its bytes, is
// held once, also while a whole commit replaces it.
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
// file, reads a key, writes one (a small commit) and erases a section (a
// whole one), in tenths of the file size; 255 when the
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
  ini.EraseSection("c8");
  if (ini.SectionExists("c8") || ini.ReadString("c7", "yeni", "") != "1") _exit(255);
  const long growth = (test::PeakKilobytes(RUSAGE_SELF) - before) * 1024;
  _exit(static_cast<int>(std::min<long>(254, growth * 10 / static_cast<long>(kFileBytes))));
}

TEST(IniFileMemory, PeakStaysWithinASmallMultipleOfTheFileSize) {
  test::TempFolder dir;
  const std::string path = dir / "cihazlar.ini";
  const std::string fingerprint(1200, 'F');
  // Sections of twenty short keys, section headers only, and sections of two
  // templates: the index of the first two weighs more than their bytes.
  struct Layout {
    const char* name;
    int limitTenths;
  };
  for (const Layout layout : {Layout{"short lines", 60}, Layout{"headers only", 60},
                              Layout{"templates", 15}}) {
    const std::string name = layout.name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string chunk;
    for (long n = 0, size = 0; size < static_cast<long>(kFileBytes); ++n) {
      if (name == "templates") {
        chunk += "[c" + std::to_string(n) + "]\r\nt0=" + fingerprint + "\r\nt1=" + fingerprint +
                 "\r\n";
      } else {
        chunk += name == "headers only" || n % 20 == 0
                     ? "[c" + std::to_string(name == "headers only" ? n : n / 20) + "]\r\n"
                     : "k" + std::to_string(n % 20) + "=v\r\n";
      }
      if (chunk.size() >= (1 << 20)) {
        out << chunk;
        size += static_cast<long>(chunk.size());
        chunk.clear();
      }
    }
    out.close();
    const int tenths = PeakGrowthTenths(path);
    std::printf("[ memory ] %s: peak growth %.1f times the file\n", layout.name, tenths / 10.0);
    EXPECT_LT(tenths, layout.limitTenths * test::kMemoryLimitScale) << layout.name;
  }
}

}  // namespace
}  // namespace miravel
