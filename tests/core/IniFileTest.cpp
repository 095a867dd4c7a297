#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/AppError.h"
#include "core/DeviceSettings.h"
#include "core/InPlaceRewrite.h"
#include "core/IniFile.h"
#include "core/Utf8.h"
#include "tests/core/IniTestFiles.h"
#include "tests/support/TempFolder.h"

namespace miravel {
namespace {

using namespace std::string_literals;
using test::FileExists;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

class IniFileTest : public ::testing::Test {
 protected:
  IniFile& Load(const std::string& bytes) {
    WriteFile(path_, bytes);
    ini_ = std::make_unique<IniFile>(path_);
    return *ini_;
  }
  // What a later run of the program would read from the disk.
  std::string Reread(const std::string& section, const std::string& key) const {
    return IniFile(path_).ReadString(section, key, "<none>");
  }

  TempFolder dir_;
  const std::string path_ = dir_ / "test.ini";
  std::unique_ptr<IniFile> ini_;
};

TEST_F(IniFileTest, HandEditedFileReadsAsWindowsReadsIt) {
  IniFile& ini = Load(kHandEdited);
  EXPECT_EQ(ini.ReadString("ayarlar", "dosya", "-"), "C:\\kayit\\tr500.txt");
  EXPECT_EQ(ini.ReadString("AYARLAR", "SilKontrol", "-"), "0");
  EXPECT_EQ(ini.ReadString("ayarlar", "# not a comment", "-"), "yes");
  EXPECT_EQ(ini.ReadString("ayarlar", "next", "-"), "after a lone CR");
  // The header without ']' opens cihaz1; its first adi wins over ADI and
  // over the second cihaz1 section, whose keys are never seen.
  EXPECT_EQ(ini.ReadString("cihaz1", "adi", "-"), "Kapı 1");
  EXPECT_EQ(ini.ReadString("cihaz1", "extra", "-"), "-");
  // A line without '=' is no key.
  EXPECT_FALSE(ini.KeyExists("cihaz1", "flagonly"));
  EXPECT_EQ(ini.ReadString("cihaz1", "flagonly", "-"), "-");
  EXPECT_FALSE(ini.KeyExists("cihaz1", "; comment inside"));
  // An empty first section still wins over a later one with keys.
  EXPECT_TRUE(ini.SectionExists("Empty"));
  EXPECT_EQ(ini.ReadString("empty", "x", "-"), "-");
  // Lines before the first header belong to no section.
  EXPECT_FALSE(ini.SectionExists(""));
  EXPECT_EQ(ini.ReadString("", "stray", "-"), "-");
  EXPECT_FALSE(ini.SectionExists("cihaz2"));
}

// Several keys read at once read as each read alone, from the bytes and
// with writes of a group not yet on disk.
TEST_F(IniFileTest, KeysReadTogetherReadAsEachAlone) {
  IniFile& ini = Load(kHandEdited);
  const std::vector<IniFile::KeyToRead> keys = {{"DOSYA", 3}, {"adi", 100},  {"flagonly", 100},
                                                {"x", 100},   {"next", 100}, {"extra", 100}};
  const auto expectSame = [&](const char* section) {
    const auto values = ini.ReadKeys(section, keys);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      EXPECT_EQ(values[i].value_or("-"),
                ini.ReadString(section, keys[i].key, "-", keys[i].maxChars))
          << section << "/" << keys[i].key;
    }
  };
  for (const char* section : {"ayarlar", "cihaz1", "empty", "yok"}) expectSame(section);
  IniWriteGroup group(ini);
  ini.WriteString("cihaz1", "extra", "yeni");
  ini.WriteString("ayarlar", "next", "sonra");
  for (const char* section : {"ayarlar", "cihaz1"}) expectSame(section);
}

TEST_F(IniFileTest, LineWithoutEqualsIsNoKeyButStandsAmongTheKeys) {
  const std::string original =
      "[cihaz1]\r\nadi\r\nipadres=10.0.0.1\r\n; not a key\r\n[cihaz2]\r\n  adi \r\n";
  IniFile& ini = Load(original);
  EXPECT_FALSE(ini.KeyExists("cihaz1", "adi"));
  EXPECT_EQ(ini.ReadString("cihaz2", "adi", "-"), "-");
  const DeviceList devices = LoadDeviceList(ini);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].name, "deneme");
  EXPECT_EQ(devices[1].name, "deneme");

  // The name becomes a key line after the bare line; every other byte stays.
  ini.WriteString("cihaz2", "adi", "Kapı 2");
  EXPECT_EQ(ReadFile(path_), original + "adi=Kap\xFD 2\r\n");
  EXPECT_EQ(ini.ReadString("cihaz2", "adi", "-"), "Kapı 2");
}

