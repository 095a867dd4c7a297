// miravel-personel's own rules, with the fake terminal: what a script sees in
// the exit status and the output when the terminal refuses or a person is
// not there.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "app/PersonelProgram.h"
#include "core/StopRequest.h"
#include "personnel/PersonnelStore.h"
#include "personnel/StoreLock.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/TempFolder.h"

namespace miravel {
namespace {

using test::ReadFile;
using test::WriteFile;

class PersonelProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder / "personel");
    WriteFile(folder / "cihazlar.ini",
              "[cihaz1]\r\nadi=Kapi\r\nbaglantitipi=Ethernet\r\nmakineno=3\r\n"
              "ipadres=127.0.0.1\r\nipport=4370\r\n");
  }

  int Run(std::vector<std::string> arguments,
          std::chrono::milliseconds storeWaitLimit = kStoreLockWaitLimit,
          const StopRequest* stop = nullptr) {
    out.str("");
    err.str("");
    arguments.insert(arguments.begin(), {"--folder", folder.Path()});
    PersonelOptions options = ParsePersonelArguments(arguments);
    options.storeWaitLimit = storeWaitLimit;
    return RunPersonel(options, terminal, out, err, false, stop);
  }

  test::TempFolder folder;
  test::FakeTerminal terminal;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(PersonelProgramTest, RefusedSendsAndAbsentPersonsEndWithStatusTwo) {
  WriteFile(folder / "personel/personel.ini", "00005\r\n00006\r\n");
  WriteFile(folder / "personel/parmakizi.ini",
            "[00005]\r\nparmakizi0=" + std::string(20, 'a') +
                "\r\n[00006]\r\nparmakizi0=" + std::string(20, 'b') + "\r\n");
  terminal.refusedEnrolls = {6};
  EXPECT_EQ(Run({"--cihaz", "1", "parmakizi-gonder"}), kPersonelStopped);
  EXPECT_EQ(out.str(), "1 kişinin parmak izleri cihaza gönderildi\n");
  EXPECT_EQ(err.str(), "1 kişinin parmak izi cihaza gönderilemedi\n");
  EXPECT_EQ(terminal.calls.at(1), "RegisterEvents(3,1)") << "connected as the window does";
  EXPECT_FALSE(terminal.IsConnected());

  // A person the terminal lacks stops the command before anything is copied.
  const std::string list = ReadFile(folder / "personel/personel.ini");
  EXPECT_EQ(Run({"--cihaz", "1", "al", "--per-no", "5,77"}), kPersonelStopped);
  EXPECT_EQ(err.str(), "Cihazda olmayan Per.No: 00077\n");
  EXPECT_EQ(ReadFile(folder / "personel/personel.ini"), list);

  terminal.users[8] = {"Sekiz", "", 0};
  EXPECT_EQ(Run({"--cihaz", "1", "al", "--per-no", "8"}), kPersonelDone) << err.str();
  EXPECT_EQ(ReadFile(folder / "personel/personel.ini"), list + "00008\r\n");
}

TEST_F(PersonelProgramTest, AStoreHeldByAnotherProgramPastTheLimitEndsWithStatusTwo) {
  terminal.users[8] = {"Sekiz", "", 0};
  const StoreLock other(PersonnelStore(folder.Path()), std::chrono::seconds(1), nullptr);
  const auto limit = std::chrono::milliseconds(300);
  EXPECT_EQ(Run({"--cihaz", "1", "al"}, limit), kPersonelStopped);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), StoreBusyMessage() + "\n" + StoreGivenUpMessage(limit) + "\n");
  EXPECT_EQ(ReadFile(folder / "personel/personel.ini"), "");
}

// Ctrl+C or a service stop: the persons copied until then are in the store
// whole, the others not, and the status says it was stopped.
TEST_F(PersonelProgramTest, AStopMidCopyKeepsThePersonsCopiedAndEndsWithStatusThree) {
  for (int enroll = 1; enroll <= 3; ++enroll) {
    terminal.users[enroll] = {"Kişi", "", 0};
    terminal.templates[{enroll, 0}] = std::string(20, 'a');
  }
  StopRequest stop;
  terminal.onCall = [&stop](const std::string& operation) {
    if (operation == "GetFingerTemplate") stop.Request();
  };
  EXPECT_EQ(Run({"--cihaz", "1", "parmakizi-al"}, kStoreLockWaitLimit, &stop),
            kPersonelInterrupted);
  EXPECT_EQ(ReadFile(folder / "personel/personel.ini"), "00001\r\n");
  EXPECT_EQ(PersonnelStore(folder.Path()).ReadTemplate("00001", 0), std::string(20, 'a'));
  EXPECT_NE(err.str().find("Durduruldu"), std::string::npos) << err.str();
  EXPECT_FALSE(terminal.IsConnected());
}

// The nightly backup must not "succeed" with nothing copied.
TEST_F(PersonelProgramTest, ATerminalThatCannotListEndsWithStatusTwoAndNothingWritten) {
  terminal.users = {{8, {"Sekiz", "", 0}}, {9, {"Dokuz", "", 0}}};
  terminal.templates[{9, 0}] = std::string(20, 'a');
  WriteFile(folder / "personel/personel.ini", "00008\r\n");
  WriteFile(folder / "personel/parmakizi.ini", "[00008]\r\nisim=Eski\r\n");
  terminal.refusedOperations = {"ReadAllUsers"};
  EXPECT_EQ(Run({"--cihaz", "1", "al"}), kPersonelStopped);
  EXPECT_EQ(err.str(), "Cihaz kullanıcılarını listelemeyi reddetti; hiçbir şey yazılmadı.\n");
  terminal.refusedOperations = {"ReadAllTemplates"};
  EXPECT_EQ(Run({"--cihaz", "1", "parmakizi-al"}), kPersonelStopped);
  EXPECT_EQ(err.str(), "Cihaz parmak izlerini listelemeyi reddetti; hiçbir şey yazılmadı.\n");
  EXPECT_EQ(Run({"--cihaz", "1", "liste"}), kPersonelStopped);
  EXPECT_EQ(
      ReadFile(folder / "personel/personel.ini") + ReadFile(folder / "personel/parmakizi.ini"),
      "00008\r\n[00008]\r\nisim=Eski\r\n");
}

// The console bar of "parmakizi-al" moves while the templates are read: with
// one person chosen, the copy itself could only show 0 and 100.
TEST_F(PersonelProgramTest, FingerprintCopyMovesItsBarDuringTheRead) {
  for (int enroll = 1; enroll <= 2000; ++enroll) {
    terminal.users[enroll] = {"Kişi", "", 0};
    terminal.templates[{enroll, 0}] = std::string(20, 'p');
  }
  terminal.itemsPerChunk = 50;
  PersonelOptions options = ParsePersonelArguments(
      {"--folder", folder.Path(), "--cihaz", "1", "parmakizi-al", "--per-no", "7"});
  ASSERT_EQ(RunPersonel(options, terminal, out, err, true), kPersonelDone);
  std::set<int> percents;
  std::istringstream bars(err.str());
  const std::string caption = "Parmak izleri bilgisayara kopyalanıyor [";
  for (std::string draw; std::getline(bars, draw, '\r');) {
    if (draw.rfind(caption, 0) != 0) continue;
    percents.insert(std::stoi(draw.substr(draw.find("] ") + 2)));
  }
  EXPECT_GE(std::count_if(percents.begin(), percents.end(), [](int p) { return p > 0 && p < 100; }),
            10);
  EXPECT_EQ(*percents.rbegin(), 100);
}

}  // namespace
}  // namespace miravel
