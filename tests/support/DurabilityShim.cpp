// Loaded into a program under test with LD_PRELOAD: writes one line per
// durability call to the file named by MIRAVEL_DURABILITY_LOG, so a test can
// prove their order (data written, file forced to disk, renamed into place,
// folder forced to disk, and only then the terminal's log cleared). A missing
// fsync survives every kill test, since the page cache outlives the process;
// only the order of the calls shows it.
//
//   write <path>          data went to a file
//   fsync <path>          a file or folder was forced to disk
//   rename <from> <to>
//   clear                 a ClearAttendanceLog request left for the terminal
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using WriteFn = ssize_t (*)(int, const void*, size_t);
using SendFn = ssize_t (*)(int, const void*, size_t, int);
using SyncFn = int (*)(int);
using RenameFn = int (*)(const char*, const char*);
using RenameAtFn = int (*)(int, const char*, int, const char*);

WriteFn realWrite = nullptr;

void Log(const char* what, const char* first, const char* second = nullptr) {
  static int logFd = -2;
  if (logFd == -2) {
    const char* path = getenv("MIRAVEL_DURABILITY_LOG");
    logFd = path != nullptr ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
  }
  if (logFd < 0) return;
  char line[2 * PATH_MAX + 32];
  const int size = second != nullptr
                       ? snprintf(line, sizeof line, "%s %s %s\n", what, first, second)
                       : snprintf(line, sizeof line, "%s %s\n", what, first);
  if (size > 0) realWrite(logFd, line, static_cast<size_t>(size));
}

// What the descriptor is open on: a path, or "socket:[...]".
void PathOf(int fd, char* path, size_t size) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t got = readlink(link, path, size - 1);
  path[got > 0 ? got : 0] = '\0';
}

// A request frame is "MV", kind 'Q', a 4-byte length, then the operation.
constexpr unsigned char kClearAttendanceLog = 5;
bool IsClearRequest(const void* bytes, size_t size) {
  const auto* b = static_cast<const unsigned char*>(bytes);
  return size > 7 && b[0] == 'M' && b[1] == 'V' && b[2] == 'Q' && b[7] == kClearAttendanceLog;
}

void Wrote(int fd, const void* bytes, size_t size) {
  char path[PATH_MAX];
  PathOf(fd, path, sizeof path);
  if (strncmp(path, "socket:", 7) == 0 || strncmp(path, "/dev/pts", 8) == 0) {
    if (IsClearRequest(bytes, size)) Log("clear", "-");
  } else if (path[0] == '/') {
    Log("write", path);
  }
}

void Synced(int fd) {
  char path[PATH_MAX];
  PathOf(fd, path, sizeof path);
  Log("fsync", path);
}

// Paths as the log names them: whole, from the root.
void Absolute(const char* path, char* out) {
  if (realpath(path, out) != nullptr) return;
  snprintf(out, PATH_MAX, "%s", path);
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* bytes, size_t size) {
  if (realWrite == nullptr) realWrite = Next<WriteFn>("write");
  const ssize_t written = realWrite(fd, bytes, size);
  if (written > 0) Wrote(fd, bytes, static_cast<size_t>(written));
  return written;
}

ssize_t send(int fd, const void* bytes, size_t size, int flags) {
  static const SendFn realSend = Next<SendFn>("send");
  if (realWrite == nullptr) realWrite = Next<WriteFn>("write");
  const ssize_t sent = realSend(fd, bytes, size, flags);
  if (sent > 0) Wrote(fd, bytes, static_cast<size_t>(sent));
  return sent;
}

int fsync(int fd) {
  static const SyncFn realFsync = Next<SyncFn>("fsync");
  if (realWrite == nullptr) realWrite = Next<WriteFn>("write");
  const int result = realFsync(fd);
  if (result == 0) Synced(fd);
  return result;
}

int fdatasync(int fd) {
  static const SyncFn realSync = Next<SyncFn>("fdatasync");
  if (realWrite == nullptr) realWrite = Next<WriteFn>("write");
  const int result = realSync(fd);
  if (result == 0) Synced(fd);
  return result;
}

int rename(const char* from, const char* to) {
  static const RenameFn realRename = Next<RenameFn>("rename");
  if (realWrite == nullptr) realWrite = Next<WriteFn>("write");
  char fromPath[PATH_MAX];
  Absolute(from, fromPath);
  const int result = realRename(from, to);
  if (result == 0) {
    char toPath[PATH_MAX];
    Absolute(to, toPath);
    Log("rename", fromPath, toPath);
  }
  return result;
}

}  // extern "C"