TEST_F(IniFileTest, AnEditByAnotherProgramIsReadAndKeptByTheNextWrite) {
  IniFile& ini = Load("[ayarlar]\r\ndosya=a.txt\r\n");
  const std::string edited = "[ayarlar]\r\ndosya=elle.txt\r\n; elle\r\n";
  WriteFile(path_, edited);
  EXPECT_EQ(ini.ReadString("ayarlar", "dosya", "-"), "elle.txt");
  WriteFile(path_, edited + "[cihaz1]\r\nadi=Kap\xFD\r\n");
  ini.WriteString("ayarlar", "silkontrol", "0");
  EXPECT_EQ(ReadFile(path_),
            "[ayarlar]\r\ndosya=elle.txt\r\nsilkontrol=0\r\n; elle\r\n[cihaz1]\r\nadi=Kap\xFD\r\n");
  EXPECT_EQ(ini.ReadString("cihaz1", "adi", "-"), "Kapı");

  // Inside a write group its pending changes win; the edit made meanwhile is
  // replaced by the group's commit.
  {
    IniWriteGroup group(ini);
    ini.WriteString("ayarlar", "dosya", "grup.txt");
    WriteFile(path_, "[ayarlar]\r\ndosya=sonra.txt\r\n");
    EXPECT_EQ(ini.ReadString("ayarlar", "dosya", "-"), "grup.txt");
  }
  EXPECT_EQ(Reread("ayarlar", "dosya"), "grup.txt");
  EXPECT_EQ(Reread("cihaz1", "adi"), "Kapı");

  std::filesystem::remove(path_);
  EXPECT_FALSE(ini.SectionExists("ayarlar"));
  // Through a symbolic link, an edit of the file it points to counts.
  WriteFile(dir_ / "hedef.ini", "[s]\r\nk=1\r\n");
  std::filesystem::create_symlink(dir_ / "hedef.ini", path_);
  EXPECT_EQ(ini.ReadString("s", "k", "-"), "1");
  WriteFile(dir_ / "hedef.ini", "[s]\r\nk=22\r\n");
  EXPECT_EQ(ini.ReadString("s", "k", "-"), "22");
}

TEST_F(IniFileTest, ValuesAreTrimmedAndLoseOneMatchingPairOfQuotes) {
  IniFile& ini = Load(
      "[q]\na=\"quoted\"\nb='single'\nc=\"mixed'\nd=\"\ne=\"\"\nf= \" in \" \t\n"
      "g=x=y\nh=\n \ti \t= v \t\nj=''x''\r\n[ spaced name ]\r\nk=1");
  const std::pair<const char*, const char*> expected[] = {
      {"a", "quoted"}, {"b", "single"}, {"c", "\"mixed'"}, {"d", "\""}, {"e", ""},
      {"f", " in "},   {"g", "x=y"},    {"h", ""},         {"i", "v"},  {"j", "'x'"}};
  for (const auto& [key, value] : expected) EXPECT_EQ(ini.ReadString("q", key, "-"), value) << key;
  EXPECT_EQ(ini.ReadString("spaced name", "k", "-"), "1");
  EXPECT_EQ(ini.ReadString("  Spaced Name\t", " K ", "-"), "1");
}

TEST_F(IniFileTest, ReadLimitIsPerCallAndCountsCharacters) {
  std::string bytes(3000, '\xFE');  // 'ş', two bytes each in memory
  IniFile& ini = Load("[p]\r\nparmakizi0=" + bytes + "\r\n");
  const std::string cut = ini.ReadString("p", "parmakizi0", "", 2047);
  EXPECT_EQ(CharCount(cut), 2047u);
  EXPECT_EQ(cut.size(), 2 * 2047u);
  EXPECT_EQ(CharCount(ini.ReadString("p", "parmakizi0", "")), 3000u);
  EXPECT_EQ(ini.ReadString("p", "missing", "çok uzun", 3), "çok");
}

