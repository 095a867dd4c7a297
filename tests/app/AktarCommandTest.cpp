// miravel-aktar's own rules, with the fake terminal: what a schedule sees in
// its exit status and output when something is wrong around the transfer.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/AktarCommand.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestClock.h"
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
        out, err, false, nullptr, pcClock);
  }

  void Settings(const std::string& connectionType) {
    WriteFile(folder / "cihazlar.ini",
              "[ayarlar]\r\ndosya=" + folder / "tr500.txt" +
                  "\r\n[cihaz1]\r\nadi=Kapi\r\nbaglantitipi=" + connectionType +
                  "\r\nmakineno=1\r\nipadres=127.0.0.1\r\nipport=1\r\n");
  }

  TempFolder folder;
  FakeTerminal terminal;
  // Where the fake terminal's clock stands.
  test::TestClock pcClock{{2026, 12, 7, 9, 0, 0}};
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
    for (const char* file : {"tr500.txt", "tr500.txt.teslim", "tr500.txt.teslim.onceki"}) {
      std::filesystem::remove(folder / file);
    }
    terminal.log = {{7, 0, 2026, 12, 7, 8, 30}, {100007, 0, 2026, 12, 7, 8, 31}};
    EXPECT_EQ(Run(folder.Path(), parallel), kAktarAllTransferred) << parallel;
    EXPECT_EQ(out.str(), "1 Kapi: aktarıldı, 2 kayıt; " + CutUserNumbersNote(1) + "\n") << parallel;
    EXPECT_EQ(test::ReadFile(folder / "tr500.txt"),
              "000,00007,1 2026/12/07 08:30:00\r\n000,00007,1 2026/12/07 08:31:00\r\n");
  }
}

// A terminal's clock gone wrong is told on its row's line, with the command
// that mends it; the records still go into the record file as stamped, and
// the exit status is the transfer's.
TEST_F(AktarCommandTest, AClockGoneWrongIsToldOnTheRowsLineAndChangesNothing) {
  Settings("Ethernet");
  terminal.log = {{7, 0, 2026, 12, 7, 8, 30}};
  pcClock.Set({2026, 12, 7, 9, 1, 0});  // the terminal a minute behind: near enough
  EXPECT_EQ(Run(folder.Path()), kAktarAllTransferred);
  EXPECT_EQ(out.str(), "1 Kapi: aktarıldı, 1 kayıt\n");

  // 3 min 20 s behind; of the records, only the last is more than a day ahead.
  pcClock.Set({2026, 12, 7, 9, 3, 20});
  terminal.log = {
      {8, 0, 2026, 12, 7, 8, 40}, {9, 0, 2026, 12, 8, 9, 3}, {10, 0, 2026, 12, 9, 9, 1}};
  EXPECT_EQ(Run(folder.Path()), kAktarAllTransferred);
  EXPECT_EQ(out.str(),
            "1 Kapi: aktarıldı, 3 kayıt; cihazın saati bu bilgisayarınkinden 3 dk 20 sn geri; 1 "
            "kaydın tarihi bu bilgisayarın saatinden bir günden fazla ileride (kayıt dosyasına "
            "cihazın yazdığı gibi aktarıldı); ayarlamak için: miravel-cihaz --cihaz 1 "
            "saat-ayarla\n");
  EXPECT_EQ(test::ReadFile(folder / "tr500.txt"),
            "000,00007,1 2026/12/07 08:30:00\r\n000,00008,1 2026/12/07 08:40:00\r\n"
            "000,00009,1 2026/12/08 09:03:00\r\n000,00010,1 2026/12/09 09:01:00\r\n");

  // A terminal that will not tell its clock is transferred without a word of it.
  terminal.refusedOperations = {"GetDeviceTime"};
  terminal.log = {{11, 0, 2026, 12, 7, 8, 50}};
  EXPECT_EQ(Run(folder.Path()), kAktarAllTransferred);
  EXPECT_EQ(out.str(), "1 Kapi: aktarıldı, 1 kayıt\n");
}

}  // namespace
}  // namespace miravel
