// The order in which miravel-aktar makes its files durable, recorded by a
// preloaded shim: a kill cannot see a missing fsync (the page cache outlives
// the process), the order of the calls can.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>

#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"

namespace miravel::e2e {
namespace {

using test::EmulatorProcess;
using test::TempFolder;

using Call = DurabilityCall;

std::vector<Call> ReadCalls(const std::string& path) {
  return ReadDurabilityCalls(path);
}

int Find(const std::vector<Call>& calls, int after, const std::string& what,
         const std::function<bool(const Call&)>& matches) {
  return FindCall(calls, after, what, matches);
}

TEST(DurabilityOrderTest, RecordFileIsWrittenForcedRenamedAndItsFolderForcedBeforeTheLogIsCleared) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's runtime must come first; the shim cannot be preloaded";
#endif
  TempFolder folder;
  std::filesystem::create_directory(folder / "yedekler");
  const std::string record = std::filesystem::canonical(folder.Path()).string() + "/tr500.txt";
  test::WriteFile(record, JoinLines(MakeRecordLines(2000, 71)));
  WriteStateFile(folder / "terminal.txt", MakeLog(3000, 72));
  EmulatorProcess terminal({"--listen", "127.0.0.1:0", "--state", folder / "terminal.txt"});
  WriteSettings(folder.Path(), record, true, {EthernetRow("Kapı", terminal.Port())});

  const std::string log = folder / "calls.txt";
  ::setenv("MIRAVEL_DURABILITY_LOG", log.c_str(), 1);
  ::setenv("LD_PRELOAD", MIRAVEL_DURABILITY_SHIM, 1);
  const AktarResult result = RunAktar(folder.Path());
  ::unsetenv("LD_PRELOAD");
  ::unsetenv("MIRAVEL_DURABILITY_LOG");
  ASSERT_EQ(result.exitCode, 0) << result.err;

  const std::vector<Call> calls = ReadCalls(log);
  const auto isMerge = [&](const Call& call) {
    return call.first.starts_with(record + ".") && call.first.ends_with(".gcc");
  };
  int lastMergeWrite = -1;
  for (int i = 0; i < static_cast<int>(calls.size()); ++i) {
    if (calls[i].what == "write" && isMerge(calls[i])) lastMergeWrite = i;
  }
  ASSERT_GE(lastMergeWrite, 0) << "no write to the merge file was seen";
  const int mergeForced = Find(calls, lastMergeWrite, "fsync", isMerge);
  const int renamed = Find(calls, mergeForced, "rename", [&](const Call& call) {
    return isMerge(call) && call.second == record;
  });
  const std::string folderPath = std::filesystem::path(record).parent_path().string();
  const int folderForced =
      Find(calls, renamed, "fsync", [&](const Call& call) { return call.first == folderPath; });
  const int cleared = Find(calls, folderForced, "clear", [](const Call&) { return true; });
  EXPECT_GE(mergeForced, 0) << "the merge file is not forced to disk after its last write";
  EXPECT_GE(renamed, 0) << "the merge file is not renamed over the record file once forced";
  EXPECT_GE(folderForced, 0) << "the folder is not forced to disk after the rename";
  EXPECT_GE(cleared, 0) << "the log is not cleared after all that";
  EXPECT_EQ(Find(calls, -1, "clear", [](const Call&) { return true; }), cleared)
      << "the log is cleared before the record file is safe";

  // The day's backup is on disk before the log goes as well.
  const std::string backup = std::filesystem::canonical(folder / "yedekler/").string() + "/";
  const auto isBackup = [&](const Call& call) { return call.first.starts_with(backup); };
  int lastBackupWrite = -1;
  for (int i = 0; i < cleared; ++i) {
    if (calls[i].what == "write" && isBackup(calls[i])) lastBackupWrite = i;
  }
  const int backupForced = Find(calls, lastBackupWrite, "fsync", isBackup);
  EXPECT_GE(lastBackupWrite, 0);
  EXPECT_TRUE(backupForced >= 0 && backupForced < cleared)
      << "the backup is not forced to disk before the log is cleared";
}

// The personnel store: the list line is on disk before it counts, and the
// detail file is replaced the safe way (scratch written and forced, renamed,
// folder forced).
TEST(DurabilityOrderTest, PersonnelFilesAreForcedBeforeTheyCount) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's runtime must come first; the shim cannot be preloaded";
#endif
  TempFolder folder;
  const std::string office = std::filesystem::canonical(folder.Path()).string() + "/";
  std::filesystem::create_directory(office + "personel");
  EmulatorProcess terminal({"--listen", "127.0.0.1:0", "--state", folder / "t.txt",
                            "--generate-users", "20", "--generate-templates", "2"});
  WriteSettings(office, office + "tr500.txt", false, {EthernetRow("Kapı", terminal.Port())});
  const std::string log = folder / "calls.txt";
  ::setenv("MIRAVEL_DURABILITY_LOG", log.c_str(), 1);
  ::setenv("LD_PRELOAD", MIRAVEL_DURABILITY_SHIM, 1);
  ProgramRun run(PersonelPath(), {"--folder", office, "--cihaz", "1", "parmakizi-al"}, office);
  const int status = run.Wait();
  ::unsetenv("LD_PRELOAD");
  ::unsetenv("MIRAVEL_DURABILITY_LOG");
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.Stderr();

  const std::vector<Call> calls = ReadCalls(log);
  const std::string list = office + "personel/personel.ini";
  const std::string details = office + "personel/parmakizi.ini";
  const auto is = [](const std::string& path) {
    return [path](const Call& call) { return call.first == path; };
  };
  const int listWritten = Find(calls, -1, "write", is(list));
  ASSERT_GE(listWritten, 0);
  EXPECT_GE(Find(calls, listWritten, "fsync", is(list)), 0) << "the list line is not forced";

  EXPECT_TRUE(ReplacedSafely(calls, details));
  // A list line names a person whose details are on disk already: a kill
  // between the two must not leave people without their name in the store.
  int renamed = -1;
  for (int i = 0; i < static_cast<int>(calls.size()); ++i) {
    if (calls[i].what == "rename" && calls[i].second == details) renamed = i;
  }
  EXPECT_LT(renamed, listWritten) << "a list line is written before the details are replaced";
}

}  // namespace
}  // namespace miravel::e2e
