#pragma once

#include <optional>
#include <string>

namespace miravel {

// The office folder holds what an office keeps: cihazlar.ini, personel/ and
// yedekler/. Every program finds it the same way, in this order.
enum class OfficeFolderSource {
  kOption,            // --folder DIR
  kEnvironment,       // MIRAVEL_KLASORU
  kExecutableFolder,  // beside the programs, as `cmake --install --prefix DIR` lays them out
  kUserData,          // $XDG_DATA_HOME/miravel, normally ~/.local/share/miravel
};

// The environment variables that take part, as main() found them (unset ones
// are empty). ReadOfficeEnvironment() is the one place that reads them.
struct OfficeEnvironment {
  std::string officeFolder;  // MIRAVEL_KLASORU
  std::string dataHome;      // XDG_DATA_HOME
  std::string home;          // HOME
};
OfficeEnvironment ReadOfficeEnvironment();

struct OfficeFolder {
  std::string path;  // ends in '/'
  OfficeFolderSource source = OfficeFolderSource::kOption;

  // The folder a relative record-file path (dosya) is taken in. Empty in the
  // folder layout beside the programs, whose offices keep a relative record
  // file in the current folder; otherwise the office folder, so that the window, a menu entry and
  // a timer started in the home folder all reach the same file.
  std::string RecordFileBase() const;
};

// Picks the office folder: the --folder value when given, else
// MIRAVEL_KLASORU, else the executable's folder when it already holds an
// office (cihazlar.ini, or the yedekler/ folder a fresh install lays out),
// else the user's data folder. Throws AppError when none can be named
// (no data folder without HOME).
OfficeFolder ResolveOfficeFolder(const std::optional<std::string>& folderOption,
                                 const OfficeEnvironment& environment,
                                 const std::string& executableFolder);

// The record file the transfer writes: the stored path when it is absolute
// or base is empty, else the path inside base.
std::string RecordFileLocation(const std::string& base, const std::string& storedPath);

// Creates the user's data folder with personel/ and yedekler/ where any is
// missing. The office folder itself is made readable by its owner only: it
// holds personnel data and fingerprints. Returns whether the office folder
// was created now (the program's first start). Throws AppError on failure.
bool PrepareOfficeFolder(const OfficeFolder& folder);

// Throws AppError naming the folder when it does not exist: a program without
// a window must not report success for an office it never found.
void RequireOfficeFolder(const OfficeFolder& folder);

// What the window tells the user on its first start.
std::string FirstStartMessage(const OfficeFolder& folder);

// The help page: yardim/ beside the programs in the folder layout, else the
// installed share/miravel/yardim/ next to the bin/ folder.
std::string HelpPagePath(const std::string& executableFolder);

}  // namespace miravel
