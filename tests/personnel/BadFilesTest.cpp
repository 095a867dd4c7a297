// Files the office did not write: binary junk, no line end at all, the same
// section a thousand times, UTF-8 from a newer editor. Each loads what it can,
// first section and key of a name winning, and the next write changes only
// its own line: every other byte stays as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/AppError.h"
#include "core/DeviceSettings.h"
#include "core/IniFile.h"
#include "personnel/PersonnelStore.h"
#include "tests/support/TempFolder.h"

namespace miravel {
namespace {

using test::ReadFile;
using test::WriteFile;

// The file's lines, each with its line end (CR LF, LF, a lone CR or none).
std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  for (std::size_t pos = 0, end = 0; pos < bytes.size(); pos = end) {
    end = std::min(bytes.find_first_of("\r\n", pos), bytes.size());
    end += bytes.compare(end, 2, "\r\n") == 0 ? 2 : end < bytes.size() ? 1 : 0;
    lines.push_back(bytes.substr(pos, end - pos));
  }
  return lines;
}

// after is before with one line at most replaced, by the key's line (and its
// section's header when the section was new): the key's own old line, or a
// last line without line end that gets one.
void ExpectOnlyKeyLineChanged(const std::string& before, const std::string& after,
                              const std::string& header, const std::string& keyLine) {
  const std::vector<std::string> a = Lines(before), b = Lines(after);
  std::size_t head = 0, tail = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  while (tail < a.size() - head && tail < b.size() - head && a.rbegin()[tail] == b.rbegin()[tail]) {
    ++tail;
  }
  ASSERT_LE(a.size() - head - tail, 1u) << "more than one line changed";
  const std::string old = head + tail < a.size() ? a[head] : "";
  if (old.find_first_of("\r\n") != std::string::npos) {
    EXPECT_EQ(old.rfind(keyLine.substr(0, keyLine.find('=') + 1), 0), 0u) << old;
  }
  for (std::size_t i = head; i < b.size() - tail; ++i) {
    EXPECT_TRUE(b[i] == keyLine + "\r\n" || b[i] == header + "\r\n" || b[i] == old + "\r\n")
        << b[i];
  }
}

TEST(BadFilesTest, LoadWhatTheyCanAndKeepEveryByteOnTheNextWrite) {
  std::mt19937 random(7);
  std::string junk(64 * 1024, '\0');
  for (char& c : junk) c = static_cast<char>(random());
  std::string settingsTwice, detailsTwice, listTwice;
  for (int i = 0; i < 1000; ++i) {
    settingsTwice += "[ayarlar]\r\nsilkontrol=" + std::to_string(i % 2) +
                     "\r\n[cihaz1]\r\nadi=Kap\xFD " + std::to_string(i) + "\r\n";
    detailsTwice += "[00012]\r\nisim=Ali " + std::to_string(i) + "\r\n";
    listTwice += "00012\r\n";
  }
  const std::string mark = "\xEF\xBB\xBF";  // a UTF-8 editor's
  const struct {
    std::string kind, settings, details, list, device, person;
  } files[] = {
      {"binary", junk + "\r\n[cihaz1]\r\nadi=Kap\xFD\r\n" + junk,
       junk + "\r\n[00012]\r\nisim=Ali\r\n" + junk, junk, "Kapı", "Ali"},
      {"no line end", "[cihaz1] adi=Kap\xFD", "[00012] isim=Ali", "00012", "deneme", ""},
      {"duplicate sections", settingsTwice, detailsTwice, listTwice, "Kapı 0", "Ali 0"},
      {"UTF-8", mark + "[ayarlar]\r\ndosya=C:\\kay\xC4\xB1t.txt\r\n[cihaz1]\r\nadi=Kap\xC4\xB1\r\n",
       mark + "[00012]\r\nisim=Ay\xC5\x9F" + "e\r\n", mark + "00012\r\n00034\r\n", "KapÄ±",
       "AyÅŸe"},
  };
  for (const auto& bad : files) {
    SCOPED_TRACE(bad.kind);
    test::TempFolder folder;
    std::filesystem::create_directory(folder / "personel");
    WriteFile(folder / "cihazlar.ini", bad.settings);
    PersonnelStore store(folder.Path());
    WriteFile(store.DetailPath(), bad.details);
    WriteFile(store.ListPath(), bad.list);
    {
      IniFile settings(folder / "cihazlar.ini");
      const DeviceList devices = LoadDeviceList(settings);
      ASSERT_EQ(devices.size(), 1u);
      const AppSettings app = LoadAppSettings(settings);
      EXPECT_EQ(app.recordFilePath, bad.kind == "UTF-8" ? "C:\\kayÄ±t.txt" : kDefaultRecordFile);
      EXPECT_EQ(app.deleteAfterTransfer, bad.kind != "duplicate sections");
      EXPECT_EQ(devices[0].name, bad.device);
      WriteDeleteAfterTransfer(settings, false);
      EXPECT_EQ(LoadAppSettings(settings).recordFilePath, app.recordFilePath);
    }
    ExpectOnlyKeyLineChanged(bad.settings, ReadFile(folder / "cihazlar.ini"), "[ayarlar]",
                             "silkontrol=0");

    EXPECT_EQ(store.ReadPerson("00012").name, bad.person);
    store.WritePersonalField("00012", PersonalField::kCard, "77");
    EXPECT_EQ(store.ReadPerson("00012").cardNumber, "77");
    ExpectOnlyKeyLineChanged(bad.details, ReadFile(store.DetailPath()), "[00012]", "kartno=77");

    // The list is no INI file: junk stops its reading with a message.
    if (bad.kind == "binary") {
      EXPECT_THROW(store.ReadList(), AppError);
    } else {
      EXPECT_EQ(store.ReadList().front(), "00012");
    }
    store.AppendToList("00099");
    EXPECT_EQ(ReadFile(store.ListPath()),
              bad.list + (bad.list.back() == '\n' ? "" : "\r\n") + "00099\r\n");
  }
}

}  // namespace
}  // namespace miravel
