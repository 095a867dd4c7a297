#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace miravel::test {

// A folder of its own for one test, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "miravel-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) std::abort();
    path_ = buffer.data();
  }
  ~TempFolder() {
    std::error_code ignored;
    // Make read-only parts removable again before removing them.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder with a trailing '/'.
  std::string Path() const { return path_ + "/"; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline bool FileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

// Whether a merge file of the record file at path ("<path>.<pid>.gcc") is left
// in its folder.
inline bool MergeFileLeft(const std::string& recordPath) {
  const std::filesystem::path record(recordPath);
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(record.parent_path(), ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(record.filename().string() + ".") && name.ends_with(".gcc")) return true;
  }
  return false;
}

}  // namespace miravel::test
