#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/AppError.h"
#include "tests/support/TempFolder.h"
#include "transfer/RecordFileMerger.h"
#include "transfer/RecordLine.h"

namespace miravel {
namespace {

using test::FileExists;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

constexpr CalendarDate kToday{2026, 12, 7};

std::string Line(int user, int hour, int minute, int day = 7, int year = 2026, int month = 12) {
  return FormatRecordLine(user, 1, year, month, day, hour, minute);
}

class RecordFileMergerTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(folder / "yedekler"); }

  // Merges the lines into the record file as one terminal on the given row.
  void Merge(const std::vector<std::string>& lines, int row = 1) {
    RecordFileMerger merger;
    merger.Open(recordPath, folder.Path(), row, kToday);
    for (const auto& line : lines) merger.Add(line);
    merger.Finish();
  }

  std::string MergeError(const std::vector<std::string>& lines) {
    try {
      Merge(lines);
    } catch (const AppError& error) {
      return error.what();
    }
    return "";
  }

  TempFolder folder;
  std::string recordPath = folder / "tr500.txt";
};

TEST_F(RecordFileMergerTest, MissingRecordFileGetsExactlyTheNewLines) {
  Merge({Line(2, 9, 0), Line(1, 8, 0)});
  // Delivery order is kept for the new lines themselves.
  EXPECT_EQ(ReadFile(recordPath), Line(2, 9, 0) + "\r\n" + Line(1, 8, 0) + "\r\n");
  EXPECT_FALSE(test::MergeFileLeft(recordPath));
}

TEST_F(RecordFileMergerTest, NewLinesSlotInByTimeAndGoBeforeEqualTimes) {
  WriteFile(recordPath, Line(1, 8, 0) + "\r\n" + Line(1, 9, 0) + "\r\n" + Line(9, 10, 0) + "\r\n");
  Merge({Line(2, 8, 30), Line(3, 10, 0), Line(4, 11, 0)});
  EXPECT_EQ(ReadFile(recordPath), Line(1, 8, 0) + "\r\n" + Line(2, 8, 30) + "\r\n" + Line(1, 9, 0) +
                                      "\r\n" + Line(3, 10, 0) + "\r\n" + Line(9, 10, 0) + "\r\n" +
                                      Line(4, 11, 0) + "\r\n");
}

TEST_F(RecordFileMergerTest, ExistingLinesKeepTheirOrderAndBadLinesStayAhead) {
  // Out-of-order and malformed existing lines are never reordered or changed.
  const std::string old = "el ile yazılmış satır\r\n" + Line(1, 10, 0) + "\r\n" + Line(1, 9, 0) +
                          "\r\n\r\n" + Line(1, 12, 0) + "\r\n";
  WriteFile(recordPath, old);
  Merge({Line(5, 9, 30)});
  // The new line goes before the first existing line that is not earlier.
  EXPECT_EQ(ReadFile(recordPath), "el ile yazılmış satır\r\n" + Line(5, 9, 30) + "\r\n" +
                                      Line(1, 10, 0) + "\r\n" + Line(1, 9, 0) + "\r\n\r\n" +
                                      Line(1, 12, 0) + "\r\n");
}

TEST_F(RecordFileMergerTest, NoRecordsRewritesTheFileWithCrLfAndCreatesAnEmptyBackup) {
  WriteFile(recordPath, Line(1, 8, 0) + "\n" + Line(1, 9, 0) + "\r\nson satır");
  Merge({}, 2);
  EXPECT_EQ(ReadFile(recordPath), Line(1, 8, 0) + "\r\n" + Line(1, 9, 0) + "\r\nson satır\r\n");
  const std::string backup = folder / "yedekler/20261207.002";
  ASSERT_TRUE(FileExists(backup));
  EXPECT_EQ(ReadFile(backup), "");
}

