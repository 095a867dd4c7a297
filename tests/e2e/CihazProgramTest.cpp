// miravel-cihaz as an office runs it, against emulated terminals: clocks read
// and set, connections tested, administrators cleared and a terminal reset.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "emulator/TerminalState.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"

namespace miravel::e2e {
namespace {

using test::EmulatorProcess;
using test::TempFolder;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;

ProgramResult Cihaz(const std::string& folder, const std::vector<std::string>& arguments) {
  return RunInFolder(CihazPath(), folder, arguments);
}

// What the terminal holds once it is done with every connection before.
emulator::TerminalState StateOf(EmulatorProcess& terminal, const std::string& path) {
  terminal.AwaitEarlierConnections();
  emulator::TerminalState state;
  EXPECT_TRUE(emulator::LoadStateFile(path, state));
  return state;
}

// A terminal whose clock runs `offset` seconds off this computer's.
std::string Drifted(const TempFolder& folder, const std::string& name, std::int64_t offset) {
  emulator::TerminalState state;
  state.clockOffset = offset;
  emulator::SaveStateFile(folder / name, state);
  return folder / name;
}

TEST(CihazProgramTest, FindsEachTerminalsDriftAndMendsItOnlyWhereItIsOffEnough) {
  TempFolder folder;
  const std::string late = Drifted(folder, "geri.txt", -95);
  const std::string near = Drifted(folder, "yakin.txt", 5);
  EmulatorProcess lateTerminal({"--listen", "127.0.0.1:0", "--state", late});
  EmulatorProcess nearTerminal({"--listen", "127.0.0.1:0", "--state", near});
  const DeadPort dead;
  WriteSettings(folder.Path(), folder / "tr500.txt", false,
                {EthernetRow("Geri", lateTerminal.Port()),
                 EthernetRow("Yakın", nearTerminal.Port()), EthernetRow("Kapalı", dead.Port())});

  // This computer's clock is read just after the terminal's: a second may tick between.
  ProgramResult result = Cihaz(folder.Path(), {"--hepsi", "saat"});
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_THAT(result.out, ContainsRegex("^1 Geri: cihaz [0-9/]{10}  [0-9:]{8}, bilgisayar "
                                        "[0-9/]{10}  [0-9:]{8}, fark -9[456] sn\n"));
  EXPECT_THAT(result.out, ContainsRegex("\n2 Yakın: cihaz .*, fark \\+[456] sn\n"));
  EXPECT_THAT(result.out, HasSubstr("\n3 Kapalı: Bağlantı Kurulamadı\n"));

  result = Cihaz(folder.Path(), {"--cihaz", "2,1", "saat-ayarla", "--fark-en-az", "30"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_THAT(result.out,
              ContainsRegex("^1 Geri: önce [0-9/]{10}  [0-9:]{8} \\(fark -9[456] sn\\), "
                            "sonra [0-9/]{10}  [0-9:]{8} \\(fark [-+]?[01] sn\\)\n2 "));
  EXPECT_THAT(result.out, ContainsRegex("\n2 Yakın: .*fark \\+[456] sn\\): fark 30 sn'den az, "
                                        "ayarlanmadı\n$"));
  EXPECT_LE(std::abs(StateOf(lateTerminal, late).clockOffset), 1);
  EXPECT_EQ(StateOf(nearTerminal, near).clockOffset, 5);
}

TEST(CihazProgramTest, TestsConnectionsByTheWindowsRules) {
  TempFolder folder;
  EmulatorProcess terminal({"--listen", "127.0.0.1:0"});
  const DeadPort dead;
  TerminalRow unknownType = EthernetRow("Kablosuz", terminal.Port());
  unknownType.connection = "Kablosuz";  // neither "Ethernet" nor "Comm Port": not tried
  WriteSettings(
      folder.Path(), folder / "tr500.txt", false,
      {EthernetRow("Merkez", terminal.Port()), EthernetRow("Kapalı", dead.Port()), unknownType});
  ProgramResult result = Cihaz(folder.Path(), {"--hepsi", "test"});
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_EQ(result.out,
            "1 Merkez: Bağlantı Kuruldu\n2 Kapalı: Bağlantı Kurulamadı\n"
            "3 Kablosuz: bağlantı tipi tanınmadı, denenmedi\n");
  result = Cihaz(folder.Path(), {"--cihaz", "1", "test"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST(CihazProgramTest, ErasingNeedsEvetAndOnlyThenClearsTheTerminal) {
  TempFolder folder;
  emulator::TerminalState held;
  held.users[7] = {"Şükrü", "1234", 3, true};
  held.users[42] = {"Ayşe", "", 0, true};
  held.templates[{7, 0}] = std::string(600, 'A');
  emulator::SaveStateFile(folder / "cihaz.txt", held);
  EmulatorProcess terminal({"--listen", "127.0.0.1:0", "--state", folder / "cihaz.txt"});
  WriteSettings(folder.Path(), folder / "tr500.txt", false,
                {EthernetRow("Merkez", terminal.Port())});

  // A row whose port is no number stops the command before any terminal is
  // touched, though the rows before it could be reached.
  const std::string settings = test::ReadFile(folder / "cihazlar.ini");
  test::WriteFile(folder / "cihazlar.ini",
                  settings + "[cihaz2]\r\nadi=Bozuk\r\nbaglantitipi=Ethernet\r\nipport=43x\r\n");
  ProgramResult result = Cihaz(folder.Path(), {"--hepsi", "sifirla", "--evet"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.err, "2 Bozuk: '43x' is not a valid integer value\n");
  EXPECT_EQ(StateOf(terminal, folder / "cihaz.txt"), held);
  test::WriteFile(folder / "cihazlar.ini", settings);

  for (const char* verb : {"yetkilileri-sil", "sifirla"}) {
    const ProgramResult result = Cihaz(folder.Path(), {"--hepsi", verb});
    EXPECT_EQ(result.exitCode, 2) << verb;
    EXPECT_THAT(result.out,
                HasSubstr("\n  1 Merkez (ag 127.0.0.1:" + std::to_string(terminal.Port()) + ")\n"));
    EXPECT_THAT(result.out, HasSubstr("--evet"));
    EXPECT_EQ(StateOf(terminal, folder / "cihaz.txt"), held) << verb;
  }

  result = Cihaz(folder.Path(), {"--hepsi", "yetkilileri-sil", "--evet"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "1 Merkez: Yetkililer silindi\n");
  emulator::TerminalState state = StateOf(terminal, folder / "cihaz.txt");
  EXPECT_EQ(state.users.size(), 2u);
  EXPECT_EQ(state.users[7].privilege, 0);

  result = Cihaz(folder.Path(), {"--cihaz", "1", "sifirla", "--evet"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "1 Merkez: Cihaz Sıfırlandı\n");
  state = StateOf(terminal, folder / "cihaz.txt");
  EXPECT_TRUE(state.users.empty());
  EXPECT_TRUE(state.templates.empty());
}

}  // namespace
}  // namespace miravel::e2e
