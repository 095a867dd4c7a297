#pragma once

#include <string>
#include <string_view>

namespace miravel {

// Replaces the file at path with bytes so that a crash at any instant leaves
// either the old file or the new one: the bytes go to a temporary file in the
// same folder, which is flushed to disk and renamed over path. Throws AppError
// "Unable to write to <path>" on failure; the old file is then untouched.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Writes all of bytes to fd, retrying short writes; false on an error.
bool WriteAll(int fd, std::string_view bytes);

// Makes a rename or creation inside path's folder durable.
void SyncParentFolder(const std::string& path);

// Reads a whole file. Returns false when it cannot be opened (missing file);
// throws AppError when it exists but cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// The folder part of path with its trailing '/', or "" when path has none.
std::string FolderOf(const std::string& path);

}  // namespace miravel