TEST_F(RecordFileMergerTest, PendingLineIsWrittenOnceWhateverTheDates) {
  // A record far in the future after the last existing line must not repeat
  // that line, and an existing line on 25 August 2091 00:00 must not vanish.
  WriteFile(recordPath, Line(1, 8, 0) + "\r\n");
  Merge({Line(2, 9, 0, 26, 2091, 8), Line(3, 9, 0, 27, 2091, 8)});
  EXPECT_EQ(ReadFile(recordPath), Line(1, 8, 0) + "\r\n" + Line(2, 9, 0, 26, 2091, 8) + "\r\n" +
                                      Line(3, 9, 0, 27, 2091, 8) + "\r\n");

  WriteFile(recordPath, Line(1, 0, 0, 25, 2091, 8) + "\r\n" + Line(1, 1, 0, 25, 2091, 8) + "\r\n");
  Merge({Line(2, 8, 0)});
  EXPECT_EQ(ReadFile(recordPath), Line(2, 8, 0) + "\r\n" + Line(1, 0, 0, 25, 2091, 8) + "\r\n" +
                                      Line(1, 1, 0, 25, 2091, 8) + "\r\n");
}

TEST_F(RecordFileMergerTest, BackupIsNamedByDateAndRowAndAppendsAcrossRuns) {
  EXPECT_EQ(RecordFileMerger::BackupName({2026, 12, 7}, 2), "20261207.002");
  EXPECT_EQ(RecordFileMerger::BackupName({2027, 1, 5}, 1234), "20270105.234");
  Merge({Line(1, 8, 0)}, 3);
  Merge({Line(2, 7, 0)}, 3);
  // In the order read, not in time order; and the record file is in time order.
  EXPECT_EQ(ReadFile(folder / "yedekler/20261207.003"),
            Line(1, 8, 0) + "\r\n" + Line(2, 7, 0) + "\r\n");
  EXPECT_EQ(ReadFile(recordPath), Line(2, 7, 0) + "\r\n" + Line(1, 8, 0) + "\r\n");

  // A backup whose last line was cut short by a power loss gets its own line end.
  WriteFile(folder / "yedekler/20261207.004", "000,00001,1 2026/12");
  Merge({Line(3, 9, 0)}, 4);
  EXPECT_EQ(ReadFile(folder / "yedekler/20261207.004"),
            "000,00001,1 2026/12\r\n" + Line(3, 9, 0) + "\r\n");
  // Cut between CR and LF: the LF alone ends it, no stray CR stays in the line.
  WriteFile(folder / "yedekler/20261207.005", Line(1, 8, 0) + "\r");
  Merge({Line(3, 9, 0)}, 5);
  EXPECT_EQ(ReadFile(folder / "yedekler/20261207.005"),
            Line(1, 8, 0) + "\r\n" + Line(3, 9, 0) + "\r\n");
}

TEST_F(RecordFileMergerTest, LinesAcrossBufferBoundariesSurviveByteForByte) {
  std::string old;
  for (int i = 0; old.size() < 3 * (1 << 20); ++i) {
    old += Line(i % 100000, (i / 60) % 24, i % 60, 1 + (i / 1440) % 28, 2020) + "\r\n";
    if (i % 1000 == 0) old += std::string(5000, 'x') + "\r\n";  // long odd lines too
  }
  WriteFile(recordPath, old);
  Merge({});
  EXPECT_TRUE(ReadFile(recordPath) == old);
}

