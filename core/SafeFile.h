#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace miravel {

// The file path names once its symbolic links are followed (the last one may
// name a file that does not exist yet). A file the office keeps behind a link,
// such as a record file shared with payroll software, is replaced where it
// really lives, and the link stays a link. Throws AppError for a link loop.
std::string FollowLinks(const std::string& path);

// Opens path as open(2) does, but only a regular file: a FIFO would block the
// command for ever, a device never ends or swallows what is written, and a
// folder or socket cannot hold records. Such a path throws AppError
// "<what> normal bir dosya değil (<kind>): <path>" before anything is read or
// written. Returns -1 with errno set for ordinary failures (missing file,
// permission).
int OpenPlainFile(const std::string& path, int flags, const std::string& what, mode_t mode = 0644);

// Throws the same AppError when path exists and is not a regular file.
void RequirePlainFileOrMissing(const std::string& path, const std::string& what);

// Replaces the file at path with bytes so that a crash at any instant leaves
// either the old file or the new one: the bytes go to a temporary file in the
// same folder, which is flushed to disk and renamed over path. A symbolic link
// at path stays a link: the file it points to is replaced. The new file keeps
// the old one's permission bits. Throws AppError
// "Unable to write to <path>" on failure; the old file is then untouched.
// The temporary file is ".<name>.<pid>.XXXXXX"; those left by a writer that
// was killed are removed by the next write. scratchName, when given, names the
// temporary file in that folder instead (for a file whose scratch name the
// office knows, such as _personel.ini).
void WriteFileAtomically(const std::string& path, std::string_view bytes,
                         const std::string& scratchName = "");

// Takes the next piece of a file being written; false when it cannot be written.
using ByteSink = std::function<bool(std::string_view)>;

// As above, for a file made piece by piece, so that a file of hundreds of
// megabytes is not held whole a second time: produce gives the pieces to the
// sink in order and returns false when the sink refused one (nothing is
// replaced then).
void WriteFileAtomically(const std::string& path,
                         const std::function<bool(const ByteSink& sink)>& produce,
                         const std::string& scratchName = "");

// Writes all of bytes to fd, retrying short writes; false on an error.
bool WriteAll(int fd, std::string_view bytes);

// Makes a rename or creation inside path's folder durable.
void SyncParentFolder(const std::string& path);

// Reads a whole file. Returns false when it cannot be opened (missing file);
// throws AppError when it exists but cannot be read or is not a regular file.
// A symbolic link is followed.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// What completes the file's last line before more lines are appended, so that
// a file cut short by a power loss does not glue the next line to its torn
// last one: "" when the file is missing, empty or ends a line; "\n" when it
// ends in a CR (the cut fell inside the line end: a CR completed by another
// CR LF would stay in the line and make it unreadable); "\r\n" otherwise.
std::string MissingLineEnd(const std::string& path);

// Removes the files in folder (a FolderOf result: "" or ending in '/') whose
// names isLeftover accepts; failures are ignored. For leftovers of runs that
// were killed: the caller must know that nobody is writing them.
void RemoveFilesNamed(const std::string& folder,
                      const std::function<bool(std::string_view)>& isLeftover);

// The folder part of path with its trailing '/', or "" when path has none.
std::string FolderOf(const std::string& path);

}  // namespace miravel