TEST_F(IniFileTest, WriteReplacesInPlaceAndPlacesNewLinesAsWindowsDoes) {
  IniFile& ini = Load(kHandEdited);
  std::string expected = kHandEdited;

  // An existing key keeps its place and its spelling; nothing else changes.
  ini.WriteString("ayarlar", "DOSYA", "D:\\yeni.txt");
  ReplaceOnce(expected, "  Dosya = C:\\kayit\\tr500.txt  \r\n", "Dosya=D:\\yeni.txt\r\n");
  EXPECT_EQ(ReadFile(path_), expected);

  // A new key follows the last key line, before the blank and comment lines.
  ini.WriteString("Ayarlar", "yeni", "1");
  InsertAfter(expected, "next=after a lone CR\n", "yeni=1\r\n");
  EXPECT_EQ(ReadFile(path_), expected);

  // The first of two cihaz1 sections takes it, after its bare line "flagonly".
  ini.WriteString("CIHAZ1", "gcdurum", "Her Zaman Giriş");
  InsertAfter(expected, "flagonly\r\n", "gcdurum=Her Zaman Giri\xFE\r\n");
  EXPECT_EQ(ReadFile(path_), expected);

  // A section with no keys gets its first key right after its header.
  ini.WriteString("empty", "x", "2");
  InsertAfter(expected, "[empty]\r\n", "x=2\r\n");
  EXPECT_EQ(ReadFile(path_), expected);

  // A new section goes at the end; the missing final line end comes first.
  ini.WriteString("cihaz2", "adi", "Kapı 2");
  expected += "\r\n[cihaz2]\r\nadi=Kap\xFD 2\r\n";
  EXPECT_EQ(ReadFile(path_), expected);

  // The name of a bare line is a new key; the bare line stays.
  ini.WriteString("cihaz1", "FLAGONLY", "on");
  InsertAfter(expected, "gcdurum=Her Zaman Giri\xFE\r\n", "FLAGONLY=on\r\n");
  EXPECT_EQ(ReadFile(path_), expected);

  EXPECT_EQ(Reread("ayarlar", "dosya"), "D:\\yeni.txt");
  EXPECT_EQ(Reread("cihaz1", "gcdurum"), "Her Zaman Giriş");
  EXPECT_EQ(Reread("empty", "x"), "2");
  EXPECT_EQ(Reread("cihaz2", "adi"), "Kapı 2");
  EXPECT_EQ(Reread("cihaz1", "flagonly"), "on");
}

TEST_F(IniFileTest, EraseRemovesHeadersAndKeysOfEverySectionOfTheNameOnly) {
  IniFile& ini = Load(kHandEdited);
  ini.EraseSection("Cihaz1");
  std::string expected = kHandEdited;
  for (const char* line :
       {"[cihaz1\r\n", "adi = 'Kap\xFD 1'\r\n", "ADI=second\r\n", "flagonly\r\n",
        "[ cihaz1 ] trailing text\r\n", "adi=ignored\r\n", "extra=only in the second\r\n"}) {
    ReplaceOnce(expected, line, "");
  }
  EXPECT_EQ(ReadFile(path_), expected);
  EXPECT_FALSE(ini.SectionExists("cihaz1"));
  EXPECT_FALSE(ini.KeyExists("cihaz1", "extra"));

  // Written again, it is a new section at the end; the kept comment lines
  // now trail ayarlar, whose new keys still go before them.
  ini.WriteString("cihaz1", "adi", "yeni");
  ini.WriteString("ayarlar", "son", "1");
  InsertAfter(expected, "next=after a lone CR\n", "son=1\r\n");
  expected += "\r\n[cihaz1]\r\nadi=yeni\r\n";
  EXPECT_EQ(ReadFile(path_), expected);

  ini.EraseSection("not there");
  EXPECT_EQ(ReadFile(path_), expected);
}

TEST_F(IniFileTest, LineEndsOfEveryKindAndAMissingLastOne) {
  IniFile& ini = Load("[s]\ra=1\nb=2\r\n\r\rc=3\n[t]\r\nd=4");
  EXPECT_EQ(ini.ReadString("s", "a", "-"), "1");
  EXPECT_EQ(ini.ReadString("s", "b", "-"), "2");
  EXPECT_EQ(ini.ReadString("s", "c", "-"), "3");
  EXPECT_EQ(ini.ReadString("t", "d", "-"), "4");
  ini.WriteString("t", "e", "5");
  EXPECT_EQ(ReadFile(path_), "[s]\ra=1\nb=2\r\n\r\rc=3\n[t]\r\nd=4\r\ne=5\r\n");
}

TEST_F(IniFileTest, EveryCodePageByteInAValueSurvivesARoundTrip) {
  std::string value = "<";
  for (int b = 1; b < 256; ++b) {
    if (b != '\r' && b != '\n') value.push_back(static_cast<char>(b));
  }
  value += ">";
  const std::string original = "[s]\r\nham=" + value + "\r\n";
  IniFile& ini = Load(original);
  ini.WriteString("s", "kopya", ini.ReadString("s", "ham", ""));
  EXPECT_EQ(ReadFile(path_), original + "kopya=" + value + "\r\n");
}

