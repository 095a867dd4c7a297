#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "core/AppError.h"
#include "core/IniFile.h"
#include "tests/core/IniTestFiles.h"
#include "tests/support/TempFolder.h"

namespace miravel {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

// A settings file whose commits all fail, until Repair(): its folder stops
// taking new files, or, for root, whom permissions do not stop, no file may
// grow. The file itself stays in place and readable, so the object must not
// take it for an outside edit.
class IniFileFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder_);
    WriteFile(path_, kHandEdited);
  }
  void TearDown() override { Repair(); }

  void Break() {
    broken_ = true;
    if (::geteuid() == 0) {
      ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &sizeLimit_), 0);
      rlimit none = sizeLimit_;
      none.rlim_cur = 0;
      std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
      ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &none), 0);
    } else {
      ASSERT_EQ(::chmod(folder_.c_str(), 0555), 0);
    }
  }
  void Repair() {
    if (!broken_) return;
    broken_ = false;
    if (::geteuid() == 0) {
      ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &sizeLimit_), 0);
      std::signal(SIGXFSZ, SIG_DFL);
    } else {
      ASSERT_EQ(::chmod(folder_.c_str(), 0755), 0);
    }
  }

  void ExpectUnableToWrite(const std::function<void()>& write) {
    try {
      write();
      ADD_FAILURE() << "the write did not fail";
    } catch (const AppError& error) {
      EXPECT_EQ(std::string(error.what()), "Unable to write to " + path_);
    }
  }

  // The object reads what the untouched file holds.
  void ExpectUnchanged(const IniFile& ini) {
    EXPECT_EQ(ini.ReadString("ayarlar", "dosya", "-"), "C:\\kayit\\tr500.txt");
    EXPECT_FALSE(ini.KeyExists("ayarlar", "yeni"));
    EXPECT_FALSE(ini.SectionExists("cihaz2"));
    EXPECT_EQ(ini.ReadString("cihaz1", "adi", "-"), "Kapı 1");
    EXPECT_FALSE(ini.KeyExists("cihaz1", "flagonly"));
    EXPECT_FALSE(ini.KeyExists("cihaz1", "gcdurum"));
    EXPECT_EQ(ini.ReadString("empty", "x", "-"), "-");
  }

  // After the failure, good writes must give the old file plus those writes
  // only: nothing that failed may come back with them, and a new key still
  // lands after the last key line.
  void ExpectOnlyTheNextWriteLands(IniFile& ini) {
    {
      IniWriteGroup group(ini);
      ini.WriteString("ayarlar", "silkontrol", "1");
      ini.WriteString("ayarlar", "son", "1");
    }
    std::string expected = kHandEdited;
    ReplaceOnce(expected, "silkontrol=\"0\"\n", "silkontrol=1\r\n");
    InsertAfter(expected, "next=after a lone CR\n", "son=1\r\n");
    EXPECT_EQ(ReadFile(path_), expected);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_)) {
      ++entries;
    }
    EXPECT_EQ(entries, 1u) << "a temporary file was left behind";
  }

  bool broken_ = false;
  rlimit sizeLimit_{};
  TempFolder root_;
  const std::string folder_ = root_ / "program";
  const std::string path_ = folder_ + "/cihazlar.ini";
};

TEST_F(IniFileFailureTest, FailedWritesThrowAndAreNotSeenAfterwards) {
  IniFile ini(path_);
  Break();
  ExpectUnableToWrite([&] { ini.WriteString("ayarlar", "dosya", "D:\\yeni.txt"); });
  ExpectUnableToWrite([&] { ini.WriteString("ayarlar", "yeni", "1"); });
  ExpectUnableToWrite([&] { ini.WriteString("cihaz2", "adi", "x"); });
  ExpectUnableToWrite([&] { ini.EraseSection("cihaz1"); });
  Repair();
  ExpectUnchanged(ini);
  ExpectOnlyTheNextWriteLands(ini);
}

