#include "core/FileStamp.h"

#include <cerrno>

namespace miravel {
namespace {

FileStamp StampOfInfo(const struct stat& info) {
  FileStamp stamp;
  stamp.kind = S_ISREG(info.st_mode) ? FileStamp::Kind::kRegular : FileStamp::Kind::kOther;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.seconds = info.st_mtim.tv_sec;
  stamp.nanoseconds = info.st_mtim.tv_nsec;
  return stamp;
}

}  // namespace

bool FileStamp::Matches(const struct stat& info) const {
  return Matches(StampOfInfo(info));
}

FileStamp StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    FileStamp stamp;
    if (errno != ENOENT && errno != ENOTDIR) stamp.kind = FileStamp::Kind::kUnknown;
    return stamp;
  }
  return StampOfInfo(info);
}

}  // namespace miravel
