#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "core/IniFile.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TimeLimits.h"

namespace miravel {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A personnel detail file of the size the store reaches: 2,500 people with two
// templates of 1,000 characters each, about 5 MB. Loading it, a group of
// 10,000 writes and its commit, and 12,500 reads after it must each stay well
// within a second; a file scanned per lookup, rewritten per write or read
// again per read would take minutes.
TEST(IniFileSpeed, LargeDetailFileLoadsAndTakesAGroupOfWritesQuickly) {
  test::TempFolder dir;
  const std::string path = dir / "parmakizi.ini";
  const std::string templateText(1000, 'A');
  std::string bytes;
  for (int person = 0; person < 2500; ++person) {
    bytes += "[" + std::to_string(10000 + person) + "]\r\nisim=Personel " + std::to_string(person) +
             "\r\nyetki=Normal\r\nkartno=\r\nsifre=\r\nparmakizi0=" + templateText +
             "\r\nparmakizi1=" + templateText + "\r\n";
  }
  ASSERT_GT(bytes.size(), 5'000'000u);
  test::WriteFile(path, bytes);

  auto start = Clock::now();
  IniFile ini(path);
  const double load = SecondsSince(start);
  EXPECT_EQ(ini.ReadString("12499", "isim", ""), "Personel 2499");

  start = Clock::now();
  {
    IniWriteGroup group(ini);
    for (int person = 0; person < 2500; ++person) {
      const std::string section = std::to_string(10000 + person);
      ini.WriteString(section, "isim", "Yeni " + std::to_string(person));
      ini.WriteString(section, "kartno", std::to_string(person));
      ini.WriteString(section, "parmakizi2", templateText);
      ini.WriteString(section, "sifre", "1234");
    }
  }
  const double group = SecondsSince(start);

  start = Clock::now();
  for (int person = 0; person < 2500; ++person) {
    for (const char* key : {"isim", "yetki", "kartno", "sifre", "parmakizi0"}) {
      ini.ReadString(std::to_string(10000 + person), key, "");
    }
  }
  const double reads = SecondsSince(start);
  RecordProperty("load_ms", static_cast<int>(load * 1000));
  RecordProperty("group_ms", static_cast<int>(group * 1000));
  std::printf("load %.3f s, 10000 grouped writes with one commit %.3f s, 12500 reads %.3f s\n",
              load, group, reads);
  EXPECT_LT(load, 1.0 * test::kTimeLimitScale);
  EXPECT_LT(group, 1.0 * test::kTimeLimitScale);
  EXPECT_LT(reads, 1.0 * test::kTimeLimitScale);

  IniFile reloaded(path);
  EXPECT_EQ(reloaded.ReadString("12499", "isim", ""), "Yeni 2499");
  EXPECT_EQ(reloaded.ReadString("10000", "parmakizi2", ""), templateText);
  EXPECT_EQ(reloaded.ReadString("10000", "parmakizi0", ""), templateText);
}

}  // namespace
}  // namespace miravel