TEST_F(IniFileFailureTest, FailedGroupTakesBackEveryChangeOfTheGroup) {
  IniFile ini(path_);
  Break();
  ExpectUnableToWrite([&] {
    IniWriteGroup group(ini);
    ini.WriteString("ayarlar", "dosya", "D:\\yeni.txt");
    ini.WriteString("ayarlar", "dosya", "E:\\yeni.txt");
    ini.WriteString("ayarlar", "yeni", "1");
    ini.WriteString("cihaz1", "gcdurum", "Standart");
    ini.WriteString("cihaz2", "adi", "x");
    ini.WriteString("empty", "x", "2");
    ini.EraseSection("cihaz1");
    ini.WriteString("cihaz1", "adi", "again");
    ini.EraseSection("cihaz2");
  });
  Repair();
  ExpectUnchanged(ini);
  ExpectOnlyTheNextWriteLands(ini);
}

struct CommandStopped {};

TEST_F(IniFileFailureTest, GroupEndedByAnErrorLetsThatErrorThroughWhenItsCommitFails) {
  IniFile ini(path_);
  Break();
  EXPECT_THROW(
      {
        IniWriteGroup group(ini);
        ini.WriteString("ayarlar", "yeni", "1");
        ini.EraseSection("cihaz1");
        throw CommandStopped();
      },
      CommandStopped);
  Repair();
  ExpectUnchanged(ini);
  ExpectOnlyTheNextWriteLands(ini);
}

TEST_F(IniFileFailureTest, FileReplacedByAFolderFailsAtTheRename) {
  IniFile ini(path_);
  std::filesystem::remove(path_);
  std::filesystem::create_directories(path_ + "/busy");
  ExpectUnableToWrite([&] { ini.WriteString("ayarlar", "yeni", "1"); });
  EXPECT_FALSE(ini.KeyExists("ayarlar", "yeni"));
  std::filesystem::remove_all(path_);
  WriteFile(path_, kHandEdited);
  ExpectOnlyTheNextWriteLands(ini);
}

TEST_F(IniFileFailureTest, LinkStaysALinkAndAFifoIsRefusedUnread) {
  const std::string target = path_ + ".gercek";
  WriteFile(target, kHandEdited);
  std::filesystem::remove(path_);
  std::filesystem::create_symlink(target, path_);
  IniFile(path_).WriteString("ayarlar", "yeni", "1");
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  EXPECT_EQ(IniFile(target).ReadString("ayarlar", "yeni", ""), "1");

  // Opening a FIFO for reading would wait for a writer for ever.
  std::filesystem::remove(path_);
  ASSERT_EQ(::mkfifo(path_.c_str(), 0644), 0);
  try {
    IniFile fifo(path_);
    ADD_FAILURE() << "a FIFO was read";
  } catch (const AppError& error) {
    EXPECT_NE(std::string(error.what()).find("normal bir dosya değil (FIFO): " + path_),
              std::string::npos);
  }
}

TEST_F(IniFileFailureTest, AWriteRemovesOnlyTheCopiesOfWritersThatAreGone) {
  const pid_t gone = ::fork();
  if (gone == 0) std::_Exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  const std::string folder = std::filesystem::path(path_).parent_path().string() + "/";
  const std::string name = "." + std::filesystem::path(path_).filename().string() + ".";
  const std::string killed = folder + name + std::to_string(gone) + ".a1b2c3";
  const std::string running = folder + name + std::to_string(::getppid()) + ".d4e5f6";
  const std::string other = folder + name + "g7h8i9";
  for (const std::string& copy : {killed, running, other}) WriteFile(copy, "yarım");
  IniFile(path_).WriteString("ayarlar", "yeni", "1");
  EXPECT_FALSE(std::filesystem::exists(killed));
  EXPECT_TRUE(std::filesystem::exists(running));
  EXPECT_TRUE(std::filesystem::exists(other));
}

}  // namespace
}  // namespace miravel
