#include "core/BufferedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/AppError.h"
#include "core/SafeFile.h"

namespace miravel {
namespace {

constexpr std::size_t kBufferSize = LineReader::kDefaultBufferSize;

}  // namespace

LineReader::~LineReader() {
  Close();
}

bool LineReader::Open(const std::string& path, const std::string& what) {
  Close();
  fd_ = OpenPlainFile(path, O_RDONLY, what);
  if (fd_ < 0) return false;
  path_ = path;
  buffer_.resize(bufferSize_ == 0 ? 1 : bufferSize_);
  begin_ = end_ = 0;
  eof_ = false;
  carry_.clear();
  return true;
}

void LineReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool LineReader::Fill() {
  if (eof_) return false;
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      throw FileError("Dosya okunamadı", path_, errno);
    }
    begin_ = 0;
    end_ = static_cast<std::size_t>(got);
    eof_ = got == 0;
    return !eof_;
  }
}

bool LineReader::AtEnd() {
  if (begin_ < end_) return false;
  return !Fill();
}

bool LineReader::Next(std::string_view& line) {
  carry_.clear();
  bool spanned = false;
  for (;;) {
    if (begin_ >= end_ && !Fill()) {
      if (!spanned) return false;
      // Last line of the file without a line end.
      if (!carry_.empty() && carry_.back() == '\r') carry_.pop_back();
      line = carry_;
      return true;
    }
    const char* start = buffer_.data() + begin_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    if (newline == nullptr) {
      carry_.append(start, end_ - begin_);
      begin_ = end_;
      spanned = true;
      continue;
    }
    const auto length = static_cast<std::size_t>(newline - start);
    begin_ += length + 1;
    if (!spanned) {
      line = std::string_view(start, length);
    } else {
      carry_.append(start, length);
      line = carry_;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }
}

FileWriter::~FileWriter() {
  Abandon();
}

bool FileWriter::Open(const std::string& path, Mode mode, const std::string& what) {
  Abandon();
  const int flags = O_WRONLY | O_CREAT | (mode == Mode::kAppend ? O_APPEND : O_TRUNC);
  fd_ = OpenPlainFile(path, flags, what);
  if (fd_ < 0) return false;
  path_ = path;
  buffer_.resize(kBufferSize);
  used_ = 0;
  return true;
}

void FileWriter::CopyPermissionsFrom(const std::string& path) {
  struct stat info {};
  if (fd_ >= 0 && ::stat(path.c_str(), &info) == 0) ::fchmod(fd_, info.st_mode & 07777);
}

void FileWriter::Write(std::string_view bytes) {
  if (used_ + bytes.size() > buffer_.size()) {
    Flush();
    if (bytes.size() > buffer_.size()) buffer_.resize(bytes.size());
  }
  std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
}

void FileWriter::WriteLine(std::string_view line) {
  if (used_ + line.size() + 2 > buffer_.size()) {
    Write(line);
    Write("\r\n");
    return;
  }
  char* out = buffer_.data() + used_;
  std::memcpy(out, line.data(), line.size());
  out[line.size()] = '\r';
  out[line.size() + 1] = '\n';
  used_ += line.size() + 2;
}

void FileWriter::Flush() {
  if (!WriteAll(fd_, std::string_view(buffer_.data(), used_))) throw WriteError(path_);
  used_ = 0;
}

void FileWriter::Close(bool syncToDisk) {
  if (fd_ < 0) return;
  Flush();
  if (syncToDisk && ::fsync(fd_) != 0) throw WriteError(path_);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw WriteError(path_);
}

void FileWriter::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  used_ = 0;
}

}  // namespace miravel
