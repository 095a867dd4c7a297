#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/BufferedFile.h"
#include "transfer/DeliveryNote.h"
#include "transfer/RecordLine.h"

namespace miravel {

struct CalendarDate {
  int year = 0, month = 0, day = 0;
};

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

  // An impossible date or time in the line throws before anything of it is
  // written.
  void Add(std::string_view line);

  // Copies the rest of the old file, forces the merge and backup files to disk
  // and renames the merge file over the record file. When the rename fails the
  // merged text stays in the merge file and AppError names both files.
  void Finish();
  // Finish in its two steps, for a caller that writes its delivery note
  // between them: the merge file complete on disk (its version returned),
  // then the rename.
  RecordFileVersion FinishMergeFile();
  void ReplaceRecordFile();

  // The version of the record file this merge reads (none when Open found no
  // file and made an empty one).
  const std::optional<RecordFileVersion>& ReadVersion() const { return readVersion_; }

  const std::string& BackupPath() const { return backupPath_; }
  const std::string& MergePath() const { return mergePath_; }

  // Removes the merge files "<record file>.<number>.gcc" that runs ended by a
  // kill or a power loss left beside the record file (links followed), so
  // they do not pile up, each as big as the record file. Only a run holding
  // the record file's RecordFileLock may call it: no other merge into the
  // file can be running then. Failures are ignored; a leftover is never read.
  static void RemoveLeftoverMergeFiles(const std::string& recordFilePath);

  // "YYYYMMDD.NNN" for the date and the 1-based row number.
  static std::string BackupName(CalendarDate date, int rowNumber);

 private:
  void ReadPending();
  void Abandon();

  std::string recordPath_;
  std::string mergePath_;
  std::string backupPath_;
  std::optional<RecordFileVersion> readVersion_;
  LineReader record_;
  FileWriter merge_;
  FileWriter backup_;
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
