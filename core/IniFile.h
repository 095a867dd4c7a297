#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace miravel {

// A private-profile (INI) file that reads and writes like the Windows profile
// functions: case-insensitive section and key names, the first section and
// the first key of a name win, values trimmed and unquoted when read, a new key
// after the last key line of its section, a new section at the end of the
// file, CR LF for lines we write, Windows-1254 on disk, UTF-8 in memory.
//
// Every write is on disk when the call returns (write-through, by writing a
// temporary file beside it, fsync and rename), so a crash leaves either the
// old or the new file. Lines we did not change keep their bytes. A file of a
// megabyte or more takes a few changed key lines that are no longer than
// they were where they stand instead, filled with blanks to their old
// length, under a note that completes them after a power loss (see
// InPlaceRewrite.h): a card number edited in a store of hundreds of
// megabytes writes a few bytes, not the store.
//
// A missing file reads as empty and is created by the first write; anything at
// the path that is not a regular file (a folder, a pipe) reads as empty too.
//
// Another program may change the file while we hold it (an administrator
// editing it in a text editor). Before each read and each write the file on
// disk is compared with the one last read or written by us (one stat, through
// a symbolic link: device, inode, size, modification time to the nanosecond)
// and read again when it differs, so that its edit is seen and kept by our
// next write. Our own commits do not count as changes. A write group checks
// once, when the outermost group begins; inside it the file is not read again
// (the group's changes are not on disk yet and would be lost), so its commit
// replaces an edit made meanwhile by another program.
//
// Reading: a line in a section that is not blank, not a comment (';') and not
// a header, and has no '=', is no key (as on Windows): KeyExists is false for
// its text and ReadString gives the default. It still stands among the
// section's keys: a new key goes after it, and erasing the section removes it.
// Writing its name adds a key line; the bare line stays as it is.
// Names given by callers are compared without the blanks around them.
// Writing: a section or key name that could not be read back as itself (a
// ']' in a section name; '=' in a key name or a key name starting with '[' or
// ';'; an empty key name; CR, LF or NUL in either) is refused with AppError
// before anything changes. When a write cannot reach the disk, the object is
// left as it was before the write (or before the group), matching the file.
class IniFile {
 public:
  // Reads the file at path (a missing file is an empty file).
  explicit IniFile(std::string path);
  ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  const std::string& Path() const;

  bool SectionExists(std::string_view section) const;
  bool KeyExists(std::string_view section, std::string_view key) const;

  // The value of key in section, or defaultValue when the section or the key
  // is missing. At most maxChars characters are returned.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue,
                         std::size_t maxChars = kDefaultReadLimit) const;

  // Several keys of one section with one look-up of the section (a person's
  // details at once): each value as ReadString gives it, nullopt for a key
  // that is missing (or all of them when the section is).
  struct KeyToRead {
    std::string_view key;
    std::size_t maxChars;
  };
  std::vector<std::optional<std::string>> ReadKeys(std::string_view section,
                                                   const std::vector<KeyToRead>& keys) const;

  // Writes key=value into section and commits it to disk (unless a write
  // group is open). CR, LF and NUL in the value become blanks. Throws AppError
  // "Unable to write to <path>" when the file cannot be written.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  // Removes the section's header and key lines; comment and blank lines stay.
  // Every section of that name goes, not only the first, so that afterwards
  // the section does not exist. Nothing happens when it does not exist.
  void EraseSection(std::string_view section);

  // Groups the writes of one bulk command into one commit. Groups nest; the
  // outermost end commits. Use WriteGroup below so that a command stopped by
  // an error still commits what it wrote before the error.
  void BeginWriteGroup();
  void EndWriteGroup();

  static constexpr std::size_t kDefaultReadLimit = 65535;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Scope of a bulk command's writes: everything written while it lives goes to
// disk in one commit when it ends, also when it ends by an exception.
class IniWriteGroup {
 public:
  explicit IniWriteGroup(IniFile& file) : file_(file) { file_.BeginWriteGroup(); }
  ~IniWriteGroup() noexcept(false);
  IniWriteGroup(const IniWriteGroup&) = delete;
  IniWriteGroup& operator=(const IniWriteGroup&) = delete;

 private:
  IniFile& file_;
  // Exceptions already in flight when the group began; more at its end means
  // the group ends by an error, and a failing commit must not throw then.
  const int uncaughtAtStart_ = std::uncaught_exceptions();
};

}  // namespace miravel
