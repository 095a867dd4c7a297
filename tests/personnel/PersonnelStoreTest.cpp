#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <iterator>

#include "core/AppError.h"
#include "personnel/PersonnelStore.h"
#include "tests/support/TempFolder.h"

namespace miravel {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

class PersonnelStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(folder / "personel"); }

  std::string ReadError() {
    try {
      store.ReadList();
    } catch (const AppError& error) {
      return error.what();
    }
    return "";
  }

  TempFolder folder;
  PersonnelStore store{folder.Path()};
};

TEST_F(PersonnelStoreTest, ListLinesAreReadByTheOfficeRules) {
  EXPECT_TRUE(store.ReadList().empty());
  EXPECT_EQ(ReadFile(store.ListPath()), "");  // a missing list is created empty

  // Empty lines are "0" and short texts are skipped; long ones keep 10
  // characters of their first 15; the text is kept as written.
  WriteFile(store.ListPath(), "00012\r\n\r\n12\r\n00034\n123456789012345678\r\n-1234\r\n 077 ");
  EXPECT_EQ(store.ReadList(),
            (std::vector<std::string>{"00012", "00034", "1234567890", "-1234", " 077 "}));

  WriteFile(store.ListPath(), "00012\r\nx1\r\n");
  EXPECT_EQ(ReadError(), "'x1' is not a valid integer value");

  std::filesystem::remove_all(folder / "personel");
  EXPECT_NE(ReadError().find(folder / "personel/"), std::string::npos) << ReadError();
}

TEST_F(PersonnelStoreTest, PersonDefaultsAndTheFingerprintMark) {
  const std::string longTemplate(3000, 'T');
  WriteFile(store.DetailPath(), "[00001]\r\nisim=Ayşe\r\nparmakizi9=" + std::string(11, 'x') +
                                    "\r\n[00002]\r\nyetki=\r\nparmakizi0=0123456789\r\n"
                                    "parmakizi1=  123456789  \r\n[00003]\r\nisim=" +
                                    std::string(3000, 'i') + "\r\nparmakizi4=" + longTemplate +
                                    "\r\n");
  const Person first = store.ReadPerson("00001");
  EXPECT_EQ(first.privilege, "Normal");
  EXPECT_TRUE(first.hasFingerprint);  // from parmakizi9 alone

  const Person second = store.ReadPerson("00002");
  EXPECT_EQ(second.privilege, "");
  EXPECT_FALSE(second.hasFingerprint);  // 10 characters, or 11 only with blanks

  // Personal keys keep the old read limit; templates are read whole.
  EXPECT_EQ(store.ReadPerson("00003").name.size(), PersonnelStore::kReadLimit);
  EXPECT_EQ(store.ReadTemplate("00003", 4), longTemplate);
  EXPECT_EQ(store.ReadPerson("00099").privilege, "Normal");
}

TEST_F(PersonnelStoreTest, RewriteReplacesTheListInOneStepKeepingItsPermissions) {
  WriteFile(store.ListPath(), "00001\r\n00002\r\n");
  ::chmod(store.ListPath().c_str(), 0640);
  // Another writer's scratch file under the old fixed name is not ours to take.
  WriteFile(folder / "personel/_personel.ini", "00005\r\n");
  store.RewriteList({"00002", "00007"});
  EXPECT_EQ(ReadFile(store.ListPath()), "00002\r\n00007\r\n");
  EXPECT_EQ(ReadFile(folder / "personel/_personel.ini"), "00005\r\n");
  const auto files = std::filesystem::directory_iterator(folder / "personel");
  EXPECT_EQ(std::distance(begin(files), end(files)), 2) << "a scratch file of ours left";
  struct stat info {};
  ASSERT_EQ(::stat(store.ListPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);

  store.AppendToList("00009");
  EXPECT_EQ(store.ReadList(), (std::vector<std::string>{"00002", "00007", "00009"}));
}

// A list whose last append was cut by a crash: inside a line, or between the
// CR and the LF of its end. The next append must not glue to it nor leave a
// stray CR that makes the whole list unreadable.
TEST_F(PersonnelStoreTest, AppendingCompletesALineCutByACrash) {
  for (const char* cut : {"00002\r\n00007\r", "00002\r\n00007"}) {
    WriteFile(store.ListPath(), cut);
    store.AppendToList(std::vector<std::string>{"00009", "00010"});
    EXPECT_EQ(ReadFile(store.ListPath()), "00002\r\n00007\r\n00009\r\n00010\r\n");
  }
}

}  // namespace
}  // namespace miravel
