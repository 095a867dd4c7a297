#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <string>

namespace miravel {

// What tells, without reading the file, whether it is still the one we hold.
// stat follows a symbolic link, so an edit of the file it points to counts.
struct FileStamp {
  // kUnknown: stat failed for another reason than a missing file; it never
  // matches, so the next call reads the file again (and reports what fails).
  enum class Kind : unsigned char { kMissing, kRegular, kOther, kUnknown };
  Kind kind = Kind::kMissing;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  time_t seconds = 0;
  long nanoseconds = 0;

  bool operator==(const FileStamp&) const = default;
  bool Matches(const FileStamp& other) const { return kind != Kind::kUnknown && *this == other; }
  // The same for what fstat gave of an open file.
  bool Matches(const struct stat& info) const;
};

FileStamp StampOf(const std::string& path);

}  // namespace miravel
