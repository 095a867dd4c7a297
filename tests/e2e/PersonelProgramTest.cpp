// miravel-personel as an office runs it: its people and their fingerprints
// move from one emulated terminal to the store on this computer and on to a
// replacement terminal.
#include <gtest/gtest.h>

#include <filesystem>

#include "emulator/TerminalState.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"

namespace miravel::e2e {
namespace {

using test::EmulatorProcess;
using test::ReadFile;
using test::TempFolder;

std::string Template(char letter, std::size_t length) {
  std::string text(length, letter);
  for (std::size_t i = 0; i < length; i += 7) text[i] = static_cast<char>('a' + i % 26);
  return text;
}

ProgramResult Personel(const std::string& folder, const std::vector<std::string>& arguments) {
  return RunInFolder(PersonelPath(), folder, arguments);
}

TEST(PersonelProgramTest, AnOfficeMovesFromOneTerminalThroughTheStoreToAnother) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "personel");
  emulator::TerminalState old;
  old.users[7] = {"Şükrü Çağlayan", "1234567", 3, true};
  old.users[42] = {"Ayşe", "", 0, true};
  old.users[1005] = {"İpek Gün", "99", 1, true};
  old.users[2000] = {"Parmaksız", "", 2, true};
  old.templates[{7, 0}] = Template('A', 1200);
  old.templates[{7, 1}] = Template('B', 1200);
  old.templates[{42, 0}] = Template('C', 900);
  old.templates[{1005, 4}] = Template('D', 600);  // a finger other than the first
  emulator::SaveStateFile(folder / "eski.txt", old);
  EmulatorProcess oldTerminal({"--listen", "127.0.0.1:0", "--state", folder / "eski.txt"});
  EmulatorProcess newTerminal({"--listen", "127.0.0.1:0", "--state", folder / "yeni.txt"});
  const DeadPort dead;
  WriteSettings(folder.Path(), folder / "tr500.txt", false,
                {EthernetRow("Eski", oldTerminal.Port()), EthernetRow("Yeni", newTerminal.Port()),
                 EthernetRow("Kapalı", dead.Port())});

  ProgramResult result = Personel(folder.Path(), {"--cihaz", "1", "al"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "4 kişinin bilgileri bilgisayara alındı\n");
  result = Personel(folder.Path(), {"--cihaz", "1", "parmakizi-al"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  result = Personel(folder.Path(), {"pc-liste"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string storeListing =
      "00007\tŞükrü Çağlayan\tSupervizor\t\t1\n"
      "00042\tAyşe\tNormal\t\t1\n"
      "01005\tİpek Gün\tKayıtçı\t\t1\n"
      "02000\tParmaksız\tYetkili\t\t0\n";
  EXPECT_EQ(result.out, storeListing);

  result = Personel(folder.Path(), {"--cihaz", "2", "parmakizi-gonder"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "4 kişinin parmak izleri cihaza gönderildi\n");
  result = Personel(folder.Path(), {"--cihaz", "2", "liste"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, storeListing);

  // Bad use and an unreachable terminal touch no file.
  const std::string list = ReadFile(folder / "personel/personel.ini");
  const std::string details = ReadFile(folder / "personel/parmakizi.ini");
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--cihaz", "1", "yedekle"},
        std::vector<std::string>{"--cihaz", "4", "al"},
        std::vector<std::string>{"--cihaz", "1", "al", "--per-no", "7,x"}}) {
    result = Personel(folder.Path(), bad);
    EXPECT_EQ(result.exitCode, 2) << bad[2];
    EXPECT_NE(result.err.find("Kullanım: miravel-personel"), std::string::npos) << result.err;
  }
  result = Personel(folder.Path(), {"--cihaz", "3", "parmakizi-al"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("Bağlantı Kurulamadı"), std::string::npos) << result.err;
  EXPECT_EQ(ReadFile(folder / "personel/personel.ini"), list);
  EXPECT_EQ(ReadFile(folder / "personel/parmakizi.ini"), details);

  oldTerminal.Stop();
  newTerminal.Stop();
  emulator::TerminalState moved;
  ASSERT_TRUE(emulator::LoadStateFile(folder / "yeni.txt", moved));
  EXPECT_EQ(moved.users, old.users);
  std::map<std::pair<int, int>, std::string> expected = old.templates;
  expected[{1005, 0}] = expected.at({1005, 4});  // templates land on fingers 0, 1, 2 …
  expected.erase({1005, 4});
  EXPECT_EQ(moved.templates, expected);
}

}  // namespace
}  // namespace miravel::e2e