TEST_F(IniFileTest, ValuesCannotBreakOutOfTheirLine) {
  IniFile& ini = Load("");
  ini.WriteString("personel", "isim", "Ali\r\n[cihaz9]\radi=x\0y\n"s);
  EXPECT_EQ(ReadFile(path_), "[personel]\r\nisim=Ali  [cihaz9] adi=x y \r\n");
  EXPECT_FALSE(IniFile(path_).SectionExists("cihaz9"));
  EXPECT_EQ(ini.ReadString("personel", "isim", ""), "Ali  [cihaz9] adi=x y");
}

TEST_F(IniFileTest, NamesThatWouldReadBackAsSomethingElseAreRefused) {
  IniFile ini(path_);
  const std::pair<std::string, std::string> refused[] = {
      {"a]b", "k"}, {"a\nb", "k"}, {"a\rb", "k"}, {"a\0b"s, "k"}, {"s", "k=x"}, {"s", "[k"},
      {"s", ";k"},  {"s", ""},     {"s", " \t"},  {"s", "k\n"},   {"s", "k\0"s}};
  for (const auto& [section, key] : refused) {
    EXPECT_THROW(ini.WriteString(section, key, "v"), AppError) << section << "/" << key;
  }
  EXPECT_FALSE(FileExists(path_));
  // Blanks around a name are dropped, as a reload would drop them.
  ini.WriteString(" s\t", " k ", "v");
  EXPECT_EQ(ReadFile(path_), "[s]\r\nk=v\r\n");
  EXPECT_EQ(ini.ReadString("s", "k", "-"), "v");
}

TEST_F(IniFileTest, MissingFileReadsEmptyAndIsCreatedByTheFirstWrite) {
  IniFile ini(path_);
  EXPECT_FALSE(ini.SectionExists("s"));
  EXPECT_EQ(ini.ReadString("s", "k", "varsayılan"), "varsayılan");
  ini.EraseSection("s");
  EXPECT_FALSE(FileExists(path_));
  ini.WriteString("s", "k", "v");
  EXPECT_EQ(ReadFile(path_), "[s]\r\nk=v\r\n");
  EXPECT_EQ(IniFile(dir_ / "no/such/folder.ini").ReadString("s", "k", "-"), "-");
}

TEST_F(IniFileTest, WriteGroupCommitsOnceAtTheOutermostEnd) {
  IniFile& ini = Load("[s]\r\na=1\r\n");
  {
    IniWriteGroup outer(ini);
    ini.WriteString("s", "a", "2");
    {
      IniWriteGroup inner(ini);
      ini.WriteString("t", "b", "3");
      ini.EraseSection("s");
      ini.WriteString("s", "c", "4");
    }
    EXPECT_EQ(ReadFile(path_), "[s]\r\na=1\r\n");   // nothing on disk yet
    EXPECT_EQ(ini.ReadString("t", "b", "-"), "3");  // but the writes are seen
    EXPECT_EQ(ini.ReadString("s", "a", "-"), "-");
  }
  EXPECT_EQ(ReadFile(path_), "[t]\r\nb=3\r\n[s]\r\nc=4\r\n");
}

struct Write {
  std::string section;
  std::string key;
  std::string value;
};

// A small commit is spliced into the bytes held and their index is shifted;
// a big one writes the file afresh. Commit by commit, the splices must give
// the file one big commit writes, and read what a fresh read of the disk does.
TEST_F(IniFileTest, SmallCommitsWriteAndReadWhatOneBigCommitDoes) {
  std::string many = "\r\n[cok]\r\n";
  std::vector<Write> manyWrites;  // more than a small commit takes
  for (int key = 0; key < 20; ++key) {
    many += "k" + std::to_string(key) + "=" + std::to_string(key) + "\r\n";
    manyWrites.push_back({"cok", "k" + std::to_string(key), "yeni"});
  }
  const std::string start =
      kHandEdited + many + "[uzun]\r\nv=" + std::string(5000, 'u') + "\r\n[son]\r\nz=9";
  const std::vector<std::vector<Write>> commits = {
      {{"ayarlar", "DOSYA", "C:\\yeni\\yol\\daha\\uzun\\tr500.txt"}},
      {{"cihaz1", "adi", "K"}},
      {{"son", "z", "on"}, {"son", "yeni", "1"}},  // the last line, then after it
      {{"empty", "x", "2"}, {"cihaz1", "flagonly", "3"}},
      {{"Ayarlar", "next", ""}, {"ayarlar", "a", "1"}, {"ayarlar", "b", "2"}, {"uzun", "v", "w"}},
      {{"son", "z", std::string(300, 'z')}, {"ayarlar", "silkontrol", "1"}},
      {{"cihaz1", "adi", "Kapı 1 ve 2"}, {"cihaz1", "extra", "yok"}, {"son", "yeni", ""}},
      manyWrites,
      {{"uzun", "v", std::string(6000, 'v')}, {"ayarlar", "a", "-"}, {"son", "sonra", "9"}},
      {{"cok", "k3", "3"}, {"empty", "x", "5"}},
  };
  const std::string bigPath = dir_ / "big.ini";
  WriteFile(bigPath, start);
  IniFile& small = Load(start);
  IniFile big(bigPath);
  auto bigCommit = std::make_unique<IniWriteGroup>(big);
  for (const auto& commit : commits) {
    {
      IniWriteGroup group(small);
      for (const Write& write : commit) small.WriteString(write.section, write.key, write.value);
    }
    for (const Write& write : commit) big.WriteString(write.section, write.key, write.value);
    const IniFile disk(path_);
    for (const auto& each : commits) {
      for (const Write& write : each) {
        EXPECT_EQ(small.ReadString(write.section, write.key, "-"),
                  disk.ReadString(write.section, write.key, "-"))
            << write.section << "/" << write.key;
      }
    }
  }
  bigCommit.reset();
  EXPECT_EQ(ReadFile(path_), ReadFile(bigPath));
}

