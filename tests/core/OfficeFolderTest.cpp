#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/AppError.h"
#include "core/OfficeFolder.h"
#include "tests/support/TempFolder.h"

namespace miravel {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;
using test::WriteFile;
using Source = OfficeFolderSource;

TEST(OfficeFolderTest, OptionThenEnvironmentThenProgramsFolderThenDataFolder) {
  TempFolder programs;
  const OfficeEnvironment environment{"/ofis", "/veri", "/home/ik"};
  // Empty values count as not given.
  EXPECT_EQ(ResolveOfficeFolder("/secilen", environment, programs.Path()).path, "/secilen/");
  EXPECT_EQ(ResolveOfficeFolder("", environment, programs.Path()).path, "/ofis/");
  EXPECT_EQ(ResolveOfficeFolder(std::nullopt, {"", "/veri", "/home/ik"}, programs.Path()).source,
            Source::kUserData);

  // The programs' own folder serves only when it already holds an office.
  fs::create_directory(programs / "yedekler");
  EXPECT_EQ(ResolveOfficeFolder(std::nullopt, {"", "/veri", ""}, programs.Path()).source,
            Source::kExecutableFolder);
  EXPECT_EQ(ResolveOfficeFolder(std::nullopt, environment, programs.Path()).path, "/ofis/");
}

TEST(OfficeFolderTest, DataFolderFollowsTheBaseDirectoryRules) {
  TempFolder programs;
  EXPECT_EQ(ResolveOfficeFolder(std::nullopt, {"", "/veri/", "/home/ik"}, programs.Path()).path,
            "/veri/miravel/");
  // A relative XDG_DATA_HOME is ignored.
  EXPECT_EQ(ResolveOfficeFolder(std::nullopt, {"", "veri", "/home/ik"}, programs.Path()).path,
            "/home/ik/.local/share/miravel/");
  EXPECT_THROW(ResolveOfficeFolder(std::nullopt, {"", "", ""}, programs.Path()), AppError);
}

TEST(OfficeFolderTest, RelativeRecordFileIsInTheOfficeUnlessBesideThePrograms) {
  const OfficeFolder beside{"/opt/miravel/", Source::kExecutableFolder};
  const OfficeFolder data{"/home/ik/.local/share/miravel/", Source::kUserData};
  EXPECT_EQ(RecordFileLocation(beside.RecordFileBase(), "tr500.txt"), "tr500.txt");
  EXPECT_EQ(RecordFileLocation(data.RecordFileBase(), "maas/tr500.txt"),
            "/home/ik/.local/share/miravel/maas/tr500.txt");
  EXPECT_EQ(RecordFileLocation(data.RecordFileBase(), "/srv/tr500.txt"), "/srv/tr500.txt");
}

TEST(OfficeFolderTest, FirstStartCreatesAPrivateOfficeOnce) {
  TempFolder home;
  const OfficeFolder office{home / ".local/share/miravel/", Source::kUserData};
  EXPECT_THROW(RequireOfficeFolder(office), AppError);
  EXPECT_TRUE(PrepareOfficeFolder(office));
  struct stat info {};
  ASSERT_EQ(::stat(office.path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(fs::is_directory(office.path + "personel"));
  EXPECT_NO_THROW(RequireOfficeFolder(office));

  // A lost subfolder comes back, but that is no first start.
  fs::remove(office.path + "yedekler");
  EXPECT_FALSE(PrepareOfficeFolder(office));
  EXPECT_TRUE(fs::is_directory(office.path + "yedekler"));

  WriteFile(home / "dosya", "");
  try {
    PrepareOfficeFolder({home / "dosya/miravel/", Source::kUserData});
    ADD_FAILURE() << "a folder under a file";
  } catch (const AppError& error) {
    EXPECT_NE(std::string(error.what()).find("dosya"), std::string::npos) << error.what();
  }
}

TEST(OfficeFolderTest, HelpPageBesideTheProgramsElseUnderShare) {
  TempFolder prefix;
  fs::create_directories(prefix / "bin/yardim");
  EXPECT_EQ(HelpPagePath(prefix / "bin"), prefix / "share/miravel/yardim/index.html");
  WriteFile(prefix / "bin/yardim/index.html", "");
  EXPECT_EQ(HelpPagePath(prefix / "bin/"), prefix / "bin/yardim/index.html");
}

}  // namespace
}  // namespace miravel
