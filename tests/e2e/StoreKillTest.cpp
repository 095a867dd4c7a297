// The files the office keeps beside the program, written by miravel-personel
// and by the windows, while the program is killed with SIGKILL at random
// moments: each file must be a whole version the program wrote (the old one
// or a new one, byte for byte), a scratch copy left by a kill must never be
// taken for the file, and the next undisturbed run must bring everything.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <random>

#include "core/Cp1254.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"

namespace miravel::e2e {
namespace {

using Clock = std::chrono::steady_clock;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

// What the office had before: two of the terminal's users with older data, a
// person the terminal does not know, a hand-written comment, and what a crash
// of some earlier program left behind, which must never be taken for the store.
void PutOldStore(const std::string& office) {
  const std::string folder = office + "personel/";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directory(folder);
  WriteFile(folder + "personel.ini", "00003\r\n50001\r\n00010\r\n");
  WriteFile(folder + "parmakizi.ini",
            Utf8ToCp1254("; elle yazıldı\r\n[00003]\r\nisim=Eski Ad\r\nyetki=Normal\r\n"
                         "kartno=4455\r\nsifre=\r\nparmakizi0=" +
                         std::string(300, 'e') + "\r\nparmakizi2=" + std::string(300, 'f') +
                         "\r\n[50001]\r\nisim=Gülşen Ayrıldı\r\nkartno=12\r\n"));
  WriteFile(folder + "_personel.ini", "99999\r\n");
  WriteFile(folder + ".parmakizi.ini.eskiXY", "[00003]\r\nisim=Hayalet\r\n");
}

// One file under test: its old and its new version (what a whole run
// leaves), and where the kills landed.
struct WatchedFile {
  std::string path;
  std::vector<std::string> versions;
  int landed[3] = {};  // kept, cut during its replacement, replaced
};

WatchedFile Watch(const std::string& path) {
  WatchedFile file;
  file.path = path;
  return file;
}

// A program killed again and again from the old files; after each kill
// every file is checked and one undisturbed run must bring the last versions.
struct KillCampaign {
  std::string program;
  std::vector<std::string> arguments;
  std::string outputFolder;
  std::function<void()> putOldFiles;
  // In the order the program writes them: a later one may only have left its
  // old version when every earlier one has.
  std::vector<WatchedFile> files;
  // Half the kills come a moment after the scratch copy of one of these
  // files appears; the others anywhere over a whole run.
  std::vector<std::string> aims;
  Clock::duration runTime{};
};

std::string Name(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

// The scratch copies of path beside it, leftovers of kills included.
int Scratches(const std::string& path) {
  return CountFiles(std::filesystem::path(path).parent_path().string(), "." + Name(path) + ".");
}

// Runs the campaign's program undisturbed on the old files; its files become
// the new versions, and the run time is measured.
void Calibrate(KillCampaign& campaign) {
  campaign.putOldFiles();
  for (WatchedFile& file : campaign.files) {
    file.versions.insert(file.versions.begin(), ReadFile(file.path));
  }
  const auto start = Clock::now();
  ProgramRun run(campaign.program, campaign.arguments, campaign.outputFolder);
  const int status = run.Wait();
  campaign.runTime = Clock::now() - start;
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.Stderr();
  for (WatchedFile& file : campaign.files) {
    file.versions.push_back(ReadFile(file.path));
    ASSERT_NE(file.versions.front(), file.versions.back()) << file.path << " is not written";
  }
}

// Which version each file holds; fails for a file that holds none.
testing::AssertionResult CheckVersions(const KillCampaign& campaign, std::vector<int>& held) {
  held.clear();
  for (const WatchedFile& file : campaign.files) {
    const std::string bytes = ReadFile(file.path);
    const auto found = std::find(file.versions.begin(), file.versions.end(), bytes);
    if (found == file.versions.end()) {
      return testing::AssertionFailure() << Name(file.path) << " is neither the old nor the new "
                                         << "file:\n"
                                         << bytes.substr(0, 2000);
    }
    held.push_back(static_cast<int>(found - file.versions.begin()));
  }
  for (std::size_t i = 1; i < held.size(); ++i) {
    if (held[i] > 0 && held[i - 1] == 0) {
      return testing::AssertionFailure() << Name(campaign.files[i].path) << " is written but "
                                         << Name(campaign.files[i - 1].path) << " is not";
    }
  }
  return testing::AssertionSuccess();
}

// Kills the campaign's program `kills` times; returns the time it took.
Clock::duration RunKills(KillCampaign& campaign, int kills, std::mt19937& random) {
  std::uniform_real_distribution<double> anyMoment(0.0, 1.1);
  // From 20 µs to 30 ms after the scratch copy appears: into its writing,
  // its rename and what follows the rename.
  std::uniform_real_distribution<double> afterScratch(std::log(20.0), std::log(30000.0));
  const auto started = Clock::now();
  for (int killed = 0, attempt = 1; killed < kills; ++attempt) {
    const std::string where = Name(campaign.program) + ", attempt " + std::to_string(attempt);
    if (attempt > 3 * kills) {
      ADD_FAILURE() << where << ": too few runs could be killed in time";
      break;
    }
    campaign.putOldFiles();
    std::vector<int> scratchesBefore;
    for (const WatchedFile& file : campaign.files) scratchesBefore.push_back(Scratches(file.path));
    KillMoment moment;
    if (random() % 2 == 0) {
      const std::string& aim = campaign.aims[random() % campaign.aims.size()];
      moment.watchedFolder = std::filesystem::path(aim).parent_path().string();
      moment.createdPrefix = "." + Name(aim) + ".";
      moment.delay =
          std::chrono::microseconds(static_cast<std::int64_t>(std::exp(afterScratch(random))));
    } else {
      moment.delay = std::chrono::duration_cast<std::chrono::microseconds>(campaign.runTime *
                                                                           anyMoment(random));
    }
    std::string err;
    const int status =
        RunUntilKilled(campaign.program, campaign.arguments, campaign.outputFolder, moment, &err);
    std::vector<int> held;
    if (!WIFSIGNALED(status)) {
      // Ended before its kill: a whole run.
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << where << ": " << err;
      EXPECT_TRUE(CheckVersions(campaign, held)) << where;
      for (std::size_t i = 0; i < held.size(); ++i) {
        EXPECT_EQ(held[i], 1) << where << ": " << Name(campaign.files[i].path);
      }
      continue;
    }
    ++killed;
    if (!CheckVersions(campaign, held)) {
      ADD_FAILURE() << where << ": " << CheckVersions(campaign, held).message();
      return Clock::now() - started;
    }
    for (std::size_t i = 0; i < held.size(); ++i) {
      WatchedFile& file = campaign.files[i];
      const bool scratchLeft = Scratches(file.path) > scratchesBefore[i];
      ++file.landed[held[i] > 0 ? 2 : scratchLeft ? 1 : 0];
    }

    // The next run, beside whatever scratch copy the kill left, brings it all.
    ProgramRun next(campaign.program, campaign.arguments, campaign.outputFolder);
    const int nextStatus = next.Wait();
    EXPECT_TRUE(WIFEXITED(nextStatus) && WEXITSTATUS(nextStatus) == 0)
        << where << ", the run after the kill: " << next.Stderr();
    for (const WatchedFile& file : campaign.files) {
      if (ReadFile(file.path) != file.versions.back()) {
        ADD_FAILURE() << where << ", the run after the kill leaves " << Name(file.path)
                      << " other than a whole run does:\n"
                      << ReadFile(file.path).substr(0, 2000);
        return Clock::now() - started;
      }
    }
  }
  return Clock::now() - started;
}

void Report(const KillCampaign& campaign, int kills, Clock::duration took) {
  std::cout << Name(campaign.program) << ": " << kills << " kills in "
            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
            << " ms (a whole run "
            << std::chrono::duration_cast<std::chrono::milliseconds>(campaign.runTime).count()
            << " ms)\n";
  for (const WatchedFile& file : campaign.files) {
    std::cout << "  " << Name(file.path) << ": kept " << file.landed[0]
              << ", cut during its replacement " << file.landed[1] << ", replaced "
              << file.landed[2] << "\n";
  }
}

// The office folder with the old store, and one emulated terminal.
class StoreKillTest : public ::testing::Test {
 protected:
  StoreKillTest() { PutOldStore(office); }

  // A terminal with this many users, two fingerprints each, as device 1 of
  // cihazlar.ini; device 2 does not answer.
  void StartTerminal(int users) {
    terminal = std::make_unique<test::EmulatorProcess>(std::vector<std::string>{
        "--listen", "127.0.0.1:0", "--state", folder / "terminal.txt", "--generate-users",
        std::to_string(users), "--generate-templates", "2", "--seed", "11"});
    PutOldSettings();
  }
  void PutOldSettings() {
    WriteSettings(office, office + "tr500.txt", false,
                  {EthernetRow("Kapı", terminal->Port()), EthernetRow("Arka", dead.Port())});
  }

  TempFolder folder;
  const std::string office = std::filesystem::canonical(folder.Path()).string() + "/";
  std::unique_ptr<test::EmulatorProcess> terminal;
  DeadPort dead;
  std::mt19937 random{20261208};
};

TEST_F(StoreKillTest, PersonelCopiesLeaveTheOldOrTheNewStoreAndTheNextRunCompletesIt) {
  constexpr int kKills = 16;  // per command; each kill checks both files
  StartTerminal(120);
  for (const char* command : {"al", "parmakizi-al"}) {
    KillCampaign campaign;
    campaign.program = PersonelPath();
    campaign.arguments = {"--folder", office, "--cihaz", "1", command};
    campaign.outputFolder = office;
    campaign.putOldFiles = [this] { PutOldStore(office); };
    campaign.files = {Watch(office + "personel/parmakizi.ini"),
                      Watch(office + "personel/personel.ini")};
    campaign.aims = {campaign.files[0].path};
    Calibrate(campaign);
    if (HasFatalFailure()) return;
    EXPECT_EQ(campaign.files[0].versions.back().find("Hayalet"), std::string::npos);
    EXPECT_EQ(campaign.files[1].versions.back().find("99999"), std::string::npos);
    const Clock::duration took = RunKills(campaign, kKills, random);
    Report(campaign, kKills, took);
  }
}

// A store big enough that replacing parmakizi.ini takes a while: 1,000
// persons with two templates each, and the hand-written comment.
void PutBigStore(const std::string& office) {
  const std::string folder = office + "personel/";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directory(folder);
  std::string list;
  std::string details = "; elle yazıldı\r\n";
  for (int person = 1; person <= 1000; ++person) {
    const std::string perNo = std::to_string(10000 + person);
    list += perNo + "\r\n";
    details += "[" + perNo + "]\r\nisim=Kişi " + perNo + "\r\nyetki=Normal\r\nkartno=" + perNo +
               "\r\nsifre=\r\nparmakizi0=" + std::string(1200, 'a') +
               "\r\nparmakizi1=" + std::string(1200, 'b') + "\r\n";
  }
  WriteFile(folder + "personel.ini", list);
  WriteFile(folder + "parmakizi.ini", Utf8ToCp1254(details));
}

// A longer name replaces the store; a shorter one is written where it stands.
TEST_F(StoreKillTest, ACellEditKilledAtAnyMomentLeavesTheOldOrTheNewStore) {
  constexpr int kKills = 12;
  for (const std::string name : {"Yeni Adı Daha Uzun", "Kısa Ad"}) {
    SCOPED_TRACE(name);
    KillCampaign campaign;
    campaign.program = MIRAVEL_STORE_EDIT_DRIVER;
    campaign.arguments = {office, "10500", name};
    campaign.outputFolder = office;
    campaign.putOldFiles = [this] { PutBigStore(office); };
    campaign.files = {Watch(office + "personel/parmakizi.ini")};
    campaign.aims = {campaign.files[0].path};
    Calibrate(campaign);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_NE(campaign.files[0].versions.back().find(Utf8ToCp1254("isim=" + name)),
              std::string::npos);
    const Clock::duration took = RunKills(campaign, kKills, random);
    Report(campaign, kKills, took);
  }
}

#if defined(MIRAVEL_WINDOW_DRIVER)

// The settings window saves a changed device list, then the personnel window
// takes every user of the terminal with their fingerprints: cihazlar.ini,
// then parmakizi.ini, then personel.ini.
TEST_F(StoreKillTest, WindowsKilledInTheirCommandsLeaveWholeFilesAndTheNextRunCompletesThem) {
  constexpr int kKills = 30;
  StartTerminal(50);  // the windows paint every row: a run costs more per user
  KillCampaign campaign;
  campaign.program = MIRAVEL_WINDOW_DRIVER;
  campaign.arguments = {office, "kaydet", "parmakizi-al"};
  campaign.outputFolder = office;
  campaign.putOldFiles = [this] {
    PutOldStore(office);
    PutOldSettings();
  };
  campaign.files = {Watch(office + "cihazlar.ini"), Watch(office + "personel/parmakizi.ini"),
                    Watch(office + "personel/personel.ini")};
  campaign.aims = {campaign.files[0].path, campaign.files[1].path};
  Calibrate(campaign);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(campaign.files[1].versions.back().find("Hayalet"), std::string::npos);
  EXPECT_EQ(campaign.files[2].versions.back().find("99999"), std::string::npos);
  const Clock::duration took = RunKills(campaign, kKills, random);
  Report(campaign, kKills, took);
}

// "Kaydet" and the personnel window's "Sil" replace cihazlar.ini and
// personel.ini: scratch written and forced, renamed, folder forced.
TEST_F(StoreKillTest, SettingsAndPersonnelWindowsReplaceTheirFilesTheSafeWay) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's runtime must come first; the shim cannot be preloaded";
#endif
  StartTerminal(1);
  const std::string log = folder / "calls.txt";
  ::setenv("MIRAVEL_DURABILITY_LOG", log.c_str(), 1);
  ::setenv("LD_PRELOAD", MIRAVEL_DURABILITY_SHIM, 1);
  ProgramRun run(MIRAVEL_WINDOW_DRIVER, {office, "kaydet", "sil"}, office);
  const int status = run.Wait();
  ::unsetenv("LD_PRELOAD");
  ::unsetenv("MIRAVEL_DURABILITY_LOG");
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.Stderr();
  EXPECT_NE(ReadFile(office + "cihazlar.ini").find("adi=Bina 1\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(office + "personel/personel.ini"), "50001\r\n00010\r\n");
  const std::vector<DurabilityCall> calls = ReadDurabilityCalls(log);
  EXPECT_TRUE(ReplacedSafely(calls, office + "cihazlar.ini"));
  EXPECT_TRUE(ReplacedSafely(calls, office + "personel/personel.ini"));
}

#endif

}  // namespace
}  // namespace miravel::e2e
