// The checker must pass a sound terminal and fail a broken one exactly where
// it breaks: a checker that passes a broken terminal is worse than none.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "conformance/ConformanceRun.h"
#include "conformance/ReportText.h"
#include "emulator/TerminalState.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"

namespace miravel::conformance {
namespace {

using Names = std::set<std::string>;

Names Named(const std::vector<CheckResult>& results, Verdict verdict) {
  Names names;
  for (const auto& result : results) {
    if (result.verdict == verdict) names.insert(result.name);
  }
  return names;
}

// The whole report, for a failure message.
std::string Report(const std::vector<CheckResult>& results) {
  std::string text;
  for (const auto& result : results) text += ReportLine(result) + "\n";
  return text;
}

RunOptions Tcp(int port) {
  RunOptions options;
  options.target.host = "127.0.0.1";
  options.target.port = port;
  return options;
}

RunOptions Serial(const std::string& link, int machine) {
  RunOptions options;
  options.target.serialDevice = link;
  options.machine = machine;
  return options;
}

emulator::TerminalState LoadState(const std::string& path) {
  emulator::TerminalState state;
  emulator::LoadStateFile(path, state);
  return state;
}

// The program's exit status and what it printed.
int RunProgram(const test::TempFolder& folder, const std::string& arguments, std::string& output) {
  const std::string outPath = folder / "report.txt";
  const int status = std::system(
      (std::string(MIRAVEL_CHECKER_PATH) + " " + arguments + " >" + outPath + " 2>&1").c_str());
  output = test::ReadFile(outPath);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ConformanceTest, EmulatorPassesEveryCheckOnBothLinksAndIsLeftAsFound) {
  test::TempFolder folder;
  const std::string statePath = folder / "t.txt";
  const std::string link = folder / "com1";
  test::EmulatorProcess emulator({"--listen", "127.0.0.1:0", "--pty", link, "--machine", "4",
                                  "--state", statePath, "--generate-users", "12",
                                  "--generate-templates", "2", "--generate-log", "5000"});
  ASSERT_EQ(emulator.ReadLine(), "serial on " + link);
  const emulator::TerminalState before = LoadState(statePath);

  for (const bool serial : {false, true}) {
    for (const bool writing : {false, true}) {
      SCOPED_TRACE(std::string(serial ? "seri" : "TCP") + (writing ? ", yazarak" : ""));
      RunOptions options = serial ? Serial(link, 4) : Tcp(emulator.Port());
      options.writing = writing;
      // The clear by count only once, on the serial line.
      options.logMayBeCleared = writing && serial;
      const auto results = RunChecks(options);
      EXPECT_EQ(Named(results, Verdict::kFail), Names{}) << Report(results);
      EXPECT_EQ(Named(results, Verdict::kSkip), writing && !serial ? Names{"kayit-sil"} : Names{})
          << Report(results);
      EXPECT_EQ(results.size(), 18u + (serial ? 1 : 0) + (writing ? 5 : 0));
    }
  }
  emulator.Stop();
  // Users, templates and clock as they were; the log lost its first two records only.
  const emulator::TerminalState after = LoadState(statePath);
  EXPECT_EQ(after.users, before.users);
  EXPECT_EQ(after.templates, before.templates);
  EXPECT_LE(std::abs(after.clockOffset - before.clockOffset), 4);
  ASSERT_EQ(after.log.size() + 2, before.log.size());
  EXPECT_TRUE(std::equal(after.log.begin(), after.log.end(), before.log.begin() + 2));
}

TEST(ConformanceTest, EachHostileModeFailsItsChecksAndNoOthers) {
  const Names everyAnswer = {"olay-kaydi", "kayitlar",    "kisiler", "parmakizleri",
                             "durum-1",    "durum-2",     "durum-3", "durum-4",
                             "durum-6",    "durum-diger", "saat",    "tek-yanit"};
  Names endless = everyAnswer;
  endless.insert("ilerleme");
  const struct {
    const char* mode;
    bool serial;
    Names failing;
  } cases[] = {
      // Hello, the refusals and the broken frame come before any hostile reply.
      {"cop", false, everyAnswer},
      {"asiri-sayi",
       false,
       {"kayitlar", "kisiler", "parmakizleri", "durum-1", "durum-2", "durum-3", "durum-4",
        "durum-6", "durum-diger", "tek-yanit"}},
      {"sonsuz", false, endless},
      // A terminal of a million users is allowed; counts that match nothing are not.
      {"milyon-kisi", false, {"kisi-bilgisi", "durum-1", "durum-3", "durum-6", "durum-diger"}},
      {"baska-makine", true, {"selam", "makine-no"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    test::TempFolder folder;
    const std::string link = folder / "com1";
    std::vector<std::string> arguments = {"--state",
                                          folder / "t.txt",
                                          "--machine",
                                          "4",
                                          "--generate-users",
                                          "5",
                                          "--generate-templates",
                                          "1",
                                          "--generate-log",
                                          "50",
                                          "--hostile",
                                          c.mode};
    arguments.insert(arguments.end(),
                     {c.serial ? "--pty" : "--listen", c.serial ? link : "127.0.0.1:0"});
    test::EmulatorProcess emulator(arguments);
    RunOptions options = c.serial ? Serial(link, 4) : Tcp(emulator.Port());
    // Endless replies are cut at the bound: a short one keeps that run short.
    // Only there, so that a slow (sanitized) emulator never counts as stalled.
    if (std::string(c.mode) == "sonsuz") {
      options.times.progress = std::chrono::seconds(1);
      options.times.quiet = options.times.hello = options.times.silence = std::chrono::seconds(1);
    }
    const auto results = RunChecks(options);
    EXPECT_EQ(Named(results, Verdict::kFail), c.failing) << Report(results);
  }
  // Terminals that answer every write properly but do not do it: a clear that
  // empties the log whatever its count, a clock write that is not kept. Only
  // the check of that write may see each.
  for (const auto& [mode, failing] :
       {std::pair{"hepsini-siler", "kayit-sil"}, std::pair{"saati-tutmaz", "saat-yaz"}}) {
    SCOPED_TRACE(mode);
    test::TempFolder folder;
    test::EmulatorProcess writesBadly({"--listen", "127.0.0.1:0", "--state", folder / "t.txt",
                                       "--generate-users", "3", "--generate-log", "10", "--hostile",
                                       mode});
    RunOptions options = Tcp(writesBadly.Port());
    options.writing = options.logMayBeCleared = true;
    const auto results = RunChecks(options);
    EXPECT_EQ(Named(results, Verdict::kFail), Names{failing}) << Report(results);
  }
}

TEST(ConformanceTest, PythonBridgeSkeletonPassesTheReadingChecks) {
  if (std::string(MIRAVEL_PYTHON).empty()) GTEST_SKIP() << "python3 yok";
  test::TempFolder folder;
  test::EmulatorProcess bridge(MIRAVEL_PYTHON, {MIRAVEL_BRIDGE_SKELETON, "0"});
  const std::string target = "127.0.0.1:" + std::to_string(bridge.Port());
  std::string output;

  EXPECT_EQ(RunProgram(folder, target, output), 0) << output;
  EXPECT_NE(output.find("Sonuç: 18 denetimden 18 geçti, 0 kaldı, 0 atlandı"), std::string::npos)
      << output;

  // It refuses every write: a failure names the paragraph it breaks.
  EXPECT_EQ(RunProgram(folder, target + " --yazarak", output), 1) << output;
  EXPECT_NE(output.find("KALDI   kisi-yaz"), std::string::npos) << output;
  EXPECT_NE(output.find("kural: PROTOCOL.md «Operations» 8 SetUserInfo"), std::string::npos)
      << output;

  for (const std::string bad : {"", "--seri /dev/null", "127.0.0.1:1 --kayit-silinebilir",
                                "127.0.0.1:70000", "127.0.0.1:1 --bilinmeyen"}) {
    EXPECT_EQ(RunProgram(folder, bad, output), 2) << bad << "\n" << output;
  }
}

}  // namespace
}  // namespace miravel::conformance
