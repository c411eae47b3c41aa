#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_support.h"

namespace cubemill::platform {
namespace {

TEST(FileSystemTest, DerivesAttributeWords) {
  test::TempDir dir;
  std::filesystem::create_directory("folder");
  test::WriteBytes("file.cub", "x");
  EXPECT_EQ(FileAttributes("folder"), kAttributeDirectory);
  EXPECT_EQ(FileAttributes("file.cub"), kAttributeArchive);
  EXPECT_EQ(FileAttributes(".\\file.cub"), kAttributeArchive);
  EXPECT_FALSE(FileAttributes("missing"));
  EXPECT_FALSE(FileAttributes(""));
}

TEST(FileSystemTest, MarksFilesThatCannotBeWrittenReadOnly) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write to any file";
  test::TempDir dir;
  test::WriteBytes("file.cub", "x");
  std::filesystem::permissions("file.cub", std::filesystem::perms::owner_read);
  EXPECT_EQ(FileAttributes("file.cub"), kAttributeArchive | kAttributeReadOnly);
}

TEST(FileSystemTest, CopiesOverAnExistingFileAndDeletes) {
  test::TempDir dir;
  test::WriteBytes("a", "new");
  test::WriteBytes("b", "old");
  EXPECT_FALSE(CopyFileOver("a", "b"));
  EXPECT_EQ(test::ReadBytes("b"), "new");
  EXPECT_FALSE(DeleteFile("a"));
  EXPECT_FALSE(std::filesystem::exists("a"));
}

TEST(FileSystemTest, ReportsFailuresWithMessageNumberAndOperation) {
  test::TempDir dir;
  auto copy = CopyFileOver("missing", "b");
  ASSERT_TRUE(copy);
  EXPECT_NE(copy->number, 0);
  EXPECT_EQ(copy->source, "CopyFile");
  EXPECT_NE(copy->description.find("missing"), std::string::npos) << copy->description;
  auto remove = DeleteFile("missing");
  ASSERT_TRUE(remove);
  EXPECT_EQ(remove->source, "DeleteFile");
}

}  // namespace
}  // namespace cubemill::platform
