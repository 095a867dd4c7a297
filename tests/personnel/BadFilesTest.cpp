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
  for (std::size_t pos = 0; pos < bytes.size();) {
    std::size_t end = bytes.find_first_of("\r\n", pos);
    end = end == std::string::npos             ? bytes.size()
          : bytes.compare(end, 2, "\r\n") == 0 ? end + 2
                                               : end + 1;
    lines.push_back(bytes.substr(pos, end - pos));
    pos = end;
  }
  return lines;
}

// after is before with at most one line changed: the key's own, replaced or
// added (under a new header when its section was missing); a last line
// without line end may have got one.
void ExpectOnlyKeyLineChanged(const std::string& before, const std::string& after,
                              const std::string& header, const std::string& keyLine) {
  const std::vector<std::string> a = Lines(before);
  const std::vector<std::string> b = Lines(after);
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
    ++tail;
  }
  const std::vector<std::string> removed(a.begin() + head, a.end() - tail);
  ASSERT_LE(removed.size(), 1u) << "more than one line changed";
  const std::string old = removed.empty() ? "" : removed.front();
  for (auto it = b.begin() + head; it != b.end() - tail; ++it) {
    EXPECT_TRUE(*it == keyLine + "\r\n" || *it == header + "\r\n" || *it == old + "\r\n")
        << "unexpected line: " << *it;
  }
  // The line replaced is the key's own, or the last one, which only got its line end.
  const bool hasEnd = !old.empty() && (old.back() == '\n' || old.back() == '\r');
  if (hasEnd) {
    EXPECT_EQ(old.rfind(keyLine.substr(0, keyLine.find('=') + 1), 0), 0u) << old;
  }
}

struct BadFile {
  const char* kind;
  std::string settings;  // cihazlar.ini
  std::string details;   // parmakizi.ini
  std::string list;      // personel.ini
};

std::vector<BadFile> BadFiles() {
  std::mt19937 random(7);
  std::string junk(64 * 1024, '\0');
  for (char& c : junk) c = static_cast<char>(random());
  std::string twiceOver;
  std::string detailsTwiceOver;
  std::string listTwiceOver;
  for (int i = 0; i < 1000; ++i) {
    twiceOver += "[ayarlar]\r\nsilkontrol=" + std::to_string(i % 2) +
                 "\r\n[cihaz1]\r\nadi=Kap\xFD " + std::to_string(i) + "\r\n";
    detailsTwiceOver += "[00012]\r\nisim=Ali " + std::to_string(i) + "\r\n";
    listTwiceOver += "00012\r\n";
  }
  const std::string bom = "\xEF\xBB\xBF";
  return {
      {"binary", junk + "\r\n[cihaz1]\r\nadi=Kap\xFD\r\n" + junk,
       junk + "\r\n[00012]\r\nisim=Ali\r\n" + junk, junk},
      {"no line end", "[cihaz1] adi=Kap\xFD", "[00012] isim=Ali", "00012"},
      {"duplicate sections", twiceOver, detailsTwiceOver, listTwiceOver},
      {"UTF-8", bom + "[ayarlar]\r\ndosya=C:\\kay\xC4\xB1t.txt\r\n[cihaz1]\r\nadi=Kap\xC4\xB1\r\n",
       bom + "[00012]\r\nisim=Ay\xC5\x9F"
             "e\r\n",
       bom + "00012\r\n00034\r\n"},
  };
}

TEST(BadFilesTest, LoadWhatTheyCanAndKeepEveryByteOnTheNextWrite) {
  for (const BadFile& bad : BadFiles()) {
    SCOPED_TRACE(bad.kind);
    test::TempFolder folder;
    std::filesystem::create_directory(folder / "personel");
    const std::string settingsPath = folder / "cihazlar.ini";
    WriteFile(settingsPath, bad.settings);
    PersonnelStore store(folder.Path());
    WriteFile(store.DetailPath(), bad.details);
    WriteFile(store.ListPath(), bad.list);

    {
      IniFile settings(settingsPath);
      const DeviceList devices = LoadDeviceList(settings);
      ASSERT_EQ(devices.size(), 1u);
      const AppSettings app = LoadAppSettings(settings);
      if (bad.kind == std::string("duplicate sections")) {
        EXPECT_EQ(devices[0].name, "Kapı 0");
        EXPECT_FALSE(app.deleteAfterTransfer);
      }
      if (bad.kind == std::string("UTF-8")) {
        EXPECT_NE(app.recordFilePath, kDefaultRecordFile);
      }
      WriteDeleteAfterTransfer(settings, true);
      EXPECT_TRUE(LoadAppSettings(settings).deleteAfterTransfer);
      EXPECT_EQ(LoadAppSettings(settings).recordFilePath, app.recordFilePath);
    }
    ExpectOnlyKeyLineChanged(bad.settings, ReadFile(settingsPath), "[ayarlar]", "silkontrol=1");

    const Person person = store.ReadPerson("00012");
    if (bad.kind != std::string("no line end")) {
      EXPECT_FALSE(person.name.empty());
    }
    store.WritePersonalField("00012", PersonalField::kCard, "77");
    EXPECT_EQ(store.ReadPerson("00012").cardNumber, "77");
    EXPECT_EQ(store.ReadPerson("00012").name, person.name);
    ExpectOnlyKeyLineChanged(bad.details, ReadFile(store.DetailPath()), "[00012]", "kartno=77");

    // The list is no INI file: junk stops its reading with a message.
    if (bad.kind == std::string("binary")) {
      EXPECT_THROW(store.ReadList(), AppError);
    } else {
      EXPECT_EQ(store.ReadList().front(), "00012");
    }
    store.AppendToList("00099");
    const std::string list = ReadFile(store.ListPath());
    EXPECT_EQ(list.substr(0, bad.list.size()), bad.list);
    EXPECT_EQ(list.substr(bad.list.size()),
              (bad.list.back() == '\n' ? "" : "\r\n") + std::string("00099\r\n"));
  }
}

}  // namespace
}  // namespace miravel
