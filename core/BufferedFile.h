#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace miravel {

// Reads a file line by line through one fixed buffer, so memory does not grow
// with the file. A line ends at LF; a CR right before the LF belongs to the line
// end. A last line without a line end is still a line. Errors throw AppError
// naming the file.
class LineReader {
 public:
  static constexpr std::size_t kDefaultBufferSize = 1 << 18;

  // A small buffer makes lines span buffer fills (the fuzz target uses it).
  explicit LineReader(std::size_t bufferSize = kDefaultBufferSize) : bufferSize_(bufferSize) {}
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Returns false with errno set when the file cannot be opened; throws
  // AppError naming what the file is for when it is not a regular file.
  bool Open(const std::string& path, const std::string& what = "Dosya");
  // The next line without its line end, valid until the next call; false at
  // the end of the file.
  bool Next(std::string_view& line);
  bool AtEnd();
  void Close();
  const std::string& Path() const { return path_; }

 private:
  bool Fill();

  const std::size_t bufferSize_;
  int fd_ = -1;
  std::string path_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  std::string carry_;  // a line that spans two buffer fills
};

// Writes a file through one fixed buffer. Close() flushes and, when asked,
// forces the bytes to disk before it returns. Errors throw AppError naming the
// file ("Unable to write to <path>").
class FileWriter {
 public:
  enum class Mode { kTruncate, kAppend };

  FileWriter() = default;
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Creates the file when missing. Returns false with errno set on failure;
  // throws AppError naming what the file is for when it is not a regular file.
  bool Open(const std::string& path, Mode mode, const std::string& what = "Dosya");
  // Gives the file the permission bits of the file at path (when it exists),
  // for a file that is going to take that file's place.
  void CopyPermissionsFrom(const std::string& path);
  void Write(std::string_view bytes);
  // Writes the line followed by CR LF.
  void WriteLine(std::string_view line);
  // Flushes, optionally fsyncs, and closes; throws on any failure.
  void Close(bool syncToDisk);
  // Closes without flushing or reporting anything (used when a command is
  // abandoned).
  void Abandon();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

 private:
  void Flush();

  int fd_ = -1;
  std::string path_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

}  // namespace miravel
