// miravel-aktar's own rules, with the fake terminal: what a schedule sees in
// its exit status and output when something is wrong around the transfer.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/AktarCommand.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/TempFolder.h"
#include "transfer/RecordLine.h"

namespace miravel {
namespace {

using test::FakeTerminal;
using test::TempFolder;
using test::WriteFile;

class AktarCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(folder / "yedekler"); }

  int Run(const std::string& programFolder, int parallel = kDefaultParallelReads) {
    out.str("");
    err.str("");
    AktarOptions options;
    options.programFolder = programFolder;
    options.parallel = parallel;
    // The one fake serves every connection (the run makes them one by one).
    return RunAktar(
        options, [&] { return std::shared_ptr<TerminalClient>(&terminal, [](TerminalClient*) {}); },
        out, err, false);
  }

  void Settings(const std::string& connectionType) {
    WriteFile(folder / "cihazlar.ini",
              "[ayarlar]\r\ndosya=" + folder / "tr500.txt" +
                  "\r\n[cihaz1]\r\nadi=Kapi\r\nbaglantitipi=" + connectionType +
                  "\r\nmakineno=1\r\nipadres=127.0.0.1\r\nipport=1\r\n");
  }

  TempFolder folder;
  FakeTerminal terminal;
  std::ostringstream out;
  std::ostringstream err;
};

// A schedule with a mistyped folder must fail, not report success for ever.
TEST_F(AktarCommandTest, MissingFolderOrSettingsFileFailsNamingThePath) {
  EXPECT_EQ(Run(folder / "yok/"), kAktarStopped);
  EXPECT_NE(err.str().find(folder / "yok/"), std::string::npos) << err.str();

  EXPECT_EQ(Run(folder.Path()), kAktarStopped);
  EXPECT_NE(err.str().find(folder / "cihazlar.ini"), std::string::npos) << err.str();
  EXPECT_EQ(terminal.calls.size(), 0u);
}

// A ticked row of a connection type typed by hand is never read: the schedule
// must not show success while that terminal's records stay uncollected.
TEST_F(AktarCommandTest, UnknownConnectionTypeIsNamedOnStderrWithStatusOne) {
  Settings("ethernet");
  EXPECT_EQ(Run(folder.Path()), kAktarSomeUnreachable);
  EXPECT_EQ(out.str(), "1 Kapi: bağlantı tipi tanınmadı, atlandı\n");
  EXPECT_NE(err.str().find("1 Kapi: bağlantı türü tanınmadı: 'ethernet'\n"), std::string::npos)
      << err.str();
  EXPECT_EQ(terminal.calls.size(), 0u);
}

TEST_F(AktarCommandTest, EmptyDeviceListIsSaidOnStderrWithSuccess) {
  WriteFile(folder / "cihazlar.ini", "[ayarlar]\r\nsilkontrol=1\r\n");
  EXPECT_EQ(Run(folder.Path()), kAktarAllTransferred);
  EXPECT_NE(err.str().find("hiç cihaz yok"), std::string::npos) << err.str();
}

// A terminal that keeps its log, by refusing to give or to clear it, is a
// row the schedule must hear about: exit 1 and a line that says what happened.
TEST_F(AktarCommandTest, RefusedLogReadOrClearEndsWithStatusOne) {
  Settings("Ethernet");
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}};
  terminal.refuseReadLog = true;
  EXPECT_EQ(Run(folder.Path()), kAktarSomeUnreachable);
  EXPECT_EQ(out.str(), "1 Kapi: cihaz kayıtları vermedi, aktarılmadı\n");

  terminal.refuseReadLog = false;
  terminal.refuseClearLog = true;
  EXPECT_EQ(Run(folder.Path()), kAktarSomeUnreachable);
  EXPECT_EQ(out.str(),
            "1 Kapi: aktarıldı, 1 kayıt; cihaz kayıtları silmedi, kayıtlar cihazda duruyor\n");
  EXPECT_EQ(err.str(), "");
}

// The record line keeps five user columns for the programs that read it; a
// longer user number lands there as another user's, and the row says so.
TEST_F(AktarCommandTest, AUserNumberCutToFiveColumnsIsToldOnTheRowsLine) {
  Settings("Ethernet");
  for (int parallel : {1, kDefaultParallelReads}) {
    std::filesystem::remove(folder / "tr500.txt");
    terminal.log = {{7, 0, 2026, 12, 7, 8, 30}, {100007, 0, 2026, 12, 7, 8, 31}};
    EXPECT_EQ(Run(folder.Path(), parallel), kAktarAllTransferred) << parallel;
    EXPECT_EQ(out.str(), "1 Kapi: aktarıldı, 2 kayıt; " + CutUserNumbersNote(1) + "\n") << parallel;
    EXPECT_EQ(test::ReadFile(folder / "tr500.txt"),
              "000,00007,1 2026/12/07 08:30:00\r\n000,00007,1 2026/12/07 08:31:00\r\n");
  }
}

}  // namespace
}  // namespace miravel
