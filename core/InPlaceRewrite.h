#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/FileStamp.h"

namespace miravel {

// Bytes of a file overwritten by as many other bytes, where they stand.
struct BytePatch {
  std::uint64_t offset = 0;
  std::string before;  // what the file holds there now
  std::string after;   // of the same length
};

// Overwrites the patches in the file at path itself, instead of replacing
// a file of hundreds of megabytes for a few bytes, when the open file is
// still the one held (another program may have replaced it since it was
// read). Safe as a replacement is: a note of the patches, beside the file
// as ".<name>.yerinde", is on disk before the file is touched and goes once
// the file is; a power loss in between, which may leave a patch torn, is
// completed from the note by FinishInPlaceRewrite. Returns false, with the
// file untouched, when the file is not the one held or the note cannot be written;
// throws AppError "Unable to write to <path>" when the file could not take
// the patches (they are taken back as far as it allows).
bool RewriteInPlace(const std::string& path, const std::vector<BytePatch>& patches,
                    const FileStamp& held);

// Completes the patches of a note that a stopped rewrite left beside the
// file and removes the note. A note cut short, or one whose file holds at a
// patch something that is neither the bytes before nor after it (another
// program wrote the file since), is only removed. True when it patched the file.
bool FinishInPlaceRewrite(const std::string& path);

// The note's path for the file at path; its text for patches to a file of
// size bytes.
std::string InPlaceNotePath(const std::string& path);
std::string InPlaceNoteText(std::uint64_t size, const std::vector<BytePatch>& patches);

}  // namespace miravel