struct CommandStopped {};

TEST_F(IniFileTest, WriteGroupEndedByAnErrorKeepsWhatWasWritten) {
  IniFile& ini = Load("[s]\r\na=1\r\n");
  EXPECT_THROW(
      {
        IniWriteGroup group(ini);
        ini.WriteString("s", "a", "2");
        ini.WriteString("s", "b", "3");
        throw CommandStopped();
      },
      CommandStopped);
  EXPECT_EQ(ReadFile(path_), "[s]\r\na=2\r\nb=3\r\n");
}

// A store of megabytes takes a card number where it stands, filled with
// blanks; a longer name, and anything a stopped rewrite left, end as whole files.
TEST_F(IniFileTest, ABigFileTakesAShortEditWhereItStandsAndALongOneByReplacement) {
  std::string bytes;
  for (int n = 0; bytes.size() < (2 << 20); ++n) {
    bytes += "[" + std::to_string(n) + "]\r\nisim=Kişi\r\nkartno=123456\r\nparmakizi0=" +
             std::string(1200, 'a') + "\r\n";
  }
  IniFile& ini = Load(bytes);
  struct stat before {};
  ASSERT_EQ(::stat(path_.c_str(), &before), 0);
  ini.WriteString("7", "kartno", "99");
  struct stat after {};
  ASSERT_EQ(::stat(path_.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  std::string expected = bytes;
  const std::size_t line = expected.find("kartno=", expected.find("[7]\r\n"));
  expected.replace(line, 13, "kartno=99    ");
  EXPECT_EQ(ReadFile(path_), expected);
  EXPECT_EQ(ini.ReadString("7", "kartno", ""), "99");
  EXPECT_EQ(Reread("7", "kartno"), "99");
  EXPECT_FALSE(FileExists(InPlaceNotePath(path_)));

  ini.WriteString("7", "isim", "Çok Daha Uzun Bir Ad");
  ASSERT_EQ(::stat(path_.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_EQ(Reread("7", "isim"), "Çok Daha Uzun Bir Ad");
  EXPECT_EQ(Reread("7", "kartno"), "99");

  // A rewrite stopped halfway by a power loss: the next read completes it.
  ini_.reset();
  const std::string now = ReadFile(path_);
  const std::size_t card = now.find("kartno=", now.find("[9]\r\n"));
  const BytePatch patch{card, now.substr(card, 13), "kartno=4     "};
  std::string torn = now;
  torn.replace(card, 8, patch.after.substr(0, 8));
  WriteFile(path_, torn);
  WriteFile(InPlaceNotePath(path_), InPlaceNoteText(now.size(), {patch}));
  EXPECT_EQ(Reread("9", "kartno"), "4");
  EXPECT_FALSE(FileExists(InPlaceNotePath(path_)));
  // A note cut short, or one for bytes another program has changed since,
  // is dropped and the file read as it is.
  const std::string stale = InPlaceNoteText(now.size(), {{card, "kartno=77    ", "kartno=5     "}});
  for (const std::string& note : {stale, stale.substr(0, stale.size() - 3)}) {
    WriteFile(InPlaceNotePath(path_), note);
    EXPECT_EQ(Reread("9", "kartno"), "4");
    EXPECT_FALSE(FileExists(InPlaceNotePath(path_)));
  }
}

}  // namespace
}  // namespace miravel