TEST_F(RecordFileMergerTest, ReplacedRecordFileKeepsItsPermissions) {
  WriteFile(recordPath, Line(1, 8, 0) + "\r\n");
  ::chmod(recordPath.c_str(), 0664);
  Merge({Line(2, 9, 0)});
  struct stat info {};
  ASSERT_EQ(::stat(recordPath.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0664u);
}

TEST_F(RecordFileMergerTest, InvalidRecordLeavesEverythingAsItWas) {
  const std::string old = Line(1, 8, 0) + "\r\n" + Line(1, 9, 0) + "\r\n";
  WriteFile(recordPath, old);
  EXPECT_EQ(MergeError({Line(2, 8, 30), FormatRecordLine(3, 1, 2026, 2, 31, 9, 0)}),
            "'2026/02/31' is not a valid date");
  EXPECT_EQ(MergeError({FormatRecordLine(3, 1, 2026, 2, 1, 9, 75)}),
            "'09:75:00' is not a valid time");
  EXPECT_EQ(ReadFile(recordPath), old);
  EXPECT_FALSE(test::MergeFileLeft(recordPath));
}

TEST_F(RecordFileMergerTest, MissingBackupFolderStopsBeforeTheRecordFileIsTouched) {
  std::filesystem::remove(folder / "yedekler");
  const std::string message = MergeError({Line(1, 8, 0)});
  EXPECT_NE(message.find("yedekler/20261207.001"), std::string::npos) << message;
  EXPECT_FALSE(FileExists(recordPath));
}

TEST_F(RecordFileMergerTest, UnwritableOrUnreachableRecordFileIsNamed) {
  const std::string old = Line(1, 8, 0) + "\r\n";
  WriteFile(recordPath, old);
  ::chmod(recordPath.c_str(), 0444);
  EXPECT_EQ(MergeError({Line(2, 9, 0)}), "Unable to write to " + recordPath);
  EXPECT_EQ(ReadFile(recordPath), old);

  recordPath = folder / "yok/tr500.txt";
  const std::string message = MergeError({Line(2, 9, 0)});
  EXPECT_NE(message.find(recordPath), std::string::npos) << message;
}

TEST_F(RecordFileMergerTest, AbandonedMergeRemovesItsHalfWrittenFile) {
  const std::string old = Line(1, 8, 0) + "\r\n";
  WriteFile(recordPath, old);
  {
    RecordFileMerger merger;
    merger.Open(recordPath, folder.Path(), 1, kToday);
    merger.Add(Line(2, 9, 0));
  }
  EXPECT_EQ(ReadFile(recordPath), old);
  EXPECT_FALSE(test::MergeFileLeft(recordPath));
}

TEST_F(RecordFileMergerTest, PathsThatAreNotPlainFilesAreRefusedBeforeAnythingIsWritten) {
  // A FIFO would block the open for ever, /dev/null would be replaced by a
  // plain file, a folder cannot hold records.
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/null", folder / "null-link");
  std::filesystem::create_directory(folder / "klasor");
  for (const char* name : {"fifo", "null-link", "klasor"}) {
    recordPath = folder / name;
    const std::string message = MergeError({Line(1, 8, 0)});
    EXPECT_NE(message.find("Kayıt dosyası normal bir dosya değil"), std::string::npos) << message;
    EXPECT_FALSE(test::MergeFileLeft(recordPath));
  }
  EXPECT_EQ(std::filesystem::status(folder / "null-link").type(),
            std::filesystem::file_type::character);
  EXPECT_EQ(ReadFile(folder / "yedekler/20261207.001"), "");

  // The day's backup as the record file would merge its own appended lines.
  recordPath = folder / "yedekler/20261207.001";
  EXPECT_NE(MergeError({Line(1, 8, 0)}).find("yedek dosyasıyla aynı"), std::string::npos);
  EXPECT_EQ(ReadFile(recordPath), "");

  std::filesystem::remove(folder / "yedekler/20261207.001");
  ASSERT_EQ(::mkfifo((folder / "yedekler/20261207.001").c_str(), 0644), 0);
  recordPath = folder / "tr500.txt";
  EXPECT_NE(MergeError({Line(1, 8, 0)}).find("Yedek dosyası normal bir dosya değil (FIFO)"),
            std::string::npos);
  EXPECT_FALSE(FileExists(recordPath));
}

TEST_F(RecordFileMergerTest, RecordFileBehindALinkIsMergedWhereItLives) {
  std::filesystem::create_directory(folder / "ortak");
  const std::string shared = folder / "ortak/kayit.txt";
  WriteFile(shared, Line(1, 8, 0) + "\r\n");
  ::chmod(shared.c_str(), 0640);
  std::filesystem::create_symlink("ortak/kayit.txt", recordPath);
  Merge({Line(2, 9, 0)});
  EXPECT_TRUE(std::filesystem::is_symlink(recordPath));
  EXPECT_EQ(ReadFile(shared), Line(1, 8, 0) + "\r\n" + Line(2, 9, 0) + "\r\n");
  struct stat info {};
  ASSERT_EQ(::stat(shared.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace miravel
