#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/BufferedFile.h"
#include "core/Clock.h"
#include "transfer/RecordLine.h"

namespace miravel {

// Merges one terminal's new record lines into the record file in time order,
// streaming: the old file is read line by line into "<record file>.<pid>.gcc",
// new lines are slotted in before the first existing line that is not earlier
// than them, and the merged file then replaces the record file in one atomic
// rename. Every new line is also appended to the day's backup file of the
// terminal's row, yedekler/YYYYMMDD.NNN in the program folder.
//
// Use: Open, Add for each record in the order the terminal delivers them,
// Finish. A merger destroyed without a successful Finish (the command stopped)
// closes its files, removes its half-written merge file and leaves the record
// file exactly as it was.
class RecordFileMerger {
 public:
  RecordFileMerger() = default;
  ~RecordFileMerger();
  RecordFileMerger(const RecordFileMerger&) = delete;
  RecordFileMerger& operator=(const RecordFileMerger&) = delete;

  // programFolder may or may not end in '/'. rowNumber is the terminal's
  // 1-based row in the main window. Throws AppError naming the file when the
  // backup file, the record file or the merge file cannot be opened; the
  // record file is then untouched.
  void Open(const std::string& recordFilePath, const std::string& programFolder, int rowNumber,
            CalendarDate today);
  // The same for several terminals merged in one pass (MergeGathered): the
  // backups of their rows are opened in the order given, before the record
  // file. Add then writes to the first one.
  void Open(const std::string& recordFilePath, const std::string& programFolder,
            const std::vector<int>& rowNumbers, CalendarDate today);

  // An impossible date or time in the line throws before anything of it is
  // written.
  void Add(std::string_view line);

  // Gives the next line of one terminal, in the order it delivered them;
  // false at the end.
  using LineSource = std::function<bool(std::string& line)>;
  // Merges the lines of several terminals (one source per row given to Open,
  // in that order) with the whole record file, in one pass, into exactly
  // what merging them one terminal after another gives: each terminal's
  // lines go in as if the record file already held those of the terminals
  // before it, so lines of equal time stand in the same order, whatever
  // order the lines arrive in. Each terminal's lines also go to its backup.
  // Finish (or its two steps) follows.
  void MergeGathered(std::vector<LineSource> sources);

  // Copies the rest of the old file, forces the merge and backup files to disk
  // and renames the merge file over the record file. When the rename fails the
  // merged text stays in the merge file and AppError names both files.
  void Finish();
  // Finish in its two steps, for a caller that writes more files before the
  // rename: the merge file and backups complete on disk, then the rename.
  void FinishMergeFile();
  void ReplaceRecordFile();

  // The backup files Open opened, in the order of its rows.
  const std::vector<std::string>& BackupPaths() const { return backupPaths_; }

  const std::string& MergePath() const { return mergePath_; }

  // Removes the merge files "<record file>.<number>.gcc" that runs ended by a
  // kill or a power loss left beside the record file (links followed), so
  // they do not pile up, each as big as the record file. Only a run holding
  // the record file's RecordFileLock may call it: no other merge into the
  // file can be running then. Failures are ignored; a leftover is never read.
  static void RemoveLeftoverMergeFiles(const std::string& recordFilePath);

  // "YYYYMMDD.NNN" for the date and the 1-based row number.
  static std::string BackupName(CalendarDate date, int rowNumber);
  // That backup's path in the program folder's yedekler folder.
  static std::string BackupPath(const std::string& programFolder, CalendarDate date, int rowNumber);

 private:
  void ReadPending();
  void Abandon();

  std::string recordPath_;
  std::string mergePath_;
  std::vector<std::string> backupPaths_;
  LineReader record_;
  FileWriter merge_;
  std::vector<std::unique_ptr<FileWriter>> backups_;
  // The next existing line; it points into the reader's buffer, which stays
  // valid until the reader is asked for the line after it.
  std::string_view pendingLine_;
  std::int64_t pendingTime_ = 0;
  ExistingLineClock clock_;
  // Whether pendingLine_ holds an existing line that is not yet in the merge
  // file. An explicit flag rather than a special time value, so that no real
  // date can be taken for "already written".
  bool hasPending_ = false;
  bool open_ = false;
  bool keepMergeFile_ = false;
};

}  // namespace miravel
