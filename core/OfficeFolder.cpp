#include "core/OfficeFolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "core/AppError.h"

namespace miravel {
namespace {

namespace fs = std::filesystem;

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

// Creates one folder with the given mode; an existing folder is fine.
// Returns whether it was created now.
bool MakeFolder(const std::string& path, mode_t mode) {
  if (::mkdir(path.c_str(), mode) == 0) return true;
  const int error = errno;
  if (error == EEXIST && fs::is_directory(path)) return false;
  throw FileError("Ofis klasörü oluşturulamadı", path, error);
}

}  // namespace

OfficeEnvironment ReadOfficeEnvironment() {
  return {Variable("MIRAVEL_KLASORU"), Variable("XDG_DATA_HOME"), Variable("HOME")};
}

std::string OfficeFolder::RecordFileBase() const {
  return source == OfficeFolderSource::kExecutableFolder ? std::string() : path;
}

OfficeFolder ResolveOfficeFolder(const std::optional<std::string>& folderOption,
                                 const OfficeEnvironment& environment,
                                 const std::string& executableFolder) {
  if (folderOption && !folderOption->empty()) {
    return {WithSlash(*folderOption), OfficeFolderSource::kOption};
  }
  if (!environment.officeFolder.empty()) {
    return {WithSlash(environment.officeFolder), OfficeFolderSource::kEnvironment};
  }
  const std::string beside = WithSlash(executableFolder);
  std::error_code ignored;
  if (fs::is_regular_file(beside + "cihazlar.ini", ignored) ||
      fs::is_directory(beside + "yedekler", ignored)) {
    return {beside, OfficeFolderSource::kExecutableFolder};
  }
  // A relative XDG_DATA_HOME is invalid and ignored, as the base-directory
  // rules say.
  std::string dataHome = environment.dataHome;
  if (dataHome.empty() || dataHome.front() != '/') {
    if (environment.home.empty()) {
      throw AppError(
          "Ofis klasörü bulunamadı: HOME tanımlı değil. Klasörü --folder ya da "
          "MIRAVEL_KLASORU ile verin.");
    }
    dataHome = WithSlash(environment.home) + ".local/share";
  }
  return {WithSlash(dataHome) + "miravel/", OfficeFolderSource::kUserData};
}

std::string RecordFileLocation(const std::string& base, const std::string& storedPath) {
  if (base.empty() || storedPath.empty() || storedPath.front() == '/') return storedPath;
  return WithSlash(base) + storedPath;
}

bool PrepareOfficeFolder(const OfficeFolder& folder) {
  const std::string office = WithoutSlash(folder.path);
  const fs::path parent = fs::path(office).parent_path();
  std::error_code error;
  if (!parent.empty()) fs::create_directories(parent, error);
  if (error) throw FileError("Ofis klasörü oluşturulamadı", parent.string(), error.value());
  const bool created = MakeFolder(office, S_IRWXU);
  MakeFolder(office + "/personel", 0777);
  MakeFolder(office + "/yedekler", 0777);
  return created;
}

void RequireOfficeFolder(const OfficeFolder& folder) {
  std::error_code ignored;
  if (fs::is_directory(folder.path, ignored)) return;
  std::string message = "Ofis klasörü yok: " + WithoutSlash(folder.path);
  if (folder.source == OfficeFolderSource::kUserData) {
    message +=
        " (Miravel'i bir kez açın ya da klasörü --folder veya MIRAVEL_KLASORU ile "
        "verin)";
  }
  throw AppError(message);
}

std::string FirstStartMessage(const OfficeFolder& folder) {
  return "Miravel ilk kez açıldı ve ofis klasörünü oluşturdu:\n\n" + WithoutSlash(folder.path) +
         "\n\nCihaz listesi (cihazlar.ini), personel bilgileri (personel/) ve günlük yedekler "
         "(yedekler/) bu klasörde tutulur. Kayıt dosyasının yolu tam yol değilse o da bu "
         "klasöre yazılır.";
}

std::string HelpPagePath(const std::string& executableFolder) {
  const std::string beside = WithSlash(executableFolder) + "yardim/index.html";
  std::error_code ignored;
  if (fs::is_regular_file(beside, ignored)) return beside;
  return (fs::path(WithSlash(executableFolder)) / "../share/miravel/yardim/index.html")
      .lexically_normal()
      .string();
}

}  // namespace miravel
