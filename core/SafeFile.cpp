#include "core/SafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/AppError.h"

namespace miravel {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void SyncParentFolder(const std::string& path) {
  // Built in one step: g++ 12 warns falsely (-Wrestrict) on assigning "." later.
  const std::string folder = FolderOf(path).empty() ? std::string(".") : FolderOf(path);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

namespace {

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "klasör";
  if (S_ISFIFO(mode)) return "FIFO";
  if (S_ISSOCK(mode)) return "soket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "aygıt";
  return "özel dosya";
}

AppError NotPlainFile(const std::string& path, const std::string& what, mode_t mode) {
  return AppError(what + " normal bir dosya değil (" + KindOf(mode) + "): " + path);
}

}  // namespace

std::string FollowLinks(const std::string& path) {
  std::string current = path;
  // As many hops as the system itself follows before it calls it a loop.
  for (int hop = 0; hop < 40; ++hop) {
    std::vector<char> target(4096);
    const ssize_t size = ::readlink(current.c_str(), target.data(), target.size());
    if (size < 0) return current;  // not a link (or missing): this is the file
    std::string next(target.data(), static_cast<std::size_t>(size));
    current = next.front() == '/' ? next : FolderOf(current) + next;
  }
  throw AppError("Bağlantı döngüsü: " + path);
}

void RequirePlainFileOrMissing(const std::string& path, const std::string& what) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    throw NotPlainFile(path, what, info.st_mode);
  }
}

int OpenPlainFile(const std::string& path, int flags, const std::string& what, mode_t mode) {
  RequirePlainFileOrMissing(path, what);
  // Non-blocking, so that a FIFO swapped in after the look above cannot hang
  // the open; for a regular file the flag changes nothing.
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    throw NotPlainFile(path, what, info.st_mode);
  }
  return fd;
}

namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Removes the temporary copies ".<name>.<pid>.XXXXXX" in folder whose writing
// process is gone: a program killed while it replaced the file left them, and
// each is as big as the file (a fingerprint store can be many megabytes). A
// copy whose process still runs, in this program or another, is left alone.
void RemoveLeftoverCopies(const std::string& folder, const std::string& name) {
  const std::string prefix = "." + name + ".";
  RemoveFilesNamed(folder, [&](std::string_view rest) {
    if (!rest.starts_with(prefix)) return false;
    rest.remove_prefix(prefix.size());
    const std::size_t dot = rest.find('.');
    if (dot == std::string_view::npos || rest.size() - dot - 1 != 6) return false;
    const std::string_view digits = rest.substr(0, dot);
    if (!AllDigits(digits) || digits.size() > 9) return false;
    const pid_t pid = static_cast<pid_t>(std::stol(std::string(digits)));
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
  });
}

}  // namespace

void RemoveFilesNamed(const std::string& folder,
                      const std::function<bool(std::string_view)>& isLeftover) {
  DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
  if (listing == nullptr) return;
  std::vector<std::string> leftovers;
  while (const dirent* entry = ::readdir(listing)) {
    if (isLeftover(entry->d_name)) leftovers.emplace_back(entry->d_name);
  }
  ::closedir(listing);
  for (const std::string& leftover : leftovers) ::unlink((folder + leftover).c_str());
}

void WriteFileAtomically(const std::string& path, std::string_view bytes,
                         const std::string& scratchName) {
  WriteFileAtomically(
      path, [bytes](const ByteSink& sink) { return sink(bytes); }, scratchName);
}

void WriteFileAtomically(const std::string& linkOrPath,
                         const std::function<bool(const ByteSink& sink)>& produce,
                         const std::string& scratchName) {
  const std::string path = FollowLinks(linkOrPath);
  // A FIFO or device there is not ours to replace by a plain file.
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    throw WriteError(linkOrPath);
  }
  const std::string folder = FolderOf(path);
  const std::string name = path.substr(folder.size());
  std::string tempPath;
  int fd = -1;
  if (scratchName.empty()) {
    RemoveLeftoverCopies(folder, name);
    // The process number tells a later write whether the copy is a leftover.
    std::string pattern = folder + "." + name + "." + std::to_string(::getpid()) + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    fd = ::mkstemp(temp.data());
    tempPath = temp.data();
  } else {
    tempPath = folder + scratchName;
    fd = OpenPlainFile(tempPath, O_WRONLY | O_CREAT | O_TRUNC, "Dosya", 0600);
  }
  if (fd < 0) throw WriteError(linkOrPath);

  // Keep the permissions of the file we replace; a new file gets the usual ones.
  struct stat old {};
  mode_t mode = 0644;
  if (::stat(path.c_str(), &old) == 0) mode = old.st_mode & 07777;
  ::fchmod(fd, mode);

  const bool ok = produce([fd](std::string_view piece) { return WriteAll(fd, piece); }) &&
                  ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!ok || !closed || ::rename(tempPath.c_str(), path.c_str()) != 0) {
    ::unlink(tempPath.c_str());
    throw WriteError(linkOrPath);
  }
  SyncParentFolder(path);
}

std::string MissingLineEnd(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "";
  char last = '\n';
  const off_t size = ::lseek(fd, 0, SEEK_END);
  if (size > 0 && ::pread(fd, &last, 1, size - 1) != 1) last = '\n';
  ::close(fd);
  return last == '\n' ? "" : last == '\r' ? "\n" : "\r\n";
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  const int fd = OpenPlainFile(path, O_RDONLY, "Dosya");
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    throw FileError("Dosya açılamadı", path, errno);
  }
  bytes.clear();
  // Room for the whole file at once: growing by doubling would hold up to
  // three times its size while the last part is copied.
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    bytes.reserve(static_cast<std::size_t>(info.st_size));
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      throw FileError("Dosya okunamadı", path, error);
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return true;
}

}  // namespace miravel
