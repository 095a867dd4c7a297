#include "transfer/RecordFileMerger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/AppError.h"
#include "core/FolderPath.h"
#include "core/Numbers.h"
#include "core/SafeFile.h"
#include "transfer/RecordLine.h"

namespace miravel {
namespace {

// A record file without any write permission is one the office has locked on
// purpose; replacing it by rename would silently bypass that, so it is refused
// (also for root, who passes every access check).
bool IsReadOnly(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  return ::access(path.c_str(), W_OK) != 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

void RecordFileMerger::RemoveLeftoverMergeFiles(const std::string& recordFilePath) {
  const std::string recordPath = FollowLinks(recordFilePath);
  const std::string folder = FolderOf(recordPath);
  const std::string prefix = recordPath.substr(folder.size()) + ".";
  RemoveFilesNamed(folder, [&](std::string_view name) {
    if (!name.starts_with(prefix) || !name.ends_with(".gcc")) return false;
    const std::string_view number = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    return !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos;
  });
}

std::string RecordFileMerger::BackupName(CalendarDate date, int rowNumber) {
  return PadNumber(4, date.year) + PadNumber(2, date.month) + PadNumber(2, date.day) + "." +
         PadNumber(3, rowNumber);
}

std::string RecordFileMerger::BackupPath(const std::string& programFolder, CalendarDate date,
                                         int rowNumber) {
  return PathInFolder(programFolder, "yedekler/" + BackupName(date, rowNumber));
}

RecordFileMerger::~RecordFileMerger() {
  Abandon();
}

void RecordFileMerger::Open(const std::string& recordFilePath, const std::string& programFolder,
                            int rowNumber, CalendarDate today) {
  Open(recordFilePath, programFolder, std::vector<int>{rowNumber}, today);
}

void RecordFileMerger::Open(const std::string& recordFilePath, const std::string& programFolder,
                            const std::vector<int>& rowNumbers, CalendarDate today) {
  Abandon();
  // A record file behind a symbolic link is merged where it really lives, so
  // the link (and whoever reads through it) gets the records.
  recordPath_ = FollowLinks(recordFilePath);
  // The merge file carries the process number: two programs merging into one
  // record file can never write the same merge file.
  mergePath_ = recordPath_ + "." + std::to_string(::getpid()) + ".gcc";
  backupPaths_.clear();
  backups_.clear();
  // The backups first: a missing yedekler folder stops the command before the
  // record file is created or read.
  for (const int row : rowNumbers) {
    const std::string& path = backupPaths_.emplace_back(BackupPath(programFolder, today, row));
    auto& backup = *backups_.emplace_back(std::make_unique<FileWriter>());
    if (!backup.Open(path, FileWriter::Mode::kAppend, "Yedek dosyası")) {
      throw FileError("Yedek dosyası açılamadı", path, errno);
    }
    backup.Write(MissingLineEnd(path));
  }
  if (!record_.Open(recordPath_, "Kayıt dosyası")) {
    if (errno != ENOENT) throw FileError("Kayıt dosyası açılamadı", recordPath_, errno);
    FileWriter create;
    if (!create.Open(recordPath_, FileWriter::Mode::kAppend, "Kayıt dosyası")) {
      throw FileError("Kayıt dosyası oluşturulamadı", recordPath_, errno);
    }
    create.Close(false);
    if (!record_.Open(recordPath_, "Kayıt dosyası")) {
      throw FileError("Kayıt dosyası açılamadı", recordPath_, errno);
    }
  }
  // Merging the day's backup into itself would read back the lines it is
  // appending and write them again.
  for (const std::string& backupPath : backupPaths_) {
    if (SameFile(recordPath_, backupPath)) {
      throw AppError("Kayıt dosyası günün yedek dosyasıyla aynı dosya olamaz: " + recordPath_);
    }
  }
  if (IsReadOnly(recordPath_)) throw WriteError(recordPath_);
  if (!merge_.Open(mergePath_, FileWriter::Mode::kTruncate, "Birleştirme dosyası")) {
    throw FileError("Birleştirme dosyası oluşturulamadı", mergePath_, errno);
  }
  // Whoever may read or write the record file keeps that right after it is
  // replaced.
  merge_.CopyPermissionsFrom(recordPath_);
  open_ = true;
  ReadPending();
}

void RecordFileMerger::ReadPending() {
  hasPending_ = record_.Next(pendingLine_);
  if (hasPending_) pendingTime_ = clock_.TimeOf(pendingLine_);
}

void RecordFileMerger::Add(std::string_view line) {
  const std::int64_t time = NewLineTime(line);
  // Existing lines earlier than the new one go first; an existing line with
  // the same time stays after the new line.
  while (hasPending_ && pendingTime_ < time) {
    merge_.WriteLine(pendingLine_);
    ReadPending();
  }
  merge_.WriteLine(line);
  backups_.front()->WriteLine(line);
}

void RecordFileMerger::MergeGathered(std::vector<LineSource> sources) {
  struct Terminal {
    LineSource next;
    std::string line;
    std::int64_t time = 0;
    bool has = false;
    void Advance() {
      has = next(line);
      if (has) time = NewLineTime(line);
    }
  };
  std::vector<Terminal> terminals;
  for (LineSource& source : sources) {
    Terminal& terminal = terminals.emplace_back();
    terminal.next = std::move(source);
    terminal.Advance();
  }
  // A line enters at terminal j's stage when it is a line of the record file
  // as terminal j's merge would read it: the terminal's own lines that are
  // not later than it go first (an existing line of equal time stays after
  // a new one), then the line moves on to the next stage.
  const auto pass = [&](const auto& self, std::size_t j, std::string_view line,
                        std::int64_t time) -> void {
    for (; j < terminals.size(); ++j) {
      Terminal& terminal = terminals[j];
      while (terminal.has && terminal.time <= time) {
        const std::string own = std::move(terminal.line);
        const std::int64_t ownTime = terminal.time;
        terminal.Advance();
        backups_[j]->WriteLine(own);
        self(self, j + 1, own, ownTime);
      }
    }
    merge_.WriteLine(line);
  };
  std::string_view line;
  if (hasPending_) {
    pass(pass, 0, pendingLine_, pendingTime_);
    hasPending_ = false;
    while (record_.Next(line)) pass(pass, 0, line, clock_.TimeOf(line));
  }
  // The rest of each terminal's lines, as its merge would write them after
  // the end of the file it read.
  for (std::size_t j = 0; j < terminals.size(); ++j) {
    Terminal& terminal = terminals[j];
    while (terminal.has) {
      const std::string own = std::move(terminal.line);
      const std::int64_t ownTime = terminal.time;
      terminal.Advance();
      backups_[j]->WriteLine(own);
      pass(pass, j + 1, own, ownTime);
    }
  }
}

void RecordFileMerger::Finish() {
  FinishMergeFile();
  ReplaceRecordFile();
}

void RecordFileMerger::FinishMergeFile() {
  std::string_view line;
  if (hasPending_) {
    merge_.WriteLine(pendingLine_);
    hasPending_ = false;
    while (record_.Next(line)) merge_.WriteLine(line);
  }
  for (auto& backup : backups_) backup->Close(true);
  record_.Close();
  merge_.Close(true);
}

void RecordFileMerger::ReplaceRecordFile() {
  open_ = false;
  if (std::rename(mergePath_.c_str(), recordPath_.c_str()) != 0) {
    const int error = errno;
    keepMergeFile_ = true;
    throw FileError(
        "Kayıt dosyası yenilenemedi; birleştirilen kayıtlar " + mergePath_ + " dosyasında duruyor",
        recordPath_, error);
  }
  SyncParentFolder(recordPath_);
}

void RecordFileMerger::Abandon() {
  for (auto& backup : backups_) backup->Abandon();
  record_.Close();
  merge_.Abandon();
  if (open_ && !keepMergeFile_) ::unlink(mergePath_.c_str());
  open_ = false;
  hasPending_ = false;
}

}  // namespace miravel
