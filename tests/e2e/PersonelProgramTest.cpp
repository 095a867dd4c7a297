// miravel-personel as an office runs it: its people and their fingerprints
// move from one emulated terminal to the store on this computer and on to a
// replacement terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "core/IniFile.h"
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

// Two nightly copies started in the same minute from two terminals that share
// half their staff: each person ends up listed once, with name and
// fingerprint, whichever copy came first.
TEST(PersonelProgramTest, TwoCopiesAtOnceIntoOneStoreKeepEveryPersonOnce) {
  constexpr int kUsers = 1500;
  TempFolder folder;
  std::filesystem::create_directory(folder / "personel");
  std::vector<std::unique_ptr<EmulatorProcess>> terminals;
  std::vector<TerminalRow> rows;
  for (int terminal = 0; terminal < 2; ++terminal) {
    emulator::TerminalState state;
    const int first = 1 + terminal * kUsers / 2;
    for (int enroll = first; enroll < first + kUsers; ++enroll) {
      state.users[enroll] = {"Kişi " + std::to_string(enroll), "", 0, true};
      state.templates[{enroll, 0}] = Template('A' + enroll % 26, 40);
    }
    const std::string stateFile = folder / ("t" + std::to_string(terminal) + ".txt");
    emulator::SaveStateFile(stateFile, state);
    terminals.push_back(std::make_unique<EmulatorProcess>(
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", stateFile}));
    rows.push_back(EthernetRow("T" + std::to_string(terminal + 1), terminals.back()->Port()));
  }
  WriteSettings(folder.Path(), folder / "tr500.txt", false, rows);

  std::vector<std::unique_ptr<ProgramRun>> runs;
  for (const char* row : {"1", "2"}) {
    const std::string output = folder / (std::string("run") + row);
    std::filesystem::create_directory(output);
    runs.push_back(std::make_unique<ProgramRun>(
        PersonelPath(),
        std::vector<std::string>{"--folder", folder.Path(), "--cihaz", row, "parmakizi-al"},
        output));
  }
  for (const auto& run : runs) {
    const int status = run->Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run->Stderr();
  }

  const std::string list = ReadFile(folder / "personel/personel.ini");
  std::multiset<std::string> listed;
  for (std::size_t pos = 0; pos < list.size(); pos = list.find('\n', pos) + 1) {
    listed.insert(list.substr(pos, list.find('\r', pos) - pos));
  }
  const int everyone = kUsers + kUsers / 2;
  EXPECT_EQ(listed.size(), static_cast<std::size_t>(everyone));
  const IniFile details(folder / "personel/parmakizi.ini");
  int whole = 0;
  for (int enroll = 1; enroll <= everyone; ++enroll) {
    const std::string perNo =
        std::string(5 - std::to_string(enroll).size(), '0') + std::to_string(enroll);
    whole += listed.count(perNo) == 1 &&
             details.ReadString(perNo, "isim", "") == "Kişi " + std::to_string(enroll) &&
             details.ReadString(perNo, "parmakizi0", "") == Template('A' + enroll % 26, 40);
  }
  EXPECT_EQ(whole, everyone);
}

// A service stop (SIGTERM) while a copy reads the terminal's users one by one:
// the program ends at the next person with status 3, soon, and whatever the
// store lists is whole.
TEST(PersonelProgramTest, SigtermMidCopyEndsWithStatusThreeAndWholePersons) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "personel");
  constexpr int kUsers = 2000;
  // Each answer waits, so that reading the users takes seconds.
  EmulatorProcess terminal({"--listen", "127.0.0.1:0", "--state", folder / "cihaz.txt",
                            "--generate-users", std::to_string(kUsers), "--generate-templates", "1",
                            "--delay-ms", "2"});
  WriteSettings(folder.Path(), folder / "tr500.txt", false, {EthernetRow("T", terminal.Port())});
  ProgramRun run(PersonelPath(), {"--folder", folder.Path(), "--cihaz", "1", "parmakizi-al"},
                 folder.Path());
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  ASSERT_EQ(::kill(run.Pid(), SIGTERM), 0);
  const auto stopped = std::chrono::steady_clock::now();
  const int status = run.Wait(std::chrono::seconds(20));
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(2));
  ASSERT_TRUE(WIFEXITED(status)) << run.Stderr();
  EXPECT_EQ(WEXITSTATUS(status), 3) << run.Stderr();

  const std::string list = std::filesystem::exists(folder / "personel/personel.ini")
                               ? ReadFile(folder / "personel/personel.ini")
                               : std::string();
  const IniFile details(folder / "personel/parmakizi.ini");
  int listed = 0;
  for (std::size_t pos = 0; pos < list.size(); pos = list.find('\n', pos) + 1) {
    const std::string perNo = list.substr(pos, list.find('\r', pos) - pos);
    ++listed;
    EXPECT_NE(details.ReadString(perNo, "parmakizi0", ""), "") << perNo;
  }
  EXPECT_LT(listed, kUsers);
}

}  // namespace
}  // namespace miravel::e2e
