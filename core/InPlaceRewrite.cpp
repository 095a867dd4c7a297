#include "core/InPlaceRewrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>

#include "core/AppError.h"
#include "core/Checksum.h"
#include "core/SafeFile.h"

namespace miravel {
namespace {

// The note: its first line, the file's size, then per patch its offset and
// length and the bytes before and after it, and a checksum of all that.
constexpr std::string_view kNoteHeader = "miravel yerinde 1\n";

void PutNumber(std::string& text, std::uint64_t value) {
  text += std::to_string(value);
  text += '\n';
}

// Reads a number ended by a line end at pos; false when there is none.
bool TakeNumber(std::string_view text, std::size_t& pos, std::uint64_t& value) {
  const std::size_t end = text.find('\n', pos);
  if (end == std::string_view::npos || end == pos) return false;
  const auto [stop, error] = std::from_chars(text.data() + pos, text.data() + end, value);
  if (error != std::errc() || stop != text.data() + end) return false;
  pos = end + 1;
  return true;
}

// The note's patches and the size it was written for; false for a note cut
// short or damaged.
bool ParseNote(std::string_view text, std::uint64_t& size, std::vector<BytePatch>& patches) {
  if (!text.starts_with(kNoteHeader) || text.size() < kNoteHeader.size() + 17) return false;
  const std::string_view body = text.substr(0, text.size() - 17);
  const std::string_view sum = text.substr(text.size() - 17, 16);
  std::uint64_t written = 0;
  if (std::from_chars(sum.data(), sum.data() + sum.size(), written, 16).ec != std::errc() ||
      written != Checksum(body) || text.back() != '\n') {
    return false;
  }
  std::size_t pos = kNoteHeader.size();
  std::uint64_t count = 0;
  if (!TakeNumber(body, pos, size) || !TakeNumber(body, pos, count)) return false;
  for (std::uint64_t n = 0; n < count; ++n) {
    BytePatch patch;
    std::uint64_t length = 0;
    if (!TakeNumber(body, pos, patch.offset) || !TakeNumber(body, pos, length) ||
        body.size() - pos < 2 * length) {
      return false;
    }
    patch.before = body.substr(pos, length);
    patch.after = body.substr(pos + length, length);
    pos += 2 * length;
    patches.push_back(std::move(patch));
  }
  return pos == body.size();
}

bool WritePatches(int fd, const std::vector<BytePatch>& patches, bool after) {
  for (const BytePatch& patch : patches) {
    const std::string& bytes = after ? patch.after : patch.before;
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t wrote = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                     static_cast<off_t>(patch.offset + done));
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) return false;
      done += static_cast<std::size_t>(wrote);
    }
  }
  return true;
}

// Every byte of each patch is either its byte before or after: the file is
// the one the note was written for, perhaps patched in part.
bool HoldsPatchesInPart(int fd, const std::vector<BytePatch>& patches) {
  for (const BytePatch& patch : patches) {
    std::string now(patch.before.size(), '\0');
    if (::pread(fd, now.data(), now.size(), static_cast<off_t>(patch.offset)) !=
        static_cast<ssize_t>(now.size())) {
      return false;
    }
    for (std::size_t i = 0; i < now.size(); ++i) {
      if (now[i] != patch.before[i] && now[i] != patch.after[i]) return false;
    }
  }
  return true;
}

}  // namespace

std::string InPlaceNotePath(const std::string& path) {
  const std::string real = FollowLinks(path);
  const std::string folder = FolderOf(real);
  return folder + "." + real.substr(folder.size()) + ".yerinde";
}

std::string InPlaceNoteText(std::uint64_t size, const std::vector<BytePatch>& patches) {
  std::string text(kNoteHeader);
  PutNumber(text, size);
  PutNumber(text, patches.size());
  for (const BytePatch& patch : patches) {
    PutNumber(text, patch.offset);
    PutNumber(text, patch.before.size());
    text += patch.before;
    text += patch.after;
  }
  char sum[17];
  const auto end = std::to_chars(sum, sum + 16, Checksum(text), 16).ptr;
  text += std::string(static_cast<std::size_t>(16 - (end - sum)), '0');
  text.append(sum, end);
  text += '\n';
  return text;
}

bool RewriteInPlace(const std::string& path, const std::vector<BytePatch>& patches,
                    const FileStamp& held) {
  const std::string real = FollowLinks(path);
  const int fd = ::open(real.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !held.Matches(info)) {
    ::close(fd);
    return false;
  }
  const std::string note = InPlaceNotePath(real);
  const int noteFd = ::open(note.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const bool noted = noteFd >= 0 &&
                     WriteAll(noteFd, InPlaceNoteText(static_cast<std::uint64_t>(info.st_size),
                                                      patches)) &&
                     ::fsync(noteFd) == 0;
  if (noteFd >= 0) ::close(noteFd);
  if (!noted) {
    ::unlink(note.c_str());
    ::close(fd);
    return false;
  }
  // The note's name must outlive a power loss before the file is touched.
  SyncParentFolder(note);
  if (!WritePatches(fd, patches, true) || ::fdatasync(fd) != 0) {
    const bool undone = WritePatches(fd, patches, false) && ::fdatasync(fd) == 0;
    ::close(fd);
    // Left when the old bytes could not be put back: the next read completes the new.
    if (undone) ::unlink(note.c_str());
    throw WriteError(path);
  }
  ::close(fd);
  // A removal lost to a power loss is harmless: the note only repeats what
  // the file now holds.
  ::unlink(note.c_str());
  return true;
}

bool FinishInPlaceRewrite(const std::string& path) {
  const std::string note = InPlaceNotePath(path);
  std::string text;
  if (!ReadWholeFile(note, text)) return false;
  std::uint64_t size = 0;
  std::vector<BytePatch> patches;
  const int fd = ::open(FollowLinks(path).c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  struct stat info {};
  bool finished = true;
  bool patched = false;
  if (fd >= 0 && ParseNote(text, size, patches) && ::fstat(fd, &info) == 0 &&
      static_cast<std::uint64_t>(info.st_size) == size && HoldsPatchesInPart(fd, patches)) {
    finished = WritePatches(fd, patches, true) && ::fdatasync(fd) == 0;
    patched = true;
  }
  if (fd >= 0) ::close(fd);
  // Kept while the file could not take it: the next read tries again.
  if (finished) ::unlink(note.c_str());
  return patched;
}

}  // namespace miravel
